// The workbook query: connection string and query text, the records of the sheet, the cursor.
#include "sources/adoquery.h"

#include "common/commanderror.h"
#include "sources/workbook/fieldtext.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <array>

using workbook::Cell;
using workbook::CellKind;

ConnectionSettings parseConnectionString(const QString &text) {
    ConnectionSettings out;
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n) {
        const qsizetype eq = text.indexOf(u'=', i);
        const qsizetype semi = text.indexOf(u';', i);
        if (eq < 0 || (semi >= 0 && semi < eq)) {
            i = semi < 0 ? n : semi + 1; // a part without "=" names nothing
            continue;
        }
        const QString key = text.mid(i, eq - i).trimmed().toLower();
        qsizetype j = eq + 1;
        while (j < n && text[j] == u' ')
            ++j;
        QString value;
        if (j < n && (text[j] == u'"' || text[j] == u'\'')) {
            const QChar quote = text[j++];
            while (j < n) {
                if (text[j] == quote) {
                    if (j + 1 < n && text[j + 1] == quote) {
                        value += quote;
                        j += 2;
                        continue;
                    }
                    ++j;
                    break;
                }
                value += text[j++];
            }
            const qsizetype end = text.indexOf(u';', j);
            i = end < 0 ? n : end + 1;
        } else {
            const qsizetype end = text.indexOf(u';', j);
            value = text.mid(j, end < 0 ? -1 : end - j).trimmed();
            i = end < 0 ? n : end + 1;
        }
        if (key == u"provider")
            out.provider = value;
        else if (key == u"data source")
            out.dataSource = value;
        else if (key == u"extended properties")
            out.extendedProperties = value;
    }
    return out;
}

QString sheetOfQuery(const QString &text) {
    static const QRegularExpression pattern(
        QStringLiteral(R"(^\s*select\s*\*\s*from\s*\[([^\]]+)\$\]\s*;?\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        throw CommandError(QStringLiteral("The query \"%1\" is not understood: only "
                                          "Select * from [Sheet$] can be run on a workbook")
                               .arg(text.trimmed()));
    return m.captured(1);
}

QString TField::AsString() const {
    return m_dataSet->FieldText(m_dataSet->RecNo(), m_index);
}

bool TField::IsNull() const {
    return m_dataSet->FieldCell(m_dataSet->RecNo(), m_index) == nullptr;
}

TADOQuery::TADOQuery(QObject *parent) : QObject(parent) {}

TADOQuery::~TADOQuery() = default;

QString TADOQuery::withName(const QString &message) const {
    return objectName().isEmpty() ? message : objectName() + u": " + message;
}

void TADOQuery::checkActive() const {
    if (!m_active)
        throw CommandError(withName(QStringLiteral("Cannot perform this operation on a closed "
                                                   "dataset")));
}

std::unique_ptr<workbook::WorkbookReader> TADOQuery::read() const {
    const ConnectionSettings settings = parseConnectionString(ConnectionString);
    if (settings.provider.compare(u"Microsoft.Jet.OLEDB.4.0", Qt::CaseInsensitive) != 0)
        throw CommandError(QStringLiteral("Provider cannot be found. It may not be properly "
                                          "installed"));
    static const QRegularExpression excel(QStringLiteral(R"(^\s*excel\s+(8\.0|5\.0|97)\s*(;|$))"),
                                          QRegularExpression::CaseInsensitiveOption);
    if (!excel.match(settings.extendedProperties).hasMatch())
        throw CommandError(QStringLiteral("Could not find installable ISAM"));
    if (settings.dataSource.isEmpty())
        throw CommandError(QStringLiteral("The connection string names no Data Source"));
    const QString sheet = sheetOfQuery(SQL.join(u'\n'));

    auto reader = std::make_unique<workbook::WorkbookReader>();
    if (!reader->readFile(settings.dataSource, sheet))
        throw CommandError(reader->errorString());
    return reader;
}

