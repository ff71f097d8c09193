// Keeps every KML document well-formed while leaving valid markup in values untouched.
#pragma once

#include <QString>
#include <QStringView>

namespace xmlsafe {

// True when "<r>" + value + "</r>" is well-formed XML with only predefined entities and
// numeric character references.
bool isWellFormedContent(QStringView value);
inline bool isWellFormedContent(const QString &value) {
    return isWellFormedContent(QStringView(value));
}

// A description as it goes between <description> and </description>: unchanged when it is
// well-formed content, otherwise one CDATA section.
QString description(const QString &value);

// A name or coordinate: unchanged when well-formed content, otherwise with &, < and > escaped.
QString text(const QString &value);

// The same two rules for views, without a copy in the usual case: the result is value itself
// when it stays unchanged, else a view of storage, which receives the changed text.
QStringView description(QStringView value, QString &storage);
QStringView text(QStringView value, QString &storage);

} // namespace xmlsafe
