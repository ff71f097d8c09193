// Categories in order of first appearance, compared as the grid shows them.
#include "table/categories.h"

#include "table/celltext.h"
#include "table/tableview.h"

#include <QHash>

namespace table {

Categories categoriesOf(const TableView &table, int column, const std::vector<PlacedRow> &rows) {
    Categories out;
    out.ofRow.assign(rows.size(), 0);
    if (column < 0)
        return out;
    CellText text(table.sheet());
    QHash<QString, int> index;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        QString value = text(table.cell(rows[i].sheetRow, column)).toString();
        if (value.isEmpty())
            value = QStringLiteral("(未分类)");
        auto it = index.find(value);
        if (it == index.end()) {
            it = index.insert(value, int(out.names.size()));
            out.names << value;
        }
        out.ofRow[i] = *it;
    }
    return out;
}

} // namespace table
