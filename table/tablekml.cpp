// The KML document of a table, written as it is made.
#include "table/tablekml.h"

#include "kml/xmlsafe.h"
#include "table/categories.h"
#include "table/celltext.h"
#include "table/tableview.h"
#include "table/timetext.h"

#include <charconv>
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

// The shortest decimal text that reads back to the same double, without an exponent.
void appendNumber(QByteArray &out, double v) {
    char buffer[400];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed);
    out.append(buffer, error == std::errc() ? end - buffer : 0);
}

void appendEscaped(QByteArray &out, QStringView text, bool attribute = false) {
    qsizetype plain = 0;
    auto flush = [&](qsizetype to) {
        if (to > plain)
            out.append(text.mid(plain, to - plain).toUtf8());
        plain = to + 1;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const char *entity = c == u'&'                                            ? "&amp;"
                             : c == u'<'                                          ? "&lt;"
                             : c == u'>'                                          ? "&gt;"
                             : attribute && c == u'"'                             ? "&quot;"
                             : c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r' ? ""
                                                                                  : nullptr;
        if (!entity)
            continue;
        flush(i);
        out.append(entity);
    }
    flush(text.size());
}

class Writer {
public:
    Writer(const TableView &table, const TableOptions &options,
           const std::function<bool(QByteArrayView)> &sink, const WriteProgress &progress,
           qint64 placemarks)
        : m_table(table), m_options(options), m_sink(sink), m_progress(progress),
          m_placemarks(placemarks) {
        m_out.reserve(Chunk + 4096);
    }

    // The cell's text as the grid shows it, dates in ISO 8601.
    QStringView text(const Cell *c) { return m_text(c); }

    void line(const char *s) {
        m_out.append(s);
        m_out.append("\r\n");
    }

    void element(const char *name, QStringView value) {
        m_out.append('<').append(name).append('>');
        appendEscaped(m_out, value);
        m_out.append("</").append(name).append(">\r\n");
    }

    bool flushIfFull() { return m_out.size() < Chunk || flush(); }
    bool flush() {
        const bool ok = m_sink(m_out);
        m_out.clear();
        return ok &&
               (!m_progress ||
                m_progress(m_placemarks > 0 ? double(m_written) / double(m_placemarks) : 1.0));
    }

    void placemark(const PlacedRow &row, int style) {
        const Roles &roles = m_options.roles;
        ++m_written;
        line("<Placemark>");
        if (roles.name >= 0)
            if (const Cell *c = m_table.cell(row.sheetRow, roles.name))
                element("name", text(c));
        if (roles.description >= 0)
            if (const Cell *c = m_table.cell(row.sheetRow, roles.description)) {
                const QStringView value = text(c);
                QString storage;
                m_out.append("<description>");
                m_out.append(xmlsafe::description(value, storage).toUtf8());
                m_out.append("</description>\r\n");
            }
        if (roles.time >= 0)
            if (const Cell *c = m_table.cell(row.sheetRow, roles.time)) {
                QString when;
                if (c->kind == CellKind::Date) {
                    when = isoDate(m_table.sheet(), *c, u'T');
                } else if (c->kind == CellKind::Text) {
                    const TimeText t = readTimeText(m_table.sheet().strings.view(c->text));
                    if (t.ok)
                        when = kmlWhen(t.when);
                }
                if (!when.isEmpty()) {
                    m_out.append("<TimeStamp><when>").append(when.toUtf8());
                    m_out.append("</when></TimeStamp>\r\n");
                }
            }
        m_out.append("<styleUrl>#").append(styleId(style)).append("</styleUrl>\r\n");
        if (m_options.extendedData) {
            bool open = false;
            for (int column = 0; column < m_table.columnCount(); ++column) {
                if (roles.roleOf(column) != Role::None)
                    continue;
                const Cell *c = m_table.cell(row.sheetRow, column);
                if (!c)
                    continue;
                if (!open) {
                    line("<ExtendedData>");
                    open = true;
                }
                m_out.append("<Data name=\"");
                appendEscaped(m_out, m_table.headings()[column], true);
                m_out.append("\"><value>");
                appendEscaped(m_out, text(c));
                m_out.append("</value></Data>\r\n");
            }
            if (open)
                line("</ExtendedData>");
        }
        line("<Point>");
        double altitude = 0;
        const bool hasAltitude = altitudeOf(row.sheetRow, altitude);
        if (hasAltitude)
            line("<altitudeMode>relativeToGround</altitudeMode>");
        m_out.append("<coordinates>");
        appendNumber(m_out, row.wgs84.lon);
        m_out.append(',');
        appendNumber(m_out, row.wgs84.lat);
        if (hasAltitude) {
            m_out.append(',');
            appendNumber(m_out, altitude);
        }
        m_out.append("</coordinates>\r\n");
        line("</Point>");
        line("</Placemark>");
    }

