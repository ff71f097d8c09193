// The plain notice dialog and the shared file dialogs' memory of the last name.
#include "app/dialoghost.h"
#include "app/filedialog.h"
#include "fakedialoghost.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

class TestDialogs : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void plainMessageKeys_data();
    void plainMessageKeys();
    void plainMessageLayout();
    void fileDialogKeepsLastName();
};

void TestDialogs::plainMessageKeys_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("Esc") << int(Qt::Key_Escape);
}

void TestDialogs::plainMessageKeys() {
    QFETCH(int, key);
    PlainMessageDialog dialog(u"kmlmaker"_qs, u"经纬度不能为空,请检查"_qs);
    QTimer::singleShot(0, &dialog, [&] { QTest::keyClick(&dialog, Qt::Key(key)); });
    dialog.exec();
    QVERIFY(!dialog.isVisible());
}

void TestDialogs::plainMessageLayout() {
    PlainMessageDialog dialog(u"kmlmaker"_qs, QString(400, u'字'));
    dialog.show();
    QCOMPARE(dialog.windowTitle(), u"kmlmaker"_qs);
    const QList<QPushButton *> buttons = dialog.findChildren<QPushButton *>();
    QCOMPARE(buttons.size(), 1);
    QCOMPARE(buttons[0]->text(), u"OK"_qs);
    for (const QLabel *label : dialog.findChildren<QLabel *>())
        QVERIFY(label->pixmap().isNull()); // no icon
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(dialog.findChild<QLabel *>(u"message"_qs)->width() <= screen.width() / 2);
    QVERIFY(qAbs(dialog.frameGeometry().center().x() - screen.center().x()) <= 1);
}

void TestDialogs::fileDialogKeepsLastName() {
    FakeDialogHost host;
    FileDialog dialog(FileDialogKind::Open, host, nullptr);
    dialog.DefaultExt = u"*.txt"_qs;
    dialog.Filter = u"Text file(*.txt)|*.txt"_qs;
    host.fileAnswers << u"/a/b.txt"_qs << QString();
    QVERIFY(dialog.Execute());
    QCOMPARE(dialog.FileName, u"/a/b.txt"_qs);
    QVERIFY(!dialog.Execute());
    QCOMPARE(dialog.FileName, u"/a/b.txt"_qs);
    QCOMPARE(host.fileRequests[1].fileName, u"/a/b.txt"_qs);
    QCOMPARE(host.fileRequests[1].defaultExt, u"*.txt"_qs);
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
