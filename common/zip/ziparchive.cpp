// The zip format as APPNOTE 6.3 describes it: local headers, an optional data descriptor after
// each entry's data, the central directory and its end record, with the zip64 forms of both.
#include "common/zip/ziparchive.h"

#include "common/hugepages.h"
#include "common/paralleldeflate.h"
#include "common/rawdeflate.h"
#include "common/zip/ziprecords.h"

#include <QDateTime>

#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <unordered_set>

namespace zip {

namespace {

constexpr std::uint16_t NtfsExtra = 0x000a, TimestampExtra = 0x5455;

std::uint16_t u16(const char *p) {
    return qFromLittleEndian<quint16>(p);
}
std::uint32_t u32(const char *p) {
    return qFromLittleEndian<quint32>(p);
}
std::uint64_t u64(const char *p) {
    return qFromLittleEndian<quint64>(p);
}

[[noreturn]] void fail(const QString &why) {
    throw DamagedFile(why);
}
[[noreturn]] void fail(const char *why) {
    throw DamagedFile(QString::fromLatin1(why));
}

QString nameText(const QByteArray &name) {
    return QString::fromUtf8(name);
}

// The values of a zip64 extra field, present in its data only for the fields whose 32-bit
// value is all ones, in this order.
struct Zip64Values {
    std::uint64_t size, compressedSize, offset;
    bool present = false;
};

// Finds an extra field; the view is empty when there is none or the fields are malformed.
bool findExtra(QByteArrayView extra, std::uint16_t id, QByteArrayView &data) {
    qsizetype at = 0;
    while (at + 4 <= extra.size()) {
        const std::uint16_t fieldId = u16(extra.data() + at);
        const std::uint16_t length = u16(extra.data() + at + 2);
        if (at + 4 + length > extra.size())
            return false;
        if (fieldId == id) {
            data = extra.sliced(at + 4, length);
            return true;
        }
        at += 4 + length;
    }
    return false;
}

void readZip64(QByteArrayView extra, std::uint32_t size, std::uint32_t compressedSize,
               std::uint32_t offset, Zip64Values &v, const QByteArray &name) {
    v.size = size;
    v.compressedSize = compressedSize;
    v.offset = offset;
    QByteArrayView data;
    if (!findExtra(extra, Zip64Extra, data))
        return;
    v.present = true;
    qsizetype at = 0;
    auto take = [&](std::uint64_t &field) {
        if (at + 8 > data.size())
            fail(
                QStringLiteral("the entry \"%1\" has a zip64 field cut short").arg(nameText(name)));
        field = u64(data.data() + at);
        at += 8;
    };
    if (size == Max32)
        take(v.size);
    if (compressedSize == Max32)
        take(v.compressedSize);
    if (offset == Max32)
        take(v.offset);
}

QByteArray lowered(QByteArrayView name) {
    QByteArray l = name.toByteArray();
    for (char &c : l)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return l;
}

} // namespace

bool sameNameIgnoringCase(QByteArrayView a, QByteArrayView b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = char(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

bool Archive::hasSignature(QByteArrayView bytes) {
    if (bytes.size() < 4)
        return false;
    const std::uint32_t sig = u32(bytes.data());
    return sig == LocalSignature || (sig == EndSignature && bytes.size() >= qsizetype(EndSize));
}

QByteArray firstLocalName(QByteArrayView bytes) {
    if (std::size_t(bytes.size()) < LocalSize || u32(bytes.data()) != LocalSignature)
        return QByteArray();
    const std::size_t nameLength = u16(bytes.data() + 26);
    if (std::size_t(bytes.size()) - LocalSize < nameLength)
        return QByteArray();
    return bytes.sliced(qsizetype(LocalSize), qsizetype(nameLength)).toByteArray();
}

Archive::Archive(QByteArrayView bytes) : m_bytes(bytes) {
    readEnd();
}

void Archive::readEnd() {
    const std::uint64_t size = std::uint64_t(m_bytes.size());
    if (size < EndSize)
        fail("it is too short to be a zip archive");
    const char *p = m_bytes.data();
    // The end record sits before a comment of at most 65,535 bytes.
    std::uint64_t end = size - EndSize;
    const std::uint64_t lowest = end > 0xffff ? end - 0xffff : 0;
    for (;; --end) {
        if (u32(p + end) == EndSignature && end + EndSize + u16(p + end + 20) <= size)
            break;
        if (end == lowest)
            fail("the end of its zip directory is missing");
    }
    const char *e = p + end;
    if (u16(e + 4) != 0 || u16(e + 6) != 0)
        fail("it is a zip archive split over several files");
    std::uint64_t count = u16(e + 10);
    std::uint64_t cdSize = u32(e + 12);
    std::uint64_t cdOffset = u32(e + 16);
    m_comment = QByteArray(e + EndSize, u16(e + 20));
    std::uint64_t cdLimit = end; // the directory ends before the end record
    if (end >= LocatorSize && u32(e - LocatorSize) == Locator64Signature) {
        const std::uint64_t at = u64(e - LocatorSize + 8);
        if (at > end - LocatorSize || end - LocatorSize - at < End64Size ||
            u32(p + at) != End64Signature)
            fail("its zip64 directory end is not where the archive says");
        const char *z = p + at;
        if (u32(z + 16) != 0 || u32(z + 20) != 0)
            fail("it is a zip archive split over several files");
        count = u64(z + 32);
        cdSize = u64(z + 40);
        cdOffset = u64(z + 48);
        cdLimit = at;
        m_zip64 = true;
    }
    if (cdOffset > cdLimit || cdSize > cdLimit - cdOffset)
        fail("its zip directory lies outside the file");
    if (count > cdSize / CentralSize)
        fail("its zip directory is shorter than its entries");
    readCentral(cdOffset, cdSize, count);
}

void Archive::readCentral(std::uint64_t offset, std::uint64_t size, std::uint64_t count) {
    const char *p = m_bytes.data();
    const std::uint64_t end = offset + size;
    m_entries.reserve(std::size_t(count));
    std::unordered_set<std::string> names;
    std::uint64_t at = offset;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (end - at < CentralSize || u32(p + at) != CentralSignature)
            fail("an entry of its zip directory is damaged");
        const char *c = p + at;
        const std::uint64_t nameLength = u16(c + 28), extraLength = u16(c + 30),
                            commentLength = u16(c + 32);
        const std::uint64_t length = CentralSize + nameLength + extraLength + commentLength;
        if (length > end - at)
            fail("an entry of its zip directory runs past the directory's end");
        Entry e;
        e.flags = u16(c + 8);
        e.method = u16(c + 10);
        e.dosTime = u16(c + 12);
        e.dosDate = u16(c + 14);
        e.crc = u32(c + 16);
        e.name = QByteArray(c + CentralSize, qsizetype(nameLength));
        if (u16(c + 34) != 0 && u16(c + 34) != 0xffff)
            fail("it is a zip archive split over several files");
        Zip64Values v;
        readZip64(QByteArrayView(c + CentralSize + nameLength, qsizetype(extraLength)), u32(c + 24),
                  u32(c + 20), u32(c + 42), v, e.name);
        e.size = v.size;
        e.compressedSize = v.compressedSize;
        e.localOffset = v.offset;
        e.centralOffset = at;
        e.centralLength = std::uint32_t(length);
        if (!names.insert(lowered(e.name).toStdString()).second)
            fail(QStringLiteral("two entries are named \"%1\"").arg(nameText(e.name)));
        readLocal(e);
        m_entries.push_back(std::move(e));
        at += length;
    }

    // Entries may not overlap one another or the directory.
    std::vector<const Entry *> byOffset;
    byOffset.reserve(m_entries.size());
    for (const Entry &e : m_entries)
        byOffset.push_back(&e);
    std::sort(byOffset.begin(), byOffset.end(),
              [](const Entry *a, const Entry *b) { return a->localOffset < b->localOffset; });
    for (std::size_t i = 0; i < byOffset.size(); ++i) {
        const std::uint64_t limit = i + 1 < byOffset.size() ? byOffset[i + 1]->localOffset : offset;
        if (byOffset[i]->end > limit)
            fail(QStringLiteral("the entry \"%1\" overlaps the next one")
                     .arg(nameText(byOffset[i]->name)));
    }
}

void Archive::readLocal(Entry &e) {
    const std::uint64_t size = std::uint64_t(m_bytes.size());
    const char *p = m_bytes.data();
    auto cutShort = [&] {
        fail(QStringLiteral("the entry \"%1\" is cut short").arg(nameText(e.name)));
    };
    if (e.localOffset > size || size - e.localOffset < LocalSize)
        cutShort();
    const char *l = p + e.localOffset;
    if (u32(l) != LocalSignature)
        fail(QStringLiteral("the entry \"%1\" is not where the zip directory says")
                 .arg(nameText(e.name)));
    const std::uint64_t nameLength = u16(l + 26), extraLength = u16(l + 28);
    e.dataOffset = e.localOffset + LocalSize + nameLength + extraLength;
    if (e.dataOffset > size)
        cutShort();
    if (QByteArrayView(l + LocalSize, qsizetype(nameLength)) != QByteArrayView(e.name))
        fail(QStringLiteral("the entry \"%1\" has another name in its own header")
                 .arg(nameText(e.name)));
    if (e.compressedSize > size - e.dataOffset)
        cutShort();
    e.end = e.dataOffset + e.compressedSize;
    if (e.flags & HasDescriptor) {
        const QByteArrayView localExtra(l + LocalSize + nameLength, qsizetype(extraLength));
        QByteArrayView zip64;
        const bool wide = findExtra(localExtra, Zip64Extra, zip64);
        std::uint64_t length = wide ? 20 : 12;
        if (size - e.end >= 4 && u32(p + e.end) == DescriptorSignature)
            length += 4;
        if (size - e.end < length)
            cutShort();
        e.end += length;
    }
}

const Entry *Archive::find(QByteArrayView name) const {
    for (const Entry &e : m_entries)
        if (sameNameIgnoringCase(e.name, name))
            return &e;
    return nullptr;
}

const Entry *Archive::first() const {
    const Entry *first = nullptr;
    for (const Entry &e : m_entries)
        if (!first || e.localOffset < first->localOffset)
            first = &e;
    return first;
}

namespace {

// The first room an inflated entry gets. Once its data has filled that much, the room grows in
// one step to the size the entry states: a size that the data does not bear out costs no more
// than this. (The kernel moves a grown buffer's pages unless a hint for huge pages has split
// its mapping, and would copy them: the first room of a bigger entry goes without the hint.)
constexpr std::size_t FirstRoom = std::size_t(64) << 20;

// The entry's data inflated, exactly size bytes, into room taken as the data arrives.
QByteArray inflated(QByteArrayView data, std::uint64_t size, const QString &name) {
    auto wrongSizes = [&] { fail(QStringLiteral("the entry \"%1\" has wrong sizes").arg(name)); };
    auto badData = [&] {
        fail(QStringLiteral("the entry \"%1\" cannot be decompressed").arg(name));
    };
    using Status = rawdeflate::Inflater::Status;
    rawdeflate::Inflater inflater(data);
    QByteArray out;
    std::size_t have = 0;
    Status status = Status::Full;
    for (const std::size_t room :
         {std::min<std::size_t>(std::size_t(size), FirstRoom), std::size_t(size)}) {
        if (room <= have)
            continue;
        out.reserve(qsizetype(room));
        out.resize(qsizetype(room));
        if (room == size)
            preferHugePages(out.constData(), room);
        std::size_t produced = 0;
        status = inflater.inflate(out.data() + have, room - have, produced);
        have += produced;
        if (status != Status::Full)
            break;
    }
    if (status == Status::Full) {
        // All the data the entry states: the stream must end without another byte.
        char beyond;
        std::size_t produced = 0;
        status = inflater.inflate(&beyond, 1, produced);
        if (produced != 0)
            wrongSizes();
    }
    if (status == Status::BadData)
        badData();
    if (have != size)
        wrongSizes();
    return out;
}

} // namespace

QByteArray Archive::read(const Entry &entry, std::uint64_t limit) const {
    const QString name = nameText(entry.name);
    if (entry.size > limit || entry.size > std::uint64_t(std::numeric_limits<qsizetype>::max()))
        fail(QStringLiteral("the entry \"%1\" is too large to be read").arg(name));
    if (entry.flags & Encrypted)
        fail(QStringLiteral("the entry \"%1\" is encrypted").arg(name));
    const QByteArrayView data =
        m_bytes.sliced(qsizetype(entry.dataOffset), qsizetype(entry.compressedSize));
    QByteArray out;
    if (entry.method == 0) {
        if (entry.compressedSize != entry.size)
            fail(QStringLiteral("the entry \"%1\" has wrong sizes").arg(name));
        out = data.toByteArray();
    } else if (entry.method == 8) {
        // A size no deflate stream of this length reaches is refused before any room is made.
        if (entry.size / rawdeflate::MaxRatio > entry.compressedSize)
            fail(QStringLiteral("the entry \"%1\" has wrong sizes").arg(name));
        out = inflated(data, entry.size, name);
    } else {
        fail(QStringLiteral("the entry \"%1\" is compressed by a method (%2) that cannot be read")
                 .arg(name)
                 .arg(entry.method));
    }
    if (rawdeflate::crc32(out) != entry.crc)
        fail(QStringLiteral("the entry \"%1\" fails its checksum").arg(name));
    return out;
}

// ---------------------------------------------------------------------------------------------
// Writing

namespace {

// The extra fields that stay true of new content: all but timestamps and zip64 sizes.
QByteArray keptExtra(QByteArrayView extra) {
    QByteArray kept;
    qsizetype at = 0;
    while (at + 4 <= extra.size()) {
        const std::uint16_t id = u16(extra.data() + at);
        const std::uint16_t length = u16(extra.data() + at + 2);
        if (at + 4 + length > extra.size())
            break; // a malformed tail is dropped
        if (id != Zip64Extra && id != TimestampExtra && id != NtfsExtra)
            kept.append(extra.data() + at, 4 + length);
        at += 4 + length;
    }
    return kept;
}

// New content deflated on every core by the program's shared compressor (the one KMZ files are
// written with): a big sheet part is most of the time a post takes.
bool deflated(const QByteArray &content, QByteArray &out, std::uint32_t &crc) {
    try {
        out.reserve(content.size() / 4 + 1024);
        ParallelDeflate compressor([&out](const char *data, qsizetype size) {
            out.append(data, size);
            return true;
        });
        if (!compressor.write(content.constData(), content.size()) || !compressor.finish())
            return false;
        crc = compressor.crc();
        return true;
    } catch (const std::bad_alloc &) {
        return false;
    }
}

struct Written {
    std::uint64_t offset = 0;
    bool removed = false;
    bool changed = false;
    QByteArray central;         // a changed entry's new central record, its offset still to be set
    qsizetype offsetField = -1; // where in central the offset goes (-1: at 42)
};

} // namespace

bool rewrite(const Archive &archive, const std::vector<EntryChange> &changes,
             const std::function<bool(QByteArrayView)> &put) {
    const std::vector<Entry> &entries = archive.entries();
    std::vector<Written> written(entries.size());
    std::vector<std::size_t> order(entries.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return entries[a].localOffset < entries[b].localOffset;
    });
    auto changeOf = [&](const Entry &e) -> const EntryChange * {
        for (const EntryChange &c : changes)
            if (sameNameIgnoringCase(c.name, e.name))
                return &c;
        return nullptr;
    };
    const DosTime now = dosTime(QDateTime::currentDateTime());

    std::uint64_t offset = 0;
    for (const std::size_t i : order) {
        const Entry &e = entries[i];
        Written &w = written[i];
        const EntryChange *change = changeOf(e);
        if (change && !change->content) {
            w.removed = true;
            continue;
        }
        w.offset = offset;
        if (!change) {
            const QByteArrayView raw = archive.raw(e);
            if (!put(raw))
                return false;
            offset += std::uint64_t(raw.size());
            continue;
        }
        w.changed = true;
        const QByteArray &content = *change->content;
        const bool stored = e.method == 0;
        std::uint32_t crc = 0;
        QByteArray compressed;
        if (!stored && !deflated(content, compressed, crc))
            return false;
        const QByteArrayView data = stored ? QByteArrayView(content) : QByteArrayView(compressed);
        if (stored)
            crc = rawdeflate::crc32(content);
        const char *local = archive.bytes().data() + e.localOffset;
        const char *central = archive.centralRecord(e).data();
        const QByteArrayView localExtra(local + LocalSize + u16(local + 26), u16(local + 28));
        // Zip64 sizes only where 32 bits cannot hold them, whatever the entry had before:
        // LibreOffice 7.4 refuses a whole package whose entry has them although its sizes fit.
        const bool wide =
            std::uint64_t(content.size()) >= Max32 || std::uint64_t(data.size()) >= Max32;
        QByteArray zip64;
        if (wide)
            zip64 = zip64Extra({std::uint64_t(content.size()), std::uint64_t(data.size())});
        const QByteArray extra = zip64 + keptExtra(localExtra);
        EntryFields fields;
        fields.needed = wide ? Version45 : Version20;
        fields.flags = std::uint16_t(e.flags & Utf8Names);
        fields.method = stored ? Stored : Deflated;
        fields.modified = now;
        fields.crc = crc;
        fields.compressedSize = wide ? Max32 : std::uint32_t(data.size());
        fields.size = wide ? Max32 : std::uint32_t(content.size());
        fields.name = e.name;
        fields.extra = extra;
        QByteArray header;
        appendLocalHeader(header, fields);
        if (!put(header) || !put(data))
            return false;
        offset += std::uint64_t(header.size()) + std::uint64_t(data.size());

        const std::uint16_t nameLength = u16(central + 28), extraLength = u16(central + 30),
                            commentLength = u16(central + 32);
        const QByteArray centralExtra =
            zip64 + keptExtra(QByteArrayView(central + CentralSize + nameLength, extraLength));
        fields.extra = centralExtra;
        CentralFields kept;
        kept.madeBy = u16(central + 4);
        kept.internalAttributes = u16(central + 36);
        kept.externalAttributes = u32(central + 38);
        kept.localOffset = 0; // set below
        kept.comment =
            QByteArrayView(central + CentralSize + nameLength + extraLength, commentLength);
        appendCentralRecord(w.central, fields, kept);
    }

    const std::uint64_t cdOffset = offset;
    std::uint64_t count = 0;
    QByteArray directory;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Written &w = written[i];
        if (w.removed)
            continue;
        ++count;
        QByteArray record = w.changed ? w.central : archive.centralRecord(entries[i]).toByteArray();
        char *r = record.data();
        if (u32(r + 42) == Max32) {
            // The offset is in the zip64 field, after any sizes held there.
            const std::uint16_t nameLength = u16(r + 28), extraLength = u16(r + 30);
            QByteArrayView field;
            const QByteArrayView extra(r + CentralSize + nameLength, extraLength);
            if (!findExtra(extra, Zip64Extra, field))
                return false;
            const qsizetype at = (u32(r + 24) == Max32 ? 8 : 0) + (u32(r + 20) == Max32 ? 8 : 0);
            if (at + 8 > field.size())
                return false;
            qToLittleEndian<quint64>(w.offset, const_cast<char *>(field.data()) + at);
        } else if (w.offset >= Max32) {
            return false; // a workbook is never this large
        } else {
            qToLittleEndian<quint32>(std::uint32_t(w.offset), r + 42);
        }
        directory += record;
        if (directory.size() >= (1 << 20)) {
            if (!put(directory))
                return false;
            offset += std::uint64_t(directory.size());
            directory.clear();
        }
    }
    offset += std::uint64_t(directory.size());
    const std::uint64_t cdSize = offset - cdOffset;
    const bool zip64 = archive.isZip64() || count >= 0xffff || cdOffset >= Max32 || cdSize >= Max32;
    QByteArray &tail = directory;
    if (zip64)
        appendZip64End(tail, Version45, count, cdSize, cdOffset, offset);
    appendEnd(tail, zip64 ? 0xffff : std::uint16_t(count), zip64 ? Max32 : std::uint32_t(cdSize),
              zip64 ? Max32 : std::uint32_t(cdOffset), archive.comment());
    return put(tail);
}

} // namespace zip
