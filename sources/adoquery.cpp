// The workbook query: opening the workbook its connection string and query name through the
// workbook's format, the fields, the records of the sheet and the cursor. Editing is in
// adoqueryedit.cpp.
#include "sources/adoquery.h"

#include "common/commanderror.h"
#include "common/savebackup.h"
#include "sources/connectionstring.h"
#include "workbook/fieldtext.h"
#include "workbook/formatregistry.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <array>
#include <fcntl.h>
#include <unistd.h>

using workbook::Cell;
using workbook::CellKind;

namespace {

using workbook::EditValue;

// Whether this process may replace the file's content: by a new file renamed over it, or, where
// its folder takes no new files, in place. Either way the file itself must be writable, for the
// effective user, as for the write itself.
bool mayReplace(const QString &path) {
    const QByteArray file = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    return faccessat(AT_FDCWD, file.constData(), W_OK, AT_EACCESS) == 0;
}

} // namespace

bool TField::isNumeric() const {
    return m_kind == FieldKind::Float || m_kind == FieldKind::Currency ||
           m_kind == FieldKind::DateTime;
}

QString TField::AsString() const {
    return m_dataSet->fieldText(m_dataSet->RecNo(), m_index);
}

void TField::SetAsString(const QString &text) const {
    m_dataSet->setFieldText(m_index, text);
}

bool TField::IsNull() const {
    return m_dataSet->fieldIsNull(m_dataSet->RecNo(), m_index);
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
    const connection::Target target = connection::targetOf(ConnectionString, SQL.join(u'\n'));
    return load(target.fileName, target.sheetName, checkWritable);
}

TADOQuery::Loaded TADOQuery::load(const QString &fileName, const QString &sheet,
                                  bool checkWritable) const {
    Loaded loaded;
    savebackup::settle(fileName);
    QByteArray bytes = workbook::readWorkbookFile(fileName);
    loaded.format = &workbook::formatOf(bytes, fileName);
    loaded.read = loaded.format->read(std::move(bytes), fileName, sheet);
    loaded.fileName = fileName;
    if (checkWritable)
        loaded.writable = mayReplace(fileName) && loaded.format->whyReadOnly(loaded.read).isEmpty();
    loaded.read.bytes = QByteArray(); // asked once: the sheet holds what the records need
    return loaded;
}

void TADOQuery::take(Loaded &loaded) {
    m_sheet = std::move(loaded.read.sheet);
    m_identity = loaded.read.identity;
    m_format = loaded.format;
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
    const workbook::SheetData &sheet = *loaded.read.sheet;
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
    m_identity = loaded.read.identity;
    m_format = loaded.format;
    if (loaded.writable)
        m_canModify = *loaded.writable;
    if (!keepKinds)
        m_fields = std::move(fields);
    m_sheet = std::move(loaded.read.sheet);
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
    m_format = nullptr;
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
        if (int(c.row) == headingRow)
            continue;
        const std::size_t f = std::size_t(c.column - firstColumn);
        ++counts[f][std::size_t(c.kind)];
        if (c.kind == CellKind::Text && sheet.strings.length(c.text) > 255)
            memo[f] = true;
    }

    fields.reserve(std::size_t(columns));
    QSet<QString> taken; // case-folded
    taken.reserve(columns);
    // The number each taken name last got, to try from next time: the names taken only grow, so
    // no smaller number has come free, and 16,384 equal headings take one try each, not
    // 16,384 * 16,384 / 2.
    QHash<QString, int> lastNumber; // by the case-folded name
    for (int f = 0; f < columns; ++f) {
        const int column = firstColumn + f;
        QString name =
            workbook::fieldtext::cellText(sheet, sheet.cell(headingRow, column), m_separator);
        if (name.isEmpty())
            name = u'F' + QString::number(f + 1);
        QString folded = name.toCaseFolded();
        if (taken.contains(folded)) {
            int &k = lastNumber[folded];
            QString numbered;
            do {
                numbered = folded + QString::number(++k);
            } while (taken.contains(numbered));
            name += QString::number(k);
            folded = std::move(numbered);
        }
        taken.insert(folded);

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
// Records as stored and as shown

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
    return workbook::fieldtext::cellText(
        *m_sheet, m_sheet->cell(sheetRow(stored), sheetColumn(field)), m_separator);
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

const Cell *TADOQuery::fieldCell(int record, int field) const {
    checkActive();
    if (field < 0 || field >= int(m_fields.size()))
        throw CommandError(QStringLiteral("List index out of bounds (%1)").arg(field));
    const int stored = storedRecord(record);
    if (stored < 0 || stored >= m_records)
        return nullptr;
    return m_sheet->cell(sheetRow(stored), sheetColumn(field));
}

QString TADOQuery::fieldText(int record, int field) const {
    const Cell *cell = fieldCell(record, field);
    if (m_state != DataSetState::Browse && record == m_current && m_edits[std::size_t(field)])
        return *m_edits[std::size_t(field)];
    return workbook::fieldtext::cellText(*m_sheet, cell, m_separator);
}

bool TADOQuery::fieldIsNull(int record, int field) const {
    const Cell *cell = fieldCell(record, field);
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
