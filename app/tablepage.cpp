// The table page: its controls at their places, the open and save on a second thread, the roles'
// boxes and the problems they give.
#include "app/tablepage.h"

#include "app/mappreview.h"
#include "app/tablemodel.h"
#include "common/commanderror.h"
#include "common/savebackup.h"
#include "workbook/formatregistry.h"

#include <QComboBox>
#include <QDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <utility>

using table::Problem;
using table::Roles;

const QString TablePage::LatitudeFirst = QStringLiteral("坐标列（纬度在前）");
const QString TablePage::LongitudeFirst = QStringLiteral("坐标列（经度在前）");

namespace {

// Opening or saving shows its progress once it has taken this long.
constexpr qint64 ProgressAfterMs = 300;

const char16_t *const RoleCaptions[TablePage::RoleCount] = {u"经度", u"纬度", u"名称", u"描述",
                                                            u"分类", u"高度", u"时间"};

template <typename W>
W *placed(W *widget, const QString &accessibleName, int x, int y, int w, int h) {
    widget->setGeometry(x, y, w, h);
    widget->setAccessibleName(accessibleName);
    return widget;
}

QPushButton *button(QWidget *parent, const QString &text, int x, int y, int w) {
    return placed(new QPushButton(text, parent), text, x, y, w, 23);
}

// A caption with the box it names, which screen readers read by it.
QLabel *caption(QWidget *parent, const QString &text, QWidget *buddy, int x, int y, int w) {
    auto *l = placed(new QLabel(text, parent), text, x, y, w, 21);
    l->setBuddy(buddy);
    buddy->setAccessibleName(text);
    return l;
}

// "已写入 5 个地标，2 行未写入：缺少坐标 1 行，超出范围 1 行。"
QString savedNotice(const table::TableResult &result) {
    QString text = QStringLiteral("已写入 %1 个地标，%2 行未写入")
                       .arg(result.placemarks)
                       .arg(result.rowsLeftOut());
    QStringList why;
    for (auto kind : {table::ProblemKind::NoCoordinates, table::ProblemKind::Unreadable,
                      table::ProblemKind::LooksSwapped, table::ProblemKind::OutOfRange,
                      table::ProblemKind::ZeroZero}) {
        qint64 n = 0;
        const Problem *first = nullptr;
        for (const Problem &p : result.problems)
            if (p.kind == kind && n++ == 0)
                first = &p;
        if (first)
            why << QStringLiteral("%1 %2 行").arg(table::problemText(*first)).arg(n);
    }
    if (!why.isEmpty())
        text += u'：' + why.join(u'，');
    return text + u'。';
}

} // namespace

struct TablePage::Opened {
    table::TableSheets sheets;
    table::OpenedTable table;
    std::unique_ptr<table::TableView> view;
    table::TableOptions options;
    std::vector<table::PlacedRow> placed;
    std::vector<Problem> problems;
};

TablePage::TablePage(DialogHost &host, ErrorGuard guard, QWidget *parent)
    : QWidget(parent), m_host(host), m_guard(std::move(guard)),
      m_openDialog(FileDialogKind::Open, host, this),
      m_saveDialog(FileDialogKind::Save, host, this) {
    m_openDialog.Filter = workbook::tableDialogFilter(QStringLiteral("表格文件"));
    // The globe viewer's own format first.
    m_saveDialog.Filter = QStringLiteral("KMZ file(*.kmz)|*.kmz|KML file, UTF-8(*.kml)|*.kml");
    m_saveDialog.DefaultExt = QStringLiteral("*.kmz");

    m_model = new TableModel(this);
    m_problemModel = new ProblemModel(this);
    m_timer = new QTimer(this);
    m_timer->setInterval(20);
    connect(m_timer, &QTimer::timeout, this, &TablePage::poll);
    layOut();
    setBusy(false);
}

TablePage::~TablePage() {
    m_model->setTable(nullptr);
    m_problemModel->setProblems(nullptr, nullptr);
    for (Running &r : m_threads) {
        r.job->cancelled = true;
        r.thread.join();
    }
}

