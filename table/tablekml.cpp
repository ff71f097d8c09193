// The KML document of a table, made in pieces of some thousand placemarks on two threads and
// handed out in order as each is made.
#include "table/tablekml.h"

#include "common/orderedpieces.h"
#include "kml/xmlsafe.h"
#include "table/categories.h"
#include "table/celltext.h"
#include "table/kmltext.h"
#include "table/placedpoints.h"
#include "table/tableview.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace table {

using workbook::Cell;
using workbook::CellKind;

qint64 TableResult::rowsLeftOut() const {
    qint64 n = 0;
    for (const Problem &p : problems)
        n += p.leavesOut();
    return n;
}

qint64 TableResult::warnings() const {
    return qint64(problems.size()) - rowsLeftOut();
}

QString categoryColour(int n) {
    // Red, yellow, cyan, magenta, orange, lime, white, azure, pink, violet, aquamarine,
    // lavender: bright and far apart, so that each shows on green, brown and grey ground.
    using QRgb = std::uint32_t;
    static const QRgb palette[] = {0xff3030, 0xffe119, 0x00e5ff, 0xff00ff, 0xff8c00, 0x7fff00,
                                   0xffffff, 0x2f7fff, 0xff69b4, 0x9b5cff, 0x40ffc0, 0xc0c0ff};
    QRgb rgb = 0;
    if (n < int(std::size(palette))) {
        rgb = palette[n];
    } else {
        // Hue by golden-ratio steps, saturation 0.85, full value.
        const double golden = 0.618033988749894848;
        const double h = std::fmod((n - int(std::size(palette))) * golden + 0.1, 1.0) * 6;
        const double s = 0.85, f = h - std::floor(h);
        const double p = 1 - s, q = 1 - s * f, t = 1 - s * (1 - f);
        const double sectors[6][3] = {{1, t, p}, {q, 1, p}, {p, 1, t},
                                      {p, q, 1}, {t, p, 1}, {1, p, q}};
        const double *c = sectors[int(h) % 6];
        rgb = (QRgb(std::lround(c[0] * 255)) << 16) | (QRgb(std::lround(c[1] * 255)) << 8) |
              QRgb(std::lround(c[2] * 255));
    }
    return QStringLiteral("ff%1").arg(((rgb & 0xff) << 16) | (rgb & 0xff00) | ((rgb >> 16) & 0xff),
                                      6, 16, QLatin1Char('0'));
}

namespace {

// What every piece of the document shares: the rows in the order they are written, each one's
// category, and the fixed texts of the markup.
struct Layout {
    const TableView &table;
    const TableOptions &options;
    const std::vector<PlacedPoint> &points;
    const Categories &categories;
    // Without a category column empty: the points in their own order.
    std::vector<std::uint32_t> order;
    // Where each category's rows begin in order, and where the last one's end.
    std::vector<std::size_t> start;
    std::vector<QByteArray> styleUrls;
    // The columns that go into the extended data, with their markup up to the value.
    std::vector<std::pair<int, QByteArray>> extended;
    KmlText head;
};

// The markup of one style's id.
QByteArray styleId(int style) {
    return "s" + QByteArray::number(style + 1);
}

void line(KmlText &out, QByteArrayView text) {
    out.append(text);
    out.append("\r\n");
}

void element(KmlText &out, const char *name, QStringView value) {
    out.append('<');
    out.append(name, qsizetype(std::strlen(name)));
    out.append('>');
    out.appendEscaped(value);
    out.append("</");
    out.append(name, qsizetype(std::strlen(name)));
    out.append(">\r\n");
}

void twoDigits(KmlText &out, int n) {
    const char digits[2] = {char('0' + n / 10 % 10), char('0' + n % 10)};
    out.append(digits, 2);
}

// The time as a KML <when> holds it, as kmlWhen writes it.
void appendWhen(KmlText &out, const PointTime &t) {
    twoDigits(out, t.year / 100);
    twoDigits(out, t.year % 100);
    out.append('-');
    twoDigits(out, t.month);
    out.append('-');
    twoDigits(out, t.day);
    if (t.hour == 0 && t.minute == 0 && t.second == 0)
        return;
    out.append('T');
    twoDigits(out, t.hour);
    out.append(':');
    twoDigits(out, t.minute);
    out.append(':');
    twoDigits(out, t.second);
}

// Makes pieces of the document: a maker for each thread.
class Maker {
public:
    explicit Maker(const Layout &layout) : m_layout(layout), m_text(layout.table.sheet()) {}

