// The text-list page through the window: "打开文本文件" and "保存为KML文件" with the dialogs
// answered by a script, from a text file on disk to the KML file's bytes.
#include "app/dialoghost.h"
#include "app/unit1.h"
#include "fakedialoghost.h"
#include "kml/kmldocument.h"
#include "testsupport.h"

#include <QApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;

class TestTextListPage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void openDialogSettings();
    void loadAndSave();
    void sampleLinesAsTheyStand();
    void typedTextKeepsNoBreakSpace();
    void openErrorsKeepTheList_data();
    void openErrorsKeepTheList();
    void saveCancelled();
    void saveError();
};

namespace {

// Also notes whether the wait cursor was still up when an error was shown.
class CursorWatchingHost : public FakeDialogHost {
public:
    QList<bool> waitCursorAtError;
    void showError(const QString &caption, const QString &text) override {
        waitCursorAtError << (QApplication::overrideCursor() != nullptr);
        FakeDialogHost::showError(caption, text);
    }
};

// The window on the text-list page, its dialogs answered by the test.
struct Page {
    CursorWatchingHost host;
    TForm1 form{&host};

    // Saves the list through the save dialog into a file of that name in a folder of the
    // page's own; returns its path.
    QString saveAs(const QString &name) {
        const QString path = m_dir.filePath(name);
        host.fileAnswers << path;
        form.Button5->click();
        return path;
    }

private:
    QTemporaryDir m_dir;
};

} // namespace

void TestTextListPage::openDialogSettings() {
    FakeDialogHost host;
    TForm1 form(&host);
    const QString before = form.Memo3->toPlainText();
    form.OpenTxt->click(); // cancelled
    QCOMPARE(host.fileRequests.size(), 1);
    QCOMPARE(host.fileRequests[0].kind, FileDialogKind::Open);
    QCOMPARE(host.fileRequests[0].defaultExt, u"*.txt"_qs);
    QCOMPARE(host.fileRequests[0].filter, u"Text file(*.txt)|*.txt"_qs);
    // The settings stay in the shared dialog until another open command changes them.
    QCOMPARE(form.OpenDialog1.DefaultExt, u"*.txt"_qs);
    QCOMPARE(form.OpenDialog1.Filter, u"Text file(*.txt)|*.txt"_qs);
    QCOMPARE(form.OpenDialog1.FileName, QString());
    QCOMPARE(form.Memo3->toPlainText(), before);
    QVERIFY(host.errors.isEmpty());
}

void TestTextListPage::loadAndSave() {
    CursorWatchingHost host;
    TForm1 form(&host);
    QTemporaryDir dir;
    const QString input = dataFile(u"textlist-input.txt"_qs);
    const QString output = dir.filePath(u"列表.kml"_qs);
    host.fileAnswers << input << output;

    bool waitCursorWhileLoading = false;
    connect(form.Memo3, &QPlainTextEdit::textChanged, this, [&] {
        const QCursor *c = QApplication::overrideCursor();
        waitCursorWhileLoading = c && c->shape() == Qt::WaitCursor;
    });
    form.OpenTxt->click();
    QVERIFY(host.errors.isEmpty());
    QVERIFY(waitCursorWhileLoading);
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(form.OpenDialog1.FileName, input);
    // The byte-order mark is gone, CR LF, LF and CR all became breaks, LF CR two of them.
    const QStringList lines = form.Memo3->toPlainText().split(u'\n');
    QCOMPARE(lines.size(), 10);
    QCOMPARE(lines[0], u"紫禁城(116.3920388,39.91120332)中国古代帝王宫殿，位于中国北京市"_qs);
    QCOMPARE(lines[3], QString());
    QCOMPARE(lines[9], QString()); // the file's final break

    form.Button5->click();
    QVERIFY(host.errors.isEmpty());
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(readFile(output), golden(u"textlist-input.kml"_qs));
    QCOMPARE(form.Memo2.count(), 3 + 9);
}

void TestTextListPage::sampleLinesAsTheyStand() {
    Page page;
    CursorWatchingHost &host = page.host;
    TForm1 &form = page.form;
    const QString output = page.saveAs(u"sample.kml"_qs);
    QVERIFY(host.errors.isEmpty());
    QCOMPARE(host.fileRequests[0].kind, FileDialogKind::Save);
    QCOMPARE(host.fileRequests[0].filter,
             u"KML file(*.kml)|*.kml|KML file, UTF-8(*.kml)|*.kml|KMZ file(*.kmz)|*.kmz"_qs);
    QCOMPARE(readFile(output), golden(u"textlist-sample.kml"_qs));
    const QStringList entries = form.Memo2.entries();
    QCOMPARE(entries.size(), 5);
    QCOMPARE(entries[2],
             kml::folderPlacemarkEntry(u"中国古代帝王宫殿，位于中国北京市"_qs, u"紫禁城"_qs,
                                       u"116.3920388"_qs, u"39.91120332"_qs));
}

void TestTextListPage::typedTextKeepsNoBreakSpace() {
    Page page;
    CursorWatchingHost &host = page.host;
    TForm1 &form = page.form;
    form.Memo3->setPlainText(u"a(1,2)x\u00A0y\n\nhello"_qs);
    page.saveAs(u"nbsp.kml"_qs);
    QVERIFY(host.errors.isEmpty());
    const QStringList entries = form.Memo2.entries();
    QCOMPARE(entries.size(), 6);
    QCOMPARE(entries[2], kml::folderPlacemarkEntry(u"x\u00A0y"_qs, "a", "1", "2"));
    QCOMPARE(entries[3], kml::folderPlacemarkEntry("", "", "", ""));
    QCOMPARE(entries[4], kml::folderPlacemarkEntry("hello", "", "", ""));
}

void TestTextListPage::openErrorsKeepTheList_data() {
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("shown");
    QTest::newRow("missing file") << "missing.txt"
                                  << "Cannot open file \"%1\". No such file or directory.";
    QTest::newRow("a folder") << "."
                              << "Cannot open file \"%1\". Is a directory.";
}

void TestTextListPage::openErrorsKeepTheList() {
    QFETCH(QString, relative);
    QFETCH(QString, shown);
    CursorWatchingHost host;
    TForm1 form(&host);
    QTemporaryDir dir;
    const QString path = QDir::cleanPath(dir.filePath(relative));
    const QString before = form.Memo3->toPlainText();
    host.fileAnswers << path;
    form.OpenTxt->click();
    QCOMPARE(host.errors, QStringList{shown.arg(path)});
    QCOMPARE(host.waitCursorAtError, QList<bool>{false});
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(form.Memo3->toPlainText(), before);
    QCOMPARE(form.OpenDialog1.FileName, path); // the dialog keeps the name chosen
}

void TestTextListPage::saveCancelled() {
    FakeDialogHost host;
    TForm1 form(&host);
    form.Button5->click();
    QCOMPARE(host.fileRequests.size(), 1);
    QVERIFY(host.errors.isEmpty());
    QCOMPARE(form.Memo2.entries(), QStringList{u"Memo2"_qs});
}

void TestTextListPage::saveError() {
    Page page;
    CursorWatchingHost &host = page.host;
    TForm1 &form = page.form;
    const QString path = page.saveAs(u"missing/x.kml"_qs);
    QCOMPARE(host.errors,
             QStringList{u"Cannot create file \"%1\". No such file or directory."_qs.arg(path)});
    QCOMPARE(host.waitCursorAtError, QList<bool>{false});
    QCOMPARE(form.Memo2.count(), 5); // the document built so far stays
}

QTEST_MAIN(TestTextListPage)
#include "tst_textlistpage.moc"
