// The delimited text write-back: a batch of changes written into a text file, which must then
// read back as the batch says in every cell, not only those written, or be refused with its
// bytes untouched. A delimited file has no types: a number reads back as the text written for it.
#include "fuzzsupport.h"

#include "common/commanderror.h"
#include "common/numtext.h"
#include "workbook/csv/csvformat.h"

namespace {

std::optional<QString> asRead(const QString &text) {
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

std::vector<workbook::SheetChange> asTexts(std::vector<workbook::SheetChange> changes) {
    auto text = [](workbook::EditValue &v) {
        if (const double *number = std::get_if<double>(&v))
            v = numtext::FloatToStr(*number, u'.');
    };
    for (workbook::SheetChange &c : changes) {
        text(c.value);
        for (workbook::EditValue &v : c.values)
            text(v);
    }
    return changes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static const workbook::csv::CsvFormat format;
    const fuzzing::Batch batch = fuzzing::splitBatch(data, size);
    const QString path = fuzzing::memoryFolder() + QStringLiteral("/book.csv");
    fuzzing::putFile(path, batch.file);
    workbook::SheetRead read;
    try {
        read = format.read(batch.file, path, QStringLiteral("sheet1"));
        if (!format.whyReadOnly(read).isEmpty())
            return 0;
    } catch (const CommandError &) {
        return 0;
    }
    workbook::WriteResult result;
    try {
        result = format.write(path, read.identity, batch.changes);
    } catch (const CommandError &e) {
        if (fuzzing::fileBytes(path) != batch.file)
            fuzzing::finding(QStringLiteral("a refused write changed the file: ") + e.message());
        return 0;
    }
    if (result.rows.size() != qsizetype(batch.changes.size()))
        fuzzing::finding(QStringLiteral("the write reports %1 rows for %2 changes")
                             .arg(result.rows.size())
                             .arg(batch.changes.size()));
    const QByteArray written = fuzzing::fileBytes(path);
    fuzzing::Model expected = fuzzing::modelOf(*read.sheet);
    fuzzing::applyChanges(expected, asTexts(batch.changes), result.rows, asRead);
    try {
        if (!workbook::csv::looksLikeDelimitedText(written))
            fuzzing::finding(QStringLiteral("the file written is no longer text"));
        const workbook::SheetRead back = format.read(written, path, QStringLiteral("sheet1"));
        const fuzzing::Model model = fuzzing::modelOf(*back.sheet);
        if (!fuzzing::sameModel(model, expected))
            fuzzing::finding(QStringLiteral("the write was done, its read-back differs: ") +
                             fuzzing::firstDifference(expected, model));
    } catch (const CommandError &e) {
        fuzzing::finding(QStringLiteral("the write was done, the file no longer reads: ") +
                         e.message());
    }
    return 0;
}
