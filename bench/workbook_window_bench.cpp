// The workbook page through the window, run by hand (bench/run-xlsx-bench.sh runs it):
//   workbook_window_bench WORKBOOK OUT.kml
// opens the workbook with "打开Excel文件", paints the grid's first screen, and saves the rows
// with the export button, answering the dialogs itself; prints the time of each step and the
// process's peak memory. Without a display it runs on the offscreen platform.
#include "app/dbgrid.h"
#include "app/dialoghost.h"
#include "app/unit1.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTabWidget>

#include <cstdio>
#include <functional>

#include <sys/resource.h>

namespace {

class ScriptedHost : public DialogHost {
public:
    QString answer;
    QStringList errors;

    std::optional<QString> chooseFile(QWidget *, const FileDialogRequest &) override {
        return answer;
    }
    void showMessage(const QString &, const QString &text) override { errors << text; }
    void showError(const QString &, const QString &text) override { errors << text; }
    bool confirm(QWidget *, const QString &, const QString &) override { return true; }
};

double timed(const std::function<void()> &f) {
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s WORKBOOK OUT.kml\n", argv[0]);
        return 2;
    }
    ScriptedHost host;
    TForm1 form(&host);
    form.show();
    form.PageControl1->setCurrentIndex(1);
    app.processEvents();

    host.answer = QString::fromLocal8Bit(argv[1]);
    const double open = timed([&] { form.Button2->click(); });
    const double paint = timed([&] {
        form.DBGrid1->viewport()->repaint();
        app.processEvents();
    });
    host.answer = QString::fromLocal8Bit(argv[2]);
    QFile::remove(host.answer);
    const double save = timed([&] { form.Button3->click(); });
    if (!host.errors.isEmpty()) {
        std::fprintf(stderr, "error: %s\n", qPrintable(host.errors.first()));
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("  through the window: open %.0f ms, first screen %.0f ms, export %.0f ms; "
                "%d rows in the grid, peak memory %ld KB\n",
                open, paint, save, form.DBGrid1->model()->rowCount(), usage.ru_maxrss);
    return 0;
}
