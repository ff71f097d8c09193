// Start-up: with arguments, the command line (no display needed); without, the application,
// the main window and the event loop.
#include "app/unit1.h"
#include "cli/run.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    if (argc > 1)
        return cli::run(argc, argv);
    QApplication app(argc, argv);
    TForm1 Form1;
    Form1.show();
    return app.exec();
}
