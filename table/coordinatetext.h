// One coordinate written as people write them in tables: decimal degrees, degrees and minutes,
// or degrees, minutes and seconds, with a sign or a hemisphere letter or word (N, S, E, W,
// 北纬, 南纬, 东经, 西经), in ASCII or full-width forms; and a cell that holds both numbers.
#pragma once

#include <QString>
#include <QStringView>

namespace table {

// Which coordinate a column holds, as far as its hemisphere letters may tell: a longitude
// column refuses N and S, a latitude column E and W; Either takes both.
enum class Axis { Either, Longitude, Latitude };

struct Coordinate {
    bool ok = false;
    double value = 0;
    Axis hemisphere = Axis::Either; // the axis a hemisphere letter or word named, if any
};

// The text folded to ASCII where it has a full-width form (U+FF01…U+FF5E, the ideographic
// space), U+2212 and U+FF0D made "-", and trimmed.
QString foldToAscii(QStringView text);
// The same as a view: of text itself when nothing in it folds, else of storage, which receives
// the folded text. A long table's cells are mostly read this way, without a copy.
QStringView foldToAscii(QStringView text, QString &storage);

// The coordinate a text gives, or !ok when it is not one: minutes or seconds of 60 or more, an
// exponent, thousands separators, a number ending or starting with its point, a "-" beside a
// hemisphere, or a hemisphere of the other axis. The value is degrees + minutes / 60 +
// seconds / 3600 in double precision, negated for a minus sign, S, W, 南纬 or 西经.
Coordinate readCoordinate(QStringView text, Axis axis = Axis::Either);

// A cell holding both coordinates split in two: at ";" when there is one, else at the only
// comma, else at the blanks between two texts that each read as a coordinate (when exactly one
// place does). False when it cannot be split.
bool splitCoordinatePair(QStringView text, QString &first, QString &second);

} // namespace table
