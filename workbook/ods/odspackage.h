// Finding one's way in an OpenDocument spreadsheet: the zip package with its manifest, its
// content and styles parts, and the names its XML uses for the OpenDocument vocabularies.
// Shared by the .ods reader, the reference scan and the write-back.
#pragma once

#include "common/zip/ziparchive.h"
#include "workbook/workbookerrors.h"
#include "workbook/xml/xmlscanner.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace workbook::ods {

// LibreOffice 7.4's sheet; it holds 16,384 columns with its "very large spreadsheets" option.
inline constexpr int SheetRows = 1048576, SheetColumns = 1024, JumboColumns = 16384,
                     MaxCellText = 32767;

// The most the manifest and styles.xml may inflate to: they list the package's files and
// describe the named styles, far fewer than a workbook's cell formats may be (65,490 in Excel);
// the content parts may take zip::Archive::MaxPart.
inline constexpr std::uint64_t MaxDescriptionPart = std::uint64_t(64) << 20;

// The OpenDocument vocabularies the program reads.
enum class Ns : std::uint8_t {
    Other,
    Office,
    Table,
    Text,
    Style,
    Number,
    Draw,
    Xlink,
    Calcext,
    Gnumeric,
    Manifest,
    Chart,
};

// The prefixes a document binds to those vocabularies on its root element, where every known
// producer declares them ("table:", "office:"...), so that names compare as bytes.
class Names {
public:
    // Reads the declarations of the root element the scanner stands on.
    void readRoot(const xml::Scanner &root);
    Ns of(QByteArrayView prefix) const;
    // The prefix the document binds to a vocabulary; empty when it binds none.
    QByteArray prefix(Ns ns) const;
    // "prefix:local" for writing; the usual prefix when the document binds none.
    QByteArray qualified(Ns ns, const char *local) const;

    // Whether a qualified name is that name of that vocabulary.
    bool is(QByteArrayView qualified, Ns ns, QByteArrayView local) const;
    // Whether an element of a table only groups its rows or columns (header rows, row groups...),
    // which lie within it in the order they stand.
    bool isGroup(QByteArrayView qualified) const;
    // The undecoded value of the current start element's attribute; false when absent.
    bool attribute(const xml::Scanner &s, Ns ns, QByteArrayView local, QByteArrayView &raw) const;
    // The same among count attributes from first on.
    bool attribute(const xml::Scanner::Attribute *first, int count, Ns ns, QByteArrayView local,
                   QByteArrayView &raw) const;

private:
    std::vector<std::pair<QByteArray, Ns>> m_prefixes;
    // The same by prefix, where a root declares so many that looking each element's prefix up
    // in their list would take time by their number.
    std::unordered_map<std::string, Ns> m_byPrefix;
    // The one prefix of each vocabulary, for names compared by their bytes; empty when the
    // document binds none or several.
    QByteArray m_only[int(Ns::Chart) + 1];
    bool m_several[int(Ns::Chart) + 1] = {};
};

// The local part of a qualified name.
QByteArrayView localPart(QByteArrayView qualified);

// Walks a content part to the table named sheetName (compared without regard to case), as each
// reader of sheet1 does. readElement is given the root element, which it reads into names, and
// each element before the table other than the body, the spreadsheet, its calculation settings
// and the tables: it reads such an element whole and says so, or returns false to have it
// skipped. Returns the table's name as the part writes it, the scanner on its start tag; an
// empty name at the end of a part without that table.
QString findTable(xml::Scanner &s, const Names &names, QStringView sheetName,
                  const std::function<bool(xml::Scanner &)> &readElement);

// The names of a content part's tables in the part's order, as it writes them, the root's
// declarations read into names on the way; tables without a name, which no read finds, are left
// out.
QStringList tableNames(xml::Scanner &s, Names &names);

class Package {
public:
    // Reads the archive's directory. Throws DamagedFile.
    explicit Package(QByteArrayView bytes);

    // Whether the archive's first entry is a mimetype naming an OpenDocument spreadsheet.
    static bool isSpreadsheet(const zip::Archive &archive);

    const zip::Archive &archive() const { return m_archive; }
    // Whether the manifest says the parts are encrypted (a password-protected document).
    bool isEncrypted() const;
    bool hasPart(QByteArrayView name) const { return m_archive.find(name) != nullptr; }
    // A part's bytes, inflated and checked; throws DamagedFile when it is missing, or when it
    // inflates to more than its kind of part may (MaxDescriptionPart).
    QByteArray part(QByteArrayView name) const;

private:
    zip::Archive m_archive;
};

// A non-negative whole number as an attribute holds it ("3"); false for anything else. Values
// beyond the limit are held at it: a repeat count may be any size.
bool parseCount(QByteArrayView raw, std::int64_t limit, std::int64_t &value);

} // namespace workbook::ods
