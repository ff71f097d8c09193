// The main window: four tab pages, their controls and click handlers.
#pragma once

#include "app/filedialog.h"
#include "kml/kmlbuffer.h"

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class LinkLabel;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QTabWidget;
class QTableView;
class QToolButton;
class TADOQuery;
class TablePage;
class TDataSource;
class TDBGrid;
class TDBNavigator;

class TForm1 : public QWidget {
    Q_OBJECT

    // Declared first: the dialogs below are built on the host.
    std::unique_ptr<DialogHost> m_ownHost;
    DialogHost *m_host;

public:
    // host answers the file dialogs and message boxes; the standard Qt dialogs when null.
    explicit TForm1(DialogHost *host = nullptr, QWidget *parent = nullptr);
    ~TForm1() override;

    static const QString HomePage;
    static const QString HelpPage;

    // Click handlers. Each runs through guarded(), which shows a failure in the error box.
    void SpeedButton1Click();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Label9Click();
    void OpenTxtClick();
    void Button5Click();

    // Runs a handler; a CommandError (or any other exception) it throws ends it and is shown in
    // the error box, and the window goes on.
    void guarded(void (TForm1::*handler)());
    void guarded(const std::function<void()> &action);

    QTabWidget *PageControl1;
    QWidget *TabSheet1;
    QWidget *TabSheet2;
    QWidget *TabSheet3;
    // The fourth page, "表格KML制作", named TabSheet4.
    TablePage *tablePage() const { return m_tablePage; }

    // First page
    QGroupBox *GroupBox1;
    QLabel *Label1;
    QLineEdit *long1;
    QLineEdit *long2;
    QLineEdit *long3;
    QLabel *Label2;
    QLineEdit *lat1;
    QLineEdit *lat2;
    QLineEdit *lat3;
    QToolButton *SpeedButton1;
    QLabel *Label4;
    QLineEdit *long_; // the decimal longitude box, named "long"
    QLineEdit *lat;
    QLabel *title;
    QLineEdit *Edit1;
    QPushButton *Button1;
    QLabel *Label3;
    QPlainTextEdit *Memo1;
    LinkLabel *Label9;

    // Second page
    TDBGrid *DBGrid1;
    QPushButton *Button2;
    QPushButton *Button3;
    TDBNavigator *DBNavigator1;
    QLabel *Label5;
    QLineEdit *DBEdit1;
    QLabel *Label6;
    QLineEdit *DBEdit2;
    QLabel *Label7;
    QLineEdit *DBEdit3;
    QLabel *Label8;
    QPlainTextEdit *DBMemo1;
    LinkLabel *Label10;

    // Third page
    QPlainTextEdit *Memo3;
    QPushButton *OpenTxt;
    QPushButton *Button5;
    LinkLabel *Label11;

    // The output line buffer (never shown).
    KmlBuffer Memo2;

    FileDialog SaveDialog1;
    FileDialog OpenDialog1;

    // The workbook query and the data source that joins it to the second page's controls.
    TADOQuery *detailCore;
    TDataSource *DataSource1;

    DialogHost &dialogs() { return *m_host; }

    // The decimal separator of the user's regional settings, read at the start and again when
    // they change: the converter reads and writes numbers with it, and the workbook query is
    // given it. Setting it gives it to the query too.
    QChar decimalSeparator() const { return m_separator; }
    void setDecimalSeparator(QChar separator);

protected:
    // Reads the decimal separator again when the regional settings change.
    void changeEvent(QEvent *event) override;
    // A pending workbook edit is posted (or dropped when nothing changed) before the window
    // closes; a refused post is shown and the window stays.
    void closeEvent(QCloseEvent *event) override;

private:
    void createPage1();
    void createPage2();
    void createPage3();
    void showError(const QString &message);
    // Runs SaveDialog1 for an export: the kind of file of the chosen filter pair after OK (the
    // save makes a name ending in ".kmz" a KMZ archive whatever the pair), nothing after Cancel.
    std::optional<KmlFileFormat> executeSaveDialog();
    // OpenDialog1 set for a workbook: the registry's filter pairs, the first format's pair first
    // and the default, then all workbooks, then each other format's.
    void setWorkbookDialog();

    QScrollArea *m_scroll;
    TablePage *m_tablePage;
    QChar m_separator = u'.';
};
