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
            return m_query->FieldCell(index.row(), index.column()) ? MemoText : EmptyMemoText;
        return m_query->FieldText(index.row(), index.column());
    case Qt::EditRole:
        return m_query->FieldText(index.row(), index.column());
    case Qt::ToolTipRole:
        // A long-text cell shows only "(MEMO)"; its text is a hover away, in every column.
        if (field.IsBlob())
            return m_query->FieldText(index.row(), index.column());
        return QVariant();
    default:
        return QVariant();
    }
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
    if (m_query->Active() && m_query->CanModify())
        f |= Qt::ItemIsEditable;
    return f;
}

void QueryModel::recordChanged(int previous, int current) {
    const int rows = rowCount();
    for (int section : {previous, current})
        if (section >= 0 && section < rows)
            Q_EMIT headerDataChanged(Qt::Vertical, section, section);
}
