// The bytes of a piece of a UTF-8 KML document, made without a QByteArray or a UTF-8 conversion
// per value: texts are encoded and escaped straight into the buffer, which only grows.
#pragma once

#include <QByteArrayView>
#include <QStringView>

#include <cstring>
#include <memory>

namespace table {

class KmlText {
public:
    void clear() { m_size = 0; }
    qsizetype size() const { return m_size; }
    QByteArrayView bytes() const { return QByteArrayView(m_data.get(), m_size); }

    void append(const char *bytes, qsizetype size) {
        std::memcpy(room(size), bytes, std::size_t(size));
        m_size += size;
    }
    void append(QByteArrayView bytes) { append(bytes.data(), bytes.size()); }
    template <std::size_t N> void append(const char (&literal)[N]) { append(literal, N - 1); }
    void append(char c) {
        *room(1) = c;
        ++m_size;
    }

    // The text in UTF-8 as it stands (as QString::toUtf8 makes it).
    void appendUtf8(QStringView text);
    // The text in UTF-8 escaped as XML character data: &, < and > (and " in an attribute) as
    // entities, the control characters XML 1.0 refuses left out.
    void appendEscaped(QStringView text, bool attribute = false);
    // The shortest decimal text that reads back to the same double, without an exponent.
    void appendNumber(double value);

private:
    // Room for size more bytes at the end.
    char *room(qsizetype size) {
        if (m_size + size > m_capacity)
            grow(size);
        return m_data.get() + m_size;
    }
    void grow(qsizetype size);

    std::unique_ptr<char[]> m_data;
    qsizetype m_size = 0;
    qsizetype m_capacity = 0;
};

} // namespace table
