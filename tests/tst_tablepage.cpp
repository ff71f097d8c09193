// The table page through the window, its dialogs answered by the test: the roles shown as found
// and changed, the problems listed and followed to their row, a KMZ and a KML written as the
// engine writes them, an open and a save cancelled, and a million rows scrolled to the end.
#include "app/tablepage.h"
#include "app/unit1.h"
#include "fakedialoghost.h"
#include "table/tablefile.h"
#include "testsupport.h"
#include "zipreading.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace testsupport;

namespace {

struct Page {
    FakeDialogHost host;
    TForm1 form{&host};
    TablePage *page = form.tablePage();
    QAbstractItemModelTester tester{page->grid()->model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest};
    QTemporaryDir dir;
    bool progressShown = false;

    // Waits until the open or save has finished, noting whether its progress bar was shown.
    bool idle() {
        return QTest::qWaitFor(
            [&] {
                progressShown = progressShown || page->progressBar()->isVisibleTo(page);
                return !page->busy();
            },
            120000);
    }
    bool open(const QString &path) {
        host.fileAnswers << path;
        page->openButton()->click();
        return idle();
    }
    bool save(const QString &path, int filter) {
        host.fileAnswers << path;
        host.filterAnswers << filter;
        page->saveButton()->click();
        return idle();
    }
    QStringList boxes() const {
        QStringList shown;
        for (int i = 0; i < TablePage::RoleCount; ++i)
            shown << page->roleBox(i)->currentText();
        return shown;
    }
};

// Chooses an entry as the user does.
void choose(QComboBox *box, const QString &text) {
    const int i = box->findText(text);
    QVERIFY2(i >= 0, qPrintable(text));
    box->setCurrentIndex(i);
    Q_EMIT box->activated(i);
}

// A delimited table of rows rows: name, latitude, longitude.
QString writeLongTable(const QString &path, int rows) {
    QByteArray text = "名称,纬度,经度\n";
    text.reserve(qsizetype(rows) * 32);
    for (int r = 1; r <= rows; ++r)
        text += "P" + QByteArray::number(r) + ',' + QByteArray::number(20 + r % 30) + ".5," +
                QByteArray::number(100 + r % 40) + ".25\n";
    writeFile(path, text);
    return path;
}

// The KML the engine writes of a file with the roles it finds.
QByteArray engineKml(const QString &path, const QString &sheet, const QString &out) {
    const table::OpenedTable opened = table::openTable(path, sheet);
    const table::TableView view(*opened.sheet);
    table::TableOptions options;
    options.roles = table::findRoles(view);
    table::TableResult result;
    table::saveTable(out, view, options, opened.documentName, result);
    return readFile(out);
}

} // namespace

class TestTablePage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestLocale(); }
    void controlsNamedAndInside();
    void rolesFound_data();
    void rolesFound();
    void roleChanged();
    void problemsFollowed();
    void savedAndReadBack_data();
    void savedAndReadBack();
    void openRefused();
    void cancelled_data();
    void cancelled();
    void millionRowsScrolled();
};

void TestTablePage::controlsNamedAndInside() {
    Page p;
    p.form.show();
    QStringList names;
    for (QWidget *w : p.page->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        // A box's caption names it, as a label related to it where screen readers read that.
        names << w->accessibleName();
        if (auto *label = qobject_cast<QLabel *>(w); label && label->buddy())
            QCOMPARE(label->buddy()->accessibleName(), label->text());
        QVERIFY2(p.page->rect().contains(w->geometry()), qPrintable(names.last()));
    }
    QStringList expected{u"打开表格"_qs,      u"文件名"_qs,   u"问题"_qs, u"问题列表"_qs,
                         u"保存为KML文件"_qs, u"地图预览"_qs, u"表格"_qs, u"打开或保存的进度"_qs};
    // Each box and the caption beside it.
    for (const char16_t *box :
         {u"工作表", u"坐标系", u"经度", u"纬度", u"名称", u"描述", u"分类", u"高度", u"时间"})
        expected << QString::fromUtf16(box) << QString::fromUtf16(box);
    names.sort();
    expected.sort();
    QCOMPARE(names, expected);
}

void TestTablePage::rolesFound_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("sheet"); // chosen after the open; none for the first
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QStringList>("sheets"); // empty: delimited text, the box disabled
    QTest::newRow("csv, title row") << "table/stations.csv" << QString()
                                    << QStringList{u"经度"_qs, u"纬度"_qs, u"站名"_qs, u"备注"_qs,
                                                   u"类别"_qs, u"海拔"_qs, u"(无)"_qs}
                                    << u"5 行，2 行有问题"_qs << QStringList();
    QTest::newRow("ods, a note first")
        << "table/survey.ods" << QString() << QStringList(7, u"(无)"_qs) << u"找不到经纬度列"_qs
        << QStringList{u"说明"_qs, u"测点"_qs};
    QTest::newRow("ods, the second sheet chosen")
        << "table/survey.ods" << u"测点"_qs
        << QStringList{u"经度"_qs, u"纬度"_qs, u"名称"_qs, u"(无)"_qs,
                       u"类别"_qs, u"(无)"_qs, u"(无)"_qs}
        << u"10 行，5 行有问题"_qs << QStringList{u"说明"_qs, u"测点"_qs};
}