void TablePage::layOut() {
    m_open = button(this, QStringLiteral("打开表格"), 4, 4, 72);
    m_fileLabel = placed(new QLabel(this), QStringLiteral("文件名"), 82, 5, 118, 21);
    m_sheet = new QComboBox(this);
    m_sheetLabel = caption(this, QStringLiteral("工作表"), m_sheet, 204, 5, 36);
    m_sheet->setGeometry(242, 4, 110, 22);
    m_datum = new QComboBox(this);
    m_datumLabel = caption(this, QStringLiteral("坐标系"), m_datum, 358, 5, 36);
    m_datum->setGeometry(396, 4, 215, 22);
    m_datum->addItems({QStringLiteral("WGS-84（GPS、Google Earth）"),
                       QStringLiteral("GCJ-02（高德、腾讯）"), QStringLiteral("BD-09（百度）")});

    m_grid = placed(new QTableView(this), QStringLiteral("表格"), 4, 31, 384, 118);
    m_grid->setModel(m_model);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setWordWrap(false);
    // Fixed heights: the header never measures a million rows.
    m_grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_grid->verticalHeader()->setDefaultSectionSize(18);
    m_grid->horizontalHeader()->setDefaultSectionSize(80);

    for (int i = 0; i < RoleCount; ++i) {
        const int x = i % 2 == 0 ? 394 : 504;
        const int y = 31 + 24 * (i / 2);
        auto *box = new QComboBox(this);
        box->setGeometry(x + 26, y, 81, 22);
        m_roleBoxes[std::size_t(i)] = box;
        m_roleLabels[std::size_t(i)] =
            caption(this, QString::fromUtf16(RoleCaptions[i]), box, x, y + 1, 24);
        connect(box, &QComboBox::activated, this, [this, i] { m_guard([&] { roleChosen(i); }); });
    }

    m_problemsLabel = placed(new QLabel(this), QStringLiteral("问题"), 394, 127, 217, 21);
    m_problemsButton = button(this, QStringLiteral("问题列表"), 4, 153, 76);
    m_save = button(this, QStringLiteral("保存为KML文件"), 410, 153, 100);
    m_map = button(this, QStringLiteral("地图预览"), 515, 153, 96);

    // Over the problem list's button while an open or a save runs.
    m_progressBox = new QWidget(this);
    m_progressBox->setGeometry(4, 153, 384, 23);
    m_progressBox->setAccessibleName(QStringLiteral("打开或保存的进度"));
    m_progress = placed(new QProgressBar(m_progressBox), QStringLiteral("进度"), 0, 0, 316, 23);
    m_cancel = button(m_progressBox, QStringLiteral("取消"), 320, 0, 64);
    m_progressBox->hide();

    setTabOrder(m_open, m_sheet);
    setTabOrder(m_sheet, m_datum);
    setTabOrder(m_datum, m_grid);
    QWidget *previous = m_grid;
    for (QComboBox *box : m_roleBoxes) {
        setTabOrder(previous, box);
        previous = box;
    }
    for (QWidget *w : std::initializer_list<QWidget *>{m_problemsButton, m_save, m_map}) {
        setTabOrder(previous, w);
        previous = w;
    }

    connect(m_open, &QPushButton::clicked, this, [this] { m_guard([this] { openClick(); }); });
    connect(m_save, &QPushButton::clicked, this, [this] { m_guard([this] { saveClick(); }); });
    connect(m_problemsButton, &QPushButton::clicked, this, [this] { problemsClick(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { cancelClick(); });
    connect(m_map, &QPushButton::clicked, this, [this] { m_guard([this] { mapClick(); }); });
    connect(m_sheet, &QComboBox::activated, this,
            [this](int i) { m_guard([&] { openSheet(m_sheet->itemText(i), false); }); });
    connect(m_datum, &QComboBox::activated, this, [this](int i) {
        m_options.datum = table::Datum(i);
        // The rows' places are kept in WGS-84.
        refreshProblems();
        Q_EMIT tableChanged();
    });
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                Q_EMIT currentSheetRowChanged(m_model->sheetRowOf(current.row()));
            });
}

int TablePage::currentSheetRow() const {
    return m_model->sheetRowOf(m_grid->currentIndex().row());
}

void TablePage::setCurrentSheetRow(int sheetRow) {
    const int row = m_model->rowOfSheetRow(sheetRow);
    if (row < 0)
        return;
    const QModelIndex index = m_model->index(row, qMax(0, m_grid->currentIndex().column()));
    m_grid->setCurrentIndex(index);
    m_grid->scrollTo(index);
}

