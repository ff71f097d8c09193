// The words of the rows' problems and the reading of an altitude; the rows themselves are placed
// by placedpoints.
#include "table/tablerows.h"

#include "table/coordinatetext.h"
#include "table/placedpoints.h"
#include "table/tableview.h"

#include <QLocale>

#include <charconv>
#include <cmath>

namespace table {

using workbook::Cell;
using workbook::CellKind;

QString problemText(const Problem &p) {
    switch (p.kind) {
    case ProblemKind::NoCoordinates:
        return QStringLiteral("缺少坐标");
    case ProblemKind::Unreadable:
        return QStringLiteral("无法识别的坐标");
    case ProblemKind::LooksSwapped:
        return QStringLiteral("疑似经纬度颠倒");
    case ProblemKind::OutOfRange:
        return QStringLiteral("超出范围");
    case ProblemKind::ZeroZero:
        return QStringLiteral("坐标为(0, 0)");
    case ProblemKind::SamePlace:
        return QStringLiteral("重复坐标（同第%1行）").arg(p.sameAs);
    case ProblemKind::TimeUnreadable:
        return QStringLiteral("无法识别的时间");
    case ProblemKind::AltitudeUnreadable:
        return QStringLiteral("无法识别的高度");
    case ProblemKind::OrderUncertain:
        return QStringLiteral("经纬度顺序不确定");
    }
    return QString();
}

qint64 rowsWithProblems(const std::vector<Problem> &problems) {
    qint64 rows = 0;
    int last = 0;
    for (const Problem &p : problems)
        if (p.kind != ProblemKind::OrderUncertain && p.row != last) {
            ++rows;
            last = p.row;
        }
    return rows;
}

namespace {

// A text of digits with an optional "-" and decimals, which the C locale reads as from_chars does
// (both round correctly): without leading zeros, and no negative zero, whose sign the two might
// read apart. Read without the locale's general number parser.
bool plainDecimal(QStringView text, double &value) {
    char ascii[32];
    if (text.isEmpty() || text.size() > qsizetype(sizeof ascii))
        return false;
    qsizetype at = text.front() == u'-' ? 1 : 0;
    const qsizetype digits = at;
    bool point = false, nonZero = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (i >= at && u >= u'0' && u <= u'9') {
            nonZero = nonZero || u != u'0';
        } else if (i >= at && u == u'.' && !point && i > digits && i + 1 < text.size()) {
            point = true;
        } else if (i != 0 || u != u'-') {
            return false;
        }
        ascii[i] = char(u);
    }
    if (text.size() == digits ||
        (text[digits] == u'0' && text.size() > digits + 1 && text[digits + 1] != u'.'))
        return false; // no digits, or a leading zero
    if (digits == 1 && !nonZero)
        return false;
    const auto [end, error] = std::from_chars(ascii, ascii + text.size(), value);
    return error == std::errc() && end == ascii + text.size();
}

} // namespace

bool readAltitude(const TableView &table, const Cell &c, double &value) {
    if (c.kind == CellKind::Number) {
        value = c.number;
        return true;
    }
    if (c.kind != CellKind::Text)
        return false;
    QString storage;
    QStringView text = foldToAscii(table.sheet().strings.view(c.text), storage);
    if (plainDecimal(text, value))
        return true;
    if (text.endsWith(u'm') || text.endsWith(u'米'))
        text = text.chopped(1).trimmed();
    if (text.contains(u'e', Qt::CaseInsensitive))
        return false;
    static const QLocale cLocale = QLocale::c();
    bool ok = false;
    value = cLocale.toDouble(text, &ok);
    return ok && std::isfinite(value);
}

void placeRows(const TableView &table, const TableOptions &options,
               const std::function<void(const PlacedRow &)> &emit, std::vector<Problem> &problems) {
    for (const PlacedPoint &point : placePoints(table, options, problems))
        emit(point.row);
}

} // namespace table
