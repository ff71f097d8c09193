// OLE2 compound files through libgsf: the one file that wraps it and GLib, with RAII handles for
// their objects.
#include "workbook/xls/compoundfile.h"

#include "common/commanderror.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>

#include <glib.h>

#include <cerrno>
#include <cstdio>
#include <limits>
#include <memory>
#include <utility>

#include <unistd.h>

namespace workbook::xls {

namespace {

struct GObjectUnref {
    void operator()(gpointer p) const {
        if (p)
            g_object_unref(p);
    }
};
template <typename T> using GsfPtr = std::unique_ptr<T, GObjectUnref>;

struct DateTimeUnref {
    void operator()(GDateTime *t) const { g_date_time_unref(t); }
};

struct ErrorFree {
    void operator()(GError *e) const { g_error_free(e); }
};

// libgsf reports what it finds wrong in a damaged file on standard error; the reader's own
// message says it to the user, so its reports are held back while a file is parsed.
class QuietGLib {
public:
    QuietGLib()
        : m_log(g_log_set_default_handler(ignoreLog, nullptr)),
          m_print(g_set_printerr_handler(ignorePrint)) {}
    ~QuietGLib() {
        g_log_set_default_handler(m_log, nullptr);
        g_set_printerr_handler(m_print);
    }
    QuietGLib(const QuietGLib &) = delete;
    QuietGLib &operator=(const QuietGLib &) = delete;

private:
    static void ignoreLog(const gchar *, GLogLevelFlags, const gchar *, gpointer) {}
    static void ignorePrint(const gchar *) {}

    GLogFunc m_log;
    GPrintFunc m_print;
};

// The file's bytes, when streams may be views of them.
struct Source {
    const QByteArray *viewable = nullptr;
};

// Every stream is read whole; a file whose directory claims more than it holds fails here.
bool readEntry(GsfInput *input, OleEntry &entry, const Source &source) {
    entry.name = QString::fromUtf8(gsf_input_name(input));
    if (GDateTime *time = gsf_input_get_modtime(input))
        entry.modifiedUnixTime = g_date_time_to_unix(time);
    if (GSF_IS_INFILE(input) && gsf_infile_num_children(GSF_INFILE(input)) >= 0) {
        entry.isStorage = true;
        if (GSF_IS_INFILE_MSOLE(input))
            gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(input), entry.clsid.data());
        const int n = gsf_infile_num_children(GSF_INFILE(input));
        entry.children.reserve(size_t(n));
        for (int i = 0; i < n; ++i) {
            GsfPtr<GsfInput> child(gsf_infile_child_by_index(GSF_INFILE(input), i));
            if (!child)
                return false;
            entry.children.emplace_back();
            if (!readEntry(child.get(), entry.children.back(), source))
                return false;
        }
        return true;
    }
    const gsf_off_t size = gsf_input_size(input);
    if (size < 0 || size > std::numeric_limits<int>::max())
        return false;
    if (size == 0)
        return true;
    if (source.viewable) {
        // Without a buffer of ours, libgsf hands back where the bytes are: inside the file's own
        // bytes when the stream's sectors follow each other, else in a buffer of its own.
        const guint8 *at = gsf_input_read(input, size_t(size), nullptr);
        if (!at)
            return false;
        const char *p = reinterpret_cast<const char *>(at);
        const char *begin = source.viewable->constData();
        if (p >= begin && size <= begin + source.viewable->size() - p)
            entry.data = QByteArray::fromRawData(p, qsizetype(size));
        else
            entry.data = QByteArray(p, qsizetype(size));
        return true;
    }
    entry.data.resize(qsizetype(size));
    return gsf_input_read(input, size_t(size), reinterpret_cast<guint8 *>(entry.data.data()));
}

bool writeEntry(GsfOutfile *parent, const OleEntry &entry) {
    std::unique_ptr<GDateTime, DateTimeUnref> time;
    if (entry.modifiedUnixTime != 0)
        time.reset(g_date_time_new_from_unix_utc(entry.modifiedUnixTime));
    const QByteArray name = entry.name.toUtf8();
    GsfPtr<GsfOutput> out(time ? gsf_outfile_new_child_full(parent, name.constData(),
                                                            entry.isStorage, "modtime", time.get(),
                                                            nullptr)
                               : gsf_outfile_new_child(parent, name.constData(), entry.isStorage));
    if (!out)
        return false;
    bool ok = true;
    if (entry.isStorage) {
        gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(out.get()), entry.clsid.data());
        for (const OleEntry &child : entry.children)
            ok = ok && writeEntry(GSF_OUTFILE(out.get()), child);
    } else if (entry.produce) {
        ok = entry.produce([&out](QByteArrayView piece) {
            return piece.isEmpty() ||
                   gsf_output_write(out.get(), size_t(piece.size()),
                                    reinterpret_cast<const guint8 *>(piece.constData()));
        });
    } else if (!entry.data.isEmpty()) {
        ok = gsf_output_write(out.get(), size_t(entry.data.size()),
                              reinterpret_cast<const guint8 *>(entry.data.constData()));
    }
    // A stream must be finished before the next one starts: libgsf writes big ones straight
    // through.
    const bool closed = gsf_output_close(out.get());
    return ok && closed && !gsf_output_error(out.get());
}

