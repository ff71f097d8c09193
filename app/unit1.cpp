// The main window: every control at its design position, the click handlers of the first page,
// and the guard through which every handler reports its failure.
#include "app/unit1.h"

#include "app/datasource.h"
#include "app/dbgrid.h"
#include "app/dbnavigator.h"
#include "app/linklabel.h"
#include "app/tablepage.h"
#include "app/waitcursor.h"
#include "common/commanderror.h"
#include "common/numtext.h"
#include "common/savebackup.h"
#include "coords/dms.h"
#include "sources/adoquery.h"
#include "sources/singleplacemark.h"
#include "sources/textlist.h"
#include "workbook/formatregistry.h"

#include <QDesktopServices>
#include <QEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTableView>
#include <QTextDocument>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <array>

const QString TForm1::HomePage = QStringLiteral("http://www.pinfold.example/");
const QString TForm1::HelpPage = QStringLiteral("http://www.pinfold.example/help/");

void TForm1::setWorkbookDialog() {
    OpenDialog1.DefaultExt = workbook::openDialogDefaultExt();
    OpenDialog1.Filter = workbook::openDialogFilter();
}

namespace {

// The design's client area: the tab control at (8, 8), 625 x 209, and a margin.
constexpr QSize ContentSize(633, 217);
constexpr QSize ClientSize(641, 226);
constexpr QPoint WindowPosition(189, 139);

QString blanks(int n) {
    return QString(n, u' ');
}

// The design fonts: "MS Sans Serif" and "Tahoma" at 8 points, 11 pixels high at 96 dpi. Where
// they are missing, Liberation Sans stands in: its blanks are 3 pixels wide as in the design
// fonts, so the words of the blank-padded labels stay beside the boxes they name.
QFont designFont(const QString &family) {
    QFont font;
    font.setFamilies({family, QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    font.setPixelSize(11);
    return font;
}

template <typename W> W *place(W *widget, const char *name, int x, int y, int w = -1, int h = -1) {
    widget->setObjectName(QLatin1String(name));
    if (w < 0) {
        widget->adjustSize();
        widget->move(x, y);
    } else {
        widget->setGeometry(x, y, w, h);
    }
    return widget;
}

QLabel *label(QWidget *parent, const char *name, const QString &text, int x, int y,
              bool tahoma = false) {
    auto *l = new QLabel(text, parent);
    if (tahoma)
        l->setFont(designFont(QStringLiteral("Tahoma")));
    return place(l, name, x, y);
}

QLineEdit *edit(QWidget *parent, const char *name, int x, int y, int w, int h,
                const QString &text = QString()) {
    return place(new QLineEdit(text, parent), name, x, y, w, h);
}

// A row label of the degrees frame: the row's name, then each unit word standing after the box it
// names ("度", "分", "秒"), spaced out with blanks as the design spaces them.
QLabel *unitsLabel(QWidget *parent, const char *name, const QString &word, int wordBlanks, int y) {
    return label(parent, name,
                 word + blanks(wordBlanks) + u"度" + blanks(22) + u"分" + blanks(20) + u"秒" +
                     blanks(7),
                 16, y, true);
}

// The degrees, minutes and seconds boxes of one row of the frame.
void dmsBoxes(QWidget *parent, std::array<const char *, 3> names, int y,
              std::array<QLineEdit **, 3> boxes) {
    for (int i = 0; i < 3; ++i)
        *boxes[i] = edit(parent, names[i], 56 + 72 * i, y, 50, 21);
}

QPushButton *button(QWidget *parent, const char *name, const QString &text, int x, int y, int w,
                    int h) {
    auto *b = place(new QPushButton(text, parent), name, x, y, w, h);
    b->setAccessibleName(text);
    return b;
}

// A multi-line box as the design has them: wraps at its width, no scroll bars, Tab leaves it.
QPlainTextEdit *memo(QWidget *parent, const char *name, int x, int y, int w, int h) {
    auto *m = place(new QPlainTextEdit(parent), name, x, y, w, h);
    m->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m->setTabChangesFocus(true);
    return m;
}

LinkLabel *linkLabel(QWidget *parent, const char *name, int x, int y) {
    auto *l = new LinkLabel(QStringLiteral("欢迎访问Pinfold主页--") + TForm1::HomePage, parent);
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(12);
    l->setFont(font);
    QPalette palette = l->palette();
    palette.setColor(QPalette::WindowText, QColor(0x00, 0x00, 0x80));
    l->setPalette(palette);
    l->setCursor(Qt::PointingHandCursor);
    return place(l, name, x, y);
}

QString usageNotice() {
    return QStringLiteral("使用说明：\n"
                          "1.软件用于将经纬度转换为GOOGLE EARTH的KML格式;\n"
                          "2.软件包括单点和多点两个系统；\n"
                          "3.单点系统只能对单个点生成KML；\n"
                          "4.Excel数据库KML多点系统则可以利用EXCEL进行操作;\n"
                          "5.本软件为免费软件，欢迎自由使用和传播，作者不承担任何使用责任；\n"
                          "6.主页：") +
           TForm1::HomePage + QStringLiteral(" 使用说明：") + TForm1::HelpPage + u'\n';
}

// The program's icon in every size it is drawn at, as the desktop's menu shows it.
QIcon programIcon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/%1/kmlmaker.png").arg(size), QSize(size, size));
    return icon;
}

void chain(std::initializer_list<QWidget *> order) {
    QWidget *previous = nullptr;
    for (QWidget *w : order) {
        if (previous)
            QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

} // namespace

TForm1::TForm1(DialogHost *host, QWidget *parent)
    : QWidget(parent), m_ownHost(host ? nullptr : new QtDialogHost),
      m_host(host ? host : m_ownHost.get()), SaveDialog1(FileDialogKind::Save, *m_host, this),
      OpenDialog1(FileDialogKind::Open, *m_host, this) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Pinfold:: www.pinfold.example"));
    setWindowIcon(programIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(designFont(QStringLiteral("MS Sans Serif")));

    // The controls keep their design positions; a window smaller than them scrolls.
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setWidgetResizable(true);
    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("content"));
    content->setMinimumSize(ContentSize);
    m_scroll->setWidget(content);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_scroll);

    PageControl1 = place(new QTabWidget(content), "PageControl1", 8, 8, 625, 209);
    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    TabSheet3 = new QWidget;
    TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    PageControl1->addTab(TabSheet1, QStringLiteral("单点KML制作"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Excel数据库KML制作"));
    PageControl1->addTab(TabSheet3, QStringLiteral("文本文件制作KML"));
    m_tablePage =
        new TablePage(*m_host, [this](const std::function<void()> &action) { guarded(action); });
    m_tablePage->setObjectName(QStringLiteral("TabSheet4"));
    PageControl1->addTab(m_tablePage, QStringLiteral("表格KML制作"));

    createPage1();
    createPage2();
    createPage3();
    PageControl1->setCurrentWidget(TabSheet3);

    SaveDialog1.DefaultExt = QStringLiteral("*.kml");
    // The program's own UTF-16 first; then what readers that take only UTF-8 need, and the
    // compressed form that users share.
    SaveDialog1.Filter =
        QStringLiteral("KML file(*.kml)|*.kml|KML file, UTF-8(*.kml)|*.kml|KMZ file(*.kmz)|*.kmz");
    setWorkbookDialog();
    // The buffer's design content, cleared by the first export.
    Memo2.Add(QStringLiteral("Memo2"));

    // A file that a killed save left incomplete, found as a command opens or saves it: the user
    // is asked whether its old content is to be put back.
    savebackup::setQuestion([this](const savebackup::Interrupted &found) {
        return m_host->confirm(this, QStringLiteral("Confirm"),
                               savebackup::interruptedMessage(found) +
                                   QStringLiteral(".\n\nPut the old content back?"));
    });

    resize(ClientSize);
    move(WindowPosition);
}

TForm1::~TForm1() {
    savebackup::setQuestion(nullptr);
}

void TForm1::createPage1() {
    GroupBox1 = place(new QGroupBox(TabSheet1), "GroupBox1", 8, 6, 289, 145);
    Label1 = unitsLabel(GroupBox1, "Label1", QStringLiteral("经度"), 23, 27);
    dmsBoxes(GroupBox1, {"long1", "long2", "long3"}, 24, {&long1, &long2, &long3});
    Label2 = unitsLabel(GroupBox1, "Label2", QStringLiteral("纬度"), 24, 59);
    dmsBoxes(GroupBox1, {"lat1", "lat2", "lat3"}, 52, {&lat1, &lat2, &lat3});
    SpeedButton1 = place(new QToolButton(GroupBox1), "SpeedButton1", 58, 78, 167, 25);
    SpeedButton1->setText(QStringLiteral("转换为小数表示↓"));
    SpeedButton1->setAccessibleName(SpeedButton1->text());
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setFocusPolicy(Qt::NoFocus); // a speed button never takes the focus
    Label4 =
        label(GroupBox1, "Label4", QStringLiteral("经度") + blanks(37) + u"纬度", 6, 110, true);
    long_ = edit(GroupBox1, "long", 31, 108, 110, 21);
    lat = edit(GroupBox1, "lat", 171, 108, 110, 21);

    title = label(TabSheet1, "title", QStringLiteral("标注标题"), 398, 0, true);
    Edit1 = edit(TabSheet1, "Edit1", 314, 17, 191, 21, QStringLiteral("地点标注标题"));
    Button1 = button(TabSheet1, "Button1", QStringLiteral("生成KML文件"), 520, 14, 89, 25);
    Label3 = label(TabSheet1, "Label3", QStringLiteral("地点描述，支持HTML语法"), 354, 39, true);
    Memo1 = memo(TabSheet1, "Memo1", 305, 55, 300, 98);
    Memo1->setPlainText(usageNotice());
    Label9 = linkLabel(TabSheet1, "Label9", 298, 162);

    chain({long1, long2, long3, lat1, lat2, lat3, long_, lat, Edit1, Memo1, Button1});

    connect(SpeedButton1, &QToolButton::clicked, this,
            [this] { guarded(&TForm1::SpeedButton1Click); });
    connect(Button1, &QPushButton::clicked, this, [this] { guarded(&TForm1::Button1Click); });
    connect(Label9, &LinkLabel::clicked, this, [this] { guarded(&TForm1::Label9Click); });
}

void TForm1::createPage2() {
    detailCore = new TADOQuery(this);
    detailCore->setObjectName(QStringLiteral("detailCore"));
    setDecimalSeparator(numtext::systemDecimalSeparator());
    DataSource1 = new TDataSource(detailCore, this);
    DataSource1->setObjectName(QStringLiteral("DataSource1"));
    DataSource1->setGuard([this](const std::function<void()> &action) { guarded(action); });
    DBGrid1 = place(new TDBGrid(TabSheet2), "DBGrid1", 0, 5, 320, 124);
    DBGrid1->setDataSource(DataSource1);
    DBGrid1->confirm = [this](const QString &question) {
        return m_host->confirm(this, QStringLiteral("Confirm"), question);
    };
    Button2 = button(TabSheet2, "Button2", QStringLiteral("打开Excel文件"), 55, 136, 82, 25);
    Button3 = button(TabSheet2, "Button3", QStringLiteral("保存为KML文件"), 176, 136, 90, 25);
    DBNavigator1 = place(new TDBNavigator(TabSheet2), "DBNavigator1", 360, 0, 234, 25);
    DBNavigator1->setFocusPolicy(Qt::TabFocus);
    DBNavigator1->setDataSource(DataSource1);
    DBNavigator1->guard = [this](const std::function<void()> &action) { guarded(action); };
    Label5 = label(TabSheet2, "Label5", QStringLiteral("经度"), 328, 32);
    DBEdit1 = edit(TabSheet2, "DBEdit1", 361, 28, 100, 21);
    Label6 = label(TabSheet2, "Label6", QStringLiteral("纬度"), 470, 34);
    DBEdit2 = edit(TabSheet2, "DBEdit2", 502, 27, 100, 21);
    Label7 = label(TabSheet2, "Label7", QStringLiteral("标注"), 329, 56);
    DBEdit3 = edit(TabSheet2, "DBEdit3", 360, 56, 241, 21);
    Label8 = place(new QLabel(QStringLiteral("地点描述"), TabSheet2), "Label8", 336, 90, 12, 52);
    Label8->setWordWrap(true);
    Label8->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // One character a line; taller than the design where the CJK font's lines are.
    Label8->resize(12, qMax(52, Label8->heightForWidth(12)));
    DBMemo1 = memo(TabSheet2, "DBMemo1", 360, 80, 241, 97);
    Label10 = linkLabel(TabSheet2, "Label10", 28, 166);

    chain({DBGrid1, Button2, DBNavigator1, DBEdit1, DBMemo1, DBEdit2, DBEdit3, Button3});
    // Unbound until a workbook opens: empty and read-only.
    for (QWidget *box : std::initializer_list<QWidget *>{DBEdit1, DBEdit2, DBEdit3, DBMemo1})
        DataSource1->unbind(box);
    connect(Button2, &QPushButton::clicked, this, [this] { guarded(&TForm1::Button2Click); });
    connect(Button3, &QPushButton::clicked, this, [this] { guarded(&TForm1::Button3Click); });
    connect(Label10, &LinkLabel::clicked, this, [this] { guarded(&TForm1::Label9Click); });
}

void TForm1::createPage3() {
    Memo3 = memo(TabSheet3, "Memo3", 8, 16, 489, 145);
    Memo3->setPlainText(
        QStringLiteral("紫禁城(116.3920388,39.91120332)中国古代帝王宫殿，位于中国北京市\n"
                       "上海浦东(121.4965666,31.23973873)新兴的中国大都市，位于中国上海市"));
    OpenTxt = button(TabSheet3, "OpenTxt", QStringLiteral("打开文本文件"), 512, 40, 89, 25);
    Button5 = button(TabSheet3, "Button5", QStringLiteral("保存为KML文件"), 512, 88, 89, 25);
    Label11 = linkLabel(TabSheet3, "Label11", 114, 165);

    chain({Memo3, OpenTxt, Button5});
    connect(OpenTxt, &QPushButton::clicked, this, [this] { guarded(&TForm1::OpenTxtClick); });
    connect(Button5, &QPushButton::clicked, this, [this] { guarded(&TForm1::Button5Click); });
    connect(Label11, &LinkLabel::clicked, this, [this] { guarded(&TForm1::Label9Click); });
}

void TForm1::guarded(void (TForm1::*handler)()) {
    guarded([this, handler] { (this->*handler)(); });
}

void TForm1::guarded(const std::function<void()> &action) {
    try {
        action();
    } catch (const CommandError &e) {
        showError(e.message());
    } catch (const std::bad_alloc &) {
        showError(QStringLiteral("Out of memory"));
    } catch (const std::exception &e) {
        showError(QString::fromLocal8Bit(e.what()));
    }
}

std::optional<KmlFileFormat> TForm1::executeSaveDialog() {
    if (!SaveDialog1.Execute())
        return std::nullopt;
    switch (SaveDialog1.FilterIndex) {
    case 2:
        return KmlFileFormat::Utf8;
    case 3:
        return KmlFileFormat::Kmz;
    default:
        return KmlFileFormat::Utf16;
    }
}

void TForm1::showError(const QString &message) {
    m_host->showError(applicationTitle(), errorBoxText(message));
}

void TForm1::changeEvent(QEvent *event) {
    if (event->type() == QEvent::LocaleChange)
        setDecimalSeparator(numtext::systemDecimalSeparator());
    QWidget::changeEvent(event);
}

void TForm1::setDecimalSeparator(QChar separator) {
    m_separator = separator;
    detailCore->setDecimalSeparator(separator);
}

// The longitude is stored before the latitude is read: a bad latitude leaves the new longitude.
void TForm1::SpeedButton1Click() {
    long_->setText(numtext::FloatToStr(
        DmsToDecimal(long1->text(), long2->text(), long3->text(), m_separator), m_separator));
    lat->setText(numtext::FloatToStr(
        DmsToDecimal(lat1->text(), lat2->text(), lat3->text(), m_separator), m_separator));
}

void TForm1::Button1Click() {
    const QString x = long_->text();
    const QString y = lat->text();
    if (!singleplacemark::hasCoordinates(x, y)) {
        m_host->showMessage(applicationTitle(),
                            QString::fromUtf16(singleplacemark::MissingCoordinates));
        return;
    }
    const std::optional<KmlFileFormat> format = executeSaveDialog();
    if (!format)
        return;
    const QString description = singleplacemark::withCrLf(Memo1->toPlainText());
    singleplacemark::exportTo(Memo2, SaveDialog1.FileName, *format,
                              kml::Placemark{description, Edit1->text(), x, y});
}

void TForm1::Label9Click() {
    QDesktopServices::openUrl(QUrl(HomePage));
}

void TForm1::OpenTxtClick() {
    OpenDialog1.DefaultExt = QStringLiteral("*.txt");
    OpenDialog1.Filter = QStringLiteral("Text file(*.txt)|*.txt");
    if (!OpenDialog1.Execute())
        return;
    const WaitCursor wait;
    // Read in full before the box changes, so a file that fails leaves the list as it was.
    Memo3->setPlainText(textlist::readFile(OpenDialog1.FileName));
}

void TForm1::Button5Click() {
    const std::optional<KmlFileFormat> format = executeSaveDialog();
    if (!format)
        return;
    const WaitCursor wait;
    // The raw text in one piece: no walk over a million blocks, and no-break spaces stay as
    // typed (toPlainText would turn them into blanks).
    textlist::exportTo(Memo2, SaveDialog1.FileName, *format, Memo3->document()->toRawText());
}
