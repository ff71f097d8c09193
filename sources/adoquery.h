// The workbook query `detailCore`: a connection string naming a workbook file, the query
// "Select * from [sheet1$]", and while open the sheet's rows as records with a current-record
// cursor, an edit or insert buffer, and posting into the file. It stands in for the ADO query of
// the Jet Excel provider, with no widgets: the grid, the navigator and the bound boxes follow it
// through its signals. It reads and writes the file only through the workbook format that the
// file's content names (workbook/formatregistry.h, workbook/workbookformat.h), so it knows no
// file format itself.
#pragma once

#include "workbook/workbookformat.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class TADOQuery;

enum class FieldKind {
    String,   // text of at most 255 characters
    Memo,     // long text: some cell of the column holds more than 255 characters
    Float,    // numbers
    Currency, // numbers in a currency format
    DateTime, // numbers in a date or time format
    Boolean,
};

enum class DataSetState { Inactive, Browse, Edit, Insert };

// One column of the open sheet. Its kind is the one most of its cells have when the sheet is
// read (each cell is still shown by its own kind); it stays until the sheet is read again, and
// decides how a typed text is written back.
class TField {
public:
    TField(TADOQuery *dataSet, int index, QString name, FieldKind kind, int sheetColumn)
        : m_dataSet(dataSet), m_index(index), m_name(std::move(name)), m_kind(kind),
          m_sheetColumn(sheetColumn) {}

    const QString &FieldName() const { return m_name; }
    const QString &DisplayName() const { return m_name; }
    FieldKind DataType() const { return m_kind; }
    bool IsBlob() const { return m_kind == FieldKind::Memo; }
    // Float, Currency and DateTime: a typed text that reads as a number is written as one.
    bool isNumeric() const;
    int Index() const { return m_index; }
    int sheetColumn() const { return m_sheetColumn; }

    // The current record's value as text, with what was typed into a pending edit; throws on a
    // closed dataset.
    QString AsString() const;
    // Sets the current record's text in a pending edit or insert; throws "<name>: Dataset not in
    // edit or insert mode" outside one.
    void SetAsString(const QString &text) const;
    bool IsNull() const;

private:
    TADOQuery *m_dataSet;
    int m_index;
    QString m_name;
    FieldKind m_kind;
    int m_sheetColumn;
};

class TADOQuery : public QObject {
    Q_OBJECT
public:
    explicit TADOQuery(QObject *parent = nullptr);
    ~TADOQuery() override;

    // "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=<file>;Extended Properties=Excel 8.0".
    QString ConnectionString;
    // One query, "Select * from [sheet1$]" (any case and spacing), possibly over several lines.
    QStringList SQL;

    // Reads the workbook and fills the records; the cursor is on the first. Does nothing when
    // already open. Throws CommandError with the provider's message; the query stays closed.
    // The data can be modified when edits can be written into the file (see CanModify).
    void Open();
    // Drops a pending edit or insert.
    void Close();
    // The character that the field texts write and a typed number is read with as the decimal
    // point: the window's, from the user's regional settings; "." until set. Set before Open, it
    // also shapes the names of fields whose headings are numbers.
    void setDecimalSeparator(QChar separator) { m_separator = separator; }
    QChar decimalSeparator() const { return m_separator; }
    bool Active() const { return m_active; }
    DataSetState State() const { return m_state; }
    // True when the open workbook takes edits: its format can write them into what was read
    // (WorkbookFormat::whyReadOnly says nothing), and this process may write the file.
    // Otherwise the data is read-only.
    bool CanModify() const { return m_active && m_canModify; }
    // True while records are being replaced, inserted or removed: controls must not move the
    // cursor then; they follow the current record when the change is announced.
    bool updating() const { return m_updating > 0; }

    int FieldCount() const { return int(m_fields.size()); }
    // Throws "List index out of bounds (<index>)" beyond the fields.
    const TField &Fields(int index) const;
    const TField *FindField(const QString &name) const; // without regard to case

