// `DBGrid1`: the workbook's records in a table with titles, grid lines, resizable columns and
// the record indicator. The grid's current row is the query's current record, both ways.
#pragma once

#include <QTableView>

class TDataSource;
class TADOQuery;

class TDBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TDBGrid(QWidget *parent = nullptr);

    static constexpr int DefaultColumnWidth = 64;

    void setDataSource(TDataSource *source);
    TDataSource *dataSource() const { return m_source; }

    // Sets a column's width in pixels; throws "List index out of bounds (<column>)" beyond the
    // grid's columns.
    void setColumnWidthAt(int column, int width);

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void followRecord();
    int visibleRows() const;

    TDataSource *m_source = nullptr;
    TADOQuery *m_query = nullptr;
    bool m_following = false;
};