void TestTablePage::rolesFound() {
    QFETCH(QString, file);
    QFETCH(QString, sheet);
    QFETCH(QStringList, boxes);
    QFETCH(QString, line);
    QFETCH(QStringList, sheets);
    Page p;
    QVERIFY(p.open(dataFile(file)));
    if (!sheet.isEmpty()) {
        choose(p.page->sheetBox(), sheet);
        QVERIFY(p.idle());
    }
    QVERIFY2(p.host.errors.isEmpty(), qPrintable(p.host.errors.join(u'\n')));
    QCOMPARE(p.host.fileRequests.first().filter,
             u"表格文件(*.csv *.tsv *.txt *.xls *.xlsx *.ods)|*.csv;*.tsv;*.txt;*.xls;*.xlsx;*.ods|"
             "Delimited text(*.csv;*.tsv;*.txt)|*.csv;*.tsv;*.txt|Excel file(*.xls)|*.xls|"
             "Excel 2007 workbook(*.xlsx)|*.xlsx|OpenDocument spreadsheet(*.ods)|*.ods"_qs);
    QCOMPARE(p.boxes(), boxes);
    QCOMPARE(p.page->problemsLabel()->text(), line);
    QStringList listed;
    for (int i = 0; i < p.page->sheetBox()->count(); ++i)
        listed << p.page->sheetBox()->itemText(i);
    QCOMPARE(p.page->sheetBox()->isEnabled(), !sheets.isEmpty());
    if (!sheets.isEmpty())
        QCOMPARE(listed, sheets);
    QVERIFY(p.page->mapButton()->isEnabled());
}

void TestTablePage::roleChanged() {
    Page p;
    QVERIFY(p.open(dataFile(u"table/stations.csv"_qs)));
    QSignalSpy changed(p.page, &TablePage::tableChanged);
    // A column takes one role: the description's box lets 备注 go to the name's.
    choose(p.page->roleBox(2), u"备注"_qs);
    QCOMPARE(p.boxes().mid(2, 2), (QStringList{u"备注"_qs, u"(无)"_qs}));
    QCOMPARE(p.page->options().roles.name, 5);
    QCOMPARE(p.page->options().roles.description, -1);
    // Without a longitude there is nothing to save.
    choose(p.page->roleBox(0), u"(无)"_qs);
    QCOMPARE(p.page->problemsLabel()->text(), u"找不到经纬度列"_qs);
    p.page->saveButton()->click();
    QCOMPARE(p.host.errors, QStringList{u"找不到经纬度列."_qs}); // as the error box ends it
    QVERIFY(p.host.fileRequests.size() == 1);                    // no save dialog
    // Both numbers read from the latitude's column, which holds one: every row unreadable.
    choose(p.page->roleBox(0), TablePage::LatitudeFirst);
    QCOMPARE(p.page->options().roles.coordinates, 2);
    QCOMPARE(p.page->problemsLabel()->text(), u"5 行，5 行有问题"_qs);
    choose(p.page->roleBox(0), u"经度"_qs);
    QCOMPARE(p.page->problemsLabel()->text(), u"5 行，2 行有问题"_qs);
    QCOMPARE(changed.size(), 4);
}

void TestTablePage::problemsFollowed() {
    Page p;
    QVERIFY(p.open(dataFile(u"table/survey.ods"_qs)));
    choose(p.page->sheetBox(), u"测点"_qs);
    QVERIFY(p.idle());
    p.page->problemsButton()->click();
    QTableView *list = p.page->problemsView();
    QVERIFY(list && p.page->problemsWindow()->isVisible());
    QStringList rows;
    for (int r = 0; r < list->model()->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < 4; ++c)
            cells << list->model()->index(r, c).data().toString();
        rows << cells.join(u'|');
    }
    QCOMPARE(rows,
             (QStringList{u"6|经度|缺少坐标|"_qs, u"7|纬度|无法识别的坐标|39°75′N"_qs,
                          u"9|纬度|超出范围|95°00′N"_qs, u"11|纬度|疑似经纬度颠倒|114°18′09″"_qs,
                          u"12|经度|重复坐标（同第3行）|116°23′31″E"_qs}));
    QSignalSpy current(p.page, &TablePage::currentSheetRowChanged);
    Q_EMIT list->doubleClicked(list->model()->index(2, 1));
    QCOMPARE(p.page->currentSheetRow(), 8);
    QCOMPARE(current.last().first().toInt(), 8);
    // The grid marks the row beside its number.
    QCOMPARE(p.page->grid()->model()->headerData(6, Qt::Vertical).toString(), u"✕ 9"_qs);
}

