// Everything the window asks the user through a dialog goes through DialogHost, so tests can
// answer it; QtDialogHost shows Qt's standard dialogs.
#pragma once

#include "common/commanderror.h" // errorBoxText

#include <QDialog>
#include <QString>
#include <optional>

class QWidget;

enum class FileDialogKind { Open, Save };

struct FileDialogRequest {
    FileDialogKind kind = FileDialogKind::Open;
    QString filter;      // "description|pattern" pairs separated by "|"
    QString defaultExt;  // "*.kml"
    QString fileName;    // shown in the name box
    int filterIndex = 1; // the pair shown first, counted from 1
};

// What the user chose in a file dialog.
struct FileDialogAnswer {
    QString fileName;
    int filterIndex = 1; // the pair of the filter chosen, counted from 1
};

class DialogHost {
public:
    virtual ~DialogHost();

    // The chosen file name and filter pair, or nothing when the user cancels.
    virtual std::optional<FileDialogAnswer> chooseFile(QWidget *owner,
                                                       const FileDialogRequest &request) = 0;
    // The plain notice: caption, text, one "OK".
    virtual void showMessage(const QString &caption, const QString &text) = 0;
    // The error box: stop icon, one OK; the text is shown as given.
    virtual void showError(const QString &caption, const QString &text) = 0;
    // An OK/Cancel question; true for OK.
    virtual bool confirm(QWidget *owner, const QString &caption, const QString &text) = 0;
};

// The plain notice of the program's own: no icon, the text wrapped at half the screen width,
// one "OK" that both Enter and Esc answer, centred on the screen.
class PlainMessageDialog : public QDialog {
public:
    PlainMessageDialog(const QString &caption, const QString &text);

protected:
    void showEvent(QShowEvent *event) override;
};

class QtDialogHost : public DialogHost {
public:
    std::optional<FileDialogAnswer> chooseFile(QWidget *owner,
                                               const FileDialogRequest &request) override;
    void showMessage(const QString &caption, const QString &text) override;
    void showError(const QString &caption, const QString &text) override;
    bool confirm(QWidget *owner, const QString &caption, const QString &text) override;
};

// "KML file(*.kml)|*.kml" as Qt's name filters.
QStringList qtNameFilters(const QString &filter);

// The extension a save dialog adds to a name typed without one: that of the chosen pair when
// its pattern is a plain "*.ext", as the platform's dialogs do, else the default extension;
// none without a default extension.
QString defaultSuffix(const FileDialogRequest &request, int filterIndex);

// The program file's name up to its first ".", first character kept, the rest in lower case.
QString applicationTitle();