    static QByteArray styleId(int style) { return "s" + QByteArray::number(style + 1); }

    QByteArray &out() { return m_out; }

private:
    bool altitudeOf(int sheetRow, double &altitude) {
        const int column = m_options.roles.altitude;
        const Cell *c = column < 0 ? nullptr : m_table.cell(sheetRow, column);
        return c && readAltitude(m_table, *c, altitude);
    }

    static constexpr qsizetype Chunk = 1 << 20;
    const TableView &m_table;
    const TableOptions &m_options;
    const std::function<bool(QByteArrayView)> &m_sink;
    const WriteProgress &m_progress;
    const qint64 m_placemarks;
    qint64 m_written = 0;
    QByteArray m_out;
    CellText m_text{m_table.sheet()};
};

} // namespace

bool writeTableKml(const TableView &table, const TableOptions &options, const QString &documentName,
                   const std::function<bool(QByteArrayView)> &sink, TableResult &result,
                   const WriteProgress &progress) {
    std::vector<PlacedRow> rows;
    rows.reserve(table.dataRows().size());
    placeRows(
        table, options, [&](const PlacedRow &row) { rows.push_back(row); }, result.problems);
    result.placemarks = qint64(rows.size());

    const int categoryColumn = options.roles.category;
    const Categories categories = categoriesOf(table, categoryColumn, rows);
    const std::vector<int> &categoryOf = categories.ofRow;
    Writer writer(table, options, sink, progress, result.placemarks);

    writer.line("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    writer.line("<kml xmlns=\"http://www.opengis.net/kml/2.2\">");
    writer.line("<Document>");
    writer.element("name", documentName);
    const int styles = categories.styleCount();
    for (int s = 0; s < styles; ++s) {
        writer.out().append("<Style id=\"").append(Writer::styleId(s));
        writer.out().append("\"><IconStyle><color>").append(categoryColour(s).toLatin1());
        writer.out().append("</color></IconStyle></Style>\r\n");
    }
    if (categoryColumn < 0) {
        for (const PlacedRow &row : rows) {
            writer.placemark(row, 0);
            if (!writer.flushIfFull())
                return false;
        }
    } else {
        // Each row once, folder by folder: the rows bucketed by category, in row order.
        std::vector<std::size_t> start(categories.names.size() + 1, 0);
        for (int c : categoryOf)
            ++start[std::size_t(c) + 1];
        for (std::size_t c = 1; c < start.size(); ++c)
            start[c] += start[c - 1];
        std::vector<std::uint32_t> order(rows.size());
        std::vector<std::size_t> next(start.begin(), start.end() - 1);
        for (std::size_t i = 0; i < rows.size(); ++i)
            order[next[std::size_t(categoryOf[i])]++] = std::uint32_t(i);
        for (int c = 0; c < int(categories.names.size()); ++c) {
            writer.line("<Folder>");
            writer.element("name", categories.names[c]);
            for (std::size_t k = start[std::size_t(c)]; k < start[std::size_t(c) + 1]; ++k) {
                writer.placemark(rows[order[k]], c);
                if (!writer.flushIfFull())
                    return false;
            }
            writer.line("</Folder>");
        }
    }
    writer.line("</Document>");
    writer.line("</kml>");
    return writer.flush();
}

} // namespace table
