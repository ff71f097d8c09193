// The edits of a delimited text file: set a cell, append a row, delete a row. Only the records a
// change touches are written anew; every other byte stays as it was: the encoding and its mark,
// the delimiter, the quoting, each record's line end, and a last record with or without one.
#pragma once

#include "workbook/csv/csvdialect.h"
#include "workbook/sheetchange.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <vector>

namespace workbook::csv {

class CsvEditor {
public:
    // bytes: the file; dialect: what detectDialect() found in it; oneColumnDelimiter: what parts
    // the fields of a file of one column when an edit gives it a second.
    CsvEditor(QByteArrayView bytes, const Dialect &dialect, unsigned oneColumnDelimiter);

    // The last row holding a cell; -1 when none does.
    int lastRow() const;
    // A written field holding the delimiter, a quote, CR or LF is quoted, its quotes doubled; a
    // file that quotes every field gets its fields quoted. A number is written by the program's
    // writing rule. Throws CommandError for a cell outside the sheet, a value a cell cannot hold
    // and a character the file's encoding cannot hold.
    void setCell(int row, int column, const EditValue &value);
    // Writes the values after the last row holding a cell, into the record standing there when
    // it holds none, else as a new record at the end of the file, with the file's line end (the
    // first one found; CR LF when there is none), which the last record gets first when it has
    // none. Returns the row written.
    int appendRow(const QList<EditValue> &values);
    void deleteRow(int row);
    int apply(const SheetChange &change) { return applyChange(*this, change); }

    bool isChanged() const { return m_changed; }
    QByteArray result() const;
    // Whether every field of the first non-empty records is quoted.
    bool quotesEveryField() const { return m_quoteAll; }

private:
    struct Record {
        qsizetype begin = 0; // in bytes, with the content's end and the line end's
        qsizetype contentEnd = 0;
        qsizetype end = 0;
        int replacement = -1; // into m_replacements: the content written anew
        bool isNew = false;
        bool hasCells = false;
    };
    QByteArray content(const Record &r) const;
    std::vector<QByteArray> fieldsOf(const Record &r) const;
    int unitSize() const;
    bool isEmptyField(const QByteArray &raw) const;
    QByteArray encodedField(int row, int column, const EditValue &value) const;
    void replace(std::size_t index, const std::vector<QByteArray> &fields);
    void padTo(int row);

    QByteArrayView m_bytes;
    Dialect m_dialect;
    unsigned m_delimiter; // the dialect's, or the one a second column gets
    QByteArray m_delimiterBytes, m_quote, m_lineEnd;
    bool m_quoteAll = false;
    bool m_finalLineEnd = true; // the file's last record ends with a line end
    bool m_changed = false;
    std::vector<Record> m_records;
    std::vector<QByteArray> m_replacements;
};

} // namespace workbook::csv
