// The table page's grid and problem list.
#include "app/tablemodel.h"

#include "table/celltext.h"
#include "table/tableview.h"

#include <QBrush>
#include <QColor>

#include <algorithm>

using table::Problem;
using table::ProblemKind;

TableModel::TableModel(QObject *parent) : QAbstractTableModel(parent) {}

TableModel::~TableModel() = default;

void TableModel::setTable(const table::TableView *view) {
    beginResetModel();
    m_view = view;
    m_problems = nullptr;
    m_text.reset(view ? new table::CellText(view->sheet()) : nullptr);
    endResetModel();
}

void TableModel::setProblems(const std::vector<Problem> *problems) {
    m_problems = problems;
    const int rows = rowCount();
    if (rows > 0) {
        Q_EMIT dataChanged(index(0, 0), index(rows - 1, columnCount() - 1),
                           {Qt::BackgroundRole, Qt::ToolTipRole});
        Q_EMIT headerDataChanged(Qt::Vertical, 0, rows - 1);
    }
}

int TableModel::sheetRowOf(int row) const {
    if (!m_view || row < 0 || row >= rowCount())
        return -1;
    return m_view->dataRows()[std::size_t(row)];
}

int TableModel::rowOfSheetRow(int sheetRow) const {
    if (!m_view)
        return -1;
    const std::vector<int> &rows = m_view->dataRows();
    const auto at = std::lower_bound(rows.begin(), rows.end(), sheetRow);
    return at != rows.end() && *at == sheetRow ? int(at - rows.begin()) : -1;
}

const Problem *TableModel::problemOf(int sheetRow) const {
    if (!m_problems)
        return nullptr;
    const int row = sheetRow + 1;
    const auto at =
        std::lower_bound(m_problems->begin(), m_problems->end(), row, [](const Problem &p, int r) {
            return p.kind == ProblemKind::OrderUncertain || p.row < r;
        });
    return at != m_problems->end() && at->row == row ? &*at : nullptr;
}

int TableModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() || !m_view ? 0 : int(m_view->dataRows().size());
}

int TableModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() || !m_view ? 0 : m_view->columnCount();
}

QVariant TableModel::data(const QModelIndex &index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int sheetRow = sheetRowOf(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return (*m_text)(m_view->cell(sheetRow, index.column())).toString();
    case Qt::BackgroundRole:
        if (const Problem *p = problemOf(sheetRow))
            return QBrush(p->leavesOut() ? QColor(0xff, 0xd6, 0xd6) : QColor(0xff, 0xf2, 0xc0));
        return {};
    case Qt::ToolTipRole:
        if (const Problem *p = problemOf(sheetRow))
            return table::problemText(*p);
        return {};
    default:
        return {};
    }
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (!m_view)
        return {};
    if (orientation == Qt::Horizontal) {
        if (role != Qt::DisplayRole || section < 0 || section >= columnCount())
            return {};
        return m_view->headings()[section];
    }
    if (section < 0 || section >= rowCount())
        return {};
    const int sheetRow = sheetRowOf(section);
    if (role == Qt::DisplayRole) {
        // A row with a problem is marked beside its number.
        const Problem *p = problemOf(sheetRow);
        return p && p->leavesOut() ? QStringLiteral("✕ %1").arg(sheetRow + 1)
               : p                 ? QStringLiteral("! %1").arg(sheetRow + 1)
                                   : QString::number(sheetRow + 1);
    }
    if (role == Qt::ToolTipRole)
        if (const Problem *p = problemOf(sheetRow))
            return table::problemText(*p);
    return {};
}

ProblemModel::ProblemModel(QObject *parent) : QAbstractTableModel(parent) {}

void ProblemModel::setProblems(const table::TableView *view, const std::vector<Problem> *problems) {
    beginResetModel();
    m_view = view;
    m_problems = problems;
    endResetModel();
}

const Problem *ProblemModel::problemAt(int row) const {
    return m_problems && row >= 0 && row < rowCount() ? &(*m_problems)[std::size_t(row)] : nullptr;
}

int ProblemModel::rowCount(const QModelIndex &parent) const {
    return parent.isValid() || !m_problems ? 0 : int(m_problems->size());
}

int ProblemModel::columnCount(const QModelIndex &parent) const {
    return parent.isValid() ? 0 : 4;
}

QVariant ProblemModel::data(const QModelIndex &index, int role) const {
    if (role != Qt::DisplayRole ||
        !checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Problem &p = *problemAt(index.row());
    switch (index.column()) {
    case 0:
        return p.row;
    case 1:
        return m_view ? m_view->headings().value(p.column) : QString();
    case 2:
        return table::problemText(p);
    default:
        return p.text;
    }
}

QVariant ProblemModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section > 3)
        return {};
    static const char16_t *const Titles[] = {u"行", u"列", u"问题", u"单元格内容"};
    return QString::fromUtf16(Titles[section]);
}
