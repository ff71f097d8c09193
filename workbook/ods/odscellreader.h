// The value of one cell of an OpenDocument sheet, from its attributes and its content: floats,
// percentages, money, dates, times, truth values, texts of several paragraphs, errors and
// formulas' cached results. The .ods reader gives it each cell, read through the scanner or as
// the fast row reader found it.
#pragma once

#include "workbook/ods/odspackage.h"
#include "workbook/ods/odsstyles.h"
#include "workbook/sheetdata.h"
#include "workbook/xml/xmlscanner.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>

namespace workbook::ods {

// Spaces written as counts (<text:s text:c="…"/>) expand to no more than these in a sheet; a
// text is no longer than a cell holds (MaxCellText).
inline constexpr qsizetype MaxExpandedSpaces = qsizetype(1) << 25;

class CellReader {
public:
    using Attribute = xml::Scanner::Attribute;

    // A cell's content, which its value may need.
    class Content {
    public:
        virtual ~Content() = default;
        virtual bool isEmpty() const = 0; // written <name .../>
        // Passes over the content: the text a number is shown as, or any.
        virtual void skipNumber() = 0;
        virtual void skip() = 0;
        // The paragraphs' text, joined by line feeds, appended.
        virtual void paragraphs(QString &out) = 0;
        virtual QString decodeAttribute(QByteArrayView raw) const = 0;
    };
    // Through the scanner standing on the cell's start tag, over document (what it reads); it
    // ends on the cell's end tag.
    class Scanned : public Content {
    public:
        Scanned(CellReader &reader, xml::Scanner &s, QByteArrayView document)
            : m_reader(reader), m_s(s), m_document(document) {}
        bool isEmpty() const override { return m_s.isEmptyElement(); }
        void skipNumber() override;
        void skip() override;
        void paragraphs(QString &out) override;
        QString decodeAttribute(QByteArrayView raw) const override;

    private:
        void paragraph(QString &out);
        CellReader &m_reader;
        xml::Scanner &m_s;
        QByteArrayView m_document;
    };
    // As the fast row reader found it: count plain paragraphs, undecoded.
    class Fast : public Content {
    public:
        Fast(const CellReader &reader, const QByteArrayView *texts, int count, bool empty)
            : m_reader(reader), m_texts(texts), m_count(count), m_empty(empty) {}
        bool isEmpty() const override { return m_empty; }
        void skipNumber() override {}
        void skip() override {}
        void paragraphs(QString &out) override;
        QString decodeAttribute(QByteArrayView raw) const override;

    private:
        const CellReader &m_reader;
        const QByteArrayView *m_texts;
        int m_count;
        bool m_empty;
    };

    // Texts go into strings; a float's style is looked up in styles.
    CellReader(const CellStyles &styles, StringPool &strings)
        : m_styles(styles), m_strings(&strings) {}
    // A reader that knows what other knows (names, null date, column styles), into strings.
    CellReader(const CellReader &other, StringPool &strings);

    // The names the root element the scanner stands on declares.
    void readRoot(const xml::Scanner &root);
    const Names &names() const { return m_names; }
    // In days since 1899-12-30, added to the floats of date styles.
    double &nullDays() { return m_nullDays; }
    // The default cell styles of the sheet's columns.
    ColumnStyles &columns() { return m_columns; }

    // The value of a cell with those attributes at column, in a row of that default style;
    // false when it holds none. Throws DamagedFile.
    bool read(const Attribute *attributes, int count, Content &content, std::int64_t column,
              QByteArrayView rowStyle, Cell &cell);

    qsizetype expandedSpaces() const { return m_expanded; }
    // Counts spaces expanded elsewhere (another half of the sheet); throws DamagedFile past the
    // most.
    void addExpandedSpaces(qsizetype count);
    void clearExpandedSpaces() { m_expanded = 0; }

private:
    // The attributes of a cell that its value is read from, in the order of their names in
    // readRoot.
    enum class Attr {
        Type,
        CalcType,
        Value,
        Date,
        Time,
        Boolean,
        String,
        Style,
        Formula,
        GnumericError,
        Count
    };

    bool typedValue(Cell &c, QByteArrayView type, const QByteArrayView *found, std::int64_t column,
                    QByteArrayView rowStyle);
    NumberClass classOf(QByteArrayView style);

    const CellStyles &m_styles;
    StringPool *m_strings;
    Names m_names;
    QByteArray m_cellAttributes[int(Attr::Count)]; // as this document names them
    QByteArray m_cellEnd; // the last cell's end tag as this document writes it
    double m_nullDays = 0;
    ColumnStyles m_columns;
    QString m_text;
    QByteArray m_lastStyle;
    NumberClass m_lastClass = NumberClass::Plain;
    qsizetype m_expanded = 0;
    // Decodes what the fast row reader found; over an empty document (not a null one), where a
    // bad reference is told at line 1.
    xml::Scanner m_decoder{QByteArrayView("", 0)};
};

} // namespace workbook::ods
