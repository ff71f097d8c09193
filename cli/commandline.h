// The command line's grammar: the arguments read into one command, or the usage error that
// stops them. Nothing here reads a file.
#pragma once

#include "cli/tablecommand.h"

#include <QString>
#include <QStringList>

#include <variant>

namespace cli {

// The program's exit status: done, the input or the output refused, the command line wrong.
enum ExitStatus : int { Success = 0, Refused = 1, UsageFailure = 2 };

enum class ExportKind { Workbook, List };

// The window's workbook page or text-list page export, with the save dialog's choices.
struct ExportCommand {
    ExportKind kind = ExportKind::Workbook;
    QString input;
    QString output;
    bool utf8 = false;
    bool overwrite = false;
};

struct HelpCommand {};
struct VersionCommand {};

using Command = std::variant<HelpCommand, VersionCommand, ExportCommand, TableCommand>;

// What is wrong with the command line, and the synopsis of the command it concerns.
struct UsageError {
    QString problem;
    QString synopsis;
};

// The arguments after the program's name. Throws UsageError.
Command parse(const QStringList &args);

// What --help prints: every command with its options.
QString helpText();

// "kmlmaker 0.1".
QString versionText();

} // namespace cli
