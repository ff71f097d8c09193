// The two KML document shapes: one placemark over sixteen lines, or a folder of one-line
// placemarks.
#pragma once

#include <QString>
#include <QStringView>

class KmlBuffer;

namespace kml {

// The root start tag with the KML 2.0 namespace; the first line of every document.
QString startLine();

inline constexpr char16_t FolderStart[] = u"<Folder>";
inline constexpr char16_t FolderEnd[] = u"</Folder></kml>";

struct Placemark {
    QString description;
    QString name;
    QString longitude;
    QString latitude;
};

// Clears the buffer and fills it with the single-placemark document.
void fillSinglePlacemark(KmlBuffer &buffer, const Placemark &placemark);

// One placemark of a folder document, as one line.
QString folderPlacemarkEntry(const QString &description, const QString &name,
                             const QString &longitude, const QString &latitude);

// Adds one placemark of a folder document, the same line as folderPlacemarkEntry; the buffer
// keeps only the four values.
void addFolderPlacemark(KmlBuffer &buffer, QStringView description, QStringView name,
                        QStringView longitude, QStringView latitude);

// The same for values that already stand as the document needs them: each one unchanged by
// xmlsafe (the description by xmlsafe::description, the others by xmlsafe::text). An export
// that knows its numbers to be plain spares their check.
void addSafeFolderPlacemark(KmlBuffer &buffer, QStringView description, QStringView name,
                            QStringView longitude, QStringView latitude);

// Clears the buffer and adds the start line and "<Folder>".
void beginFolder(KmlBuffer &buffer);
// Adds "</Folder></kml>".
void endFolder(KmlBuffer &buffer);

} // namespace kml