// Writes the whole tree into a sink of libgsf's; false when anything fails.
bool writeTree(GsfOutput *sink, const OleEntry &root) {
    GsfPtr<GsfOutfile> ole(gsf_outfile_msole_new(sink));
    if (!ole)
        return false;
    gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(ole.get()), root.clsid.data());
    bool ok = true;
    for (const OleEntry &child : root.children)
        ok = ok && writeEntry(ole.get(), child);
    ok = gsf_output_close(GSF_OUTPUT(ole.get())) && ok;
    return ok && !gsf_output_error(GSF_OUTPUT(ole.get()));
}

} // namespace

const OleEntry *OleEntry::child(const QString &childName) const {
    for (const OleEntry &c : children)
        if (c.name.compare(childName, Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

OleEntry *OleEntry::child(const QString &childName) {
    return const_cast<OleEntry *>(std::as_const(*this).child(childName));
}

bool OleEntry::removeChild(const QString &childName) {
    for (auto it = children.begin(); it != children.end(); ++it) {
        if (it->name.compare(childName, Qt::CaseInsensitive) == 0) {
            children.erase(it);
            return true;
        }
    }
    return false;
}

bool hasCompoundFileSignature(const QByteArray &bytes) {
    return bytes.startsWith(QByteArray::fromHex("d0cf11e0a1b11ae1"));
}

bool hasStreamEntry(const QByteArray &bytes, QStringView name) {
    // An entry: the name in UTF-16 (at most 31 characters and a terminating zero), its size in
    // bytes at 64, its type at 66 (2 for a stream). The header takes the first 512 bytes; every
    // sector after it starts at a multiple of 128.
    constexpr qsizetype Entry = 128, Header = 512;
    if (!hasCompoundFileSignature(bytes) || name.isEmpty() || name.size() > 31)
        return false;
    const char *p = bytes.constData();
    for (qsizetype at = Header; at + Entry <= bytes.size(); at += Entry) {
        const char *e = p + at;
        const int nameBytes = std::uint8_t(e[64]) | std::uint8_t(e[65]) << 8;
        if (e[66] != 2 || nameBytes != 2 * (name.size() + 1))
            continue;
        QString entryName(name.size(), Qt::Uninitialized);
        for (qsizetype i = 0; i < name.size(); ++i)
            entryName[i] =
                QChar(char16_t(std::uint8_t(e[2 * i]) | std::uint8_t(e[2 * i + 1]) << 8));
        if (entryName.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool CompoundFile::parse(const QByteArray &bytes, StreamBytes mode) {
    m_root = OleEntry();
    if (!hasCompoundFileSignature(bytes))
        return false;
    const QuietGLib quiet;
    GsfPtr<GsfInput> input(gsf_input_memory_new(reinterpret_cast<const guint8 *>(bytes.constData()),
                                                bytes.size(), FALSE));
    GError *rawError = nullptr;
    GsfPtr<GsfInfile> ole(gsf_infile_msole_new(input.get(), &rawError));
    std::unique_ptr<GError, ErrorFree> error(rawError);
    if (!ole || error)
        return false;
    Source source;
    if (mode == StreamBytes::Viewed)
        source.viewable = &bytes;
    if (!readEntry(GSF_INPUT(ole.get()), m_root, source))
        return false;
    m_root.isStorage = true;
    return true;
}

QByteArray CompoundFile::serialize() const {
    QByteArray out;
    serialize([&out](QByteArrayView bytes) { out = bytes.toByteArray(); });
    return out;
}

void CompoundFile::serialize(const std::function<void(QByteArrayView)> &write) const {
    GsfPtr<GsfOutput> sink(gsf_output_memory_new());
    if (!writeTree(sink.get(), m_root))
        throw CommandError(QStringLiteral("Stream write error"));
    const gsf_off_t size = gsf_output_size(sink.get());
    const guint8 *data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.get()));
    write(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
}

void CompoundFile::serializeTo(int fd) const {
    // libgsf writes through stdio, on a descriptor of its own, and seeks back to finish the
    // header: the file is written from its start.
    const int own = ::dup(fd);
    FILE *file = own >= 0 ? ::fdopen(own, "wb") : nullptr;
    if (!file) {
        if (own >= 0)
            ::close(own);
        throw CommandError(QStringLiteral("Stream write error"));
    }
    bool ok;
    int error = 0; // the system's reason for the first write that failed
    {
        GsfPtr<GsfOutput> sink(gsf_output_stdio_new_FILE("workbook", file, TRUE));
        // Closing the tree closes the sink too, which flushes what stdio holds.
        ok = sink && writeTree(sink.get(), m_root) && !gsf_output_error(sink.get());
        if (!ok)
            error = errno;
    }
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok)
        throw CommandError(streamWriteError(error));
}

} // namespace workbook::xls
