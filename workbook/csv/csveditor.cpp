// The records as byte ranges of the file, each either kept or replaced by content written here;
// the new file is the kept ranges and the new contents in order.
#include "workbook/csv/csveditor.h"

#include "common/commanderror.h"
#include "common/numtext.h"
#include "workbook/csv/csvreader.h"
#include "workbook/csv/csvtext.h"

namespace workbook::csv {

namespace {

const SheetLimits Limits{SheetRows, SheetColumns, MaxCellText};

QString textOf(const EditValue &value) {
    if (const QString *text = std::get_if<QString>(&value))
        return *text;
    if (const double *number = std::get_if<double>(&value))
        return numtext::FloatToStr(*number, u'.');
    return QString();
}

QByteArray encoded(const QString &text, Encoding encoding) {
    return encodeText(text, encoding).bytes;
}

} // namespace

CsvEditor::CsvEditor(QByteArrayView bytes, const Dialect &dialect, unsigned oneColumnDelimiter)
    : m_bytes(bytes), m_dialect(dialect),
      m_delimiter(dialect.delimiter ? dialect.delimiter : oneColumnDelimiter) {
    m_delimiterBytes = encoded(QString(QChar(char16_t(m_delimiter))), dialect.encoding);
    m_quote = encoded(QStringLiteral("\""), dialect.encoding);
    const int unit = unitSize();
    withUnits(bytes, dialect, [&](const auto &units) {
        using Units = std::decay_t<decltype(units)>;
        RecordScanner<Units> scanner(units, dialect.delimiter);
        std::vector<FieldRange> fields;
        RecordRange range;
        int sampled = 0, quotedRecords = 0;
        auto at = [&](qsizetype u) { return dialect.markSize + u * unit; };
        while (scanner.next(range, &fields)) {
            Record r;
            r.begin = at(range.begin);
            r.contentEnd = at(range.contentEnd);
            r.end = at(range.end);
            bool allQuoted = true;
            for (const FieldRange &f : fields) {
                const qsizetype n = f.end - f.begin;
                const bool empty =
                    n == 0 || (f.quoted && (n == 1 || (n == 2 && units[f.begin + 1] == Quote)));
                r.hasCells = r.hasCells || !empty;
                allQuoted = allQuoted && f.quoted;
            }
            if (!range.isEmpty() && sampled < SampleRecords) {
                ++sampled;
                quotedRecords += allQuoted;
            }
            if (m_lineEnd.isEmpty() && r.end > r.contentEnd)
                m_lineEnd = bytes.sliced(r.contentEnd, r.end - r.contentEnd).toByteArray();
            m_records.push_back(r);
        }
        m_quoteAll = sampled > 0 && quotedRecords == sampled;
    });
    if (m_lineEnd.isEmpty())
        m_lineEnd = encoded(QStringLiteral("\r\n"), dialect.encoding);
    m_finalLineEnd = m_records.empty() || m_records.back().end > m_records.back().contentEnd;
}

int CsvEditor::unitSize() const {
    return m_dialect.encoding == Encoding::Utf16Le || m_dialect.encoding == Encoding::Utf16Be ? 2
                                                                                              : 1;
}

int CsvEditor::lastRow() const {
    for (std::size_t i = m_records.size(); i > 0; --i)
        if (m_records[i - 1].hasCells)
            return int(i - 1);
    return -1;
}

QByteArray CsvEditor::content(const Record &r) const {
    if (r.replacement >= 0)
        return m_replacements[std::size_t(r.replacement)];
    return m_bytes.sliced(r.begin, r.contentEnd - r.begin).toByteArray();
}

// A record's content cut into its fields as written, their quotes included.
// A record written here is parted by the delimiter it was written with.
std::vector<QByteArray> CsvEditor::fieldsOf(const Record &r) const {
    const QByteArray content = this->content(r);
    std::vector<QByteArray> out;
    Dialect d = m_dialect;
    d.markSize = 0;
    const int unit = unitSize();
    withUnits(content, d, [&](const auto &units) {
        using Units = std::decay_t<decltype(units)>;
        RecordScanner<Units> scanner(units, r.replacement >= 0 ? m_delimiter : d.delimiter);
        std::vector<FieldRange> fields;
        RecordRange range;
        if (scanner.next(range, &fields))
            for (const FieldRange &f : fields)
                out.push_back(content.sliced(f.begin * unit, (f.end - f.begin) * unit));
    });
    return out;
}

bool CsvEditor::isEmptyField(const QByteArray &raw) const {
    return raw.isEmpty() || raw == m_quote || raw == m_quote + m_quote;
}

QByteArray CsvEditor::encodedField(int row, int column, const EditValue &value) const {
    QString text = textOf(value);
    const Encoded check = encodeText(text, m_dialect.encoding);
    if (check.bad >= 0)
        throw CommandError(QStringLiteral("The text for cell %1 holds the character %2, which the "
                                          "file's encoding (%3) cannot hold")
                               .arg(cellName(row, column), characterName(text, check.bad),
                                    encodingName(m_dialect.encoding)));
    bool quote = m_quoteAll;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '"' || u == '\r' || u == '\n' || u == m_delimiter ||
            // A file of one column keeps every candidate delimiter in quotes, lest it read as
            // one with columns.
            (!m_dialect.delimiter && (u == '\t' || u == ',' || u == ';' || u == '|'))) {
            quote = true;
            break;
        }
    }
    if (!quote)
        return check.bytes;
    text.replace(u'"', QStringLiteral("\"\""));
    return m_quote + encoded(text, m_dialect.encoding) + m_quote;
}