void TablePage::openClick() {
    if (!m_openDialog.Execute())
        return;
    openSheet(QString(), true);
}

void TablePage::openSheet(const QString &sheet, bool newFile) {
    const QString path = newFile ? m_openDialog.FileName : m_path;
    auto opened = std::make_shared<Opened>();
    opened->options.datum = table::Datum(m_datum->currentIndex());
    start(
        true,
        [opened, path, sheet, newFile](Job &) {
            opened->table = newFile ? table::openFirstTable(path, opened->sheets)
                                    : table::openTable(path, sheet);
            opened->view = std::make_unique<table::TableView>(*opened->table.sheet);
            opened->options.roles = table::findRoles(*opened->view);
            if (opened->options.roles.hasCoordinates())
                table::placeRows(
                    *opened->view, opened->options,
                    [&](const table::PlacedRow &row) { opened->placed.push_back(row); },
                    opened->problems);
        },
        [this, opened, path, newFile] {
            if (newFile) {
                m_path = path;
                m_sheet->clear();
                m_sheet->addItems(opened->sheets.names);
                m_sheet->setProperty("delimitedText", opened->sheets.delimitedText);
                m_fileLabel->setText(QFileInfo(path).fileName());
                m_fileLabel->setToolTip(path);
                m_fileLabel->setAccessibleName(QFileInfo(path).fileName());
            }
            take(*opened);
        });
}

void TablePage::take(Opened &opened) {
    m_model->setTable(nullptr);
    m_problemModel->setProblems(nullptr, nullptr);
    m_view = std::move(opened.view);
    m_sheetData = std::move(opened.table.sheet);
    m_documentName = opened.table.documentName;
    m_options = opened.options;
    m_placed = std::move(opened.placed);
    m_problems = std::move(opened.problems);
    m_model->setTable(m_view.get());
    m_model->setProblems(&m_problems);
    m_problemModel->setProblems(m_view.get(), &m_problems);
    m_sheet->setCurrentIndex(int(m_sheet->findText(m_sheetData->sheetName, Qt::MatchFixedString)));
    showRoles();
    showProblemCount();
    setBusy(false);
    Q_EMIT tableChanged();
}

void TablePage::showRoles() {
    const int n = m_view ? m_view->columnCount() : 0;
    const Roles &r = m_options.roles;
    const int columns[RoleCount] = {r.longitude, r.latitude, r.name, r.description,
                                    r.category,  r.altitude, r.time};
    for (int i = 0; i < RoleCount; ++i) {
        QComboBox *box = m_roleBoxes[std::size_t(i)];
        box->clear();
        box->addItem(QStringLiteral("(无)"));
        if (m_view)
            box->addItems(m_view->headings());
        if (i == 0)
            box->addItems({LatitudeFirst, LongitudeFirst});
        box->setCurrentIndex(columns[i] + 1);
    }
    if (r.coordinates >= 0) {
        m_roleBoxes[0]->setCurrentIndex(n + (r.latitudeFirst ? 1 : 2));
        m_roleBoxes[1]->setCurrentIndex(r.coordinates + 1);
    }
    m_roleBoxes[1]->setToolTip(r.coordinates >= 0 ? QStringLiteral("两个数所在的坐标列")
                                                  : QString());
}

