// The shared open and save dialogs: each keeps its default extension, filter and the name last
// chosen with it, and asks the user through the window's DialogHost.
#pragma once

#include "app/dialoghost.h"

#include <QString>

class FileDialog {
public:
    FileDialog(FileDialogKind kind, DialogHost &host, QWidget *owner)
        : m_kind(kind), m_host(host), m_owner(owner) {}

    // Shows the dialog; on OK, FileName becomes the chosen name and FilterIndex the chosen
    // filter pair. A cancel changes nothing.
    bool Execute();

    QString DefaultExt;
    QString Filter;
    QString FileName;
    int FilterIndex = 1; // the filter pair shown first, and after OK the one chosen; from 1

private:
    FileDialogKind m_kind;
    DialogHost &m_host;
    QWidget *m_owner;
};
