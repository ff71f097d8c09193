// Qt's standard dialogs behind the DialogHost interface, and the plain notice dialog.
#include "app/dialoghost.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

DialogHost::~DialogHost() = default;

QStringList qtNameFilters(const QString &filter) {
    const QStringList parts = filter.split(u'|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns = QString(parts[i + 1]).replace(u';', u' ');
        const QString &description = parts[i];
        if (description.endsWith(u'(' + patterns + u')'))
            out << description;
        else if (description.endsWith(u'(' + parts[i + 1] + u')')) // "(*.xls;*.xlsx)"
            out << description.chopped(parts[i + 1].size() + 1) + patterns + u')';
        else
            out << description + u" (" + patterns + u')';
    }
    return out;
}

QString defaultSuffix(const FileDialogRequest &request, int filterIndex) {
    QString suffix = request.defaultExt;
    if (suffix.isEmpty())
        return suffix;
    const QStringList parts = request.filter.split(u'|');
    const qsizetype at = 2 * qsizetype(filterIndex) - 1;
    if (filterIndex >= 1 && at < parts.size()) {
        const QString pattern = parts[at].section(u';', 0, 0).trimmed();
        const QString extension = pattern.mid(2);
        if (pattern.startsWith(QLatin1String("*.")) && !extension.isEmpty() &&
            !extension.contains(u'*') && !extension.contains(u'?'))
            suffix = pattern;
    }
    if (suffix.startsWith(QLatin1String("*.")))
        suffix.remove(0, 2);
    return suffix;
}

std::optional<FileDialogAnswer> QtDialogHost::chooseFile(QWidget *owner,
                                                         const FileDialogRequest &request) {
    QFileDialog dialog(owner);
    const bool save = request.kind == FileDialogKind::Save;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
    const QStringList filters = qtNameFilters(request.filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size())
        dialog.selectNameFilter(filters[request.filterIndex - 1]);
    const auto chosenIndex = [&] {
        const qsizetype at = filters.indexOf(dialog.selectedNameFilter());
        return at >= 0 ? int(at) + 1 : request.filterIndex;
    };
    dialog.setDefaultSuffix(defaultSuffix(request, chosenIndex()));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&] { dialog.setDefaultSuffix(defaultSuffix(request, chosenIndex())); });
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return FileDialogAnswer{dialog.selectedFiles().constFirst(), chosenIndex()};
}

PlainMessageDialog::PlainMessageDialog(const QString &caption, const QString &text) {
    setWindowTitle(caption);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(text, this);
    label->setObjectName(QStringLiteral("message"));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    const QScreen *screen = QGuiApplication::primaryScreen();
    const int halfWidth = screen ? screen->availableGeometry().width() / 2 : 640;
    int natural = 0;
    for (const QString &line : text.split(u'\n'))
        natural = qMax(natural, label->fontMetrics().horizontalAdvance(line) + 4);
    label->setFixedWidth(qMin(natural, halfWidth));
    layout->addWidget(label);
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto *row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addStretch();
    layout->addLayout(row);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void PlainMessageDialog::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void QtDialogHost::showMessage(const QString &caption, const QString &text) {
    PlainMessageDialog dialog(caption, text);
    dialog.exec();
}

void QtDialogHost::showError(const QString &caption, const QString &text) {
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok);
    box.exec();
}

bool QtDialogHost::confirm(QWidget *owner, const QString &caption, const QString &text) {
    return QMessageBox::question(owner, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Ok) == QMessageBox::Ok;
}

QString applicationTitle() {
    QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    if (name.isEmpty())
        name = QCoreApplication::applicationName();
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0)
        name.truncate(dot);
    if (name.size() > 1)
        name = name.left(1) + name.mid(1).toLower();
    return name;
}
