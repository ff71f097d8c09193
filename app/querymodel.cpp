// The grid model over the workbook query.
#include "app/querymodel.h"

#include "sources/adoquery.h"

const QString QueryModel::Indicator = QStringLiteral("▶");
const QString QueryModel::MemoText = QStringLiteral("(MEMO)");
const QString QueryModel::EmptyMemoText = QStringLiteral("(Memo)");

QueryModel::QueryModel(TADOQuery *query, QObject *parent)
    : QAbstractTableModel(parent), m_query(query) {
    connect(query, &TADOQuery::structureAboutToChange, this, &QueryModel::beginResetModel);
    connect(query, &TADOQuery::structureChanged, this, &QueryModel::endResetModel);
    connect(query, &TADOQuery::recordChanged, this, &QueryModel::recordChanged);
    connect(query, &TADOQuery::recordsAboutToBeInserted, this,
            [this](int first, int last) { beginInsertRows(QModelIndex(), first, last); });
    connect(query, &TADOQuery::recordsInserted, this, &QueryModel::endInsertRows);
    connect(query, &TADOQuery::recordsAboutToBeRemoved, this,
            [this](int first, int last) { beginRemoveRows(QModelIndex(), first, last); });
    connect(query, &TADOQuery::recordsRemoved, this, &QueryModel::endRemoveRows);
    connect(query, &TADOQuery::valuesChanged, this, &QueryModel::valuesChanged);
}

void QueryModel::run(const std::function<void()> &action) {
    runGuarded(guard, action);
}

int QueryModel::rowCount(const QModelIndex &parent) const {
    if (parent.isValid() || !m_query->Active())
        return 0;
    return m_query->RecordCount();
}

int QueryModel::columnCount(const QModelIndex &parent) const {
    if (parent.isValid())
        return 0;
    return m_query->Active() ? m_query->FieldCount() : 1;
}

QVariant QueryModel::data(const QModelIndex &index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) ||
        !m_query->Active())
        return QVariant();
    const TField &field = m_query->Fields(index.column());
    switch (role) {
    case Qt::DisplayRole:
        if (field.IsBlob())
            return m_query->fieldIsNull(index.row(), index.column()) ? EmptyMemoText : MemoText;
        return m_query->fieldText(index.row(), index.column());
    case Qt::EditRole:
        return m_query->fieldText(index.row(), index.column());
    case Qt::ToolTipRole:
        // A long-text cell shows only "(MEMO)"; its text is a hover away, in every column.
        if (field.IsBlob())
            return m_query->fieldText(index.row(), index.column());
        return QVariant();
    default:
        return QVariant();
    }
}

bool QueryModel::setData(const QModelIndex &index, const QVariant &value, int role) {
    if (role != Qt::EditRole ||
        !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) ||
        !m_query->Active() || index.row() != m_query->RecNo())
        return false;
    const QString text = value.toString();
    if (text == m_query->fieldText(index.row(), index.column()))
        return true; // an editor closed without a change starts no edit
    bool done = false;
    run([&] {
        m_query->Edit();
        m_query->setFieldText(index.column(), text);
        done = true;
    });
    return done;
}

QVariant QueryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || section < 0)
        return QVariant();
    if (orientation == Qt::Horizontal) {
        if (!m_query->Active() || section >= m_query->FieldCount())
            return QString();
        return m_query->Fields(section).DisplayName();
    }
    if (!m_query->Active() || section >= m_query->RecordCount())
        return QVariant();
    return section == m_query->RecNo() ? Indicator : QString();
}

Qt::ItemFlags QueryModel::flags(const QModelIndex &index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (m_query->Active() && m_query->CanModify() && index.column() < m_query->FieldCount() &&
        !m_query->Fields(index.column()).IsBlob())
        f |= Qt::ItemIsEditable;
    return f;
}

void QueryModel::recordChanged(int previous, int current) {
    const int rows = rowCount();
    for (int section : {previous, current})
        if (section >= 0 && section < rows)
            Q_EMIT headerDataChanged(Qt::Vertical, section, section);
}

void QueryModel::valuesChanged(int firstRecord, int lastRecord, int firstField, int lastField) {
    const int rows = rowCount(), columns = columnCount();
    firstRecord = qMax(firstRecord, 0);
    lastRecord = qMin(lastRecord, rows - 1);
    firstField = qMax(firstField, 0);
    lastField = qMin(lastField, columns - 1);
    if (firstRecord > lastRecord || firstField > lastField)
        return;
    Q_EMIT dataChanged(index(firstRecord, firstField), index(lastRecord, lastField),
                       {Qt::DisplayRole, Qt::EditRole, Qt::ToolTipRole});
}
