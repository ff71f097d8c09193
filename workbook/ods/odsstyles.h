// What the data styles of a document's cell styles make of a number: a date, a time, money, a
// percentage or a plain number. OpenDocument cells say their value type themselves, but a float
// cell may still show money ("¥1,234.57" in a number style with a currency symbol, as LibreOffice
// converts Excel's currency formats), and an edit writes a number in the type its cell's style
// shows.
#pragma once

#include "workbook/numberformat.h"
#include "workbook/ods/odspackage.h"

#include <QByteArray>
#include <QHash>

#include <vector>

namespace workbook::ods {

enum class DataKind : std::uint8_t { Plain, Date, Time, Currency, Percentage, Boolean };

class CellStyles {
public:
    // Reads the style elements inside the office:styles or office:automatic-styles element the
    // scanner stands on; it then stands on that element's end tag.
    void read(xml::Scanner &s, const Names &names, bool automatic);
    // Reads a whole styles part (styles.xml).
    void readDocument(QByteArrayView xml);

    // By the name a cell's table:style-name gives (automatic styles first, then common ones,
    // following parents).
    DataKind dataKindOf(QByteArrayView cellStyle) const;
    NumberClass classOf(QByteArrayView cellStyle) const;
    // The ISO 4217 code or symbol of a currency style's currency, for office:currency.
    QByteArray currencyOf(QByteArrayView cellStyle) const;

private:
    struct CellStyle {
        QByteArray dataStyle;
        QByteArray parent;
    };
    struct DataStyle {
        DataKind kind = DataKind::Plain;
        QByteArray currency;
        bool money = false;
    };
    const DataStyle *dataStyleOf(QByteArrayView cellStyle) const;

    QHash<QByteArray, CellStyle> m_automatic;
    QHash<QByteArray, CellStyle> m_common;
    QHash<QByteArray, DataStyle> m_data;
};

// A sheet's columns as its table-column elements declare them: how many, and the default cell
// style of each (the style of a cell that names none of its own).
class ColumnStyles {
public:
    // Reads the table-column element the scanner stands on (it stays there).
    void read(const xml::Scanner &s, const Names &names);
    QByteArrayView at(std::int64_t column) const;
    // Columns declared, up to one past a very large sheet's.
    int count() const { return m_count; }

private:
    std::vector<std::pair<int, QByteArray>> m_runs; // from a column on
    int m_count = 0;
};

} // namespace workbook::ods