void TADOQuery::take(workbook::WorkbookReader &reader, const QString &fileName) {
    m_sheet = std::make_unique<workbook::SheetData>(std::move(reader.sheet()));
    m_identity = reader.identity();
    m_fileName = fileName;
    m_sheetName = m_sheet->sheetName;
    m_headingRow = m_sheet->firstRow();
    m_firstColumn = m_sheet->firstColumn();
    m_records = m_sheet->isEmpty() ? 0 : m_sheet->rowCount() - 1;
    buildFields();
    m_active = true;
}

void TADOQuery::Open() {
    if (m_active)
        return;
    std::unique_ptr<workbook::WorkbookReader> reader = read();
    Q_EMIT structureAboutToChange();
    take(*reader, parseConnectionString(ConnectionString).dataSource);
    reader.reset();
    m_current = m_records > 0 ? 0 : -1;
    m_bof = true;
    m_eof = m_records == 0;
    Q_EMIT structureChanged();
    moved(-1);
}

void TADOQuery::Refresh() {
    checkActive();
    Cancel();
    std::unique_ptr<workbook::WorkbookReader> reader = read();
    const int previous = m_current;
    Q_EMIT structureAboutToChange();
    take(*reader, parseConnectionString(ConnectionString).dataSource);
    reader.reset();
    m_current = std::min(std::max(previous, 0), m_records - 1);
    m_bof = m_records == 0 || (m_bof && m_current == 0);
    m_eof = m_records == 0 || (m_eof && m_current == m_records - 1);
    Q_EMIT structureChanged();
    moved(previous);
}

void TADOQuery::Close() {
    if (!m_active)
        return;
    Q_EMIT structureAboutToChange();
    const int previous = m_current;
    m_active = false;
    m_sheet.reset();
    m_fields.clear();
    m_records = 0;
    m_current = -1;
    m_bof = m_eof = true;
    m_headingRow = m_firstColumn = 0;
    m_fileName.clear();
    m_sheetName.clear();
    m_identity = workbook::FileIdentity();
    Q_EMIT structureChanged();
    moved(previous);
}

// Names from the first row, by the field text rules; an empty heading gives "F" and the field's
// number. A name already taken (without regard to case) gets the smallest number that makes it
// unique, so that every field can be found by its name.
void TADOQuery::buildFields() {
    m_fields.clear();
    const workbook::SheetData &sheet = *m_sheet;
    const int columns = sheet.isEmpty() ? 1 : sheet.columnCount();

    // One pass over the cells, not over records times fields: a sheet may be 65,536 by 65,536.
    std::vector<std::array<int, 7>> counts(std::size_t(columns), std::array<int, 7>{});
    std::vector<bool> memo(std::size_t(columns), false);
    for (const Cell &c : sheet.cells()) {
        if (c.row == m_headingRow)
            continue;
        const std::size_t f = std::size_t(c.column - m_firstColumn);
        ++counts[f][std::size_t(c.kind)];
        if (c.kind == CellKind::Text && sheet.strings.length(c.text) > 255)
            memo[f] = true;
    }

    m_fields.reserve(std::size_t(columns));
    QSet<QString> taken; // case-folded
    for (int f = 0; f < columns; ++f) {
        const int column = m_firstColumn + f;
        QString name = workbook::fieldtext::cellText(sheet, sheet.cell(m_headingRow, column));
        if (name.isEmpty())
            name = u'F' + QString::number(f + 1);
        if (taken.contains(name.toCaseFolded())) {
            int k = 1;
            while (taken.contains(QString(name + QString::number(k)).toCaseFolded()))
                ++k;
            name += QString::number(k);
        }
        taken.insert(name.toCaseFolded());

        FieldKind kind = FieldKind::String;
        if (memo[std::size_t(f)]) {
            kind = FieldKind::Memo;
        } else {
            // The most common kind; text wins a tie, as it can hold every value.
            const std::array<std::pair<CellKind, FieldKind>, 6> order{{
                {CellKind::Text, FieldKind::String},
                {CellKind::Number, FieldKind::Float},
                {CellKind::Date, FieldKind::DateTime},
                {CellKind::Currency, FieldKind::Currency},
                {CellKind::Bool, FieldKind::Boolean},
                {CellKind::Error, FieldKind::String},
            }};
            int best = 0;
            for (const auto &[cellKind, fieldKind] : order) {
                const int n = counts[std::size_t(f)][std::size_t(cellKind)];
                if (n > best) {
                    best = n;
                    kind = fieldKind;
                }
            }
        }
        m_fields.emplace_back(this, f, name, kind, column);
    }
}

