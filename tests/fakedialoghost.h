// A DialogHost that answers from a script and records what the window asked, so widget tests
// never show a real dialog.
#pragma once

#include "app/dialoghost.h"

#include <QList>
#include <QStringList>

class FakeDialogHost : public DialogHost {
public:
    // Answers for the file dialogs, in order: a name, or an empty string for Cancel.
    QStringList fileAnswers;
    // The filter pair chosen with each name answered, in order; the pair the dialog showed
    // first when none is left.
    QList<int> filterAnswers;
    QList<bool> confirmAnswers;

    QList<FileDialogRequest> fileRequests;
    QStringList messages;
    QStringList errors;
    QStringList questions;
    QString lastCaption;

    std::optional<FileDialogAnswer> chooseFile(QWidget *,
                                               const FileDialogRequest &request) override {
        fileRequests << request;
        const QString answer = fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
        if (answer.isEmpty())
            return std::nullopt;
        const int filter =
            filterAnswers.isEmpty() ? request.filterIndex : filterAnswers.takeFirst();
        return FileDialogAnswer{answer, filter};
    }
    void showMessage(const QString &caption, const QString &text) override {
        lastCaption = caption;
        messages << text;
    }
    void showError(const QString &caption, const QString &text) override {
        lastCaption = caption;
        errors << text;
    }
    bool confirm(QWidget *, const QString &caption, const QString &text) override {
        lastCaption = caption;
        questions << text;
        return confirmAnswers.isEmpty() ? false : confirmAnswers.takeFirst();
    }
};
