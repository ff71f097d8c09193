// The main window: its design, the error box, and the one-point export.
#include "app/dialoghost.h"
#include "app/linklabel.h"
#include "app/unit1.h"
#include "fakedialoghost.h"
#include "testsupport.h"

#include <QFile>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

class TestForm1 : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void controls_data();
    void controls();
    void startsOnThirdPage();
    void keyboardOrder_data();
    void keyboardOrder();
    void usageNoticeEndsWithBreak();
    void dialogSettings();
    void errorBoxPeriod_data();
    void errorBoxPeriod();
    void applicationTitleRule();
    void button1EmptyCoordinates();
    void button1Cancelled();
    void button1WritesFile();
    void button1ShowsCreateError();
    void windowIcon();
};

void TestForm1::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parentName");
    QTest::addColumn<QRect>("geometry"); // width -1: sized to its text
    QTest::addColumn<QString>("text");
    // Every caption and every box the user sees by a caption; the second row of the degrees
    // frame repeats the first row's columns, so only its first box is here.
    auto row = [](const char *name, const char *parent, QRect r, const QString &text = {}) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(parent) << r
                            << text;
    };
    const QString b = QStringLiteral(" ");
    row("PageControl1", "content", {8, 8, 625, 209});
    row("GroupBox1", "TabSheet1", {8, 6, 289, 145});
    // Each unit word stands after the box it names.
    auto units = [&b](const QString &word, int blanks) -> QString {
        return word + b.repeated(blanks) + u"度" + b.repeated(22) + u"分" + b.repeated(20) + u"秒" +
               b.repeated(7);
    };
    row("Label1", "GroupBox1", {16, 27, -1, -1}, units(u"经度"_qs, 23));
    row("long1", "GroupBox1", {56, 24, 50, 21});
    row("long2", "GroupBox1", {128, 24, 50, 21});
    row("long3", "GroupBox1", {200, 24, 50, 21});
    row("Label2", "GroupBox1", {16, 59, -1, -1}, units(u"纬度"_qs, 24));
    row("lat1", "GroupBox1", {56, 52, 50, 21});
    row("SpeedButton1", "GroupBox1", {58, 78, 167, 25}, u"转换为小数表示↓"_qs);
    row("Label4", "GroupBox1", {6, 110, -1, -1}, u"经度"_qs + b.repeated(37) + u"纬度");
    row("long", "GroupBox1", {31, 108, 110, 21});
    row("title", "TabSheet1", {398, 0, -1, -1}, u"标注标题"_qs);
    row("Edit1", "TabSheet1", {314, 17, 191, 21}, u"地点标注标题"_qs);
    row("Button1", "TabSheet1", {520, 14, 89, 25}, u"生成KML文件"_qs);
    row("Label3", "TabSheet1", {354, 39, -1, -1}, u"地点描述，支持HTML语法"_qs);
    row("Memo1", "TabSheet1", {305, 55, 300, 98});
    const QString link = u"欢迎访问Pinfold主页--http://www.pinfold.example/"_qs;
    row("Label9", "TabSheet1", {298, 162, -1, -1}, link);
    row("DBGrid1", "TabSheet2", {0, 5, 320, 124});
    row("Button2", "TabSheet2", {55, 136, 82, 25}, u"打开Excel文件"_qs);
    row("Button3", "TabSheet2", {176, 136, 90, 25}, u"保存为KML文件"_qs);
    row("DBNavigator1", "TabSheet2", {360, 0, 234, 25});
    row("Label5", "TabSheet2", {328, 32, -1, -1}, u"经度"_qs);
    row("DBEdit1", "TabSheet2", {361, 28, 100, 21});
    row("Label6", "TabSheet2", {470, 34, -1, -1}, u"纬度"_qs);
    row("DBEdit2", "TabSheet2", {502, 27, 100, 21});
    row("Label7", "TabSheet2", {329, 56, -1, -1}, u"标注"_qs);
    row("DBEdit3", "TabSheet2", {360, 56, 241, 21});
    row("Label8", "TabSheet2", {336, 90, 12, 52}, u"地点描述"_qs);
    row("DBMemo1", "TabSheet2", {360, 80, 241, 97});
    row("Label10", "TabSheet2", {28, 166, -1, -1}, link);
    row("Memo3", "TabSheet3", {8, 16, 489, 145});
    row("OpenTxt", "TabSheet3", {512, 40, 89, 25}, u"打开文本文件"_qs);
    row("Button5", "TabSheet3", {512, 88, 89, 25}, u"保存为KML文件"_qs);
    row("Label11", "TabSheet3", {114, 165, -1, -1}, link);
}

