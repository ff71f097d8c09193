// Helpers shared by the .ods tests: packages made from a content part written in
// the test.
#pragma once

#include "common/zip/ziparchive.h"
#include "packagetesting.h"
#include "testsupport.h"

#include <QByteArray>
#include <QString>

namespace odstesting {

using packagetesting::withParts;
using testsupport::readFile;
using testsupport::writeFile;

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
    return withParts(readFile(testsupport::fixture("ods", QStringLiteral("crafted-prefixes.ods"))),
                     {{"content.xml", contentXml}});
}

} // namespace odstesting
