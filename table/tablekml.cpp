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
#include "table/timetext.h"

#include <algorithm>
#include <cmath>

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

// Where a cell's text lies among the pool's characters; or that the row has no such cell, or one
// whose text is made (a number, a date), which is then looked up again.
struct TextRef {
    static constexpr std::uint32_t None = 0xffffffff, Made = 0xfffffffe;
    std::uint32_t offset = None;
    std::uint32_t length = 0;
};

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
    // Per point, in its own order, the texts of its name, description and extended data's
    // columns, the first textColumns of them: found in row order, where the sheet is read front
    // to back, and used in folder order, where the rows lie far apart. A wide table's other
    // columns are looked up as they are written, so that this stays a few bytes a cell.
    std::size_t textColumns = 0;
    std::vector<TextRef> texts;
    KmlText head;
};

// The markup of one style's id.
QByteArray styleId(int style) {
    return "s" + QByteArray::number(style + 1);
}

// A literal's markup and its line end, its length known where it is written.
template <std::size_t N> void line(KmlText &out, const char (&text)[N]) {
    out.append(text);
    out.append("\r\n");
}

template <std::size_t N> void element(KmlText &out, const char (&name)[N], QStringView value) {
    out.append('<');
    out.append(name);
    out.append('>');
    out.appendEscaped(value);
    out.append("</");
    out.append(name);
    out.append(">\r\n");
}

// The time as a KML <when> holds it.
void appendWhen(KmlText &out, const PointTime &t) {
    char when[19];
    out.append(when, kmlWhen({t.year, t.month, t.day, t.hour, t.minute, t.second}, when));
}

// Makes pieces of the document: a maker for each thread.
class Maker {
public:
    explicit Maker(const Layout &layout) : m_layout(layout), m_text(layout.table.sheet()) {}

    // Placemarks from to to of the order, with the folders they open and close.
    void make(std::size_t from, std::size_t to, KmlText &out) {
        const Layout &l = m_layout;
        const bool folders = !l.order.empty();
        const QChar *chars = l.table.sheet().strings.chars().constData();
        for (std::size_t k = from; k < to; ++k) {
            const std::size_t index = folders ? l.order[k] : k;
            if (folders) {
                // Folder by folder the rows lie far apart: the memory of those a little ahead
                // is asked for now, so that it has come when they are written.
                if (k + 16 < to) {
                    __builtin_prefetch(&l.points[l.order[k + 16]]);
                    __builtin_prefetch(&l.texts[l.order[k + 16] * l.textColumns]);
                }
                if (k + 8 < to)
                    for (std::size_t c = 0; c < l.textColumns; ++c)
                        if (const TextRef &t = l.texts[l.order[k + 8] * l.textColumns + c];
                            t.offset < TextRef::Made)
                            __builtin_prefetch(chars + t.offset);
            }
            const int category = l.categories.ofRow[index];
            if (folders && k == l.start[std::size_t(category)]) {
                line(out, "<Folder>");
                element(out, "name", l.categories.names[category]);
            }
            placemark(l.points[index], category, &l.texts[index * l.textColumns], out);
            if (folders && k + 1 == l.start[std::size_t(category) + 1])
                line(out, "</Folder>");
        }
    }

private:
    // The text of the column'th of the point's text columns; empty when it has no cell there.
    QStringView text(const TextRef &ref, int sheetRow, int column) {
        if (ref.offset == TextRef::None)
            return {};
        if (ref.offset == TextRef::Made)
            return m_text(m_layout.table.cell(sheetRow, column));
        return QStringView(m_layout.table.sheet().strings.chars()).mid(ref.offset, ref.length);
    }

    void placemark(const PlacedPoint &point, int style, const TextRef *texts, KmlText &out) {
        const Layout &l = m_layout;
        const TableView &table = l.table;
        const Roles &roles = l.options.roles;
        const int sheetRow = point.row.sheetRow;
        line(out, "<Placemark>");
        if (texts[0].offset != TextRef::None)
            element(out, "name", text(texts[0], sheetRow, roles.name));
        if (texts[1].offset != TextRef::None) {
            QString storage;
            out.append("<description>");
            out.appendUtf8(
                xmlsafe::description(text(texts[1], sheetRow, roles.description), storage));
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
            const int column = l.extended[e].first;
            QStringView value;
            if (2 + e < l.textColumns) {
                const TextRef &ref = texts[2 + e];
                if (ref.offset == TextRef::None)
                    continue;
                value = text(ref, sheetRow, column);
            } else if (const Cell *c = table.cell(sheetRow, column)) {
                value = m_text(c);
            } else {
                continue;
            }
            if (!open) {
                line(out, "<ExtendedData>");
                open = true;
            }
            out.append(l.extended[e].second);
            out.appendEscaped(value);
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

    Layout layout{table, options, points, categories, {}, {}, {}, {}, 0, {}, {}};
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

    layout.textColumns =
        std::min(2 + layout.extended.size(), std::size_t(std::max(2, making.textsAhead)));
    layout.texts.resize(points.size() * layout.textColumns);
    {
        const workbook::SheetData &sheet = table.sheet();
        const QChar *chars = sheet.strings.chars().constData();
        auto refOf = [&](int sheetRow, int column) {
            TextRef ref;
            const Cell *c = column >= 0 ? table.cell(sheetRow, column) : nullptr;
            if (c && c->kind == CellKind::Text) {
                const QStringView text = sheet.strings.view(c->text);
                ref = {std::uint32_t(text.data() - chars), std::uint32_t(text.size())};
            } else if (c) {
                ref.offset = TextRef::Made;
            }
            return ref;
        };
        TextRef *ref = layout.texts.data();
        for (const PlacedPoint &point : points) {
            const int sheetRow = point.row.sheetRow;
            *ref++ = refOf(sheetRow, options.roles.name);
            *ref++ = refOf(sheetRow, options.roles.description);
            for (std::size_t e = 0; e + 2 < layout.textColumns; ++e)
                *ref++ = refOf(sheetRow, layout.extended[e].first);
        }
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
