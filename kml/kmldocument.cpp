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

// The pieces of one folder placemark line, handed to use() as one list.
template <typename Use>
auto folderPieces(QStringView description, QStringView name, QStringView longitude,
                  QStringView latitude, Use &&use) {
    QString ds, ns, xs, ys;
    const QStringView d = xmlsafe::description(description, ds);
    const QStringView n = xmlsafe::text(name, ns);
    const QStringView x = xmlsafe::text(longitude, xs);
    const QStringView y = xmlsafe::text(latitude, ys);
    return use({u"<Placemark><description>", d, u"</description><name>", n,
                u"</name><LookAt><longitude>", x, u"</longitude><latitude>", y,
                u"</latitude><range>20000</range><tilt>0</tilt><heading>3</heading>"
                u"</LookAt><Point><coordinates>",
                x, u",", y, u",0</coordinates></Point></Placemark>"});
}

} // namespace

QString folderPlacemarkEntry(const QString &description, const QString &name,
                             const QString &longitude, const QString &latitude) {
    return folderPieces(description, name, longitude, latitude,
                        [](std::initializer_list<QStringView> pieces) {
                            QString entry;
                            qsizetype n = 0;
                            for (QStringView piece : pieces)
                                n += piece.size();
                            entry.reserve(n);
                            for (QStringView piece : pieces)
                                entry += piece;
                            return entry;
                        });
}

void addFolderPlacemark(KmlBuffer &buffer, QStringView description, QStringView name,
                        QStringView longitude, QStringView latitude) {
    folderPieces(description, name, longitude, latitude,
                 [&buffer](std::initializer_list<QStringView> pieces) { buffer.Add(pieces); });
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
