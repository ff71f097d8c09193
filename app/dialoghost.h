// Everything the window asks the user through a dialog goes through DialogHost, so tests can
// answer it; QtDialogHost shows Qt's standard dialogs.
#pragma once

#include <QDialog>
#include <QString>
#include <optional>

class QWidget;

enum class FileDialogKind { Open, Save };

struct FileDialogRequest {
    FileDialogKind kind = FileDialogKind::Open;
    QString filter;     // "description|pattern" pairs separated by "|"
    QString defaultExt; // "*.kml"
    QString fileName;   // shown in the name box
};

class DialogHost {
public:
    virtual ~DialogHost();

    // The chosen file name, or nothing when the user cancels.
    virtual std::optional<QString> chooseFile(QWidget *owner, const FileDialogRequest &request) = 0;
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
    std::optional<QString> chooseFile(QWidget *owner, const FileDialogRequest &request) override;
    void showMessage(const QString &caption, const QString &text) override;
    void showError(const QString &caption, const QString &text) override;
    bool confirm(QWidget *owner, const QString &caption, const QString &text) override;
};

// "KML file(*.kml)|*.kml" as Qt's name filters.
QStringList qtNameFilters(const QString &filter);

// The program file's name up to its first ".", first character kept, the rest in lower case.
QString applicationTitle();

// The error box text: the message with "." appended unless it is empty or ends in a character
// whose code is at or below that of ".".
QString errorBoxText(const QString &message);
