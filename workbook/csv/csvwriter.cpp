// The write-back of a delimited text file, checked on its own result before it is saved.
#include "workbook/csv/csvwriter.h"

#include "common/commanderror.h"
#include "common/numtext.h"
#include "workbook/csv/csvdialect.h"
#include "workbook/csv/csveditor.h"
#include "workbook/csv/csvreader.h"
#include "workbook/csv/csvtext.h"
#include "workbook/readbackcheck.h"
#include "workbook/workbookerrors.h"
#include "workbook/workbookrewrite.h"

namespace workbook::csv {

namespace {

Dialect dialectForWriting(QByteArrayView bytes) {
    const std::optional<Dialect> d = detectDialect(bytes);
    if (!d)
        damagedForWriting();
    const bool openQuote = withUnits(bytes, *d, [&](const auto &units) {
        RecordScanner<std::decay_t<decltype(units)>> scanner(units, d->delimiter);
        RecordRange record;
        while (scanner.next(record, nullptr)) {
        }
        return scanner.endedInQuote();
    });
    const QString why = whyNotWritable(bytes, *d, openQuote);
    if (!why.isEmpty())
        throw CommandError(why);
    return *d;
}

// What the reader gives back for each change: every cell is text, a number its written text.
std::vector<SheetChange> asTexts(std::vector<SheetChange> changes) {
    auto text = [](EditValue &v) {
        if (const double *number = std::get_if<double>(&v))
            v = numtext::FloatToStr(*number, u'.');
    };
    for (SheetChange &c : changes) {
        text(c.value);
        for (EditValue &v : c.values)
            text(v);
    }
    return changes;
}

std::unique_ptr<SheetData> readBackSheet(const QByteArray &bytes) {
    return readBack([&] { return readSheet(bytes, QString(), QStringLiteral("sheet1")); });
}

} // namespace

QString whyNotWritable(QByteArrayView bytes, const Dialect &dialect, bool endsInQuote) {
    if (dialect.encoding == Encoding::Gb18030 && !gb18030RoundTrips(bytes.sliced(dialect.markSize)))
        return QStringLiteral("The file holds GB18030 bytes that do not read back as they are "
                              "written and cannot be changed");
    if (endsInQuote)
        return QStringLiteral("The file ends inside a quoted field and cannot be changed");
    return QString();
}

void checkWritable(QByteArrayView bytes) {
    dialectForWriting(bytes);
}

std::optional<QByteArray> applyChanges(QByteArrayView bytes, const QString &fileName,
                                       const std::vector<SheetChange> &changes,
                                       WriteResult &result) {
    const Dialect dialect = dialectForWriting(bytes);
    const unsigned second =
        fileName.endsWith(QStringLiteral(".tsv"), Qt::CaseInsensitive) ? '\t' : ',';
    CsvEditor editor(bytes, dialect, second);
    for (const SheetChange &change : changes)
        result.rows.append(editor.apply(change));
    if (!editor.isChanged())
        return std::nullopt;
    const QByteArray out = editor.result();
    const ReadBackCheck check(asTexts(changes), result.rows);
    // Where the new text is cut otherwise than the old (another delimiter or encoding found),
    // every cell is compared, as where rows moved.
    const std::optional<Dialect> now = detectDialect(out);
    const bool recut = !now || !(*now == dialect);
    std::unique_ptr<SheetData> before;
    if (check.movesRows() || recut)
        before = readBackSheet(QByteArray::fromRawData(bytes.data(), bytes.size()));
    check.check(*readBackSheet(out), before.get());
    return out;
}

WriteResult writeSheetChanges(const QString &path, const FileIdentity &opened,
                              const std::vector<SheetChange> &changes) {
    WorkbookRewrite rewrite(path, opened);
    const std::optional<QByteArray> out =
        applyChanges(rewrite.bytes(), path, changes, rewrite.result());
    if (!out)
        return rewrite.result();
    ReplacingFile &file = rewrite.newFile(".csv.tmp");
    if (!file.write(out->constData(), out->size()))
        throw CommandError(streamWriteError(file.writeError()));
    return rewrite.commit(*out);
}

} // namespace workbook::csv
