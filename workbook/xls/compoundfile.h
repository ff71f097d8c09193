// An OLE2 compound file held in memory: the tree of storages and streams of an .xls file, read
// and written through libgsf so that every stream, CLSID and time survives a rewrite.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace workbook::xls {

struct OleEntry {
    QString name;
    bool isStorage = false;
    QByteArray data; // a stream's bytes
    // A stream whose bytes are made as the file is written, in place of data: it is handed a
    // function that takes them a piece at a time, in order, and says whether all were taken.
    std::function<bool(const std::function<bool(QByteArrayView)> &put)> produce;
    std::array<std::uint8_t, 16> clsid{};
    std::int64_t modifiedUnixTime = 0; // 0 when the file records none
    std::vector<OleEntry> children;

    // The direct child of that name, compared without regard to case; null when there is none.
    const OleEntry *child(const QString &childName) const;
    OleEntry *child(const QString &childName);
    bool removeChild(const QString &childName);
};

class CompoundFile {
public:
    // How parse() gives the streams' bytes. Viewed: where a stream's sectors lie in order in the
    // file, its data is a view of the file's bytes (QByteArray::fromRawData), which must then
    // outlive it and stay unchanged; other streams are copied. A 13 MB workbook is then read
    // without copying its Workbook stream.
    enum class StreamBytes { Copied, Viewed };

    // Parses a compound file from its bytes, reading every stream; false when the bytes are not
    // one, or when a stream cannot be read whole.
    bool parse(const QByteArray &bytes, StreamBytes mode = StreamBytes::Copied);

    // The whole file as bytes, every entry as parsed or changed since. Throws CommandError
    // ("Stream write error") when libgsf cannot build it.
    QByteArray serialize() const;
    // The same bytes handed to write, without a copy: they live only during the call.
    void serialize(const std::function<void(QByteArrayView)> &write) const;
    // The same bytes written into an open, empty file, without ever holding them in memory.
    // Throws CommandError ("Stream write error") when they cannot be written.
    void serializeTo(int fd) const;

    OleEntry &root() { return m_root; }
    const OleEntry &root() const { return m_root; }

private:
    OleEntry m_root;
};

// True when the bytes start with the compound file signature.
bool hasCompoundFileSignature(const QByteArray &bytes);
// Whether a directory entry names a stream so (compared without regard to case), looked for in
// the 128-byte slots where directory entries lie, without following the file's sector chains: a
// file whose streams cannot all be read can still say what it holds.
bool hasStreamEntry(const QByteArray &bytes, QStringView name);

} // namespace workbook::xls
