// Categories in order of first appearance, compared as the grid shows them: each row's text is
// looked up as a view, and only a category's first row makes a string of it.
#include "table/categories.h"

#include "table/celltext.h"
#include "table/placedpoints.h"
#include "table/tableview.h"

#include <string_view>
#include <unordered_map>

namespace table {

namespace {

template <class Rows, class SheetRowOf>
Categories categoriesOfRows(const TableView &table, int column, const Rows &rows,
                            SheetRowOf sheetRowOf) {
    Categories out;
    out.ofRow.assign(rows.size(), 0);
    if (column < 0)
        return out;
    CellText text(table.sheet());
    // Keys are views of the names' own characters, which stay where they are as the list grows.
    std::unordered_map<std::u16string_view, int> index;
    const QString unsorted = QStringLiteral("(未分类)");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        QStringView value = text(table.cell(sheetRowOf(rows[i]), column));
        if (value.isEmpty())
            value = unsorted;
        const std::u16string_view key(value.utf16(), std::size_t(value.size()));
        auto it = index.find(key);
        if (it == index.end()) {
            out.names << value.toString();
            const QString &name = out.names.back();
            it = index
                     .emplace(
                         std::u16string_view(QStringView(name).utf16(), std::size_t(name.size())),
                         int(out.names.size() - 1))
                     .first;
        }
        out.ofRow[i] = it->second;
    }
    return out;
}

} // namespace

Categories categoriesOf(const TableView &table, int column, const std::vector<PlacedRow> &rows) {
    return categoriesOfRows(table, column, rows, [](const PlacedRow &r) { return r.sheetRow; });
}

Categories categoriesOf(const TableView &table, int column,
                        const std::vector<PlacedPoint> &points) {
    return categoriesOfRows(table, column, points,
                            [](const PlacedPoint &p) { return p.row.sheetRow; });
}

} // namespace table
