// The grid's view of the workbook query: one row per record (with the record of a pending
// insert), one column per field (a single empty column while the query is closed), the record
// indicator in the vertical header. Editing a cell sets the field in the query's pending edit.
#pragma once

#include "app/errorguard.h"

#include <QAbstractTableModel>

#include <functional>

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
    // EditRole on the current record: the query goes into edit state and the field takes the
    // text. False (with the error shown through guard) when the query refuses.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // Editable while the data can be modified; long-text cells are edited in their box, as the
    // grid shows only "(MEMO)" for them.
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    TADOQuery *query() const { return m_query; }

    // Runs an action that may throw CommandError; the window passes its error guard here.
    ErrorGuard guard;

private:
    void recordChanged(int previous, int current);
    void valuesChanged(int firstRecord, int lastRecord, int firstField, int lastField);
    void run(const std::function<void()> &action);

    TADOQuery *m_query;
};
