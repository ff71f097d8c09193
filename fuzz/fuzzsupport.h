// What the fuzz targets share: a batch of changes drawn from an input's first bytes, a sheet as
// the values a write must leave in it, the folder in memory where the write targets save, and a
// finding reported so that libFuzzer keeps the input.
#pragma once

#include "workbook/formatregistry.h"
#include "workbook/sheetchange.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <typeinfo>
#include <variant>
#include <vector>

namespace fuzzing {

// A write target's input: its first byte counts the changes (0 to 4), four bytes describe each,
// and the rest is the workbook. A change's bytes are its kind (set a cell, append a row of up to
// four values, delete a row), its row, its column and its value: small rows and columns as they
// are, the highest bytes the sheet formats' limits and just past them; values from a table of
// numbers and texts that writers have to take care with.
struct Batch {
    std::vector<workbook::SheetChange> changes;
    QByteArray file;
};
Batch splitBatch(const std::uint8_t *data, std::size_t size);

// What a cell holds, as a write must leave it: a number, a text, or another kind's code.
using Value = std::variant<double, QString>;
using Model = std::map<std::pair<int, int>, Value>;

Model modelOf(const workbook::SheetData &sheet);
// What a format reads back of a text written: the text as it reads it, or nothing when it reads
// such a text as an empty cell.
using AsRead = std::optional<QString> (*)(const QString &);

// The model as the changes leave it, rows being those the write reports.
void applyChanges(Model &model, const std::vector<workbook::SheetChange> &changes,
                  const QList<int> &rows, AsRead asRead);
// Equal, a number that is no number (NaN) being equal to another.
bool sameModel(const Model &a, const Model &b);
// The first cell where they differ, for the report.
QString firstDifference(const Model &expected, const Model &read);

// A folder in memory (/dev/shm when there is one) that lives as long as the process.
QString memoryFolder();
QByteArray fileBytes(const QString &path);
void putFile(const QString &path, const QByteArray &bytes);

// Writes what was found and aborts: libFuzzer keeps the input as a crash.
[[noreturn]] void finding(const QString &what);

// One write target's run: the batch written into the workbook through the format formatOf
// picks, when that is of the type given (other inputs are left alone); a refusal must leave the
// bytes untouched, and a write that is done must read back as the batch says.
int writeTarget(const std::uint8_t *data, std::size_t size, const std::type_info &format,
                const QString &fileName, AsRead asRead);

// One read target's run: the bytes read as the format reads a whole file, then each cell's text
// as the grid shows it, and the question whether edits could be written.
int readTarget(const workbook::WorkbookFormat &format, const std::uint8_t *data, std::size_t size);

} // namespace fuzzing
