// The shared open and save dialogs: each keeps its default extension, filter and the name last
// chosen with it, and asks the user through the window's DialogHost.
#pragma once

#include "app/dialoghost.h"

#include <QString>

class FileDialog {
public:
    FileDialog(FileDialogKind kind, DialogHost &host, QWidget *owner)
        : m_kind(kind), m_host(host), m_owner(owner) {}

    // Shows the dialog; on OK, FileName becomes the chosen name. A cancel changes nothing.
    bool Execute();

    QString DefaultExt;
    QString Filter;
    QString FileName;

private:
    FileDialogKind m_kind;
    DialogHost &m_host;
    QWidget *m_owner;
};