void TablePage::roleChosen(int changed) {
    if (!m_view)
        return;
    const int n = m_view->columnCount();
    auto columnOf = [&](int box) {
        const int i = m_roleBoxes[std::size_t(box)]->currentIndex();
        return i >= 1 && i <= n ? i - 1 : -1;
    };
    const bool combined = m_roleBoxes[0]->currentIndex() > n;
    const Roles &old = m_options.roles;
    // Both numbers in one cell: the latitude's box names their column.
    if (changed == 0 && combined && columnOf(1) < 0 && old.coordinates >= 0)
        m_roleBoxes[1]->setCurrentIndex(old.coordinates + 1);
    const int kept = changed == 0 && combined ? 1 : changed;
    // Each column has at most one role: the box just chosen keeps it.
    if (const int column = columnOf(kept); column >= 0)
        for (int box = 0; box < RoleCount; ++box)
            if (box != kept && columnOf(box) == column)
                m_roleBoxes[std::size_t(box)]->setCurrentIndex(0);

    Roles r;
    if (m_roleBoxes[0]->currentIndex() > n) {
        r.coordinates = columnOf(1);
        r.latitudeFirst = m_roleBoxes[0]->currentIndex() == n + 1;
    } else {
        r.longitude = columnOf(0);
        r.latitude = columnOf(1);
    }
    r.name = columnOf(2);
    r.description = columnOf(3);
    r.category = columnOf(4);
    r.altitude = columnOf(5);
    r.time = columnOf(6);
    // Once the user has chosen the coordinates, their order is no longer a guess.
    r.orderUncertain = changed >= 2 && old.orderUncertain;
    // The name, description and category make no problem: a change of theirs reads no row.
    const bool rowsChange = r.longitude != old.longitude || r.latitude != old.latitude ||
                            r.coordinates != old.coordinates ||
                            r.latitudeFirst != old.latitudeFirst || r.altitude != old.altitude ||
                            r.time != old.time || r.orderUncertain != old.orderUncertain;
    m_options.roles = r;
    m_roleBoxes[1]->setToolTip(r.coordinates >= 0 ? QStringLiteral("两个数所在的坐标列")
                                                  : QString());
    if (rowsChange)
        refreshProblems();
    Q_EMIT tableChanged();
}

void TablePage::refreshProblems() {
    std::vector<table::PlacedRow> placed;
    std::vector<Problem> problems;
    if (m_view && m_options.roles.hasCoordinates())
        table::placeRows(
            *m_view, m_options, [&](const table::PlacedRow &row) { placed.push_back(row); },
            problems);
    m_placed = std::move(placed);
    m_problemModel->setProblems(nullptr, nullptr);
    m_problems = std::move(problems);
    m_model->setProblems(&m_problems);
    m_problemModel->setProblems(m_view.get(), &m_problems);
    showProblemCount();
    setBusy(busy());
}

void TablePage::showProblemCount() {
    QString text;
    if (m_view && !m_options.roles.hasCoordinates()) {
        text = QStringLiteral("找不到经纬度列");
    } else if (m_view) {
        const qint64 rows = table::rowsWithProblems(m_problems);
        const qint64 all = qint64(m_view->dataRows().size());
        text = rows > 0 ? QStringLiteral("%1 行，%2 行有问题").arg(all).arg(rows)
                        : QStringLiteral("%1 行，没有问题").arg(all);
    }
    m_problemsLabel->setText(text);
    m_problemsLabel->setAccessibleName(text.isEmpty() ? QStringLiteral("问题") : text);
}

void TablePage::problemsClick() {
    if (!m_problemsWindow) {
        m_problemsWindow = new QDialog(this);
        m_problemsWindow->setWindowTitle(QStringLiteral("问题列表"));
        m_problemsWindow->setAccessibleName(QStringLiteral("问题列表"));
        m_problemsView = new QTableView(m_problemsWindow);
        m_problemsView->setAccessibleName(QStringLiteral("问题"));
        m_problemsView->setModel(m_problemModel);
        m_problemsView->setEditTriggers(QAbstractItemView::NoEditTriggers);
        m_problemsView->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_problemsView->verticalHeader()->hide();
        m_problemsView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        m_problemsView->verticalHeader()->setDefaultSectionSize(18);
        m_problemsView->horizontalHeader()->setStretchLastSection(true);
        m_problemsView->setColumnWidth(0, 70);
        m_problemsView->setColumnWidth(2, 130);
        auto *layout = new QVBoxLayout(m_problemsWindow);
        layout->addWidget(m_problemsView);
        m_problemsWindow->resize(520, 300);
        connect(m_problemsView, &QTableView::doubleClicked, this, [this](const QModelIndex &i) {
            if (const Problem *p = m_problemModel->problemAt(i.row()))
                setCurrentSheetRow(p->row - 1);
        });
    }
    m_problemsWindow->show();
    m_problemsWindow->raise();
    m_problemsWindow->activateWindow();
}

