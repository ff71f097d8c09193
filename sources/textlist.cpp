// The text-list page's commands: reading a text file as users' files really are (byte-order
// marks, the locale's code page, GB18030 files under a UTF-8 locale) and cutting the list's
// lines into placemarks. Code pages other than UTF-8 and UTF-16 go through the C library's
// iconv, which knows every code set a locale can name.
#include "sources/textlist.h"

#include "common/commanderror.h"
#include "kml/kmlbuffer.h"
#include "kml/kmldocument.h"

#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// No encoding spends more than four bytes on one UTF-16 code unit, so a file longer than four
// bytes per unit of capacity (and a byte-order mark) cannot fit, and reading stops there.
constexpr qsizetype MaxBytesPerUnit = 4;
constexpr qsizetype ProbeBytes = 64 * 1024;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

class Iconv {
public:
    Iconv(const char *to, const char *from) : m_cd(iconv_open(to, from)) {}
    ~Iconv() {
        if (isValid())
            iconv_close(m_cd);
    }
    Iconv(const Iconv &) = delete;
    Iconv &operator=(const Iconv &) = delete;
    bool isValid() const { return m_cd != iconv_t(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

[[noreturn]] void cannotOpen(const QString &fileName, int errnum) {
    throw CommandError(QStringLiteral("Cannot open file \"%1\". %2")
                           .arg(displayPath(fileName), systemErrorText(errnum)));
}

bool startsWith(QByteArrayView bytes, const char *mark) {
    const qsizetype n = qsizetype(std::strlen(mark));
    return bytes.size() >= n && std::memcmp(bytes.data(), mark, size_t(n)) == 0;
}

bool hasUtf16Mark(QByteArrayView bytes) {
    return startsWith(bytes, "\xFF\xFE") || startsWith(bytes, "\xFE\xFF");
}

QByteArrayView untilZero(QByteArrayView bytes) {
    const void *zero = std::memchr(bytes.data(), 0, size_t(bytes.size()));
    return zero ? bytes.first(static_cast<const char *>(zero) - bytes.data()) : bytes;
}

// A byte-order mark after the one we removed is a character of the text, so it is kept.
constexpr auto DecoderFlags =
    QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom;

QString utf16(QByteArrayView bytes, QStringDecoder::Encoding encoding) {
    QStringDecoder decoder(encoding, DecoderFlags);
    QString text = decoder.decode(bytes);
    const qsizetype zero = text.indexOf(QChar(0));
    if (zero >= 0)
        text.truncate(zero);
    return text;
}

// Under a UTF-8 locale, and under the plain C locale, whose ASCII is a part of UTF-8 (and which
// Qt reads as UTF-8 too).
bool isUtf8Codeset(const QByteArray &codeset) {
    QByteArray name = codeset.toUpper();
    name.replace('-', QByteArray()).replace('_', QByteArray());
    return name.isEmpty() || name == "UTF8" || name == "ANSIX3.41968" || name == "ASCII" ||
           name == "USASCII";
}

// The bytes in codeset through iconv; nothing when iconv does not know the code set. A byte
// that does not start a valid character becomes U+FFFD and reading goes on after it.
std::optional<QString> convert(QByteArrayView bytes, const char *codeset) {
    const Iconv cd(Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? "UTF-16LE" : "UTF-16BE", codeset);
    if (!cd.isValid())
        return std::nullopt;
    // One byte never gives more than one code unit in the code pages of real locales; the
    // buffer grows for the others.
    QString out(bytes.size() + 16, Qt::Uninitialized);
    char *in = const_cast<char *>(bytes.data());
    size_t inLeft = size_t(bytes.size());
    qsizetype used = 0; // bytes of out
    auto room = [&](qsizetype need) {
        if (out.size() * 2 - used < need)
            out.resize(out.size() + qMax<qsizetype>(out.size() / 2, need));
    };
    while (inLeft > 0) {
        char *o = reinterpret_cast<char *>(out.data()) + used;
        size_t oLeft = size_t(out.size() * 2 - used);
        const size_t r = iconv(cd.get(), &in, &inLeft, &o, &oLeft);
        used = o - reinterpret_cast<char *>(out.data());
        if (r != size_t(-1))
            break;
        if (errno == E2BIG) {
            room(qsizetype(inLeft) * 2 + 16);
            continue;
        }
        room(2);
        out[used / 2] = QChar(QChar::ReplacementCharacter);
        used += 2;
        ++in;
        --inLeft;
    }
    for (;;) { // the closing shift sequence of stateful code sets
        room(16);
        char *o = reinterpret_cast<char *>(out.data()) + used;
        size_t oLeft = size_t(out.size() * 2 - used);
        const size_t r = iconv(cd.get(), nullptr, nullptr, &o, &oLeft);
        used = o - reinterpret_cast<char *>(out.data());
        if (r != size_t(-1) || errno != E2BIG)
            break;
    }
    out.truncate(used / 2);
    return out;
}

// The whole file, or up to its first zero byte when that ends the text anyway. Reads in a loop
// so that pipes and files that grow meanwhile are read as they are.
QByteArray readBytes(int fd, const QString &fileName, qsizetype maxBytes) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        cannotOpen(fileName, errno);
    if (S_ISDIR(st.st_mode))
        cannotOpen(fileName, EISDIR);
    QByteArray bytes;
    if (S_ISREG(st.st_mode))
        bytes.reserve(qMin<qsizetype>(st.st_size, maxBytes) + 1);
    qsizetype size = 0;
    qsizetype searched = 0; // bytes already known to hold no zero
    // Reads go straight into the buffer while it has room; the end of a file that filled it,
    // and a pipe of unknown length, are read through the probe, and the buffer grows from there.
    char probe[ProbeBytes];
    for (;;) {
        const bool direct = bytes.capacity() - size >= ProbeBytes;
        if (direct)
            bytes.resize(bytes.capacity());
        char *target = direct ? bytes.data() + size : probe;
        const size_t room = direct ? size_t(bytes.size() - size) : sizeof probe;
        const ssize_t r = ::read(fd, target, room);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            cannotOpen(fileName, errno);
        }
        if (r == 0)
            break;
        if (!direct) {
            bytes.resize(size);
            bytes.append(probe, r);
        }
        size += r;
        if (size >= 2 && !hasUtf16Mark(QByteArrayView(bytes.data(), 2))) {
            const void *zero = std::memchr(bytes.data() + searched, 0, size_t(size - searched));
            if (zero) {
                size = static_cast<const char *>(zero) - bytes.data();
                break;
            }
            searched = size;
        }
        if (size > maxBytes)
            throw CommandError(QString::fromUtf16(textlist::CapacityExceeded));
    }
    bytes.resize(size);
    return bytes;
}

// Arguments as the list's substring rule takes them: 1-based start, a start below 1 counts as
// 1, a start past the end or a length below 1 gives nothing, a length past the end stops there.
QStringView substring(QStringView line, qsizetype start, qsizetype length) {
    if (start < 1)
        start = 1;
    if (start > line.size() || length <= 0)
        return {};
    return line.sliced(start - 1, qMin(length, line.size() - start + 1));
}

} // namespace

