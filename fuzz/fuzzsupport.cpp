// The fuzz targets' shared parts: the batch of changes, the model a write is checked against,
// and the read and write runs the three workbook formats take alike.
#include "fuzzsupport.h"

#include "common/commanderror.h"
#include "workbook/fieldtext.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>

namespace fuzzing {
namespace {

using workbook::EditValue;
using workbook::SheetChange;

// Rows and columns from a byte: small ones as they are, the highest bytes the formats' limits
// (65,536 rows and 256 columns in .xls; 1,048,576 and 16,384 in the others) and just past them.
int rowOf(std::uint8_t b) {
    static const int high[] = {255,   256,   1000,    4095,    4096,    32767,      32768, 65534,
                               65535, 65536, 1048575, 1048576, 1048577, 2147483647, -1,    -2};
    return b < 240 ? b : high[b - 240];
}

int columnOf(std::uint8_t b) {
    static const int high[] = {255, 256, 1023, 16383, 16384, -1};
    return b < 250 ? b : high[b - 250];
}

EditValue valueOf(std::uint8_t b) {
    static const std::vector<EditValue> values = [] {
        std::vector<EditValue> v = {std::monostate(),
                                    0.0,
                                    1.0,
                                    -1.5,
                                    42.0,
                                    45000.25,
                                    0.1,
                                    -0.0,
                                    1e15,
                                    123456789.125,
                                    1e308,
                                    -1e-300,
                                    std::numeric_limits<double>::denorm_min(),
                                    std::numeric_limits<double>::infinity(),
                                    std::numeric_limits<double>::quiet_NaN(),
                                    2958465.99999,
                                    QString(),
                                    QStringLiteral("点"),
                                    QStringLiteral("东经116°"),
                                    QStringLiteral(" 前后空格 "),
                                    QStringLiteral("a&b<c>\"q\"'"),
                                    QStringLiteral("tab\there"),
                                    QStringLiteral("line\nbreak"),
                                    QStringLiteral("cr\r\nlf"),
                                    QStringLiteral("]]>&amp;"),
                                    QStringLiteral("bell\x07"),
                                    QStringLiteral("_x0041_"),
                                    QStringLiteral("😀"),
                                    QStringLiteral("=A1+1"),
                                    QStringLiteral("#DIV/0!"),
                                    QStringLiteral("TRUE"),
                                    QStringLiteral("  "),
                                    QString(255, u'x'),
                                    QString(256, u'ÿ'),
                                    QString(8300, u'长'),
                                    QString(32767, u'x'),
                                    QString(32768, u'x')};
        return v;
    }();
    return values[b % values.size()];
}

} // namespace

Batch splitBatch(const std::uint8_t *data, std::size_t size) {
    Batch batch;
    if (size == 0)
        return batch;
    std::size_t at = 1;
    const int count = data[0] % 5;
    for (int n = 0; n < count && at + 4 <= size; ++n, at += 4) {
        const std::uint8_t *c = data + at;
        switch (c[0] % 3) {
        case 0:
            batch.changes.push_back(
                SheetChange::setCell(rowOf(c[1]), columnOf(c[2]), valueOf(c[3])));
            break;
        case 1: {
            QList<EditValue> values;
            for (int k = 0; k < (c[0] >> 2) % 5; ++k)
                values << valueOf(std::uint8_t(c[3] + 7 * k));
            batch.changes.push_back(SheetChange::appendRow(values));
            break;
        }
        default:
            batch.changes.push_back(SheetChange::deleteRow(rowOf(c[1])));
        }
    }
    at = std::min(at, size);
    batch.file = QByteArray(reinterpret_cast<const char *>(data + at), qsizetype(size - at));
    return batch;
}

Model modelOf(const workbook::SheetData &sheet) {
    using workbook::CellKind;
    Model m;
    for (const workbook::Cell &c : sheet.cells()) {
        const std::pair<int, int> at{int(c.row), int(c.column)};
        if (c.kind == CellKind::Text)
            m[at] = sheet.text(c);
        else if (c.kind == CellKind::Number || c.kind == CellKind::Date ||
                 c.kind == CellKind::Currency)
            m[at] = c.number;
        else
            m[at] = QStringLiteral("<kind %1>").arg(int(c.kind) * 256 + c.code);
    }
    return m;
}

void applyChanges(Model &model, const std::vector<SheetChange> &changes, const QList<int> &rows,
                  AsRead asRead) {
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const SheetChange &c = changes[i];
        auto put = [&](int row, int column, const EditValue &v) {
            std::optional<QString> text;
            if (const QString *t = std::get_if<QString>(&v))
                text = asRead(*t);
            if (const double *d = std::get_if<double>(&v))
                model[{row, column}] = *d;
            else if (text)
                model[{row, column}] = *text;
            else
                model.erase({row, column});
        };
        if (c.kind == SheetChange::Kind::SetCell) {
            put(c.row, c.column, c.value);
        } else if (c.kind == SheetChange::Kind::AppendRow) {
            for (int k = 0; k < c.values.size(); ++k)
                put(rows[qsizetype(i)], k, c.values[k]);
        } else {
            Model moved;
            for (const auto &[at, v] : model)
                if (at.first != c.row)
                    moved[{at.first > c.row ? at.first - 1 : at.first, at.second}] = v;
            model = std::move(moved);
        }
    }
}

