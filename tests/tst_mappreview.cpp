// The map preview's window as a user meets it: the status line, a click choosing its row, the
// row the page makes current highlighted, the hover's words, "保存图片" through the window's
// dialogs, and the window opened from the table page, following it both ways.
#include "app/mapcanvas.h"
#include "app/mappreview.h"
#include "app/tablepage.h"
#include "app/unit1.h"
#include "fakedialoghost.h"
#include "maptesting.h"
#include "testsupport.h"

#include <QComboBox>
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
    void followsThePage();
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

void TestMapPreview::followsThePage() {
    FakeDialogHost host;
    TForm1 form(&host);
    TablePage *page = form.tablePage();
    QVERIFY(!page->mapButton()->isEnabled());
    host.fileAnswers << testsupport::dataFile(QStringLiteral("table/stations.csv"));
    page->openButton()->click();
    QVERIFY(QTest::qWaitFor([&] { return !page->busy(); }, 60000));
    QVERIFY(page->mapButton()->isEnabled());
    page->mapButton()->click();
    MapPreview *preview = page->mapPreview();
    QVERIFY(preview && preview->isWindow());
    QVERIFY(QTest::qWaitForWindowExposed(preview));
    // 北京, 上海, 广州 and the duplicate 重复 placed; 北纬91度 out of range.
    QCOMPARE(preview->statusLabel()->text(),
             QStringLiteral("4 个地标，2 行有问题（1 行无法在图上标出）"));
    page->mapButton()->click();
    QCOMPARE(page->findChildren<MapPreview *>().size(), 1);

    // The grid's row on the map, and the row of the mark clicked in the grid.
    page->setCurrentSheetRow(4);
    QCOMPARE(preview->canvas()->currentSheetRow(), 4);
    MapCanvas *canvas = preview->canvas();
    const QPoint beijing = canvas->view()
                               .pixelOf(116 + 23 / 60.0 + 31 / 3600.0, 39 + 54 / 60.0 + 27 / 3600.0)
                               .toPoint();
    QTest::mouseClick(canvas, Qt::LeftButton, {}, beijing);
    QCOMPARE(page->currentSheetRow(), 2);
    QCOMPARE(canvas->currentSheetRow(), 2);

    // A datum chosen on the page moves the points: GCJ-02 is some hundreds of metres off.
    const double before = preview->points().x[0];
    page->datumBox()->setCurrentIndex(1);
    Q_EMIT page->datumBox()->activated(1);
    QVERIFY(std::abs(preview->points().x[0] - before) > 1e-6);

    // Closed, the map reads nothing as the page changes; opened again, it reads the table as
    // the page has it then.
    preview->close();
    QComboBox *longitude = page->roleBox(0);
    longitude->setCurrentIndex(longitude->findText(QStringLiteral("(无)")));
    Q_EMIT longitude->activated(longitude->currentIndex());
    QCOMPARE(preview->points().count(), 0);
    page->mapButton()->click();
    QCOMPARE(page->mapPreview(), preview);
    QCOMPARE(preview->statusLabel()->text(),
             QStringLiteral("0 个地标，5 行有问题（5 行无法在图上标出）"));
}

QTEST_MAIN(TestMapPreview)
#include "tst_mappreview.moc"
