// The zip layer on any bytes: the central directory and local headers read, every entry
// inflated as the readers inflate their parts, and the archive written again with its first entry
// replaced and its second removed, which must read back with every other entry's content as it
// was.
#include "fuzzsupport.h"

#include "common/zip/ziparchive.h"

#include <optional>

namespace {

using zip::Archive;
using zip::Entry;

// An entry's content, or nothing when it cannot be read. A part is read with the readers' own
// limit.
std::optional<QByteArray> contentOf(const Archive &archive, const Entry &entry) {
    try {
        return archive.read(entry);
    } catch (const DamagedFile &) {
        return std::nullopt;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    Archive::hasSignature(bytes);
    zip::firstLocalName(bytes);
    try {
        const Archive archive(bytes);
        archive.first();
        std::vector<std::optional<QByteArray>> contents;
        for (const Entry &e : archive.entries()) {
            contents.push_back(contentOf(archive, e));
            if (archive.find(e.name) == nullptr)
                fuzzing::finding(QStringLiteral("an entry is not found by its own name"));
        }
        if (archive.entries().empty())
            return 0;

        const QByteArray replaced("replaced content");
        std::vector<zip::EntryChange> changes{{archive.entries()[0].name, replaced}};
        if (archive.entries().size() > 1)
            changes.push_back({archive.entries()[1].name, std::nullopt});
        QByteArray out;
        if (!zip::rewrite(archive, changes, [&](QByteArrayView piece) {
                out.append(piece);
                return true;
            }))
            return 0;
        try {
            const Archive again(out);
            // A change applies to every entry of its name; the first change that names an entry
            // is the one it takes.
            for (std::size_t i = 0, j = 0; i < archive.entries().size(); ++i) {
                const QByteArray &name = archive.entries()[i].name;
                const bool first = zip::sameNameIgnoringCase(name, changes[0].name);
                const bool removed = !first && changes.size() > 1 &&
                                     zip::sameNameIgnoringCase(name, changes[1].name);
                if (removed)
                    continue;
                if (j >= again.entries().size() || again.entries()[j].name != name)
                    fuzzing::finding(QStringLiteral("the archive written lost or moved an entry"));
                const std::optional<QByteArray> now = contentOf(again, again.entries()[j]);
                if (first && now != replaced)
                    fuzzing::finding(QStringLiteral("the replaced entry reads otherwise"));
                if (!first && contents[i] && now != contents[i])
                    fuzzing::finding(QStringLiteral("an entry copied reads otherwise"));
                ++j;
            }
        } catch (const DamagedFile &e) {
            fuzzing::finding(QStringLiteral("the archive written does not read: ") + e.why);
        }
    } catch (const DamagedFile &) {
    }
    return 0;
}
