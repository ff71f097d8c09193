// The one-point export of the first page.
#include "sources/singleplacemark.h"

#include "kml/kmlbuffer.h"

namespace singleplacemark {

QString withCrLf(const QString &boxText) {
    QString out;
    out.reserve(boxText.size() + boxText.count(u'\n'));
    for (QChar c : boxText) {
        if (c == u'\n')
            out += u'\r';
        out += c;
    }
    return out;
}

void exportTo(KmlBuffer &buffer, const QString &fileName, KmlFileFormat format,
              const kml::Placemark &placemark) {
    kml::fillSinglePlacemark(buffer, placemark);
    buffer.SaveToFile(fileName, format);
}

} // namespace singleplacemark
