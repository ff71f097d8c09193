// Start-up: the application, the main window, the event loop.
#include "app/unit1.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    TForm1 Form1;
    Form1.show();
    return app.exec();
}
