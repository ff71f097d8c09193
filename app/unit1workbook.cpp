// The workbook page's click handlers: open a workbook into the grid, save its rows as KML.
#include "app/datasource.h"
#include "app/dbgrid.h"
#include "app/unit1.h"
#include "app/waitcursor.h"
#include "sources/adoquery.h"
#include "sources/workbooksource.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QPlainTextEdit>

void TForm1::Button2Click() {
    setWorkbookDialog();
    if (!OpenDialog1.Execute())
        return;
    const WaitCursor wait;
    // Closing would drop a pending edit: it is posted first, and a refusal ends the command.
    if (detailCore->Active())
        detailCore->CheckBrowseMode();
    for (QWidget *box : std::initializer_list<QWidget *>{DBEdit1, DBEdit2, DBEdit3, DBMemo1})
        DataSource1->unbind(box);
    workbooksource::openWorkbook(*detailCore, OpenDialog1.FileName);
    // Fewer than four columns ends the command here, with the rows shown and no box bound.
    DBGrid1->setColumnWidthAt(0, 100);
    DBGrid1->setColumnWidthAt(1, 100);
    DBGrid1->setColumnWidthAt(2, 100);
    DBGrid1->setColumnWidthAt(3, 80);
    DataSource1->bind(DBEdit1, detailCore->Fields(0).DisplayName());
    DataSource1->bind(DBEdit2, detailCore->Fields(1).DisplayName());
    DataSource1->bind(DBEdit3, detailCore->Fields(2).DisplayName());
    DataSource1->bind(DBMemo1, detailCore->Fields(3).DisplayName());
}

void TForm1::Button3Click() {
    const std::optional<KmlFileFormat> format = executeSaveDialog();
    if (!format)
        return;
    const WaitCursor wait;
    workbooksource::exportFolder(*detailCore, Memo2, SaveDialog1.FileName, *format);
}

void TForm1::closeEvent(QCloseEvent *event) {
    bool settled = true;
    if (detailCore->Active() && detailCore->State() != DataSetState::Browse) {
        settled = false;
        guarded([&] {
            detailCore->CheckBrowseMode();
            settled = true;
        });
    }
    if (settled)
        QWidget::closeEvent(event);
    else
        event->ignore();
}
