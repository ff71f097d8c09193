// The one-point export of the first page.
#pragma once

#include "kml/kmldocument.h"

#include <QString>

class KmlBuffer;
enum class KmlFileFormat;

namespace singleplacemark {

// The notice shown instead of the save dialog when a coordinate box is empty.
inline constexpr char16_t MissingCoordinates[] = u"经纬度不能为空,请检查";

// Only emptiness is refused: any other text, blanks included, is written as it stands.
inline bool hasCoordinates(const QString &longitude, const QString &latitude) {
    return !longitude.isEmpty() && !latitude.isEmpty();
}

// A multi-line box's text with its line breaks as CR LF, as the file holds them.
QString withCrLf(const QString &boxText);

// Fills the buffer with the single-placemark document and saves it. Throws CommandError.
void exportTo(KmlBuffer &buffer, const QString &fileName, KmlFileFormat format,
              const kml::Placemark &placemark);

} // namespace singleplacemark
