// A time written in a table's text: 2024-05-01, 2024-5-1, 2024/5/1 or 2024年5月1日, optionally
// followed (after a blank or "T") by hh:mm or hh:mm:ss.
#pragma once

#include <QStringView>

namespace table {

// The time's fields; false when the text is no time.
struct TimeFields {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
bool readTimeFields(QStringView text, TimeFields &fields);

// As a KML <when> holds it: "2024-05-01" at midnight, else "2024-05-01T08:30:00". Writes the
// characters at out and returns how many (10 or 19).
int kmlWhen(const TimeFields &time, char (&out)[19]);

} // namespace table
