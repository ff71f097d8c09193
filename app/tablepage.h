// The fourth page, "表格KML制作": any table opened (any sheet of a workbook, or delimited text),
// its columns' roles shown and changed, its rows' problems listed, its placemarks saved as KMZ or
// KML. Opening and saving run on a second thread, with a progress bar and a cancel button once
// they take a moment.
#pragma once

#include "app/errorguard.h"
#include "app/filedialog.h"
#include "table/tablefile.h"
#include "table/tablerows.h"
#include "table/tableview.h"

#include <QElapsedTimer>
#include <QWidget>

#include <array>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

class MapPreview;
class ProblemModel;
class QComboBox;
class QDialog;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;
class TableModel;

class TablePage : public QWidget {
    Q_OBJECT
public:
    // host answers the file dialogs and notices; guard shows what a command throws.
    TablePage(DialogHost &host, ErrorGuard guard, QWidget *parent = nullptr);
    // Waits for the threads still running: a cancelled open finishes reading first.
    ~TablePage() override;

    const table::TableView *view() const { return m_view.get(); }
    const table::TableOptions &options() const { return m_options; } // roles as shown, datum
    // The grid's current row as a sheet row; -1 for none.
    int currentSheetRow() const;
    // Makes the sheet row current in the grid and scrolls to it.
    void setCurrentSheetRow(int sheetRow);
    QPushButton *mapButton() const { return m_map; }

    // The roles in the order of their boxes: 经度, 纬度, 名称, 描述, 分类, 高度, 时间.
    static constexpr int RoleCount = 7;
    QComboBox *roleBox(int i) const { return m_roleBoxes[std::size_t(i)]; }
    const std::vector<table::Problem> &problems() const { return m_problems; }
    // The rows placed with the roles and datum shown, in sheet order.
    const std::vector<table::PlacedRow> &placedRows() const { return m_placed; }
    // An open or a save is running.
    bool busy() const { return bool(m_job); }

    QPushButton *openButton() const { return m_open; }
    QPushButton *saveButton() const { return m_save; }
    QPushButton *problemsButton() const { return m_problemsButton; }
    QPushButton *cancelButton() const { return m_cancel; }
    QProgressBar *progressBar() const { return m_progress; }
    QComboBox *sheetBox() const { return m_sheet; }
    QComboBox *datumBox() const { return m_datum; }
    QLabel *fileLabel() const { return m_fileLabel; }
    QLabel *problemsLabel() const { return m_problemsLabel; }
    QTableView *grid() const { return m_grid; }
    // The problem list's window, made when it is first opened; null before.
    QDialog *problemsWindow() const { return m_problemsWindow; }
    QTableView *problemsView() const { return m_problemsView; }
    // The map preview's window, made when it is first opened; null before.
    MapPreview *mapPreview() const { return m_mapPreview; }

    // The click handlers.
    void openClick();
    void saveClick();
    void problemsClick();
    void cancelClick();
    // Opens the map preview of the table, or raises it when it is open.
    void mapClick();

    // The combined choices that follow the headings in the longitude box.
    static const QString LatitudeFirst;
    static const QString LongitudeFirst;

Q_SIGNALS:
    void tableChanged(); // after an open, a sheet, a role or datum change
    void currentSheetRowChanged(int sheetRow);

private:
    struct Job {
        std::atomic<bool> done{false};
        std::atomic<bool> cancelled{false};
        std::atomic<int> permille{-1}; // how far, in thousandths; -1 when not known
        std::exception_ptr error;
        bool dropOnCancel = false; // an open: its result is dropped, the thread let finish
        std::function<void()> finished;
    };
    struct Running {
        std::shared_ptr<Job> job;
        std::thread thread;
    };
    struct Opened;

    void layOut();
    void start(bool dropOnCancel, std::function<void(Job &)> work, std::function<void()> finished);
    void poll();
    void setBusy(bool busy);
    void reapThreads();
    void openSheet(const QString &sheet, bool newFile);
    void take(Opened &opened);
    void showRoles();
    void roleChosen(int box);
    void refreshProblems();
    void showProblemCount();

    DialogHost &m_host;
    ErrorGuard m_guard;
    FileDialog m_openDialog;
    FileDialog m_saveDialog;

    QPushButton *m_open;
    QLabel *m_fileLabel;
    QLabel *m_sheetLabel;
    QComboBox *m_sheet;
    QLabel *m_datumLabel;
    QComboBox *m_datum;
    QTableView *m_grid;
    std::array<QLabel *, RoleCount> m_roleLabels{};
    std::array<QComboBox *, RoleCount> m_roleBoxes{};
    QLabel *m_problemsLabel;
    QPushButton *m_problemsButton;
    QPushButton *m_save;
    QPushButton *m_map;
    QWidget *m_progressBox;
    QProgressBar *m_progress;
    QPushButton *m_cancel;
    QDialog *m_problemsWindow = nullptr;
    QTableView *m_problemsView = nullptr;
    MapPreview *m_mapPreview = nullptr;
    TableModel *m_model;
    ProblemModel *m_problemModel;
    QTimer *m_timer;
    QElapsedTimer m_elapsed;

    QString m_path;
    std::unique_ptr<workbook::SheetData> m_sheetData;
    std::unique_ptr<table::TableView> m_view;
    QString m_documentName;
    table::TableOptions m_options;
    std::vector<table::PlacedRow> m_placed;
    std::vector<table::Problem> m_problems;

    std::shared_ptr<Job> m_job; // the one the page waits for
    std::vector<Running> m_threads;
};