void TestForm1::controls() {
    QFETCH(QString, name);
    QFETCH(QString, parentName);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    FakeDialogHost host;
    TForm1 form(&host);
    auto *w = form.findChild<QWidget *>(name);
    QVERIFY(w);
    QCOMPARE(w->parentWidget()->objectName(), parentName);
    QCOMPARE(w->pos(), geometry.topLeft());
    if (name == u"Label8") {
        QCOMPARE(w->width(), 12);
        QVERIFY(w->height() >= 52); // four lines of one character each
    } else if (geometry.width() >= 0) {
        QCOMPARE(w->size(), geometry.size());
    }
    if (auto *l = qobject_cast<QLabel *>(w))
        QCOMPARE(l->text(), text);
    else if (auto *b = qobject_cast<QAbstractButton *>(w)) {
        QCOMPARE(b->text(), text);
        QCOMPARE(b->accessibleName(), text);
    } else if (auto *e = qobject_cast<QLineEdit *>(w))
        QCOMPARE(e->text(), text);
    if (auto *m = qobject_cast<QPlainTextEdit *>(w)) {
        QCOMPARE(m->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QCOMPARE(m->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QVERIFY(m->tabChangesFocus());
    }
    if (auto *link = qobject_cast<LinkLabel *>(w)) {
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(link->palette().color(QPalette::WindowText), QColor(0, 0, 0x80));
    }
}

void TestForm1::startsOnThirdPage() {
    FakeDialogHost host;
    TForm1 form(&host);
    QCOMPARE(form.objectName(), u"Form1"_qs);
    QCOMPARE(form.windowTitle(), u"Pinfold:: www.pinfold.example"_qs);
    QCOMPARE(form.PageControl1->count(), 4);
    QCOMPARE(form.PageControl1->tabText(0), u"单点KML制作"_qs);
    QCOMPARE(form.PageControl1->tabText(1), u"Excel数据库KML制作"_qs);
    QCOMPARE(form.PageControl1->tabText(2), u"文本文件制作KML"_qs);
    QCOMPARE(form.PageControl1->tabText(3), u"表格KML制作"_qs);
    QCOMPARE(form.PageControl1->currentWidget(), form.TabSheet3);
    QCOMPARE(form.Memo3->toPlainText(),
             u"紫禁城(116.3920388,39.91120332)中国古代帝王宫殿，位于中国北京市\n"
             "上海浦东(121.4965666,31.23973873)新兴的中国大都市，位于中国上海市"_qs);
    QCOMPARE(form.Memo2.entries(), QStringList{u"Memo2"_qs});
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
}

void TestForm1::keyboardOrder_data() {
    QTest::addColumn<QStringList>("order");
    QTest::newRow("page 1") << QStringList{"long1", "long2", "long3", "lat1",  "lat2",   "lat3",
                                           "long",  "lat",   "Edit1", "Memo1", "Button1"};
    QTest::newRow("page 2") << QStringList{"DBGrid1", "Button2", "DBNavigator1", "DBEdit1",
                                           "DBMemo1", "DBEdit2", "DBEdit3",      "Button3"};
    QTest::newRow("page 3") << QStringList{"OpenTxt", "Button5"}; // from Memo3
}

void TestForm1::keyboardOrder() {
    QFETCH(QStringList, order);
    FakeDialogHost host;
    TForm1 form(&host);
    QWidget *w = order.size() == 2 ? form.Memo3 : form.findChild<QWidget *>(order.first());
    const qsizetype start = order.size() == 2 ? 0 : 1;
    for (qsizetype i = start; i < order.size(); ++i) {
        w = w->nextInFocusChain();
        while (w && w->focusPolicy() == Qt::NoFocus)
            w = w->nextInFocusChain();
        QVERIFY(w);
        QCOMPARE(w->objectName(), order[i]);
    }
}

void TestForm1::usageNoticeEndsWithBreak() {
    FakeDialogHost host;
    TForm1 form(&host);
    const QStringList lines = form.Memo1->toPlainText().split(u'\n');
    QCOMPARE(lines.size(), 8);
    QCOMPARE(lines.first(), u"使用说明："_qs);
    QCOMPARE(lines[4], u"4.Excel数据库KML多点系统则可以利用EXCEL进行操作;"_qs);
    QVERIFY(lines[6].contains(TForm1::HomePage));
    QVERIFY(lines[6].contains(TForm1::HelpPage));
    QCOMPARE(lines.last(), QString());
}

void TestForm1::dialogSettings() {
    FakeDialogHost host;
    TForm1 form(&host);
    QCOMPARE(form.SaveDialog1.DefaultExt, u"*.kml"_qs);
    QCOMPARE(form.SaveDialog1.Filter,
             u"KML file(*.kml)|*.kml|KML file, UTF-8(*.kml)|*.kml|KMZ file(*.kmz)|*.kmz"_qs);
    QCOMPARE(form.OpenDialog1.DefaultExt, u"*.xls"_qs);
    QCOMPARE(
        form.OpenDialog1.Filter,
        u"Excel file(*.xls)|*.xls|"
        "All workbooks(*.xls;*.xlsx;*.ods;*.csv;*.tsv;*.txt)|*.xls;*.xlsx;*.ods;*.csv;*.tsv;*.txt|"
        "Excel 2007 workbook(*.xlsx)|*.xlsx|OpenDocument spreadsheet(*.ods)|*.ods|"
        "Delimited text(*.csv;*.tsv;*.txt)|*.csv;*.tsv;*.txt"_qs);
    QCOMPARE(
        qtNameFilters(form.SaveDialog1.Filter),
        (QStringList{u"KML file(*.kml)"_qs, u"KML file, UTF-8(*.kml)"_qs, u"KMZ file(*.kmz)"_qs}));
    QCOMPARE(qtNameFilters(form.OpenDialog1.Filter),
             (QStringList{u"Excel file(*.xls)"_qs,
                          u"All workbooks(*.xls *.xlsx *.ods *.csv *.tsv *.txt)"_qs,
                          u"Excel 2007 workbook(*.xlsx)"_qs, u"OpenDocument spreadsheet(*.ods)"_qs,
                          u"Delimited text(*.csv *.tsv *.txt)"_qs}));
    QCOMPARE(qtNameFilters(u"Text|*.txt;*.csv|All|*"_qs),
             (QStringList{u"Text (*.txt *.csv)"_qs, u"All (*)"_qs}));
}

void TestForm1::errorBoxPeriod_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("letter") << "Stream write error"
                            << "Stream write error.";
    QTest::newRow("digit") << "a 1"
                           << "a 1.";
    QTest::newRow("closing parenthesis") << "List index out of bounds (3)"
                                         << "List index out of bounds (3)";
    QTest::newRow("double quote") << "x \"y\""
                                  << "x \"y\"";
    QTest::newRow("period") << "done."
                            << "done.";
    QTest::newRow("dash") << "a-"
                          << "a-";
    QTest::newRow("blank") << "a "
                           << "a ";
    QTest::newRow("line break") << "a\n"
                                << "a\n";
    QTest::newRow("exclamation") << "a!"
                                 << "a!";
    QTest::newRow("slash, just above") << "a/"
                                       << "a/.";
    QTest::newRow("bracket") << "a]"
                             << "a].";
    QTest::newRow("question") << "a?"
                              << "a?.";
    QTest::newRow("colon") << "a:"
                           << "a:.";
    QTest::newRow("chinese") << u"请检查"_qs << u"请检查."_qs;
}

void TestForm1::errorBoxPeriod() {
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(errorBoxText(message), shown);
}

void TestForm1::applicationTitleRule() {
    // The first character is kept as it is; the rest is lower case.
    QCOMPARE(applicationTitle(), u"tst_form1"_qs);
}

void TestForm1::button1EmptyCoordinates() {
    FakeDialogHost host;
    TForm1 form(&host);
    form.Button1->click();
    QCOMPARE(host.messages, QStringList{u"经纬度不能为空,请检查"_qs});
    QCOMPARE(host.lastCaption, applicationTitle());
    QVERIFY(host.fileRequests.isEmpty());
    QCOMPARE(form.Memo2.entries(), QStringList{u"Memo2"_qs});

    form.long_->setText(u"116"_qs);
    form.Button1->click();
    QCOMPARE(host.messages.size(), 2);
    QVERIFY(host.fileRequests.isEmpty());
}

void TestForm1::button1Cancelled() {
    FakeDialogHost host;
    TForm1 form(&host);
    form.long_->setText(u" "_qs);
    form.lat->setText(u"x"_qs);
    form.Button1->click();
    QCOMPARE(host.fileRequests.size(), 1);
    QCOMPARE(host.fileRequests[0].kind, FileDialogKind::Save);
    QCOMPARE(host.fileRequests[0].filter,
             u"KML file(*.kml)|*.kml|KML file, UTF-8(*.kml)|*.kml|KMZ file(*.kmz)|*.kmz"_qs);
    QVERIFY(host.messages.isEmpty());
    QVERIFY(host.errors.isEmpty());
    QCOMPARE(form.Memo2.entries(), QStringList{u"Memo2"_qs});
    QCOMPARE(form.SaveDialog1.FileName, QString());
}

void TestForm1::button1WritesFile() {
    FakeDialogHost host;
    TForm1 form(&host);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"点.kml"_qs);
    host.fileAnswers << path << QString();
    form.long_->setText(u"116.3920388"_qs);
    form.lat->setText(u"39.91120332"_qs);
    form.Button1->click();
    QVERIFY(host.errors.isEmpty());
    QCOMPARE(testsupport::readFile(path), testsupport::golden(u"single-notice.kml"_qs));
    QCOMPARE(form.SaveDialog1.FileName, path);

    // The dialog opens with the last name; a cancel keeps it.
    form.Button1->click();
    QCOMPARE(host.fileRequests.last().fileName, path);
    QCOMPARE(form.SaveDialog1.FileName, path);

    // Abc and x pass: only emptiness is refused; a title with & stays readable XML.
    host.fileAnswers << path;
    form.long_->setText(u"abc"_qs);
    form.lat->setText(u"x"_qs);
    form.Edit1->setText(u"A&B"_qs);
    form.Memo1->setPlainText(u"第一行\n第二行"_qs);
    form.Button1->click();
    const QStringList entries = form.Memo2.entries();
    QCOMPARE(entries.size(), 16);
    QCOMPARE(entries[2], u"第一行\r\n第二行"_qs);
    QCOMPARE(entries[4], u"<name>A&amp;B</name>"_qs);
    QCOMPARE(entries[12], u"<coordinates>abc,x,0</coordinates>"_qs);
}

void TestForm1::button1ShowsCreateError() {
    FakeDialogHost host;
    TForm1 form(&host);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"missing/x.kml"_qs);
    host.fileAnswers << path;
    form.long_->setText(u"1"_qs);
    form.lat->setText(u"2"_qs);
    form.Button1->click();
    QCOMPARE(host.errors,
             QStringList{u"Cannot create file \"%1\". No such file or directory."_qs.arg(path)});
    QCOMPARE(host.lastCaption, applicationTitle());
    QCOMPARE(form.Memo2.count(), 16); // the document built so far stays
    QVERIFY(form.isEnabled());
}

// The desktop's icon, in every size the theme has, from the program's own resources.
void TestForm1::windowIcon() {
    FakeDialogHost host;
    TForm1 form(&host);
    const QIcon icon = form.windowIcon();
    QCOMPARE(icon.availableSizes().size(), 8);
    const QImage drawn = icon.pixmap(QSize(48, 48)).toImage();
    QCOMPARE(drawn.convertToFormat(QImage::Format_ARGB32_Premultiplied),
             QImage(QStringLiteral(KML_TEST_DATA "/../../data/icons/48/kmlmaker.png"))
                 .convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