namespace {

bool sameValue(const Value &a, const Value &b) {
    if (a.index() != b.index())
        return false;
    if (const double *x = std::get_if<double>(&a)) {
        const double y = std::get<double>(b);
        return *x == y || (std::isnan(*x) && std::isnan(y));
    }
    return std::get<QString>(a) == std::get<QString>(b);
}

QString describe(const Value &v) {
    if (const double *d = std::get_if<double>(&v))
        return QString::number(*d, 'g', 17);
    const QString &t = std::get<QString>(v);
    return t.size() > 40 ? QStringLiteral("%1 characters").arg(t.size()) : u'"' + t + u'"';
}

} // namespace

bool sameModel(const Model &a, const Model &b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](auto &x, auto &y) {
               return x.first == y.first && sameValue(x.second, y.second);
           });
}

QString firstDifference(const Model &expected, const Model &read) {
    auto name = [](std::pair<int, int> at) { return workbook::cellName(at.first, at.second); };
    for (const auto &[at, v] : expected) {
        const auto it = read.find(at);
        if (it == read.end())
            return QStringLiteral("%1 lost: %2").arg(name(at), describe(v));
        if (!sameValue(it->second, v))
            return QStringLiteral("%1 reads %2 for %3")
                .arg(name(at), describe(it->second), describe(v));
    }
    for (const auto &[at, v] : read)
        if (expected.find(at) == expected.end())
            return QStringLiteral("%1 appeared: %2").arg(name(at), describe(v));
    return QString();
}

QString memoryFolder() {
    static const std::unique_ptr<QTemporaryDir> dir = [] {
        const QString shm = QStringLiteral("/dev/shm");
        const QString base = QFileInfo(shm).isWritable() ? shm : QDir::tempPath();
        auto d = std::make_unique<QTemporaryDir>(base + QStringLiteral("/kmlmaker-fuzz-XXXXXX"));
        if (!d->isValid())
            finding(QStringLiteral("cannot make a folder in ") + base);
        return d;
    }();
    return dir->path();
}

QByteArray fileBytes(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        finding(QStringLiteral("cannot read back ") + path);
    return f.readAll();
}

void putFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        finding(QStringLiteral("cannot write ") + path);
}

void finding(const QString &what) {
    std::fprintf(stderr, "\n==fuzz finding== %s\n", what.toLocal8Bit().constData());
    std::fflush(stderr);
    std::abort();
}

int writeTarget(const std::uint8_t *data, std::size_t size, const std::type_info &format,
                const QString &fileName, AsRead asRead) {
    const Batch batch = splitBatch(data, size);
    const QString path = memoryFolder() + u'/' + fileName;
    putFile(path, batch.file);
    workbook::SheetRead read;
    const workbook::WorkbookFormat *f = nullptr;
    try {
        f = &workbook::formatOf(batch.file, path);
        if (typeid(*f) != format)
            return 0;
        read = f->read(batch.file, path, QStringLiteral("sheet1"));
        if (!f->whyReadOnly(read).isEmpty())
            return 0;
    } catch (const CommandError &) {
        return 0;
    }

    workbook::WriteResult result;
    try {
        result = f->write(path, read.identity, batch.changes);
    } catch (const CommandError &e) {
        if (fileBytes(path) != batch.file)
            finding(QStringLiteral("a refused write changed the file: ") + e.message());
        return 0;
    }
    if (result.rows.size() != qsizetype(batch.changes.size()))
        finding(QStringLiteral("the write reports %1 rows for %2 changes")
                    .arg(result.rows.size())
                    .arg(batch.changes.size()));

    const QByteArray written = fileBytes(path);
    Model expected = modelOf(*read.sheet);
    applyChanges(expected, batch.changes, result.rows, asRead);
    try {
        const workbook::WorkbookFormat &g = workbook::formatOf(written, path);
        if (typeid(g) != format)
            finding(QStringLiteral("the file written is taken for another format"));
        const workbook::SheetRead back = g.read(written, path, QStringLiteral("sheet1"));
        const Model model = modelOf(*back.sheet);
        if (!sameModel(model, expected))
            finding(QStringLiteral("the write was done, its read-back differs: ") +
                    firstDifference(expected, model));
    } catch (const CommandError &e) {
        finding(QStringLiteral("the write was done, the file no longer reads: ") + e.message());
    }
    return 0;
}

int readTarget(const workbook::WorkbookFormat &format, const std::uint8_t *data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString path = memoryFolder() + QStringLiteral("/book");
    try {
        const workbook::SheetRead read = format.read(bytes, path, QStringLiteral("sheet1"));
        format.whyReadOnly(read);
        // The texts the grid and the export show, for the first cells.
        std::size_t shown = 0;
        for (const workbook::Cell &c : read.sheet->cells()) {
            if (++shown > 2000)
                break;
            workbook::fieldtext::cellText(*read.sheet, &c, u'.');
        }
    } catch (const CommandError &) {
    }
    return 0;
}

} // namespace fuzzing
