// The workbook query `detailCore`: a connection string naming an .xls file, the query
// "Select * from [sheet1$]", and while open the sheet's rows as records with a current-record
// cursor. It stands in for the ADO query of the Jet Excel provider, with no widgets: the grid,
// the navigator and the bound boxes follow it through its signals.
#pragma once

#include "sources/workbook/workbookreader.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
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

// One column of the open sheet. Its kind is the one most of its cells have; each cell is
// still written by its own kind.
class TField {
public:
    TField(TADOQuery *dataSet, int index, QString name, FieldKind kind, int sheetColumn)
        : m_dataSet(dataSet), m_index(index), m_name(std::move(name)), m_kind(kind),
          m_sheetColumn(sheetColumn) {}

    const QString &FieldName() const { return m_name; }
    const QString &DisplayName() const { return m_name; }
    FieldKind DataType() const { return m_kind; }
    bool IsBlob() const { return m_kind == FieldKind::Memo; }
    int Index() const { return m_index; }
    int SheetColumn() const { return m_sheetColumn; }

    // The current record's value as text; throws on a closed dataset.
    QString AsString() const;
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
    void Open();
    void Close();
    bool Active() const { return m_active; }
    DataSetState State() const { return m_active ? DataSetState::Browse : DataSetState::Inactive; }
    // False: editing the workbook is not offered yet.
    bool CanModify() const { return false; }

    int FieldCount() const { return int(m_fields.size()); }
    // Throws "List index out of bounds (<index>)" beyond the fields.
    const TField &Fields(int index) const;
    const TField *FindField(const QString &name) const; // without regard to case

    // All of these throw "<name>: Cannot perform this operation on a closed dataset" when closed.
    int RecordCount() const;
    int RecNo() const; // the current record, 0-based; -1 when there is none
    void First();
    void Last();
    void Next();
    void Prior();
    // Moves by a number of records; at an end, stops there and sets Eof or Bof.
    int MoveBy(int distance);
    bool Bof() const { return m_bof; }
    bool Eof() const { return m_eof; }
    bool IsEmpty() const { return m_records == 0; }

    // Edit, Insert and Delete throw "<name>: Cannot modify a read-only dataset" while the data
    // cannot be modified; Post throws "<name>: Dataset not in edit or insert mode" outside an
    // edit; Cancel drops an edit and does nothing without one.
    void Edit();
    void Insert();
    void Delete();
    void Post();
    void Cancel();
    // Reads the workbook again, keeping the current record's number where it still exists.
    // Throws CommandError; the records read before then stay.
    void Refresh();

    // A record's value of a field as text by the field text rules; empty for an empty cell.
    QString FieldText(int record, int field) const;
    const workbook::Cell *FieldCell(int record, int field) const;
    // The sheet that FieldCell's cells belong to (their texts, the date system); null when
    // closed. The export reads it directly rather than through a text per field.
    const workbook::SheetData *Sheet() const { return m_sheet.get(); }

    // Where records and fields are in the sheet (0-based, absolute), and what file was read:
    // edits are written back by these positions, into a file that has not changed since.
    int HeadingRow() const { return m_headingRow; }
    int SheetRow(int record) const { return m_headingRow + 1 + record; }
    int SheetColumn(int field) const { return m_firstColumn + field; }
    const QString &FileName() const { return m_fileName; }
    const QString &SheetName() const { return m_sheetName; }
    const workbook::FileIdentity &Identity() const { return m_identity; }
    int BiffVersion() const { return m_sheet ? m_sheet->biffVersion : 0; }

    // While disabled (counted), moves are not announced; enabling announces the last one.
    void DisableControls();
    void EnableControls();

Q_SIGNALS:
    // Around opening and closing: fields and records are replaced.
    void structureAboutToChange();
    void structureChanged();
    // After any move, and after opening or closing: the current record or Bof/Eof changed.
    void recordChanged(int previous, int current);

private:
    void checkActive() const;
    // Reads the workbook that the connection string and query name into a new sheet.
    std::unique_ptr<workbook::WorkbookReader> read() const;
    void take(workbook::WorkbookReader &reader, const QString &fileName);
    QString withName(const QString &message) const;
    void moved(int previous);
    void buildFields();

    bool m_active = false;
    std::unique_ptr<workbook::SheetData> m_sheet;
    std::vector<TField> m_fields;
    int m_records = 0;
    int m_current = -1;
    bool m_bof = true;
    bool m_eof = true;
    int m_headingRow = 0;
    int m_firstColumn = 0;
    QString m_fileName;
    QString m_sheetName;
    workbook::FileIdentity m_identity;
    int m_disabled = 0;
    int m_movedFrom = -2; // -2: nothing to announce
};

// The parts of a connection string the query understands.
struct ConnectionSettings {
    QString provider;
    QString dataSource;
    QString extendedProperties;
};
// Key=value pairs separated by ";"; a value may be quoted with " or '. Keys without regard to
// case.
ConnectionSettings parseConnectionString(const QString &text);
// The sheet a query text selects from; throws CommandError when it is not "Select * from [x$]".
QString sheetOfQuery(const QString &text);
