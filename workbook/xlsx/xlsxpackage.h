// Finding one's way in an .xlsx package: the relationships that lead from the package to the
// workbook part, from there to a sheet and its neighbours, and the parts' XML. Shared by the
// .xlsx reader, the writability check and the write-back.
#pragma once

#include "common/zip/ziparchive.h"
#include "workbook/workbookerrors.h"
#include "workbook/xml/xmlelement.h"
#include "workbook/xml/xmlscanner.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace workbook::xlsx {

struct Relationship {
    QByteArray id;
    QByteArray type;   // the full type URI
    QByteArray target; // the part name it leads to, without a leading "/", or an external URI
    bool external = false;
    // Whether the type ends in "/name" (transitional and strict URIs alike).
    bool isType(const char *name) const;
};

struct SheetEntry {
    QString name;
    QByteArray relationshipId;
    QByteArray part;  // empty when its relationship is missing
    QByteArray type;  // its relationship's type
    int position = 0; // among the workbook's sheets, 0-based
};

class Package {
public:
    // Reads the package's relationships and the workbook part's list of sheets. Throws
    // DamagedFile.
    explicit Package(QByteArrayView bytes);

    // Whether the archive's [Content_Types].xml names a spreadsheet's workbook part; no other
    // part is read.
    static bool isWorkbookPackage(const zip::Archive &archive);

    const zip::Archive &archive() const { return m_archive; }
    const QByteArray &workbookPart() const { return m_workbookPart; }
    const std::vector<Relationship> &workbookRelationships() const { return m_workbookRels; }
    const std::vector<SheetEntry> &sheets() const { return m_sheets; }
    bool date1904() const { return m_date1904; }
    // The named sheet, compared without regard to case; null when there is none.
    const SheetEntry *sheet(const QString &name) const;

    // A part's bytes as UTF-8 XML; throws DamagedFile when it is missing, or when it inflates to
    // more than its kind of part may (MaxDescriptionPart).
    QByteArray xmlPart(const QByteArray &part) const;
    bool hasPart(const QByteArray &part) const { return m_archive.find(part) != nullptr; }
    // The relationships of a part (its _rels/<name>.rels), empty when it has none.
    std::vector<Relationship> relationshipsOf(const QByteArray &part) const;
    // The workbook's first relationship of that type; empty target when none.
    Relationship workbookRelationship(const char *type) const;

private:
    zip::Archive m_archive;
    QByteArray m_workbookPart;
    std::vector<Relationship> m_workbookRels;
    std::vector<SheetEntry> m_sheets;
    bool m_date1904 = false;
};

// The vocabularies of a package's parts, each made afresh for a document read:
// SpreadsheetML's, in its transitional and strict namespaces, and the packaging conventions'
// relationships and content types.
xml::Vocabulary spreadsheetMl();
xml::Vocabulary packageRelationships();
xml::Vocabulary contentTypes();

// The part name a relationship target names, seen from the source part.
QByteArray resolveTarget(const QByteArray &sourcePart, QByteArrayView target);

// A part's XML error as a package error naming the part.
[[noreturn]] void badXml(const QByteArray &part, const xml::XmlError &e);

// Whether an XML boolean attribute value ("1", "true") is true.
bool xmlTrue(QByteArrayView raw);

// "B12" → 0-based row 11, column 1; false when it is not such a name or lies beyond the sheet.
bool parseCellName(QByteArrayView name, int &row, int &column);
QByteArray cellName(int row, int column);

// Text as a cell holds it: Excel writes characters XML cannot hold as _xHHHH_ ("_x000D_").
void decodeEscapes(QString &text);

inline constexpr int SheetRows = 1048576, SheetColumns = 16384, MaxCellText = 32767;

// The most a part that describes the package or the workbook rather than holding cells may
// inflate to: relationships, content types, the workbook part and the styles. Excel's limits
// keep them far below it (65,490 cell formats, 512 fonts, 256 fill styles, 250 number formats);
// the parts of cells and their shared strings may take zip::Archive::MaxPart.
inline constexpr std::uint64_t MaxDescriptionPart = std::uint64_t(64) << 20;

} // namespace workbook::xlsx
