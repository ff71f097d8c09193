// The map preview's window as a user meets it: the status line, a click choosing its row, the
// row the page makes current highlighted, the hover's words, and "保存图片" through the
// window's dialogs.
#include "app/mapcanvas.h"
#include "app/mappreview.h"
#include "fakedialoghost.h"
#include "maptesting.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestMapPreview : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void clickChoosesRow_data();
    void clickChoosesRow();
    void followsTheCurrentRow();
    void savesThePicture_data();
    void savesThePicture();
};

void TestMapPreview::clickChoosesRow_data() {
    QTest::addColumn<QPointF>("lonLat");
    QTest::addColumn<int>("sheetRow");
    QTest::addColumn<QString>("hover");
    QTest::newRow("Beijing") << QPointF(116.40, 39.90) << 1 << "北京（第 2 行）";
    QTest::newRow("Chengdu, swapped") << QPointF(104.07, 30.66) << 4 << "成都（第 5 行）";
    QTest::newRow("nothing there") << QPointF(100, 20) << -1 << "";
}

void TestMapPreview::clickChoosesRow() {
    QFETCH(QPointF, lonLat);
    QFETCH(int, sheetRow);
    QFETCH(QString, hover);
    const maptesting::ChinaTable t;
    FakeDialogHost host;
    MapPreview preview(&host);
    preview.resize(700, 500);
    preview.setTable(&t.view, t.options);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    QCOMPARE(preview.windowTitle(), QStringLiteral("地图预览"));
    QCOMPARE(preview.statusLabel()->text(),
             QStringLiteral("5 个地标，5 行有问题（1 行无法在图上标出）"));
    preview.setCurrentSheetRow(8);
    QCOMPARE(preview.canvas()->currentSheetRow(), 8);

    // The (0, 0) row is fitted in too: zoom in on China about its middle first.
    MapCanvas *canvas = preview.canvas();
    canvas->setView(map::MapView(canvas->size(), map::project(105, 33), 4));
    QSignalSpy chosen(&preview, &MapPreview::sheetRowChosen);
    const QPoint pixel = canvas->view().pixelOf(lonLat.x(), lonLat.y()).toPoint();
    QCOMPARE(canvas->rowAt(pixel) >= 0 ? canvas->hoverText(canvas->rowAt(pixel)) : QString(),
             hover);
    QTest::mouseClick(canvas, Qt::LeftButton, {}, pixel);
    QCOMPARE(chosen.size(), sheetRow >= 0 ? 1 : 0);
    if (sheetRow >= 0) {
        QCOMPARE(chosen.first().first().toInt(), sheetRow);
        QCOMPARE(canvas->currentSheetRow(), sheetRow);
    }
}

// The page's current row brought into sight when it is not: Beijing, far from Shanghai at zoom
// 10, is centred; Shanghai's duplicate, in sight, leaves the map where it is.
void TestMapPreview::followsTheCurrentRow() {
    const maptesting::ChinaTable t;
    MapPreview preview;
    preview.resize(640, 480);
    preview.setTable(&t.view, t.options);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    MapCanvas *canvas = preview.canvas();
    canvas->setView(map::MapView(canvas->size(), map::project(121.47, 31.23), 10));
    const QPointF centre(canvas->width() / 2.0, canvas->height() / 2.0);
    preview.setCurrentSheetRow(6);
    QCOMPARE(canvas->view().pixelOf(121.47, 31.23), centre);
    preview.setCurrentSheetRow(1);
    QCOMPARE(canvas->currentSheetRow(), 1);
    QCOMPARE(canvas->view().zoom(), 10.0);
    const QPointF beijing = canvas->view().pixelOf(116.40, 39.90);
    QVERIFY(std::abs(beijing.x() - centre.x()) < 1e-6 && std::abs(beijing.y() - centre.y()) < 1e-6);
}

void TestMapPreview::savesThePicture_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("written");
    QTest::newRow("saved") << "view.png" << true;
    QTest::newRow("cancelled") << "" << false;
}

void TestMapPreview::savesThePicture() {
    QFETCH(QString, answer);
    QFETCH(bool, written);
    QTemporaryDir dir;
    const maptesting::ChinaTable t;
    FakeDialogHost host;
    host.fileAnswers << (answer.isEmpty() ? answer : dir.filePath(answer));
    MapPreview preview(&host);
    preview.resize(640, 480);
    preview.setTable(&t.view, t.options);
    preview.show();
    QVERIFY(QTest::qWaitForWindowExposed(&preview));
    QTest::mouseClick(preview.saveButton(), Qt::LeftButton);
    QCOMPARE(host.fileRequests.size(), 1);
    QCOMPARE(host.fileRequests.first().kind, FileDialogKind::Save);
    QCOMPARE(host.fileRequests.first().defaultExt, QStringLiteral("*.png"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), written ? 1 : 0);
    if (written) {
        const QImage saved(dir.filePath(answer));
        QCOMPARE(saved.size(), preview.canvas()->size());
        QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), preview.canvas()->frame());
    }
    QVERIFY(host.errors.isEmpty());
}

QTEST_MAIN(TestMapPreview)
#include "tst_mappreview.moc"
