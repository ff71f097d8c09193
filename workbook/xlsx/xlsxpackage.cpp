// Package relationships as ECMA-376 Part 2 (Open Packaging Conventions) defines them.
#include "workbook/xlsx/xlsxpackage.h"

#include "workbook/workbookerrors.h"

#include <QList>

#include <cstring>
#include <string>

namespace workbook::xlsx {

namespace {

using xml::Scanner;

QByteArray percentDecoded(QByteArrayView text) {
    if (!text.contains('%'))
        return text.toByteArray();
    return QByteArray::fromPercentEncoding(text.toByteArray());
}

// The folder of a part, with its trailing "/"; empty at the package root.
QByteArray folderOf(const QByteArray &part) {
    const qsizetype slash = part.lastIndexOf('/');
    return slash < 0 ? QByteArray() : part.left(slash + 1);
}

QByteArray relationshipsPart(const QByteArray &part) {
    const QByteArray folder = folderOf(part);
    return folder + "_rels/" + part.mid(folder.size()) + ".rels";
}

bool isRelationshipsNamespace(QByteArrayView uri) {
    return uri.endsWith("/relationships");
}

const char *const WorkbookTypes[] = {
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
    "application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml",
    "application/vnd.ms-excel.sheet.macroEnabled.main+xml",
    "application/vnd.ms-excel.template.macroEnabled.main+xml",
    "application/vnd.ms-excel.addin.macroEnabled.main+xml",
};

} // namespace

xml::Vocabulary spreadsheetMl() {
    return xml::Vocabulary{"http://schemas.openxmlformats.org/spreadsheetml/2006/main",
                           "http://purl.oclc.org/ooxml/spreadsheetml/main"};
}

xml::Vocabulary packageRelationships() {
    return xml::Vocabulary{"http://schemas.openxmlformats.org/package/2006/relationships"};
}

xml::Vocabulary contentTypes() {
    return xml::Vocabulary{"http://schemas.openxmlformats.org/package/2006/content-types"};
}

bool Relationship::isType(const char *name) const {
    const qsizetype n = qsizetype(std::strlen(name));
    return type.size() > n && type.endsWith(name) && type[type.size() - n - 1] == '/';
}

QByteArray resolveTarget(const QByteArray &sourcePart, QByteArrayView target) {
    QByteArray path = percentDecoded(target);
    if (path.startsWith('/'))
        path.remove(0, 1);
    else
        path.prepend(folderOf(sourcePart));
    QList<QByteArray> parts;
    for (const QByteArray &segment : path.split('/')) {
        if (segment == "..") {
            if (!parts.isEmpty())
                parts.removeLast();
        } else if (!segment.isEmpty() && segment != ".") {
            parts.append(segment);
        }
    }
    return parts.join('/');
}

void badXml(const QByteArray &part, const xml::XmlError &e) {
    damage(notWellFormed(part, e.text()));
}

bool xmlTrue(QByteArrayView raw) {
    return raw == "1" || raw == "true";
}

bool parseCellName(QByteArrayView name, int &row, int &column) {
    qsizetype i = 0;
    if (i < name.size() && name[i] == '$')
        ++i;
    int col = 0;
    const qsizetype lettersStart = i;
    for (; i < name.size(); ++i) {
        char c = name[i];
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        if (c < 'A' || c > 'Z')
            break;
        col = col * 26 + (c - 'A' + 1);
        if (col > SheetColumns)
            return false;
    }
    if (i == lettersStart)
        return false;
    if (i < name.size() && name[i] == '$')
        ++i;
    const qsizetype digitsStart = i;
    int r = 0;
    for (; i < name.size(); ++i) {
        const char c = name[i];
        if (c < '0' || c > '9')
            return false;
        r = r * 10 + (c - '0');
        if (r > SheetRows)
            return false;
    }
    if (i == digitsStart || r == 0)
        return false;
    row = r - 1;
    column = col - 1;
    return true;
}

QByteArray cellName(int row, int column) {
    QByteArray letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(char('A' + (c - 1) % 26));
    return letters + QByteArray::number(row + 1);
}

void decodeEscapes(QString &text) {
    // Nearly every text has no underscore at all: one pass over it settles that.
    const char16_t *chars = reinterpret_cast<const char16_t *>(text.constData());
    if (!std::char_traits<char16_t>::find(chars, std::size_t(text.size()), u'_'))
        return;
    qsizetype at = text.indexOf(QLatin1String("_x"));
    if (at < 0)
        return;
    QString out;
    qsizetype copied = 0;
    for (; at >= 0 && at + 7 <= text.size(); at = text.indexOf(QLatin1String("_x"), at + 1)) {
        if (at < copied || text[at + 6] != u'_')
            continue;
        bool ok = false;
        const ushort code = text.mid(at + 2, 4).toUShort(&ok, 16);
        if (!ok)
            continue;
        out += QStringView(text).mid(copied, at - copied);
        out += QChar(code);
        copied = at + 7;
    }
    if (copied == 0)
        return;
    out += QStringView(text).mid(copied);
    text = out;
}

bool Package::isWorkbookPackage(const zip::Archive &archive) {
    try {
        const zip::Entry *types = archive.find("[Content_Types].xml");
        if (!types)
            return false;
        const QByteArray doc = xml::toUtf8(archive.read(*types, MaxDescriptionPart));
        Scanner s(doc);
        xml::Vocabulary vocabulary = contentTypes();
        while (s.next() != Scanner::Token::EndDocument) {
            QByteArrayView type;
            if (s.token() == Scanner::Token::StartElement &&
                (vocabulary.is(s, "Override") || vocabulary.is(s, "Default")) &&
                s.attribute("ContentType", type))
                for (const char *t : WorkbookTypes)
                    if (type == QByteArrayView(t))
                        return true;
        }
    } catch (const DamagedFile &) {
    }
    return false;
}

Package::Package(QByteArrayView bytes) : m_archive(bytes) {
    for (const Relationship &r : relationshipsOf(QByteArray()))
        if (r.isType("officeDocument") && !r.external) {
            m_workbookPart = r.target;
            break;
        }
    if (m_workbookPart.isEmpty() || !hasPart(m_workbookPart))
        damage(QStringLiteral("it names no workbook part"));
    m_workbookRels = relationshipsOf(m_workbookPart);

    const QByteArray doc = xmlPart(m_workbookPart);
    try {
        Scanner s(doc);
        xml::Vocabulary main = spreadsheetMl();
        while (s.next() != Scanner::Token::EndDocument) {
            if (s.token() != Scanner::Token::StartElement)
                continue;
            if (main.is(s, "workbookPr")) {
                QByteArrayView v;
                m_date1904 = s.attribute("date1904", v) && xmlTrue(v);
            } else if (main.is(s, "sheet")) {
                SheetEntry e;
                e.position = int(m_sheets.size());
                for (const Scanner::Attribute &a : s.attributes()) {
                    if (a.name == "name")
                        e.name = s.decodeAttribute(a.raw);
                    else if (a.localName() == "id" &&
                             isRelationshipsNamespace(s.attributeNamespace(a)))
                        e.relationshipId = a.raw.toByteArray();
                }
                for (const Relationship &r : m_workbookRels)
                    if (r.id == e.relationshipId && !r.external) {
                        e.part = r.target;
                        e.type = r.type;
                    }
                m_sheets.push_back(std::move(e));
            } else if (main.is(s, "definedNames")) {
                break; // the sheets come before: nothing more to read here
            }
        }
    } catch (const xml::XmlError &e) {
        badXml(m_workbookPart, e);
    }
}

const SheetEntry *Package::sheet(const QString &name) const {
    for (const SheetEntry &e : m_sheets)
        if (e.name.compare(name, Qt::CaseInsensitive) == 0)
            return &e;
    return nullptr;
}

QByteArray Package::xmlPart(const QByteArray &part) const {
    const zip::Entry *e = m_archive.find(part);
    if (!e)
        damage(QStringLiteral("its part \"%1\" is missing").arg(QString::fromUtf8(part)));
    const bool description = part.endsWith(".rels") || part == "[Content_Types].xml" ||
                             part == m_workbookPart ||
                             part == workbookRelationship("styles").target;
    return xml::toUtf8(
        m_archive.read(*e, description ? MaxDescriptionPart : zip::Archive::MaxPart));
}

std::vector<Relationship> Package::relationshipsOf(const QByteArray &part) const {
    std::vector<Relationship> out;
    const QByteArray relsPart =
        part.isEmpty() ? QByteArray("_rels/.rels") : relationshipsPart(part);
    if (!hasPart(relsPart))
        return out;
    const QByteArray doc = xmlPart(relsPart);
    try {
        Scanner s(doc);
        xml::Vocabulary relationships = packageRelationships();
        while (s.next() != Scanner::Token::EndDocument) {
            if (s.token() != Scanner::Token::StartElement || !relationships.is(s, "Relationship"))
                continue;
            Relationship r;
            QByteArrayView v;
            if (s.attribute("Id", v))
                r.id = v.toByteArray();
            if (s.attribute("Type", v))
                r.type = s.decodeAttribute(v).toUtf8();
            r.external = s.attribute("TargetMode", v) && v == "External";
            if (s.attribute("Target", v)) {
                const QByteArray target = s.decodeAttribute(v).toUtf8();
                r.target = r.external ? target : resolveTarget(part, target);
            }
            out.push_back(std::move(r));
        }
    } catch (const xml::XmlError &e) {
        badXml(relsPart, e);
    }
    return out;
}

Relationship Package::workbookRelationship(const char *type) const {
    for (const Relationship &r : m_workbookRels)
        if (r.isType(type) && !r.external)
            return r;
    return Relationship();
}

} // namespace workbook::xlsx