void CsvEditor::replace(std::size_t index, const std::vector<QByteArray> &fields) {
    QByteArray joined;
    bool hasCells = false;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i)
            joined += m_delimiterBytes;
        joined += fields[i];
        hasCells = hasCells || !isEmptyField(fields[i]);
    }
    Record &r = m_records[index];
    if (joined == content(r))
        return;
    if (r.replacement < 0) {
        r.replacement = int(m_replacements.size());
        m_replacements.push_back(joined);
    } else {
        m_replacements[std::size_t(r.replacement)] = joined;
    }
    r.hasCells = hasCells;
    m_changed = true;
}

// New empty records up to that row.
void CsvEditor::padTo(int row) {
    while (m_records.size() <= std::size_t(row)) {
        Record r;
        r.isNew = true;
        r.replacement = int(m_replacements.size());
        m_replacements.emplace_back();
        m_records.push_back(r);
        m_changed = true;
    }
}

void CsvEditor::setCell(int row, int column, const EditValue &value) {
    checkCellPosition(row, column, Limits);
    checkCellValue(row, column, value, Limits);
    const QByteArray field = encodedField(row, column, value);
    if (std::size_t(row) >= m_records.size() && isEmptyField(field))
        return; // a cell already empty
    padTo(row);
    std::vector<QByteArray> fields = fieldsOf(m_records[std::size_t(row)]);
    if (std::size_t(column) >= fields.size() && isEmptyField(field))
        return;
    while (fields.size() <= std::size_t(column))
        fields.push_back(m_quoteAll ? m_quote + m_quote : QByteArray());
    fields[std::size_t(column)] = field;
    replace(std::size_t(row), fields);
}

int CsvEditor::appendRow(const QList<EditValue> &values) {
    const int row = lastRow() + 1;
    checkAppendedRow(row, values, Limits);
    std::vector<QByteArray> fields;
    for (int c = 0; c < values.size(); ++c)
        fields.push_back(encodedField(row, c, values[c]));
    padTo(row);
    replace(std::size_t(row), fields);
    return row;
}

void CsvEditor::deleteRow(int row) {
    checkDeletedRow(row, lastRow(), [] { return QStringList(); });
    m_records.erase(m_records.begin() + row);
    m_changed = true;
}

QByteArray CsvEditor::result() const {
    QByteArray out;
    out.reserve(m_bytes.size() + 4096);
    out.append(m_bytes.first(m_dialect.markSize));
    const QByteArray cr = encoded(QStringLiteral("\r"), m_dialect.encoding);
    const QByteArray lf = encoded(QStringLiteral("\n"), m_dialect.encoding);
    // Kept records that follow one another in the file are copied in one piece.
    qsizetype runBegin = 0, runEnd = 0;
    auto flush = [&] {
        out.append(m_bytes.sliced(runBegin, runEnd - runBegin));
        runBegin = runEnd = 0;
    };
    bool afterCr = false; // the last line end written is a lone CR
    const std::size_t n = m_records.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Record &r = m_records[i];
        const bool last = i + 1 == n;
        const bool ownLineEnd = !r.isNew && r.end > r.contentEnd;
        QByteArrayView lineEnd;
        if (ownLineEnd)
            lineEnd = m_bytes.sliced(r.contentEnd, r.end - r.contentEnd);
        else if (!last || (r.isNew && m_finalLineEnd))
            lineEnd = m_lineEnd;
        // An empty record ending in LF after one ending in a lone CR would read as that CR's
        // LF: it holds an empty quoted field instead, which reads as no cell.
        const bool empty = r.replacement >= 0 ? m_replacements[std::size_t(r.replacement)].isEmpty()
                                              : r.contentEnd == r.begin;
        const bool joins = afterCr && empty && lineEnd.startsWith(lf);
        afterCr = lineEnd == cr;
        if (r.replacement < 0 && !joins && (ownLineEnd || last)) {
            if (runEnd != r.begin)
                flush();
            if (runEnd == 0)
                runBegin = r.begin;
            runEnd = r.end;
            continue;
        }
        flush();
        out.append(joins ? m_quote + m_quote : content(r));
        out.append(lineEnd);
    }
    flush();
    return out;
}

} // namespace workbook::csv