namespace textlist {

QByteArray localeCodeset() {
    return QByteArray(nl_langinfo(CODESET));
}

QString decode(QByteArrayView bytes, const QByteArray &codeset) {
    if (startsWith(bytes, "\xEF\xBB\xBF")) {
        QStringDecoder decoder(QStringDecoder::Utf8, DecoderFlags);
        return decoder.decode(untilZero(bytes.sliced(3)));
    }
    if (startsWith(bytes, "\xFF\xFE"))
        return utf16(bytes.sliced(2), QStringDecoder::Utf16LE);
    if (startsWith(bytes, "\xFE\xFF"))
        return utf16(bytes.sliced(2), QStringDecoder::Utf16BE);

    const QByteArrayView text = untilZero(bytes);
    if (!isUtf8Codeset(codeset)) {
        if (std::optional<QString> converted = convert(text, codeset.constData()))
            return *converted;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, DecoderFlags);
    QString utf8 = decoder.decode(text);
    if (!decoder.hasError())
        return utf8;
    // A file in the legacy Chinese code page, as the program's users have always kept them.
    return convert(text, "GB18030").value_or(utf8);
}

QString withLineFeeds(QString text) {
    qsizetype i = text.indexOf(u'\r');
    if (i < 0)
        return text;
    char16_t *p = reinterpret_cast<char16_t *>(text.data());
    const qsizetype n = text.size();
    qsizetype o = i;
    for (; i < n; ++i) {
        if (p[i] == u'\r') {
            p[o++] = u'\n';
            if (i + 1 < n && p[i + 1] == u'\n')
                ++i;
        } else {
            p[o++] = p[i];
        }
    }
    text.truncate(o);
    return text;
}

QString readFile(const QString &fileName, const QByteArray &codeset, qsizetype capacity) {
    // Not blocking on open, so that a FIFO without a writer cannot hang the window; reads block.
    const FileDescriptor fd(
        ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        cannotOpen(fileName, errno);
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0)
        ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);

    const qsizetype maxBytes = capacity * MaxBytesPerUnit + 4;
    QString text = withLineFeeds(decode(readBytes(fd.get(), fileName, maxBytes), codeset));
    if (text.size() > capacity)
        throw CommandError(QString::fromUtf16(CapacityExceeded));
    return text;
}

Pieces cutLine(QStringView line) {
    const qsizetype p = line.indexOf(u'(') + 1;
    const qsizetype q = line.indexOf(u')') + 1;
    const qsizetype c = line.indexOf(u',') + 1;
    Pieces pieces;
    pieces.name = substring(line, 1, p - 1);
    pieces.longitude = substring(line, p + 1, c - p - 1);
    pieces.latitude = substring(line, c + 1, q - c - 1);
    // Everything after the first ")", and the whole line when there is none: a line that is
    // only a description keeps all of it.
    pieces.description = q > 0 ? line.sliced(q) : line;
    return pieces;
}

void fillFolder(KmlBuffer &buffer, QStringView list) {
    kml::beginFolder(buffer);
    qsizetype lines = 0;
    forEachLine(list, [&](QStringView) { ++lines; });
    buffer.reserve(lines + 3);
    // The values of a line are parts of it, so the list's size is room enough for them all.
    buffer.reserveText(list.size() + 64);
    forEachLine(list, [&](QStringView line) {
        const Pieces p = cutLine(line);
        kml::addFolderPlacemark(buffer, p.description, p.name, p.longitude, p.latitude);
    });
    kml::endFolder(buffer);
}

void exportTo(KmlBuffer &buffer, const QString &fileName, KmlFileFormat format, QStringView list) {
    fillFolder(buffer, list);
    buffer.SaveToFile(fileName, format);
}

} // namespace textlist