const TField &TADOQuery::Fields(int index) const {
    if (index < 0 || index >= int(m_fields.size()))
        throw CommandError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return m_fields[std::size_t(index)];
}

const TField *TADOQuery::FindField(const QString &name) const {
    for (const TField &f : m_fields)
        if (f.FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return &f;
    return nullptr;
}

int TADOQuery::RecordCount() const {
    checkActive();
    return m_records;
}

int TADOQuery::RecNo() const {
    checkActive();
    return m_current;
}

void TADOQuery::moved(int previous) {
    if (m_disabled > 0) {
        if (m_movedFrom == -2)
            m_movedFrom = previous;
        return;
    }
    Q_EMIT recordChanged(previous, m_current);
}

void TADOQuery::First() {
    checkActive();
    const int previous = m_current;
    m_current = m_records > 0 ? 0 : -1;
    m_bof = true;
    m_eof = m_records == 0;
    moved(previous);
}

void TADOQuery::Last() {
    checkActive();
    const int previous = m_current;
    m_current = m_records - 1;
    m_eof = true;
    m_bof = m_records == 0;
    moved(previous);
}

void TADOQuery::Next() {
    MoveBy(1);
}

void TADOQuery::Prior() {
    MoveBy(-1);
}

int TADOQuery::MoveBy(int distance) {
    checkActive();
    if (distance == 0 || (distance > 0 && m_eof) || (distance < 0 && m_bof))
        return 0;
    const int previous = m_current;
    m_bof = m_eof = false;
    const long long target = (long long)m_current + distance;
    if (target >= m_records) {
        m_current = m_records - 1;
        m_eof = true;
    } else if (target < 0) {
        m_current = m_records > 0 ? 0 : -1;
        m_bof = true;
    } else {
        m_current = int(target);
    }
    moved(previous);
    return m_current - previous;
}

void TADOQuery::Edit() {
    checkActive();
    if (!CanModify())
        throw CommandError(withName(QStringLiteral("Cannot modify a read-only dataset")));
}

void TADOQuery::Insert() {
    Edit();
}

void TADOQuery::Delete() {
    Edit();
}

void TADOQuery::Post() {
    checkActive();
    if (State() != DataSetState::Edit && State() != DataSetState::Insert)
        throw CommandError(withName(QStringLiteral("Dataset not in edit or insert mode")));
}

void TADOQuery::Cancel() {
    // Without an edit in progress there is nothing to drop; no edit starts while the data
    // cannot be modified.
}

const Cell *TADOQuery::FieldCell(int record, int field) const {
    checkActive();
    if (field < 0 || field >= int(m_fields.size()))
        throw CommandError(QStringLiteral("List index out of bounds (%1)").arg(field));
    if (record < 0 || record >= m_records)
        return nullptr;
    return m_sheet->cell(SheetRow(record), SheetColumn(field));
}

QString TADOQuery::FieldText(int record, int field) const {
    return workbook::fieldtext::cellText(*m_sheet, FieldCell(record, field));
}

void TADOQuery::DisableControls() {
    ++m_disabled;
}

void TADOQuery::EnableControls() {
    if (m_disabled == 0 || --m_disabled > 0)
        return;
    if (m_movedFrom != -2) {
        const int previous = m_movedFrom;
        m_movedFrom = -2;
        Q_EMIT recordChanged(previous, m_current);
    }
}