void TablePage::saveClick() {
    if (!m_view)
        return;
    if (!m_options.roles.hasCoordinates())
        throw CommandError(QStringLiteral("找不到经纬度列"));
    if (!m_saveDialog.Execute())
        return;
    const QString name = m_saveDialog.FileName;
    // Asked here, on the window's thread, rather than by the save on its own.
    savebackup::settle(name);
    auto result = std::make_shared<table::TableResult>();
    auto saved = std::make_shared<bool>(false);
    start(
        false,
        [name, view = m_view.get(), options = m_options, document = m_documentName, result,
         saved](Job &job) {
            *saved = table::saveTable(name, *view, options, document, *result, [&job](double d) {
                job.permille = int(d * 1000);
                return !job.cancelled;
            });
        },
        [this, result, saved] {
            if (*saved)
                m_host.showMessage(applicationTitle(), savedNotice(*result));
        });
}

void TablePage::cancelClick() {
    if (!m_job)
        return;
    m_job->cancelled = true;
    // A read cannot be stopped: its thread finishes and its table is dropped. A save stops at
    // its next step, the file as it was, and is waited for.
    if (m_job->dropOnCancel) {
        m_job.reset();
        setBusy(false);
    }
}

void TablePage::start(bool dropOnCancel, std::function<void(Job &)> work,
                      std::function<void()> finished) {
    reapThreads();
    auto job = std::make_shared<Job>();
    job->dropOnCancel = dropOnCancel;
    job->finished = std::move(finished);
    std::thread thread([job, work = std::move(work)] {
        try {
            work(*job);
        } catch (...) {
            // Carried to the window's thread, whose guard shows it.
            job->error = std::current_exception();
        }
        job->done = true;
    });
    m_threads.push_back({job, std::move(thread)});
    m_job = job;
    m_elapsed.start();
    m_progress->setRange(0, 0);
    setBusy(true);
    m_timer->start();
}

void TablePage::poll() {
    if (!m_job) {
        m_timer->stop();
        reapThreads();
        return;
    }
    if (!m_job->done) {
        if (m_elapsed.elapsed() >= ProgressAfterMs && m_progressBox->isHidden()) {
            m_problemsButton->hide();
            m_progressBox->show();
        }
        if (const int permille = m_job->permille; permille >= 0) {
            m_progress->setRange(0, 1000);
            m_progress->setValue(permille);
        }
        return;
    }
    const std::shared_ptr<Job> job = std::move(m_job);
    m_timer->stop();
    reapThreads();
    setBusy(false);
    m_guard([&] {
        if (job->error)
            std::rethrow_exception(job->error);
        job->finished();
    });
    if (m_sheetData)
        m_sheet->setCurrentIndex(
            int(m_sheet->findText(m_sheetData->sheetName, Qt::MatchFixedString)));
}

void TablePage::reapThreads() {
    for (auto it = m_threads.begin(); it != m_threads.end();) {
        if (it->job->done) {
            it->thread.join();
            it = m_threads.erase(it);
        } else {
            ++it;
        }
    }
}

void TablePage::mapClick() {
    if (!m_view)
        return;
    if (!m_mapPreview) {
        // A window of its own, closed with the page; it follows the table and the grid's row,
        // and a click on it chooses the grid's row.
        m_mapPreview = new MapPreview(&m_host, this);
        m_mapPreview->resize(900, 650);
        const auto show = [this] {
            m_mapPreview->setTable(m_view.get(), m_options, &m_placed, &m_problems);
        };
        show();
        connect(this, &TablePage::tableChanged, m_mapPreview, show);
        connect(this, &TablePage::currentSheetRowChanged, m_mapPreview,
                &MapPreview::setCurrentSheetRow);
        connect(m_mapPreview, &MapPreview::sheetRowChosen, this, &TablePage::setCurrentSheetRow);
    }
    m_mapPreview->setCurrentSheetRow(currentSheetRow());
    m_mapPreview->show();
    m_mapPreview->raise();
    m_mapPreview->activateWindow();
}

void TablePage::setBusy(bool busy) {
    const bool table = m_view != nullptr;
    m_open->setEnabled(!busy);
    m_sheet->setEnabled(!busy && table && !m_sheet->property("delimitedText").toBool());
    m_datum->setEnabled(!busy && table);
    for (QComboBox *box : m_roleBoxes)
        box->setEnabled(!busy && table);
    m_save->setEnabled(!busy && table);
    m_map->setEnabled(!busy && table);
    m_problemsButton->setEnabled(!busy && !m_problems.empty());
    if (!busy) {
        m_progressBox->hide();
        m_problemsButton->show();
    }
}
