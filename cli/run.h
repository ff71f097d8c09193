// The program started with arguments: a command run without a display.
#pragma once

#include <QString>

#include <cstdio>

namespace cli {

// A line of text, in the locale's encoding, flushed.
void printLine(std::FILE *stream, const QString &line);

// An existing output (a link to nowhere included) is replaced only when asked: throws the
// CommandError that says so.
void refuseExisting(const QString &path, bool overwrite);

// Makes the core application (no window system is touched), reads the command from the
// arguments and runs it. Returns the exit status: 0 done, 1 refused, 2 a usage error.
int run(int argc, char *argv[]);

} // namespace cli