    // All of these throw "<name>: Cannot perform this operation on a closed dataset" when closed.
    // The record count and numbers include the blank record of a pending insert: the records
    // from its place on are numbered one higher until it is posted or dropped.
    int RecordCount() const;
    int RecNo() const; // the current record, 0-based; -1 when there is none
    // Each move first settles a pending edit or insert (CheckBrowseMode); a refused post throws
    // and the cursor stays.
    void First();
    void Last();
    void Next();
    void Prior();
    // Moves by a number of records; at an end, stops there and sets Eof or Bof.
    int MoveBy(int distance);
    bool Bof() const { return m_bof; }
    bool Eof() const { return m_eof; }
    bool IsEmpty() const { return m_records == 0 && m_state != DataSetState::Insert; }

    // Editing. Edit, Insert, Append and Delete throw "<name>: Cannot modify a read-only dataset"
    // while the data cannot be modified.
    // Edit state for the current record; on an empty sheet, Insert. Nothing when already editing.
    void Edit();
    // A blank record at the current row (Insert) or after the last (Append), in insert state;
    // a pending edit is settled first. Posted, it is written after the sheet's last row.
    void Insert();
    void Append();
    // Deletes the current record's row from the sheet (the rows below move up); in insert
    // state, drops the insert. Throws "<name>: Cannot perform this operation on an empty
    // dataset" without records, and the format's refusal when the sheet cannot lose a row.
    void Delete();
    // Writes the changed fields of the pending edit or insert into the workbook and keeps the
    // records as the file now holds them. Throws "<name>: Dataset not in edit or insert mode"
    // outside an edit, and every refusal of the write (the file changed or gone, the sheet full,
    // a text too long); the record then stays in edit or insert state and the file as it was.
    void Post();
    // Drops a pending edit or insert; nothing without one.
    void Cancel();
    // Settles a pending edit or insert: posted when a field was changed, dropped otherwise.
    void CheckBrowseMode();
    // Whether the pending edit or insert changes any field.
    bool Modified() const;
    // Asks the controls to put text typed but not yet set into the fields (updateRecord).
    void UpdateRecord();
    // Settles a pending edit, then reads the workbook again, keeping the current record's
    // number where it still exists. Throws CommandError; the records read before then stay.
    void Refresh();

    // A record's value of a field as text by the field text rules, with what was typed into a
    // pending edit; empty for an empty cell.
    QString fieldText(int record, int field) const;
    bool fieldIsNull(int record, int field) const;
    // The cell as read from the workbook; null for an empty cell and the record being inserted.
    const workbook::Cell *fieldCell(int record, int field) const;
    // The sheet that fieldCell()'s cells belong to (their texts, the date system); null when
    // closed. The export reads it directly rather than through a text per field.
    const workbook::SheetData *sheet() const { return m_sheet.get(); }
    // The field's text in a pending edit or insert of the current record.
    void setFieldText(int field, const QString &text);

    // Where records and fields are in the sheet (0-based, absolute), and what file was read:
    // edits are written back by these positions, into a file that has not changed since. Records
    // here are those stored, without a pending insert.
    int headingRow() const { return m_headingRow; }
    int sheetRow(int record) const { return m_headingRow + 1 + record; }
    int sheetColumn(int field) const { return m_firstColumn + field; }
    const QString &fileName() const { return m_fileName; }
    const QString &sheetName() const { return m_sheetName; }
    // Of the file as last read or written by this query.
    const workbook::FileIdentity &identity() const { return m_identity; }
    // The format that read the file, by its content; null when closed. Writes go through it.
    const workbook::WorkbookFormat *format() const { return m_format; }