    // Placemarks from to to of the order, with the folders they open and close.
    void make(std::size_t from, std::size_t to, KmlText &out) {
        const Layout &l = m_layout;
        const bool folders = !l.order.empty();
        gather(from, to);
        for (std::size_t k = from; k < to; ++k) {
            const std::size_t index = folders ? l.order[k] : k;
            const int category = l.categories.ofRow[index];
            if (folders && k == l.start[std::size_t(category)]) {
                line(out, "<Folder>");
                element(out, "name", l.categories.names[category]);
            }
            placemark(l.points[index], category, &m_cells[(k - from) * columns()], out);
            if (folders && k + 1 == l.start[std::size_t(category) + 1])
                line(out, "</Folder>");
        }
    }

private:
    // Name, description, then the extended data's columns.
    std::size_t columns() const { return 2 + m_layout.extended.size(); }

    // The cells of the placemarks' texts, looked up in a loop of their own before any is
    // written: folder by folder the rows lie far apart in the sheet, and this loop has each
    // row's lookups wait for memory together rather than one after another.
    void gather(std::size_t from, std::size_t to) {
        const Layout &l = m_layout;
        const TableView &table = l.table;
        const Roles &roles = l.options.roles;
        const bool folders = !l.order.empty();
        const std::size_t n = columns();
        m_cells.resize((to - from) * n);
        const Cell **cell = m_cells.data();
        for (std::size_t k = from; k < to; ++k, cell += n) {
            const int sheetRow = l.points[folders ? l.order[k] : k].row.sheetRow;
            cell[0] = roles.name >= 0 ? table.cell(sheetRow, roles.name) : nullptr;
            cell[1] = roles.description >= 0 ? table.cell(sheetRow, roles.description) : nullptr;
            for (std::size_t e = 0; e < l.extended.size(); ++e)
                cell[2 + e] = table.cell(sheetRow, l.extended[e].first);
        }
    }

    void placemark(const PlacedPoint &point, int style, const Cell *const *cells, KmlText &out) {
        const Layout &l = m_layout;
        const TableView &table = l.table;
        const Roles &roles = l.options.roles;
        const int sheetRow = point.row.sheetRow;
        line(out, "<Placemark>");
        if (const Cell *c = cells[0])
            element(out, "name", m_text(c));
        if (const Cell *c = cells[1]) {
            QString storage;
            out.append("<description>");
            out.appendUtf8(xmlsafe::description(m_text(c), storage));
            out.append("</description>\r\n");
        }
        if (point.time.kind == PointTime::Kind::Text) {
            out.append("<TimeStamp><when>");
            appendWhen(out, point.time);
            out.append("</when></TimeStamp>\r\n");
        } else if (point.time.kind == PointTime::Kind::DateCell) {
            out.append("<TimeStamp><when>");
            out.appendUtf8(isoDate(table.sheet(), *table.cell(sheetRow, roles.time), u'T'));
            out.append("</when></TimeStamp>\r\n");
        }
        out.append(l.styleUrls[std::size_t(style)]);
        bool open = false;
        for (std::size_t e = 0; e < l.extended.size(); ++e) {
            const Cell *c = cells[2 + e];
            if (!c)
                continue;
            if (!open) {
                line(out, "<ExtendedData>");
                open = true;
            }
            out.append(l.extended[e].second);
            out.appendEscaped(m_text(c));
            out.append("</value></Data>\r\n");
        }
        if (open)
            line(out, "</ExtendedData>");
        line(out, "<Point>");
        if (point.hasAltitude)
            line(out, "<altitudeMode>relativeToGround</altitudeMode>");
        out.append("<coordinates>");
        out.appendNumber(point.row.wgs84.lon);
        out.append(',');
        out.appendNumber(point.row.wgs84.lat);
        if (point.hasAltitude) {
            out.append(',');
            out.appendNumber(point.altitude);
        }
        out.append("</coordinates>\r\n");
        line(out, "</Point>");
        line(out, "</Placemark>");
    }

