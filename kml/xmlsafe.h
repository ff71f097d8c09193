// Keeps every KML document well-formed while leaving valid markup in values untouched.
#pragma once

#include <QString>

namespace xmlsafe {

// True when "<r>" + value + "</r>" is well-formed XML with only predefined entities and
// numeric character references.
bool isWellFormedContent(const QString &value);

// A description as it goes between <description> and </description>: unchanged when it is
// well-formed content, otherwise one CDATA section.
QString description(const QString &value);

// A name or coordinate: unchanged when well-formed content, otherwise with &, < and > escaped.
QString text(const QString &value);

} // namespace xmlsafe
