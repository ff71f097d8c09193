// An independent zip reader for the zip layer's tests: libzip, behind a function that names none
// of its types.
#pragma once

#include <QByteArray>

#include <map>

// Every entry's name and content as libzip reads them; empty when libzip cannot open the
// archive, "<unreadable>" for an entry it cannot read.
std::map<QByteArray, QByteArray> readByLibzip(const QByteArray &bytes);
