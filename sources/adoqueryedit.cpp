// The workbook query's editing: the pending edit or insert, posting it through the workbook's
// format, deleting rows, and keeping the records as the file now holds them.
#include "sources/adoquery.h"

#include "common/commanderror.h"
#include "common/numtext.h"
#include "workbook/fieldtext.h"

#include <algorithm>
#include <cmath>

using workbook::Cell;
using workbook::CellKind;
using workbook::EditValue;

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
    if (f.isNumeric()) {
        numtext::Extended value;
        if (numtext::TextToFloat(text, m_separator, value)) {
            const double number = toDouble(value);
            if (std::isfinite(number))
                return number;
        }
        if (f.DataType() == FieldKind::DateTime)
            if (const std::optional<double> serial =
                    workbook::fieldtext::dateSerial(text, m_sheet->date1904))
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

int TADOQuery::leaveInsert() {
    const int at = m_insertAt;
    Q_EMIT recordsAboutToBeRemoved(at, at);
    m_state = DataSetState::Browse;
    m_insertAt = -1;
    m_edits.clear();
    Q_EMIT recordsRemoved();
    return at;
}

// The blank record leaves; the cursor goes back where it was.
void TADOQuery::dropInsert() {
    const UpdatingScope updating(*this);
    const int at = leaveInsert();
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

void TADOQuery::setFieldText(int field, const QString &text) {
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
    const int row = sheetRow(m_current);
    std::vector<workbook::SheetChange> changes;
    std::vector<Written> cells;
    for (int f = 0; f < FieldCount(); ++f) {
        if (!fieldChanged(f))
            continue;
        const EditValue value = editValue(f, *m_edits[std::size_t(f)]);
        changes.push_back(workbook::SheetChange::setCell(row, sheetColumn(f), value));
        cells.push_back(Written{row, sheetColumn(f), value, newNumberKind(f)});
    }
    if (!changes.empty())
        m_identity = m_format->write(m_fileName, m_identity, changes).identity;

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
        const int column = sheetColumn(f);
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
                workbook::SheetChange::setCell(m_headingRow, f.sheetColumn(), f.FieldName()));
    changes.push_back(workbook::SheetChange::appendRow(values));
    const workbook::WriteResult result = m_format->write(m_fileName, m_identity, changes);
    m_identity = result.identity;
    const int row = result.rows.back();

    std::vector<Written> cells;
    if (headings)
        for (const TField &f : m_fields)
            cells.push_back(Written{m_headingRow, f.sheetColumn(), f.FieldName(), CellKind::Text});
    for (int f : changedFields)
        cells.push_back(Written{row, sheetColumn(f), values[sheetColumn(f)], newNumberKind(f)});

    const UpdatingScope updating(*this);
    const int at = leaveInsert();
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
        return int(c.row) != at.first ? int(c.row) < at.first : c.column < at.second;
    };
    for (const Written &w : cells) {
        Cell cell;
        cell.row = std::uint32_t(w.row);
        cell.column = std::uint16_t(w.column);
        const auto it =
            std::lower_bound(all.begin(), all.end(), std::pair(w.row, w.column), before);
        const bool exists = it != all.end() && int(it->row) == w.row && it->column == w.column;
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
        if (int(c.row) == row)
            continue;
        if (int(c.row) > row)
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
    const int row = sheetRow(m_current);
    m_identity =
        m_format->write(m_fileName, m_identity, {workbook::SheetChange::deleteRow(row)}).identity;

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
