// The workbook query: connection string and query text, the records of the sheet, the cursor,
// and editing: the pending edit or insert, posting through write-back, deleting rows.
#include "sources/adoquery.h"

#include "common/commanderror.h"
#include "coords/numtext.h"
#include "sources/workbook/fieldtext.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>
#include <fcntl.h>
#include <langinfo.h>
#include <unistd.h>

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

namespace {

using workbook::EditValue;

// Whether this process may replace the file's content: by a new file renamed over it, or, where
// its folder takes no new files, in place. Either way the file itself must be writable, for the
// effective user, as for the write itself.
bool mayReplace(const QString &path) {
    const QByteArray file = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    return faccessat(AT_FDCWD, file.constData(), W_OK, AT_EACCESS) == 0;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(int year, int month, int day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yoe = year - era * 400;
    const std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

bool validDate(int year, int month, int day) {
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > days[month - 1])
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month != 2 || day < 29 || leap;
}

// A text in the form a date cell is shown in (the locale's date format, a blank and its time
// format; either alone) as a serial of the workbook's date system, so that a date edited as
// shown is written as a date again. Nothing when the text is not such a date.
std::optional<double> dateSerial(const QString &text, bool date1904) {
    if (text.contains(QChar::Null)) // the C library would read only up to it
        return std::nullopt;
    QByteArray dateFormat(nl_langinfo(D_FMT));
    if (dateFormat.isEmpty())
        dateFormat = "%m/%d/%y";
    dateFormat.replace("%y", "%Y");
    const QByteArray timeFormat(nl_langinfo(T_FMT));
    const QByteArray local = text.toLocal8Bit();
    std::tm tm{};
    auto reads = [&](const QByteArray &format) {
        tm = std::tm{};
        const char *end = strptime(local.constData(), format.constData(), &tm);
        return end && *end == '\0';
    };
    bool hasDate = true;
    if (!reads(dateFormat + ' ' + timeFormat) && !reads(dateFormat)) {
        // A time alone is how serial 0 of the 1900 system is shown.
        if (date1904 || timeFormat.isEmpty() || !reads(timeFormat))
            return std::nullopt;
        hasDate = false;
    }
    if (tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_sec > 59)
        return std::nullopt;
    const double time = (tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec) / 86400.0;
    if (!hasDate)
        return time;
    const int year = tm.tm_year + 1900, month = tm.tm_mon + 1, day = tm.tm_mday;
    if (year > 9999)
        return std::nullopt;
    const std::int64_t since1970 = daysFromCivil(year, month, day);
    std::int64_t serial;
    if (date1904) {
        if (year < 1904 || !validDate(year, month, day))
            return std::nullopt;
        serial = since1970 + 24107;
    } else if (year == 1900 && month == 2 && day == 29) {
        serial = 60; // the day Excel's 1900 system counts though it never was
    } else {
        if (year < 1900 || !validDate(year, month, day))
            return std::nullopt;
        serial = since1970 + 25569;
        if (serial < 61)
            --serial;
    }
    return double(serial) + time;
}

} // namespace

struct TADOQuery::Loaded {
    std::unique_ptr<workbook::WorkbookReader> reader;
    QString fileName;
    std::optional<bool> writable; // not asked: keep what is known
};

// A cell as a post wrote it, and the kind a new number most likely reads back as.
struct TADOQuery::Written {
    int row;
    int column;
    EditValue value;
    CellKind numberKind;
};

class TADOQuery::UpdatingScope {
public:
    explicit UpdatingScope(TADOQuery &query) : m_query(query) { ++m_query.m_updating; }
    ~UpdatingScope() { --m_query.m_updating; }
    UpdatingScope(const UpdatingScope &) = delete;
    UpdatingScope &operator=(const UpdatingScope &) = delete;

private:
    TADOQuery &m_query;
};

bool TField::IsNumeric() const {
    return m_kind == FieldKind::Float || m_kind == FieldKind::Currency ||
           m_kind == FieldKind::DateTime;
}

QString TField::AsString() const {
    return m_dataSet->FieldText(m_dataSet->RecNo(), m_index);
}

void TField::SetAsString(const QString &text) const {
    m_dataSet->SetFieldText(m_index, text);
}

bool TField::IsNull() const {
    return m_dataSet->FieldIsNull(m_dataSet->RecNo(), m_index);
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

void TADOQuery::checkCanModify() const {
    checkActive();
    if (!m_canModify)
        throw CommandError(withName(QStringLiteral("Cannot modify a read-only dataset")));
}

TADOQuery::Loaded TADOQuery::read(bool checkWritable) const {
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
    return load(settings.dataSource, sheet, checkWritable);
}

TADOQuery::Loaded TADOQuery::load(const QString &fileName, const QString &sheet,
                                  bool checkWritable) const {
    Loaded loaded;
    loaded.reader = std::make_unique<workbook::WorkbookReader>();
    if (!loaded.reader->readFile(fileName, sheet))
        throw CommandError(loaded.reader->errorString());
    loaded.fileName = fileName;
    if (checkWritable)
        loaded.writable = loaded.reader->sheet().biffVersion != 5 && mayReplace(fileName) &&
                          workbook::canWrite(fileName);
    return loaded;
}

void TADOQuery::take(Loaded &loaded) {
    m_sheet = std::make_unique<workbook::SheetData>(std::move(loaded.reader->sheet()));
    m_identity = loaded.reader->identity();
    loaded.reader.reset();
    m_fileName = loaded.fileName;
    m_sheetName = m_sheet->sheetName;
    m_headingRow = m_sheet->firstRow();
    m_firstColumn = m_sheet->firstColumn();
    m_records = recordsInSheet();
    m_fields = buildFields(*m_sheet, m_headingRow, m_firstColumn);
    if (loaded.writable)
        m_canModify = *loaded.writable;
    m_active = true;
}

void TADOQuery::Open() {
    if (m_active)
        return;
    Loaded loaded = read(true);
    const UpdatingScope updating(*this);
    Q_EMIT structureAboutToChange();
    take(loaded);
    m_state = DataSetState::Browse;
    m_current = m_records > 0 ? 0 : -1;
    m_bof = true;
    m_eof = m_records == 0;
    Q_EMIT structureChanged();
    Q_EMIT stateChanged();
    moved(-1);
}

// Records read again into the same fields at the same places change in place, so that the grid
// keeps its columns and their widths; other fields replace the structure. Kinds are kept when
// asked: a post's own reading back does not change how the next typed text is written.
void TADOQuery::reload(Loaded &loaded, bool keepKinds, int current) {
    const workbook::SheetData &sheet = loaded.reader->sheet();
    std::vector<TField> fields = buildFields(sheet, sheet.firstRow(), sheet.firstColumn());
    bool same = fields.size() == m_fields.size() && sheet.firstRow() == m_headingRow &&
                sheet.firstColumn() == m_firstColumn;
    for (std::size_t f = 0; same && f < fields.size(); ++f)
        same = fields[f].FieldName() == m_fields[f].FieldName();
    if (!same) {
        Q_EMIT structureAboutToChange();
        take(loaded);
        m_current = std::clamp(current, std::min(0, m_records - 1), m_records - 1);
        Q_EMIT structureChanged();
        return;
    }
    std::unique_ptr<workbook::SheetData> read =
        std::make_unique<workbook::SheetData>(std::move(loaded.reader->sheet()));
    m_identity = loaded.reader->identity();
    loaded.reader.reset();
    if (loaded.writable)
        m_canModify = *loaded.writable;
    if (!keepKinds)
        m_fields = std::move(fields);
    m_sheet = std::move(read);
    setRecordCount(recordsInSheet());
    m_current = std::clamp(current, std::min(0, m_records - 1), m_records - 1);
    if (m_records > 0)
        Q_EMIT valuesChanged(0, m_records - 1, 0, FieldCount() - 1);
}

void TADOQuery::Refresh() {
    checkActive();
    CheckBrowseMode();
    Loaded loaded = read(true);
    const UpdatingScope updating(*this);
    const int previous = m_current;
    reload(loaded, false, previous);
    m_bof = m_records == 0 || (m_bof && m_current == 0);
    m_eof = m_records == 0 || (m_eof && m_current == m_records - 1);
    Q_EMIT stateChanged();
    moved(previous);
}

void TADOQuery::Close() {
    if (!m_active)
        return;
    const UpdatingScope updating(*this);
    Q_EMIT structureAboutToChange();
    const int previous = m_current;
    m_active = false;
    m_state = DataSetState::Inactive;
    m_canModify = false;
    m_edits.clear();
    m_insertAt = -1;
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
    Q_EMIT stateChanged();
    moved(previous);
}

// Names from the first row, by the field text rules; an empty heading gives "F" and the field's
// number. A name already taken (without regard to case) gets the smallest number that makes it
// unique, so that every field can be found by its name.
std::vector<TField> TADOQuery::buildFields(const workbook::SheetData &sheet, int headingRow,
                                           int firstColumn) {
    std::vector<TField> fields;
    const int columns = sheet.isEmpty() ? 1 : sheet.columnCount();

    // One pass over the cells, not over records times fields: a sheet may be 65,536 by 65,536.
    std::vector<std::array<int, 7>> counts(std::size_t(columns), std::array<int, 7>{});
    std::vector<bool> memo(std::size_t(columns), false);
    for (const Cell &c : sheet.cells()) {
        if (c.row == headingRow)
            continue;
        const std::size_t f = std::size_t(c.column - firstColumn);
        ++counts[f][std::size_t(c.kind)];
        if (c.kind == CellKind::Text && sheet.strings.length(c.text) > 255)
            memo[f] = true;
    }

    fields.reserve(std::size_t(columns));
    QSet<QString> taken; // case-folded
    for (int f = 0; f < columns; ++f) {
        const int column = firstColumn + f;
        QString name = workbook::fieldtext::cellText(sheet, sheet.cell(headingRow, column));
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
        fields.emplace_back(this, f, name, kind, column);
    }
    return fields;
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
    return m_records + (m_state == DataSetState::Insert ? 1 : 0);
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

void TADOQuery::setState(DataSetState state) {
    m_state = state;
    Q_EMIT stateChanged();
}

void TADOQuery::First() {
    checkActive();
    CheckBrowseMode();
    const int previous = m_current;
    m_current = m_records > 0 ? 0 : -1;
    m_bof = true;
    m_eof = m_records == 0;
    moved(previous);
}

void TADOQuery::Last() {
    checkActive();
    CheckBrowseMode();
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
    CheckBrowseMode();
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

// ---------------------------------------------------------------------------------------------
// Editing

int TADOQuery::storedRecord(int record) const {
    if (m_state != DataSetState::Insert)
        return record;
    if (record == m_insertAt)
        return -1;
    return record > m_insertAt ? record - 1 : record;
}

QString TADOQuery::storedText(int stored, int field) const {
    if (stored < 0 || stored >= m_records)
        return QString();
    return workbook::fieldtext::cellText(*m_sheet,
                                         m_sheet->cell(SheetRow(stored), SheetColumn(field)));
}

int TADOQuery::recordsInSheet() const {
    if (m_sheet->isEmpty())
        return 0;
    return std::max(0, m_sheet->firstRow() + m_sheet->rowCount() - 1 - m_headingRow);
}

// Announces the change of the stored record count at its end; no insert may be pending.
void TADOQuery::setRecordCount(int count) {
    if (count < m_records) {
        Q_EMIT recordsAboutToBeRemoved(count, m_records - 1);
        m_records = count;
        Q_EMIT recordsRemoved();
    } else if (count > m_records) {
        Q_EMIT recordsAboutToBeInserted(m_records, count - 1);
        m_records = count;
        Q_EMIT recordsInserted();
    }
}

bool TADOQuery::fieldChanged(int field) const {
    const std::optional<QString> &typed = m_edits[std::size_t(field)];
    if (!typed)
        return false;
    if (m_state == DataSetState::Insert)
        return !typed->isEmpty();
    return *typed != storedText(storedRecord(m_current), field);
}

bool TADOQuery::Modified() const {
    if (!m_active || (m_state != DataSetState::Edit && m_state != DataSetState::Insert))
        return false;
    for (int f = 0; f < FieldCount(); ++f)
        if (fieldChanged(f))
            return true;
    return false;
}

// A number when the field holds numbers and the text reads as one (or, in a date field, as a
// date in the form dates are shown in); nothing for the empty text; the text otherwise.
EditValue TADOQuery::editValue(int field, const QString &text) const {
    if (text.isEmpty())
        return std::monostate();
    const TField &f = m_fields[std::size_t(field)];
    if (f.IsNumeric()) {
        long double value;
        if (numtext::TextToFloat(text, value)) {
            const double number = double(value);
            if (std::isfinite(number))
                return number;
        }
        if (f.DataType() == FieldKind::DateTime)
            if (const std::optional<double> serial = dateSerial(text, m_sheet->date1904))
                return *serial;
    }
    return text;
}

void TADOQuery::Edit() {
    checkActive();
    if (m_state == DataSetState::Edit || m_state == DataSetState::Insert)
        return;
    checkCanModify();
    if (m_records == 0) {
        Insert();
        return;
    }
    m_edits.assign(m_fields.size(), std::nullopt);
    setState(DataSetState::Edit);
}

void TADOQuery::Insert() {
    beginInsert(false);
}

void TADOQuery::Append() {
    beginInsert(true);
}

void TADOQuery::beginInsert(bool atEnd) {
    checkCanModify();
    CheckBrowseMode();
    const UpdatingScope updating(*this);
    const int previous = m_current;
    m_beforeInsert = m_current;
    m_bofBeforeInsert = m_bof;
    m_eofBeforeInsert = m_eof;
    const int at = atEnd || m_current < 0 ? m_records : m_current;
    Q_EMIT recordsAboutToBeInserted(at, at);
    m_state = DataSetState::Insert;
    m_insertAt = at;
    m_edits.assign(m_fields.size(), std::nullopt);
    Q_EMIT recordsInserted();
    m_current = at;
    m_bof = false;
    m_eof = atEnd;
    Q_EMIT stateChanged();
    moved(previous >= at ? previous + 1 : previous);
}

// The blank record leaves; the cursor goes back where it was.
void TADOQuery::dropInsert() {
    const UpdatingScope updating(*this);
    const int at = m_insertAt;
    Q_EMIT recordsAboutToBeRemoved(at, at);
    m_state = DataSetState::Browse;
    m_insertAt = -1;
    m_edits.clear();
    Q_EMIT recordsRemoved();
    m_current = m_beforeInsert;
    m_bof = m_bofBeforeInsert;
    m_eof = m_eofBeforeInsert;
    Q_EMIT stateChanged();
    moved(at);
}

void TADOQuery::Cancel() {
    if (!m_active)
        return;
    if (m_state == DataSetState::Edit) {
        m_edits.clear();
        m_state = DataSetState::Browse;
        Q_EMIT valuesChanged(m_current, m_current, 0, FieldCount() - 1);
        Q_EMIT stateChanged();
    } else if (m_state == DataSetState::Insert) {
        dropInsert();
    }
}

void TADOQuery::CheckBrowseMode() {
    checkActive();
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        return;
    UpdateRecord();
    if (Modified())
        Post();
    else
        Cancel();
}

void TADOQuery::UpdateRecord() {
    if (m_active && (m_state == DataSetState::Edit || m_state == DataSetState::Insert))
        Q_EMIT updateRecord();
}

void TADOQuery::SetFieldText(int field, const QString &text) {
    checkActive();
    Fields(field);
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        throw CommandError(withName(QStringLiteral("Dataset not in edit or insert mode")));
    m_edits[std::size_t(field)] = text;
    Q_EMIT valuesChanged(m_current, m_current, field, field);
}

void TADOQuery::Post() {
    checkActive();
    if (m_state != DataSetState::Edit && m_state != DataSetState::Insert)
        throw CommandError(withName(QStringLiteral("Dataset not in edit or insert mode")));
    UpdateRecord();
    if (m_state == DataSetState::Edit)
        postEdit();
    else
        postInsert();
}

CellKind TADOQuery::newNumberKind(int field) const {
    switch (m_fields[std::size_t(field)].DataType()) {
    case FieldKind::DateTime:
        return CellKind::Date;
    case FieldKind::Currency:
        return CellKind::Currency;
    default:
        return CellKind::Number;
    }
}

void TADOQuery::postEdit() {
    const int row = SheetRow(m_current);
    std::vector<workbook::SheetChange> changes;
    std::vector<Written> cells;
    for (int f = 0; f < FieldCount(); ++f) {
        if (!fieldChanged(f))
            continue;
        const EditValue value = editValue(f, *m_edits[std::size_t(f)]);
        changes.push_back(workbook::SheetChange::setCell(row, SheetColumn(f), value));
        cells.push_back(Written{row, SheetColumn(f), value, newNumberKind(f)});
    }
    if (!changes.empty())
        m_identity = workbook::writeSheetChanges(m_fileName, m_identity, changes).identity;

    const UpdatingScope updating(*this);
    const int previous = m_current;
    m_edits.clear();
    m_state = DataSetState::Browse;
    if (!changes.empty())
        storeWritten(cells, m_current);
    else // the controls show the stored texts again
        Q_EMIT valuesChanged(m_current, m_current, 0, FieldCount() - 1);
    Q_EMIT stateChanged();
    if (m_current != previous)
        moved(previous);
}

// A posted insert is written after the sheet's last row, as the Jet provider appended rows; the
// record then sits where a fresh reading of the file puts it.
void TADOQuery::postInsert() {
    QList<EditValue> values;
    std::vector<int> changedFields;
    for (int f = 0; f < FieldCount(); ++f) {
        if (!fieldChanged(f))
            continue;
        const int column = SheetColumn(f);
        while (values.size() <= column)
            values.append(std::monostate());
        values[column] = editValue(f, *m_edits[std::size_t(f)]);
        changedFields.push_back(f);
    }
    if (changedFields.empty()) { // an empty row would not be a record in the file
        dropInsert();
        return;
    }
    std::vector<workbook::SheetChange> changes;
    // A sheet without a heading row gets one, or the first record would be read as headings.
    const bool headings = m_sheet->isEmpty();
    if (headings)
        for (const TField &f : m_fields)
            changes.push_back(
                workbook::SheetChange::setCell(m_headingRow, f.SheetColumn(), f.FieldName()));
    changes.push_back(workbook::SheetChange::appendRow(values));
    const workbook::WriteResult result =
        workbook::writeSheetChanges(m_fileName, m_identity, changes);
    m_identity = result.identity;
    const int row = result.rows.back();

    std::vector<Written> cells;
    if (headings)
        for (const TField &f : m_fields)
            cells.push_back(Written{m_headingRow, f.SheetColumn(), f.FieldName(), CellKind::Text});
    for (int f : changedFields)
        cells.push_back(Written{row, SheetColumn(f), values[SheetColumn(f)], newNumberKind(f)});

    const UpdatingScope updating(*this);
    const int at = m_insertAt;
    Q_EMIT recordsAboutToBeRemoved(at, at);
    m_state = DataSetState::Browse;
    m_insertAt = -1;
    m_edits.clear();
    Q_EMIT recordsRemoved();
    storeWritten(cells, row - m_headingRow - 1);
    m_bof = m_eof = false;
    Q_EMIT stateChanged();
    moved(at);
}

// After a write: the records take the written cells and the cursor goes to the record asked
// for. A number written where no number was takes its kind (plain, date, money) from a cell
// format only the file knows: then the file is read again. Should that reading fail, the cells
// as written stay, with the kinds their field suggests.
void TADOQuery::storeWritten(const std::vector<Written> &cells, int current) {
    if (!storeCells(cells)) {
        try {
            Loaded loaded = load(m_fileName, m_sheetName, false);
            reload(loaded, true, current);
            return;
        } catch (const CommandError &) {
        }
    }
    setRecordCount(recordsInSheet());
    m_current = std::clamp(current, std::min(0, m_records - 1), m_records - 1);
    if (m_current >= 0)
        Q_EMIT valuesChanged(m_current, m_current, 0, FieldCount() - 1);
}

bool TADOQuery::storeCells(const std::vector<Written> &cells) {
    std::vector<Cell> all = m_sheet->cells();
    bool known = true;
    auto before = [](const Cell &c, std::pair<int, int> at) {
        return c.row != at.first ? c.row < at.first : c.column < at.second;
    };
    for (const Written &w : cells) {
        Cell cell;
        cell.row = w.row;
        cell.column = std::uint16_t(w.column);
        const auto it =
            std::lower_bound(all.begin(), all.end(), std::pair(w.row, w.column), before);
        const bool exists = it != all.end() && it->row == w.row && it->column == w.column;
        if (const double *number = std::get_if<double>(&w.value)) {
            cell.number = *number;
            const bool wasNumber =
                exists && (it->kind == CellKind::Number || it->kind == CellKind::Date ||
                           it->kind == CellKind::Currency);
            // Write-back keeps a cell's format: a number stays plain, date or money.
            cell.kind = wasNumber ? it->kind : w.numberKind;
            known = known && wasNumber;
        } else if (const QString *text = std::get_if<QString>(&w.value)) {
            cell.kind = CellKind::Text;
            cell.text = m_sheet->strings.add(*text);
        }
        if (exists)
            *it = cell; // an empty cell is dropped by setCells
        else if (cell.kind != CellKind::Empty)
            all.insert(it, cell);
    }
    m_sheet->setCells(std::move(all));
    return known;
}

void TADOQuery::storeDeletedRow(int row) {
    const std::vector<Cell> &old = m_sheet->cells();
    std::vector<Cell> all;
    all.reserve(old.size());
    for (Cell c : old) {
        if (c.row == row)
            continue;
        if (c.row > row)
            --c.row;
        all.push_back(c);
    }
    m_sheet->setCells(std::move(all));
}

void TADOQuery::Delete() {
    checkCanModify();
    if (m_state == DataSetState::Insert) {
        dropInsert();
        return;
    }
    if (m_records == 0)
        throw CommandError(withName(QStringLiteral("Cannot perform this operation on an empty "
                                                   "dataset")));
    const int row = SheetRow(m_current);
    m_identity =
        workbook::writeSheetChanges(m_fileName, m_identity, {workbook::SheetChange::deleteRow(row)})
            .identity;

    const UpdatingScope updating(*this);
    const int previous = m_current;
    m_edits.clear();
    m_state = DataSetState::Browse;
    Q_EMIT recordsAboutToBeRemoved(m_current, m_current);
    storeDeletedRow(row);
    --m_records;
    Q_EMIT recordsRemoved();
    setRecordCount(recordsInSheet()); // empty records left at the end are no records in the file
    m_current = std::min(previous, m_records - 1);
    m_bof = m_eof = m_records == 0;
    Q_EMIT stateChanged();
    moved(previous);
}

const Cell *TADOQuery::FieldCell(int record, int field) const {
    checkActive();
    if (field < 0 || field >= int(m_fields.size()))
        throw CommandError(QStringLiteral("List index out of bounds (%1)").arg(field));
    const int stored = storedRecord(record);
    if (stored < 0 || stored >= m_records)
        return nullptr;
    return m_sheet->cell(SheetRow(stored), SheetColumn(field));
}

QString TADOQuery::FieldText(int record, int field) const {
    const Cell *cell = FieldCell(record, field);
    if (m_state != DataSetState::Browse && record == m_current && m_edits[std::size_t(field)])
        return *m_edits[std::size_t(field)];
    return workbook::fieldtext::cellText(*m_sheet, cell);
}

bool TADOQuery::FieldIsNull(int record, int field) const {
    const Cell *cell = FieldCell(record, field);
    if (m_state != DataSetState::Browse && record == m_current && m_edits[std::size_t(field)])
        return m_edits[std::size_t(field)]->isEmpty();
    return cell == nullptr;
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
