// Cells' texts as the grid shows them.
#include "table/celltext.h"

#include "workbook/calendar.h"

#include <cmath>

namespace table {

using workbook::Cell;
using workbook::CellKind;

QString isoDate(const workbook::SheetData &sheet, const Cell &c, QChar timeSeparator) {
    using namespace workbook::calendar;
    double days = std::floor(c.number);
    std::int64_t seconds = std::llround((c.number - days) * 86400.0);
    if (seconds >= 86400) {
        seconds -= 86400;
        days += 1;
    }
    const auto serial = std::int64_t(days);
    std::int64_t since1970 = sheet.date1904 ? Days1904_01_01 + serial
                             : serial >= 61 || c.code == workbook::EarlyDate
                                 ? Days1899_12_30 + serial
                                 : Days1899_12_30 + 1 + serial;
    std::int64_t year = 0;
    int month = 0, day = 0;
    civilFromDays(since1970, year, month, day);
    QString text = QStringLiteral("%1-%2-%3")
                       .arg(year, 4, 10, QLatin1Char('0'))
                       .arg(month, 2, 10, QLatin1Char('0'))
                       .arg(day, 2, 10, QLatin1Char('0'));
    if (seconds != 0)
        text += timeSeparator + QStringLiteral("%1:%2:%3")
                                    .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
                                    .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
                                    .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return text;
}

QStringView CellText::operator()(const Cell *c) {
    if (!c)
        return {};
    if (c->kind == CellKind::Date) {
        m_date = isoDate(m_sheet, *c, u' ');
        return m_date;
    }
    return workbook::fieldtext::cellTextView(m_sheet, c, u'.', m_scratch);
}

} // namespace table
