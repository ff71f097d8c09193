// The workbook page in a window whose dialogs the test answers: opening fixtures and copies,
// typing into its widgets, and the state of the navigator's buttons.
#pragma once

#include "app/datasource.h"
#include "app/dbgrid.h"
#include "app/dbnavigator.h"
#include "app/querymodel.h"
#include "app/unit1.h"
#include "fakedialoghost.h"
#include "testsupport.h"

#include <QAbstractItemModelTester>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace workbookpagetesting {

// Which navigator buttons are enabled, as a string of nine letters for the visible ones:
// first, prior, next, last, insert, edit, post, cancel, refresh; "x" enabled, "-" not.
inline QString enabledButtons(TDBNavigator *nav) {
    QString out;
    for (NavigateButton b : {NavigateButton::First, NavigateButton::Prior, NavigateButton::Next,
                             NavigateButton::Last, NavigateButton::Insert, NavigateButton::Edit,
                             NavigateButton::Post, NavigateButton::Cancel, NavigateButton::Refresh})
        out += nav->button(b)->isEnabled() ? u'x' : u'-';
    return out;
}

// Types a text into a widget, one key event per character.
inline void type(QWidget *widget, const QString &text) {
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

struct Page {
    FakeDialogHost host;
    TForm1 form{&host};
    QAbstractItemModelTester tester{form.DataSource1->model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest};
    QTemporaryDir dir;

    // Opens a fixture where it is: for browsing only, as the data can be modified.
    void open(const QString &file) { openPath(testsupport::fixture(file)); }
    void openPath(const QString &path) {
        host.fileAnswers << path;
        form.Button2->click();
    }
    // Opens a copy of a fixture, which edits may change; returns its path.
    QString openCopy(const QString &file, const QString &name = QStringLiteral("book.xls")) {
        const QString path = dir.filePath(name);
        QFile::remove(path);
        QFile::copy(testsupport::fixture(file), path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        openPath(path);
        return path;
    }
    int verticalIndicatorRow() const {
        const QAbstractItemModel *m = form.DBGrid1->model();
        for (int r = 0; r < m->rowCount(); ++r)
            if (m->headerData(r, Qt::Vertical).toString() == QueryModel::Indicator)
                return r;
        return -1;
    }
};

} // namespace workbookpagetesting
