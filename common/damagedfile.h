// The one error of a file another program wrote that does not read as its format says. Every
// layer that reads such a file throws it (the zip package, the XML scanner, each format's
// reader), carrying what is wrong; only the format's read, which knows the file's name, makes it
// the message the user sees (workbook::damaged()), and a write-back refuses the write on it.
#pragma once

#include <QString>
#include <stdexcept>

class DamagedFile : public std::runtime_error {
public:
    // why in words that complete "The workbook "<path>" is damaged: ".
    explicit DamagedFile(const QString &why);

    QString why;
};