void TestTablePage::savedAndReadBack_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<QString>("notice");
    QTest::newRow("KMZ of a csv") << "out.kmz" << 1 << "table/stations.csv" << QString()
                                  << u"已写入 4 个地标，1 行未写入：超出范围 1 行。"_qs;
    QTest::newRow("KML of an ods sheet")
        << "out.kml" << 2 << "table/survey.ods" << u"测点"_qs
        << u"已写入 6 个地标，4 行未写入：缺少坐标 1 行，无法识别的坐标 1 行，疑似经纬度颠倒 1 "
           u"行，超出范围 1 行。"_qs;
}

void TestTablePage::savedAndReadBack() {
    QFETCH(QString, name);
    QFETCH(int, filter);
    QFETCH(QString, file);
    QFETCH(QString, sheet);
    QFETCH(QString, notice);
    Page p;
    QVERIFY(p.open(dataFile(file)));
    if (!sheet.isEmpty()) {
        choose(p.page->sheetBox(), sheet);
        QVERIFY(p.idle());
    }
    const QString out = p.dir.filePath(name);
    QVERIFY(p.save(out, filter));
    QVERIFY2(p.host.errors.isEmpty(), qPrintable(p.host.errors.join(u'\n')));
    QCOMPARE(p.host.fileRequests.last().filter,
             u"KMZ file(*.kmz)|*.kmz|KML file, UTF-8(*.kml)|*.kml"_qs);
    QCOMPARE(p.host.messages, QStringList{notice});
    const QByteArray expected = engineKml(dataFile(file), sheet, p.dir.filePath(u"engine.kml"_qs));
    QVERIFY(expected.contains("<Placemark>"));
    const QByteArray written =
        name.endsWith(u".kmz") ? zipreading::onlyMember(out, u"doc.kml"_qs) : readFile(out);
    QCOMPARE(written, expected);
}

void TestTablePage::openRefused() {
    Page p;
    QVERIFY(p.open(dataFile(u"table/stations.csv"_qs)));
    const QString binary = p.dir.filePath(u"binary.csv"_qs);
    writeFile(binary, QByteArray("\x00\x01\xff\xfe\x00kml", 8));
    QVERIFY(p.open(binary));
    // The engine's words, as the command line gives them, in the error box; the table stays.
    QCOMPARE(p.host.errors, QStringList{errorBoxText(errorOf([&] { table::openTable(binary); }))});
    QCOMPARE(p.page->fileLabel()->text(), u"stations.csv"_qs);
    QCOMPARE(p.page->view()->dataRows().size(), std::size_t(5));
}

void TestTablePage::cancelled_data() {
    QTest::addColumn<bool>("save");
    QTest::newRow("open") << false;
    QTest::newRow("save") << true;
}

void TestTablePage::cancelled() {
    QFETCH(bool, save);
    Page p;
    const QString big = writeLongTable(p.dir.filePath(u"big.csv"_qs), 400000);
    QVERIFY(p.open(dataFile(u"table/stations.csv"_qs)));
    if (save)
        QVERIFY(p.open(big));
    const QString out = p.dir.filePath(u"out.kml"_qs);
    writeFile(out, "old");
    p.host.fileAnswers << (save ? out : big);
    (save ? p.page->saveButton() : p.page->openButton())->click();
    QVERIFY(p.page->busy());
    p.page->cancelButton()->click();
    QVERIFY(p.idle());
    QVERIFY2(p.host.errors.isEmpty(), qPrintable(p.host.errors.join(u'\n')));
    QVERIFY(p.host.messages.isEmpty());
    // The table as it was, and the old file alone beside the table.
    QCOMPARE(p.page->view()->dataRows().size(), std::size_t(save ? 400000 : 5));
    QCOMPARE(readFile(out), QByteArray("old"));
    QCOMPARE(QDir(p.dir.path()).entryList(QDir::Files),
             (QStringList{u"big.csv"_qs, u"out.kml"_qs}));
    QVERIFY(p.page->openButton()->isEnabled());
}

void TestTablePage::millionRowsScrolled() {
    Page p;
    p.form.PageControl1->setCurrentWidget(p.page);
    p.form.show();
    QVERIFY(p.open(writeLongTable(p.dir.filePath(u"million.csv"_qs), 1000000)));
    QVERIFY(p.progressShown);
    QTableView *grid = p.page->grid();
    QCOMPARE(grid->model()->rowCount(), 1000000);
    grid->scrollToBottom();
    QCoreApplication::processEvents();
    QCOMPARE(grid->rowAt(grid->viewport()->height() - 2), 999999);
    QCOMPARE(grid->model()->index(999999, 0).data().toString(), u"P1000000"_qs);
    p.page->setCurrentSheetRow(1);
    QCOMPARE(grid->rowAt(0), 0);
    QCOMPARE(p.page->currentSheetRow(), 1);
}

QTEST_MAIN(TestTablePage)
#include "tst_tablepage.moc"
