// The .xls reader: the compound file, the workbook stream and its BIFF version, then the parser.
#include "workbook/xls/xlsreader.h"

#include "common/commanderror.h"
#include "workbook/workbookformat.h"
#include "workbook/xls/biffparser.h"
#include "workbook/xls/biffrecords.h"
#include "workbook/xls/compoundfile.h"
#include "workbook/xls/xlserrors.h"

namespace workbook::xls {

namespace {

struct WorkbookStream {
    QByteArray stream;
    int biffVersion = 8;
};

// The workbook stream of the compound file and the BIFF version it is in.
WorkbookStream openWorkbookStream(const QByteArray &bytes, const QString &fileName,
                                  const QString &path) {
    if (!hasCompoundFileSignature(bytes))
        notAWorkbook(fileName);

    QByteArray stream;
    bool workbookStream = true;
    {
        CompoundFile file;
        // An encrypted .xlsx: the package is a stream of a compound file. It is named so even
        // where the compound file cannot be read whole, as no reader could read it without the
        // password anyway.
        const QString package = QStringLiteral("EncryptedPackage");
        if (!file.parse(bytes, CompoundFile::StreamBytes::Viewed)) {
            if (hasStreamEntry(bytes, package))
                protectedByPassword(path);
            damaged(path, "its compound file structure cannot be read");
        }
        if (file.root().child(package))
            protectedByPassword(path);
        OleEntry *entry = file.root().child(QStringLiteral("Workbook"));
        if (!entry || entry->isStorage) {
            entry = file.root().child(QStringLiteral("Book"));
            workbookStream = false;
        }
        if (!entry || entry->isStorage)
            notAWorkbook(fileName);
        stream = std::move(entry->data);
    }

    // The globals' BOF names the version; the stream name decides only when it does not.
    WorkbookStream out;
    out.biffVersion = workbookStream ? 8 : 5;
    if (stream.size() >= 8 && u16(stream.constData()) == rec::Bof) {
        const std::uint16_t version = u16(stream.constData() + 4);
        if (version == Biff8Version)
            out.biffVersion = 8;
        else if (version == Biff5Version)
            out.biffVersion = 5;
    } else if (stream.size() >= 2) {
        const std::uint16_t type = u16(stream.constData());
        if (type == 0x0009 || type == 0x0209 || type == 0x0409)
            throw CommandError(QStringLiteral("The workbook \"%1\" is in a format older than "
                                              "Excel 5.0, which cannot be read")
                                   .arg(path));
    }
    out.stream = std::move(stream);
    return out;
}

} // namespace

XlsSheet readXlsSheet(const QByteArray &bytes, const QString &fileName, const QString &sheetName) {
    const QString path = displayPath(fileName);
    const WorkbookStream workbook = openWorkbookStream(bytes, fileName, path);
    XlsSheet out;
    out.biffVersion = workbook.biffVersion;
    out.sheet = std::make_unique<SheetData>();
    parseWorkbookStream(workbook.stream, out.biffVersion, path, sheetName, *out.sheet);
    return out;
}

QStringList xlsSheetNames(const QByteArray &bytes, const QString &fileName) {
    const QString path = displayPath(fileName);
    const WorkbookStream workbook = openWorkbookStream(bytes, fileName, path);
    return worksheetNames(workbook.stream, workbook.biffVersion, path);
}

} // namespace workbook::xls
