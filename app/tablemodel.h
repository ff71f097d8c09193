// The table page's grid and problem list as models over the engine's data: the grid reads the
// cells where the sheet holds them (a million rows copy nothing), and marks the rows that have a
// problem; the problem list shows row, column, kind and the cell's text.
#pragma once

#include "table/tablerows.h"

#include <QAbstractTableModel>

#include <memory>
#include <vector>

namespace table {
class CellText;
class TableView;
} // namespace table

class TableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TableModel(QObject *parent = nullptr);
    ~TableModel() override;

    // The table shown, or none; the view must outlive its showing.
    void setTable(const table::TableView *view);
    // The rows marked: those with a problem, which must be ordered by row (as placeRows gives
    // them); the list must outlive its showing.
    void setProblems(const std::vector<table::Problem> *problems);

    // The sheet row of a grid row, and the grid row of a sheet row (-1 when it is no data row).
    int sheetRowOf(int row) const;
    int rowOfSheetRow(int sheetRow) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    // The first problem of a sheet row's own (the table's uncertain order is no row's), or null.
    const table::Problem *problemOf(int sheetRow) const;

    const table::TableView *m_view = nullptr;
    const std::vector<table::Problem> *m_problems = nullptr;
    std::unique_ptr<table::CellText> m_text;
};

class ProblemModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ProblemModel(QObject *parent = nullptr);

    void setProblems(const table::TableView *view, const std::vector<table::Problem> *problems);
    const table::Problem *problemAt(int row) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    const table::TableView *m_view = nullptr;
    const std::vector<table::Problem> *m_problems = nullptr;
};
