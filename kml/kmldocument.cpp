// Line templates of the KML documents the program writes.
#include "kml/kmldocument.h"

#include "kml/kmlbuffer.h"
#include "kml/xmlsafe.h"

namespace kml {

QString startLine() {
    return QStringLiteral("<kml xmlns=\"http://earth.google.com/kml/2.0\">");
}

void fillSinglePlacemark(KmlBuffer &buffer, const Placemark &p) {
    const QString x = xmlsafe::text(p.longitude);
    const QString y = xmlsafe::text(p.latitude);
    buffer.Clear();
    buffer.Add(startLine());
    buffer.Add(QStringLiteral("<Placemark><description>"));
    buffer.Add(xmlsafe::description(p.description));
    buffer.Add(QStringLiteral("</description>"));
    buffer.Add(QStringLiteral("<name>") + xmlsafe::text(p.name) + QStringLiteral("</name>"));
    buffer.Add(QStringLiteral("<LookAt><longitude>") + x + QStringLiteral("</longitude>"));
    buffer.Add(QStringLiteral("<latitude>") + y + QStringLiteral("</latitude>"));
    buffer.Add(QStringLiteral("<range>20000</range>"));
    buffer.Add(QStringLiteral("<tilt>0</tilt>"));
    buffer.Add(QStringLiteral("<heading>3</heading>"));
    buffer.Add(QStringLiteral("</LookAt>"));
    buffer.Add(QStringLiteral(" <Point>"));
    buffer.Add(QStringLiteral("<coordinates>") + x + u',' + y + QStringLiteral(",0</coordinates>"));
    buffer.Add(QStringLiteral("</Point>"));
    buffer.Add(QStringLiteral("</Placemark>"));
    buffer.Add(QStringLiteral("</kml>"));
}

namespace {

constexpr KmlTemplate FolderPlacemark{
    6,
    {u"<Placemark><description>", u"</description><name>", u"</name><LookAt><longitude>",
     u"</longitude><latitude>",
     u"</latitude><range>20000</range><tilt>0</tilt><heading>3</heading></LookAt><Point>"
     u"<coordinates>",
     u",", u",0</coordinates></Point></Placemark>"},
    {0, 1, 2, 3, 2, 3}}; // description, name, longitude, latitude, longitude, latitude

// The four values as they may stand in the document, handed to use() as one list.
template <typename Use>
auto withSafeValues(QStringView description, QStringView name, QStringView longitude,
                    QStringView latitude, Use &&use) {
    QString ds, ns, xs, ys;
    return use({xmlsafe::description(description, ds), xmlsafe::text(name, ns),
                xmlsafe::text(longitude, xs), xmlsafe::text(latitude, ys)});
}

} // namespace

QString folderPlacemarkEntry(const QString &description, const QString &name,
                             const QString &longitude, const QString &latitude) {
    return withSafeValues(
        description, name, longitude, latitude,
        [](std::initializer_list<QStringView> values) { return FolderPlacemark.filled(values); });
}

void addFolderPlacemark(KmlBuffer &buffer, QStringView description, QStringView name,
                        QStringView longitude, QStringView latitude) {
    withSafeValues(description, name, longitude, latitude,
                   [&buffer](std::initializer_list<QStringView> values) {
                       buffer.Add(FolderPlacemark, values);
                   });
}

void addSafeFolderPlacemark(KmlBuffer &buffer, QStringView description, QStringView name,
                            QStringView longitude, QStringView latitude) {
    buffer.Add(FolderPlacemark, {description, name, longitude, latitude});
}

void beginFolder(KmlBuffer &buffer) {
    buffer.Clear();
    buffer.Add(startLine());
    buffer.Add(QString::fromUtf16(FolderStart));
}

void endFolder(KmlBuffer &buffer) {
    buffer.Add(QString::fromUtf16(FolderEnd));
}

} // namespace kml
