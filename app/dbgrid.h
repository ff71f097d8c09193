// `DBGrid1`: the workbook's records in a table with titles, grid lines, resizable columns and
// the record indicator. The grid's current row is the query's current record, both ways; while
// the data can be modified, typing edits a cell, Insert inserts, Ctrl+Delete deletes after a
// question, and the Down arrow past the last row appends.
#pragma once

#include <QTableView>

#include <functional>

class TDataSource;
class TADOQuery;

class TDBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TDBGrid(QWidget *parent = nullptr);

    static constexpr int DefaultColumnWidth = 64;
    static const QString DeleteQuestion; // "Delete record?"

    void setDataSource(TDataSource *source);
    TDataSource *dataSource() const { return m_source; }

    // Sets a column's width in pixels; throws "List index out of bounds (<column>)" beyond the
    // grid's columns.
    void setColumnWidthAt(int column, int width);

    // Asks an OK/Cancel question; true for OK. Without it nothing is deleted.
    std::function<bool(const QString &)> confirm;

    // Puts the text of an open cell editor into its field and closes the editor.
    void commitEditor();

protected:
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void followRecord();
    void stateChanged();
    void cellEdited();
    void run(const std::function<void()> &action);
    int visibleRows() const;

    TDataSource *m_source = nullptr;
    TADOQuery *m_query = nullptr;
    bool m_following = false;
};
