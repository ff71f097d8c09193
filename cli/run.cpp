// The commands run: the workbook page's and the text-list page's exports through the same calls
// the window's buttons make, with the save dialog's choices taken from the options.
#include "cli/run.h"

#include "cli/commandline.h"
#include "cli/progressline.h"
#include "cli/tablecommand.h"
#include "common/commanderror.h"
#include "common/numtext.h"
#include "kml/kmlbuffer.h"
#include "sources/adoquery.h"
#include "sources/textlist.h"
#include "sources/workbooksource.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>
#include <new>

namespace cli {

void printLine(std::FILE *stream, const QString &line) {
    std::fputs((line + u'\n').toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

void refuseExisting(const QString &path, bool overwrite) {
    const QFileInfo output(path);
    if (!overwrite && (output.exists() || output.isSymLink()))
        throw CommandError(
            QStringLiteral("The file \"%1\" already exists; give --overwrite to replace it")
                .arg(displayPath(path)));
}

namespace {

// The workbook page: Button2Click's open and Button3Click's export. The query carries the
// window's name for it, which its messages begin with, and the regional settings' decimal
// separator, as the window gives it.
qsizetype exportWorkbook(const ExportCommand &command, KmlFileFormat format,
                         ProgressLine &progress) {
    TADOQuery detailCore;
    detailCore.setObjectName(QStringLiteral("detailCore"));
    detailCore.setDecimalSeparator(numtext::systemDecimalSeparator());
    progress.step(QStringLiteral("reading ") + command.input);
    workbooksource::openWorkbook(detailCore, command.input);
    progress.step(QStringLiteral("writing ") + command.output);
    KmlBuffer buffer;
    workbooksource::exportFolder(detailCore, buffer, command.output, format);
    return detailCore.RecordCount();
}

// The text-list page: OpenTxtClick's read and Button5Click's export. Every line is a placemark.
qsizetype exportList(const ExportCommand &command, KmlFileFormat format, ProgressLine &progress) {
    progress.step(QStringLiteral("reading ") + command.input);
    const QString list = textlist::readFile(command.input);
    qsizetype lines = 0;
    textlist::forEachLine(list, [&](QStringView) { ++lines; });
    progress.step(QStringLiteral("writing ") + command.output);
    KmlBuffer buffer;
    textlist::exportTo(buffer, command.output, format, list);
    return lines;
}

int runExport(const ExportCommand &command) {
    ProgressLine progress(ProgressLine::stderrIsTerminal());
    QString failure;
    try {
        refuseExisting(command.output, command.overwrite);
        const KmlFileFormat format = command.utf8 ? KmlFileFormat::Utf8 : KmlFileFormat::Utf16;
        const qsizetype placemarks = command.kind == ExportKind::Workbook
                                         ? exportWorkbook(command, format, progress)
                                         : exportList(command, format, progress);
        progress.finish();
        // Neither export leaves a row out or warns: every record or line is a placemark.
        printLine(stderr, QStringLiteral("kmlmaker: %1 placemarks written to %2, 0 rows left "
                                         "out, 0 warnings")
                              .arg(placemarks)
                              .arg(command.output));
        return Success;
    } catch (const CommandError &e) {
        failure = e.message();
    } catch (const std::bad_alloc &) {
        failure = QStringLiteral("Out of memory");
    } catch (const std::exception &e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    progress.finish();
    printLine(stderr, QStringLiteral("kmlmaker: ") + errorBoxText(failure));
    return Refused;
}

} // namespace

int run(int argc, char *argv[]) {
    const QCoreApplication app(argc, argv);
    Command command;
    try {
        command = parse(QCoreApplication::arguments().mid(1));
    } catch (const UsageError &e) {
        printLine(stderr, QStringLiteral("kmlmaker: ") + e.problem);
        printLine(stderr, QStringLiteral("usage: ") + e.synopsis);
        return UsageFailure;
    }
    if (std::holds_alternative<HelpCommand>(command)) {
        std::fputs(helpText().toLocal8Bit().constData(), stdout);
        return std::fflush(stdout) == 0 ? Success : Refused;
    }
    if (std::holds_alternative<VersionCommand>(command)) {
        printLine(stdout, versionText());
        return Success;
    }
    if (const auto *table = std::get_if<TableCommand>(&command))
        return runTable(*table);
    return runExport(std::get<ExportCommand>(command));
}

} // namespace cli
