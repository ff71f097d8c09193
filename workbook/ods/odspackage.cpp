// OpenDocument packages as ODF 1.2 Part 3 defines them: a zip whose first entry names the
// media type, a manifest listing the parts (with the encryption of each, if any), and the XML
// parts in the namespaces of ODF 1.2 Part 1 and LibreOffice's and Gnumeric's extensions.
#include "workbook/ods/odspackage.h"

#include "workbook/xml/xmlelement.h"

#include <charconv>
#include <cstring>

namespace workbook::ods {

namespace {

using xml::Scanner;
using Token = Scanner::Token;

struct KnownNamespace {
    const char *uri;
    Ns ns;
};

const KnownNamespace Known[] = {
    {"urn:oasis:names:tc:opendocument:xmlns:office:1.0", Ns::Office},
    {"urn:oasis:names:tc:opendocument:xmlns:table:1.0", Ns::Table},
    {"urn:oasis:names:tc:opendocument:xmlns:text:1.0", Ns::Text},
    {"urn:oasis:names:tc:opendocument:xmlns:style:1.0", Ns::Style},
    {"urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0", Ns::Number},
    {"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0", Ns::Draw},
    {"http://www.w3.org/1999/xlink", Ns::Xlink},
    {"urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0", Ns::Calcext},
    {"http://www.gnumeric.org/odf-extension/1.0", Ns::Gnumeric},
    {"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0", Ns::Manifest},
    {"urn:oasis:names:tc:opendocument:xmlns:chart:1.0", Ns::Chart},
};

} // namespace

namespace {

// Walks a content part's tables in order until onTable, given each one's name, says to stop on
// it (true), the scanner on its start tag; other elements as findTable says. False at the end of
// the part.
bool walkTables(Scanner &s, const Names &names, const std::function<bool(const QString &)> &onTable,
                const std::function<bool(Scanner &)> &readElement) {
    while (s.next() != Token::EndDocument) {
        if (s.token() != Token::StartElement)
            continue;
        if (s.depth() == 1) {
            readElement(s);
            continue;
        }
        const QByteArrayView name = s.name();
        if (names.is(name, Ns::Table, "table")) {
            QByteArrayView raw;
            const QString tableName =
                names.attribute(s, Ns::Table, "name", raw) ? s.decodeAttribute(raw) : QString();
            if (!tableName.isEmpty() && onTable(tableName))
                return true;
            s.skipElement();
        } else if (!names.is(name, Ns::Office, "body") &&
                   !names.is(name, Ns::Office, "spreadsheet") &&
                   !names.is(name, Ns::Table, "calculation-settings") && !readElement(s)) {
            s.skipElement();
        }
    }
    return false;
}

} // namespace

QString findTable(Scanner &s, const Names &names, QStringView sheetName,
                  const std::function<bool(Scanner &)> &readElement) {
    QString found;
    walkTables(
        s, names,
        [&](const QString &tableName) {
            if (tableName.compare(sheetName, Qt::CaseInsensitive) != 0)
                return false;
            found = tableName;
            return true;
        },
        readElement);
    return found;
}

QStringList tableNames(Scanner &s, Names &names) {
    QStringList found;
    walkTables(
        s, names,
        [&](const QString &tableName) {
            found << tableName;
            return false;
        },
        [&](Scanner &element) {
            if (element.depth() != 1)
                return false;
            names.readRoot(element);
            return true;
        });
    return found;
}

QByteArrayView localPart(QByteArrayView qualified) {
    const qsizetype colon = qualified.indexOf(':');
    return colon < 0 ? qualified : qualified.sliced(colon + 1);
}

void Names::readRoot(const Scanner &root) {
    m_prefixes.clear();
    m_byPrefix.clear();
    for (QByteArray &p : m_only)
        p.clear();
    for (bool &b : m_several)
        b = false;
    for (const Scanner::Attribute &a : root.attributes()) {
        if (!a.name.startsWith("xmlns:"))
            continue;
        for (const KnownNamespace &k : Known)
            if (a.raw == QByteArrayView(k.uri)) {
                m_prefixes.emplace_back(a.name.sliced(6).toByteArray(), k.ns);
                m_byPrefix.emplace(m_prefixes.back().first.toStdString(), k.ns);
                m_several[int(k.ns)] = !m_only[int(k.ns)].isEmpty();
                m_only[int(k.ns)] = m_prefixes.back().first;
            }
    }
}

Ns Names::of(QByteArrayView prefix) const {
    if (m_prefixes.size() > 16) {
        const auto it = m_byPrefix.find(std::string(prefix.data(), std::size_t(prefix.size())));
        return it == m_byPrefix.end() ? Ns::Other : it->second;
    }
    for (const auto &p : m_prefixes)
        if (p.first == prefix)
            return p.second;
    return Ns::Other;
}

QByteArray Names::prefix(Ns ns) const {
    for (const auto &p : m_prefixes)
        if (p.second == ns)
            return p.first;
    return QByteArray();
}

QByteArray Names::qualified(Ns ns, const char *local) const {
    static const char *const usual[] = {"",     "office", "table",   "text", "style",    "number",
                                        "draw", "xlink",  "calcext", "gnm",  "manifest", "chart"};
    QByteArray p = prefix(ns);
    if (p.isEmpty())
        p = usual[int(ns)];
    return p + ':' + local;
}

bool Names::is(QByteArrayView qualified, Ns ns, QByteArrayView local) const {
    // The usual case: one prefix for the vocabulary, compared with the name's bytes in place.
    const QByteArray &only = m_only[int(ns)];
    if (!only.isEmpty() && !m_several[int(ns)]) {
        const qsizetype n = only.size();
        return qualified.size() == n + 1 + local.size() && qualified[n] == ':' &&
               std::memcmp(qualified.data(), only.constData(), size_t(n)) == 0 &&
               std::memcmp(qualified.data() + n + 1, local.data(), size_t(local.size())) == 0;
    }
    const qsizetype colon = qualified.indexOf(':');
    if (colon < 0 || qualified.size() - colon - 1 != local.size() ||
        qualified.sliced(colon + 1) != local)
        return false;
    return of(qualified.first(colon)) == ns;
}

bool Names::isGroup(QByteArrayView q) const {
    return is(q, Ns::Table, "table-header-rows") || is(q, Ns::Table, "table-rows") ||
           is(q, Ns::Table, "table-row-group") || is(q, Ns::Table, "table-header-columns") ||
           is(q, Ns::Table, "table-columns") || is(q, Ns::Table, "table-column-group");
}

bool Names::attribute(const Scanner &s, Ns ns, QByteArrayView local, QByteArrayView &raw) const {
    return attribute(s.attributes().data(), int(s.attributes().size()), ns, local, raw);
}

bool Names::attribute(const Scanner::Attribute *first, int count, Ns ns, QByteArrayView local,
                      QByteArrayView &raw) const {
    for (int i = 0; i < count; ++i)
        if (is(first[i].name, ns, local)) {
            raw = first[i].raw;
            return true;
        }
    return false;
}

Package::Package(QByteArrayView bytes) : m_archive(bytes) {}

bool Package::isSpreadsheet(const zip::Archive &archive) {
    const zip::Entry *first = archive.first();
    try {
        return first && first->name == "mimetype" &&
               archive.read(*first, 256) == "application/vnd.oasis.opendocument.spreadsheet";
    } catch (const DamagedFile &) {
        return false;
    }
}

bool Package::isEncrypted() const {
    const zip::Entry *manifest = m_archive.find("META-INF/manifest.xml");
    if (!manifest)
        return false;
    const QByteArray xml = xml::toUtf8(m_archive.read(*manifest, MaxDescriptionPart));
    Scanner s(xml);
    xml::Vocabulary manifestNs{"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"};
    while (s.next() != Token::EndDocument)
        if (s.token() == Token::StartElement &&
            (manifestNs.is(s, "encryption-data") || manifestNs.is(s, "keyinfo")))
            return true;
    return false;
}

QByteArray Package::part(QByteArrayView name) const {
    const zip::Entry *entry = m_archive.find(name);
    if (!entry)
        damage(QStringLiteral("its part \"%1\" is missing")
                   .arg(QString::fromUtf8(name.data(), name.size())));
    const bool description = name == "styles.xml" || name == "META-INF/manifest.xml";
    return xml::toUtf8(
        m_archive.read(*entry, description ? MaxDescriptionPart : zip::Archive::MaxPart));
}

bool parseCount(QByteArrayView raw, std::int64_t limit, std::int64_t &value) {
    while (!raw.isEmpty() && (raw.front() == ' ' || raw.front() == '\t'))
        raw = raw.sliced(1);
    while (!raw.isEmpty() && (raw.back() == ' ' || raw.back() == '\t'))
        raw.chop(1);
    if (raw.isEmpty())
        return false;
    for (char c : raw)
        if (c < '0' || c > '9')
            return false;
    std::int64_t v = 0;
    const auto r = std::from_chars(raw.data(), raw.data() + raw.size(), v);
    value = r.ec == std::errc::result_out_of_range || v > limit ? limit : v;
    return r.ec == std::errc() || r.ec == std::errc::result_out_of_range;
}

} // namespace workbook::ods
