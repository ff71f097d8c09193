// The format registry: a file's format by its first bytes, and the whole-file read they start
// from.
#include "workbook/workbookformat.h"

#include "common/commanderror.h"
#include "workbook/csv/csvformat.h"
#include "workbook/ods/odsformat.h"
#include "workbook/ods/odspackage.h"
#include "workbook/xls/xlsformat.h"
#include "workbook/xlsx/xlsxformat.h"
#include "workbook/xlsx/xlsxpackage.h"
#include "workbook/zip/ziparchive.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <limits>
#include <sys/stat.h>

namespace workbook {

namespace {

// False (with errno set) when the file cannot be read whole.
bool readWhole(const QString &fileName, QByteArray &bytes) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        const QFileInfo info(fileName);
        errno = !info.exists() ? ENOENT : info.isDir() ? EISDIR : EACCES;
        return false;
    }
    struct stat st {};
    if (fstat(file.handle(), &st) != 0)
        return false;
    // Only a regular file: a pipe or a device could be read without end.
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return false;
    }
    if (st.st_size > std::numeric_limits<int>::max()) {
        errno = EFBIG;
        return false;
    }
    bytes = file.read(qint64(st.st_size));
    if (file.error() != QFileDevice::NoError) {
        errno = EIO;
        return false;
    }
    return true;
}

} // namespace

WorkbookFormat::~WorkbookFormat() = default;

FunctionsFormat::FunctionsFormat(ReadSheet readSheet, CheckWritable checkWritable, Write write)
    : m_readSheet(std::move(readSheet)), m_checkWritable(std::move(checkWritable)),
      m_write(std::move(write)) {}

SheetRead FunctionsFormat::read(QByteArray bytes, const QString &fileName,
                                const QString &sheetName) const {
    SheetRead out;
    out.sheet = m_readSheet(bytes, fileName, sheetName);
    out.identity = fileIdentity(fileName, bytes);
    out.bytes = std::move(bytes);
    return out;
}

QString FunctionsFormat::whyReadOnly(const SheetRead &read) const {
    try {
        m_checkWritable(read.bytes);
    } catch (const CommandError &e) {
        return e.message();
    }
    return QString();
}

WriteResult FunctionsFormat::write(const QString &path, const FileIdentity &opened,
                                   const std::vector<SheetChange> &changes) const {
    return m_write(path, opened, changes);
}

const WorkbookFormat &formatOf(const QByteArray &bytes, const QString &fileName) {
    static const xls::XlsFormat xlsFormat;
    static const xlsx::XlsxFormat xlsxFormat;
    static const ods::OdsFormat odsFormat;
    static const csv::CsvFormat csvFormat;
    // An OLE2 compound file: an .xls workbook, or an Office document encrypted with a password,
    // which the .xls reader names as such.
    if (xls::isXlsFile(bytes))
        return xlsFormat;
    if (zip::Archive::hasSignature(bytes)) {
        try {
            const zip::Archive archive(bytes);
            if (ods::Package::isSpreadsheet(archive))
                return odsFormat;
            if (xlsx::Package::isWorkbookPackage(archive))
                return xlsxFormat;
        } catch (const zip::ZipError &) {
            // An archive cut short or damaged, yet with an entry at its start: the reader of the
            // format it names names the damage.
            const QByteArray first = zip::firstLocalName(bytes);
            if (first == "mimetype")
                return odsFormat;
            if (!first.isEmpty())
                return xlsxFormat;
        }
    }
    // The last resort: a file no other format knows that reads as text is delimited text.
    if (csv::looksLikeDelimitedText(bytes))
        return csvFormat;
    notAWorkbook(fileName);
}

void notAWorkbook(const QString &fileName) {
    throw CommandError(
        QStringLiteral("The file \"%1\" is not an Excel workbook").arg(displayPath(fileName)));
}

QByteArray readWorkbookFile(const QString &fileName) {
    QByteArray bytes;
    if (!readWhole(fileName, bytes)) {
        const int err = errno;
        throw CommandError(
            QStringLiteral("Cannot open the workbook \"%1\": %2")
                .arg(displayPath(fileName), QString::fromLocal8Bit(std::strerror(err))));
    }
    return bytes;
}

} // namespace workbook
