// Helpers shared by the .ods tests: fixtures, and packages made from a content part written in
// the test.
#pragma once

#include "workbook/zip/ziparchive.h"

#include <QByteArray>
#include <QFile>
#include <QString>

namespace odstesting {

inline QString fixture(const QString &name) {
    return QStringLiteral(KML_TEST_DATA "/workbooks/ods/") + name;
}

inline QByteArray readFile(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size() &&
           f.flush();
}

// A package of the given parts' content, laid out as the template's: the mimetype first and
// stored, the manifest, and the parts named in the changes.
inline QByteArray withParts(const QByteArray &templateBytes,
                            const std::vector<workbook::zip::EntryChange> &changes) {
    const workbook::zip::Archive archive(templateBytes);
    QByteArray out;
    workbook::zip::rewrite(archive, changes, [&](QByteArrayView piece) {
        out.append(piece);
        return true;
    });
    return out;
}

// The usual declarations of a content part.
inline const char *const ContentStart =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<office:document-content "
    "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
    "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
    "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
    "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
    "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
    "xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
    "xmlns:number=\"urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0\" "
    "xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\" "
    "xmlns:calcext=\"urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0\" "
    "office:version=\"1.3\">";

// A content part whose spreadsheet holds the XML given (tables and what goes beside them),
// after the automatic styles given.
inline QByteArray content(const QByteArray &spreadsheet, const QByteArray &styles = {}) {
    return QByteArray(ContentStart) + "<office:automatic-styles>" + styles +
           "</office:automatic-styles><office:body><office:spreadsheet>" + spreadsheet +
           "</office:spreadsheet></office:body></office:document-content>";
}

// A package made from the small fixture with its content part replaced.
inline QByteArray package(const QByteArray &contentXml) {
    return withParts(readFile(fixture(QStringLiteral("crafted-prefixes.ods"))),
                     {{"content.xml", contentXml}});
}

} // namespace odstesting
