// A table over China for the map's tests: three categories, a row that looks swapped, a (0, 0)
// row, a duplicate, a row with an unreadable time and one without coordinates.
#pragma once

#include "table/roles.h"
#include "table/tablerows.h"
#include "table/tableview.h"
#include "tabletesting.h"

namespace maptesting {

inline const QList<QStringList> &chinaRows() {
    static const QList<QStringList> rows = {
        {"名称", "经度", "纬度", "类别", "时间"},
        {"北京", "116.40", "39.90", "城市", ""},
        {"上海", "121.47", "31.23", "港口", ""},
        {"拉萨", "91.11", "29.65", "城市", "昨天"}, // sheet row 3: unreadable time
        {"成都", "30.66", "104.07", "城市", ""},    // 4: looks swapped
        {"零点", "0", "0", "港口", ""},             // 5: (0, 0)
        {"上海港", "121.47", "31.23", "港口", ""},  // 6: the same place as row 2
        {"无坐标", "", "30", "山峰", ""},           // 7: left out
        {"乌鲁木齐", "87.62", "43.83", "山峰", ""},
    };
    return rows;
}

// The sheet and its view and options, kept together for the points that refer to them.
struct ChinaTable {
    workbook::SheetData sheet = tabletesting::sheetOf(chinaRows());
    table::TableView view{sheet};
    table::TableOptions options;

    ChinaTable() { options.roles = table::findRoles(view); }
};

} // namespace maptesting