    // While disabled (counted), moves are not announced; enabling announces the last one.
    void DisableControls();
    void EnableControls();

Q_SIGNALS:
    // Around opening and closing, and a refresh that finds other fields: fields and records
    // are replaced.
    void structureAboutToChange();
    void structureChanged();
    // After any move, and after opening or closing: the current record or Bof/Eof changed.
    void recordChanged(int previous, int current);
    // The state or CanModify changed.
    void stateChanged();
    // Records appear or disappear at these numbers (inclusive), as item models announce rows.
    void recordsAboutToBeInserted(int first, int last);
    void recordsInserted();
    void recordsAboutToBeRemoved(int first, int last);
    void recordsRemoved();
    // Field texts of these records (inclusive ranges) changed.
    void valuesChanged(int firstRecord, int lastRecord, int firstField, int lastField);
    // Before a post: controls holding typed text not yet in the fields set it now.
    void updateRecord();

private:
    // What a read of the workbook gives, before the query takes it.
    struct Loaded {
        const workbook::WorkbookFormat *format = nullptr;
        workbook::SheetRead read;
        QString fileName;
        std::optional<bool> writable; // not asked: keep what is known
    };

    // A cell as a post wrote it, and the kind a new number most likely reads back as.
    struct Written {
        int row;
        int column;
        workbook::EditValue value;
        workbook::CellKind numberKind;
    };

    // Counts the query as updating while records are replaced, inserted or removed.
    class UpdatingScope {
    public:
        explicit UpdatingScope(TADOQuery &query) : m_query(query) { ++m_query.m_updating; }
        ~UpdatingScope() { --m_query.m_updating; }
        UpdatingScope(const UpdatingScope &) = delete;
        UpdatingScope &operator=(const UpdatingScope &) = delete;

    private:
        TADOQuery &m_query;
    };

    void checkActive() const;
    void checkCanModify() const;
    // Reads the workbook that the connection string and query name; checkWritable also asks
    // whether edits can be written into it.
    Loaded read(bool checkWritable) const;
    Loaded load(const QString &fileName, const QString &sheet, bool checkWritable) const;
    void take(Loaded &loaded);
    void reload(Loaded &loaded, bool keepKinds, int current);
    QString withName(const QString &message) const;
    void moved(int previous);
    std::vector<TField> buildFields(const workbook::SheetData &sheet, int headingRow,
                                    int firstColumn);
    void setState(DataSetState state);

    int storedRecord(int record) const; // -1 for the record being inserted
    QString storedText(int stored, int field) const;
    bool fieldChanged(int field) const;
    workbook::EditValue editValue(int field, const QString &text) const;
    workbook::CellKind newNumberKind(int field) const;
    void beginInsert(bool atEnd);
    void dropInsert();
    // The blank record of the insert leaves the records, in browse state; returns where it was.
    int leaveInsert();
    void postEdit();
    void postInsert();
    void storeWritten(const std::vector<Written> &cells, int current);
    // Takes written cells into the records in memory; false when one of them is a number whose
    // kind (plain, date, money) only its format in the file tells.
    bool storeCells(const std::vector<Written> &cells);
    void storeDeletedRow(int row);
    int recordsInSheet() const;
    void setRecordCount(int count);

    bool m_active = false;
    QChar m_separator = u'.';
    DataSetState m_state = DataSetState::Inactive;
    bool m_canModify = false;
    int m_updating = 0;
    std::unique_ptr<workbook::SheetData> m_sheet;
    const workbook::WorkbookFormat *m_format = nullptr;
    std::vector<TField> m_fields;
    int m_records = 0; // stored records, without a pending insert
    int m_current = -1;
    bool m_bof = true;
    bool m_eof = true;
    // A pending edit or insert: per field, the text typed (none: unchanged).
    std::vector<std::optional<QString>> m_edits;
    int m_insertAt = -1;
    int m_beforeInsert = -1;
    bool m_bofBeforeInsert = true;
    bool m_eofBeforeInsert = true;
    int m_headingRow = 0;
    int m_firstColumn = 0;
    QString m_fileName;
    QString m_sheetName;
    workbook::FileIdentity m_identity;
    int m_disabled = 0;
    int m_movedFrom = -2; // -2: nothing to announce
};