    const Layout &m_layout;
    CellText m_text;
    std::vector<const Cell *> m_cells;
};

} // namespace

bool writeTableKml(const TableView &table, const TableOptions &options, const QString &documentName,
                   const std::function<bool(QByteArrayView)> &sink, TableResult &result,
                   const WriteProgress &progress) {
    return writeTableKml(table, options, documentName, sink, result, progress, KmlMaking());
}

bool writeTableKml(const TableView &table, const TableOptions &options, const QString &documentName,
                   const std::function<bool(QByteArrayView)> &sink, TableResult &result,
                   const WriteProgress &progress, const KmlMaking &making) {
    const std::vector<PlacedPoint> points =
        placePoints(table, options, result.problems, making.threads);
    result.placemarks = qint64(points.size());
    const int categoryColumn = options.roles.category;
    const Categories categories = categoriesOf(table, categoryColumn, points);

    Layout layout{table, options, points, categories, {}, {}, {}, {}, {}};
    if (categoryColumn >= 0) {
        // Each row once, folder by folder: the rows bucketed by category, in row order.
        std::vector<std::size_t> &start = layout.start;
        start.assign(categories.names.size() + 1, 0);
        for (int c : categories.ofRow)
            ++start[std::size_t(c) + 1];
        for (std::size_t c = 1; c < start.size(); ++c)
            start[c] += start[c - 1];
        layout.order.resize(points.size());
        std::vector<std::size_t> next(start.begin(), start.end() - 1);
        for (std::size_t i = 0; i < points.size(); ++i)
            layout.order[next[std::size_t(categories.ofRow[i])]++] = std::uint32_t(i);
    }
    const int styles = categories.styleCount();
    for (int s = 0; s < styles; ++s)
        layout.styleUrls.push_back("<styleUrl>#" + styleId(s) + "</styleUrl>\r\n");
    if (options.extendedData)
        for (int column = 0; column < table.columnCount(); ++column) {
            if (options.roles.roleOf(column) != Role::None)
                continue;
            KmlText markup;
            markup.append("<Data name=\"");
            markup.appendEscaped(table.headings()[column], true);
            markup.append("\"><value>");
            layout.extended.emplace_back(column, markup.bytes().toByteArray());
        }

    KmlText &head = layout.head;
    line(head, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    line(head, "<kml xmlns=\"http://www.opengis.net/kml/2.2\">");
    line(head, "<Document>");
    element(head, "name", documentName);
    for (int s = 0; s < styles; ++s) {
        head.append("<Style id=\"");
        head.append(styleId(s));
        head.append("\"><IconStyle><color>");
        head.append(categoryColour(s).toLatin1());
        head.append("</color></IconStyle></Style>\r\n");
    }

    const std::size_t per = std::size_t(std::max(1, making.placemarksPerPiece));
    const std::size_t pieces = std::max<std::size_t>(1, (points.size() + per - 1) / per);
    Maker makers[2] = {Maker(layout), Maker(layout)};
    return makeInOrder<KmlText>(
        pieces, making.threads,
        [&](int worker, std::size_t i, KmlText &out) {
            out.clear();
            if (i == 0)
                out.append(layout.head.bytes());
            makers[worker].make(i * per, std::min(points.size(), (i + 1) * per), out);
            if (i + 1 == pieces) {
                line(out, "</Document>");
                line(out, "</kml>");
            }
        },
        [&](std::size_t i, const KmlText &out) {
            const double done = points.empty() ? 1.0
                                               : double(std::min(points.size(), (i + 1) * per)) /
                                                     double(points.size());
            return sink(out.bytes()) && (!progress || progress(done));
        });
}

} // namespace table
