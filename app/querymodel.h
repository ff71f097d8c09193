// The grid's view of the workbook query: one row per record, one column per field (a single
// empty column while the query is closed), the record indicator in the vertical header.
#pragma once

#include <QAbstractTableModel>

class TADOQuery;

class QueryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit QueryModel(TADOQuery *query, QObject *parent = nullptr);

    // The indicator of the current record, and the texts of long-text cells in the grid.
    static const QString Indicator;
    static const QString MemoText;      // a long-text cell holding text
    static const QString EmptyMemoText; // an empty long-text cell

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    // DisplayRole: what the grid shows; EditRole: the field text itself, for the bound boxes;
    // ToolTipRole: the text of a long-text cell.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    TADOQuery *query() const { return m_query; }

private:
    void recordChanged(int previous, int current);

    TADOQuery *m_query;
};
