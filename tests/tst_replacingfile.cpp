// Saves keep the file what it was apart from its content (owner, group, permission bits, ACLs,
// extended attributes, hard links), whether the new content is renamed over the old file or
// written in place; a failure part way leaves the old content and no file behind, and a
// file-size limit fails the write instead of ending the program. A save in place killed at any
// point leaves the file whole or its old content in a copy beside it, which the next open or
// save settles; a file replaced by another program while a post is saved is left alone; a full
// disk and a read-only file system are named as such.
#include "common/replacingfile.h"
#include "common/savebackup.h"
#include "kml/kmlbuffer.h"
#include "kml/kmldocument.h"
#include "sources/adoquery.h"
#include "sources/workbooksource.h"
#include "workbook/formatregistry.h"
#include "workbooktesting.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace workbooktesting;

namespace {

enum class Saver { Kml, Workbook };
// Users and groups of a shared folder; root can act as them without their being on the system.
constexpr uid_t Owner = 61001, Colleague = 61002;
constexpr gid_t Shared = 61000, OwnerGroup = 61011, ColleagueGroup = 61012;

// New content for path: a KML folder, or a workbook post of a text of that many characters.
void save(Saver saver, const QString &path, int size = 20) {
    if (saver == Saver::Kml) {
        KmlBuffer buffer;
        kml::beginFolder(buffer);
        for (int i = 0; i < size; ++i)
            buffer.Add(kml::folderPlacemarkEntry(u"描述"_qs, u"名"_qs, u"1"_qs, u"2"_qs));
        kml::endFolder(buffer);
        buffer.SaveToFile(path, KmlFileFormat::Utf16);
        return;
    }
    const QByteArray bytes = readFile(path);
    workbook::formatOf(bytes, path)
        .write(path, workbook::fileIdentity(path, bytes),
               {workbook::SheetChange::setCell(1, 2, QString(size, u'改'))});
}

// Runs f in a child process, as another user where asked (root only); the child's exit code,
// or -1 when a signal ended it.
int inChild(const std::function<int()> &f, uid_t uid = 0, gid_t gid = 0) {
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const gid_t groups[] = {Shared};
        if (uid != 0 && (setgroups(1, groups) != 0 || setgid(gid) != 0 || setuid(uid) != 0))
            _exit(3);
        _exit(f());
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

QByteArray attribute(const QString &path, const char *name) {
    QByteArray value(4096, Qt::Uninitialized);
    const ssize_t n = getxattr(QFile::encodeName(path).constData(), name, value.data(), 4096);
    return n < 0 ? QByteArray() : value.left(n);
}

QStringList namesIn(const QString &folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

struct stat statOf(const QString &path) {
    struct stat st {};
    stat(QFile::encodeName(path).constData(), &st);
    return st;
}

// A file to save over, in a folder of its own: the small workbook, or an old KML file.
struct Target {
    QTemporaryDir dir;
    QString path;
    QByteArray before;
    explicit Target(Saver saver, const QString &folder = QString()) {
        QDir(dir.path()).mkpath(folder.isEmpty() ? u"."_qs : folder);
        path = dir.filePath(folder.isEmpty() ? u"file"_qs : folder + u"/file"_qs);
        if (saver == Saver::Workbook)
            QFile::copy(fixture(QStringLiteral("xlwt-mixed.xls")), path);
        else if (QFile f(path); f.open(QIODevice::WriteOnly))
            f.write("old");
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        before = readFile(path);
    }
};

// The saves that the kills stop: a post that makes a workbook shorter (a long description made
// short), a KML and a KMZ export over an old file.
enum class Kind { Workbook, Kml, Kmz };
// What a killed save leaves as the next look finds it.
enum class Found { OldContent, NewContent, Interrupted };
// What the test does at the step where the save is killed, as the save would have gone on.
enum class Damage { None, HalfCopy, HalfRewrite };

void saveOver(Kind kind, const QString &path) {
    if (kind == Kind::Workbook) {
        const QByteArray bytes = readFile(path);
        workbook::formatOf(bytes, path)
            .write(path, workbook::fileIdentity(path, bytes),
                   {workbook::SheetChange::setCell(1, 3, u"短"_qs)});
    } else {
        save(Saver::Kml, path, 200);
    }
}

// Whether the file holds what saveOver writes: the KML document byte for byte, the workbook read
// back with its first point's description made short (the rewritten entry carries its time).
bool holdsSaved(Kind kind, const QString &path, const QByteArray &after) {
    if (kind != Kind::Workbook)
        return readFile(path) == after;
    TADOQuery query;
    workbooksource::openWorkbook(query, path);
    return query.RecordCount() == 4 && query.fieldText(0, 3) == u"短"_qs;
}

// A file with a second name, so that its saves write in place, in a folder of its own.
struct Linked {
    QTemporaryDir dir;
    QString path, other, copy;
    QByteArray before;
    explicit Linked(Kind kind) {
        const QString name = kind == Kind::Workbook ? u"book.xlsx"_qs
                             : kind == Kind::Kml    ? u"points.kml"_qs
                                                    : u"points.kmz"_qs;
        path = dir.filePath(name);
        other = dir.filePath(u"other name"_qs);
        copy = dir.filePath(QString(name).replace(u'.', u".kmlmaker-backup."_qs));
        if (kind == Kind::Workbook)
            QFile::copy(fixture(u"xlsx/openpyxl-shrinking.xlsx"_qs), path);
        else
            writeFile(path, QByteArray(64 * 1024, 'o'));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        before = readFile(path);
        link(QFile::encodeName(path).constData(), QFile::encodeName(other).constData());
    }
    QStringList names() const { return namesIn(dir.path()); }
};

// The content an uninterrupted save of kind writes over a file like t's.
QByteArray savedContent(Kind kind) {
    Linked t(kind);
    saveOver(kind, t.path);
    return readFile(t.path);
}

// Saves over t (through another of its names where asked) in a child that is killed at step,
// after the damage a kill there does.
int killedSave(Kind kind, const Linked &t, ReplacingFile::Step step, Damage damage,
               const QByteArray &after, const QString &through = QString()) {
    return inChild([&] {
        ReplacingFile::setStepHook([&](ReplacingFile::Step reached) {
            if (reached != step)
                return;
            if (damage == Damage::HalfCopy)
                writeFile(t.copy, t.before.left(t.before.size() / 2));
            if (damage == Damage::HalfRewrite) {
                const int fd = open(QFile::encodeName(t.path).constData(), O_WRONLY);
                const QByteArray half = after.left(after.size() / 2);
                if (fd < 0 || pwrite(fd, half.constData(), size_t(half.size()), 0) != half.size())
                    _exit(4);
            }
            raise(SIGKILL);
        });
        saveOver(kind, through.isEmpty() ? t.path : through);
        return 0;
    });
}

// A small file system of a test's own (a child's mount): full before the new content fits, full
// when the new content fits but the copy of the old one a save in place makes does not, or
// read-only.
enum class Disk { Full, FullForTheCopy, ReadOnly };

} // namespace

class TestReplacingFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sharedFolder_data();
    void sharedFolder();
    void hardLinks_data() { savers(); }
    void hardLinks();
    void aclAndAttributes_data() { savers(); }
    void aclAndAttributes();
    void failureUnderSizeLimit_data();
    void failureUnderSizeLimit();
    void inPlaceFailurePutsOldContentBack();
    void killedInPlaceSave_data();
    void killedInPlaceSave();
    void copyOfColleaguesFile();
    void copyOfReplacedFileLeftAlone();
    void copyFoundByEitherName();
    void interruptedSaveSettled_data();
    void interruptedSaveSettled();
    void replacedWhileSaved_data();
    void replacedWhileSaved();
    void diskNamed_data();
    void diskNamed();

private:
    void savers() {
        QTest::addColumn<Saver>("saver");
        QTest::newRow("kml") << Saver::Kml;
        QTest::newRow("workbook") << Saver::Workbook;
    }
};

void TestReplacingFile::sharedFolder_data() {
    QTest::addColumn<Saver>("saver");
    QTest::addColumn<uid_t>("user");
    QTest::addColumn<gid_t>("group");
    QTest::newRow("kml by a colleague") << Saver::Kml << Colleague << ColleagueGroup;
    QTest::newRow("workbook by a colleague") << Saver::Workbook << Colleague << ColleagueGroup;
    QTest::newRow("kml by its owner") << Saver::Kml << Owner << OwnerGroup;
    QTest::newRow("workbook by its owner") << Saver::Workbook << Owner << OwnerGroup;
}

// A file of one user (0660) in a folder of a group (0770) both users belong to, saved by either.
void TestReplacingFile::sharedFolder() {
    QFETCH(Saver, saver);
    QFETCH(uid_t, user);
    QFETCH(gid_t, group);
    if (geteuid() != 0)
        QSKIP("acting as two users needs root");
    Target t(saver, u"shared"_qs);
    const QString folder = QFileInfo(t.path).absolutePath();
    QCOMPARE(chmod(QFile::encodeName(t.dir.path()).constData(), 0711), 0);
    QCOMPARE(chown(QFile::encodeName(folder).constData(), 0, Shared), 0);
    QCOMPARE(chmod(QFile::encodeName(folder).constData(), 0770), 0);
    QCOMPARE(chown(QFile::encodeName(t.path).constData(), Owner, Shared), 0);
    QCOMPARE(chmod(QFile::encodeName(t.path).constData(), 0660), 0);
    const struct stat was = statOf(t.path);

    QCOMPARE(inChild([&] { return save(saver, t.path), 0; }, user, group), 0);
    const struct stat now = statOf(t.path);
    QVERIFY(readFile(t.path) != t.before);
    QCOMPARE(now.st_uid, Owner);
    QCOMPARE(now.st_gid, Shared);
    QCOMPARE(now.st_mode, was.st_mode);
    QCOMPARE(namesIn(folder), QStringList{u"file"_qs});
    const QByteArray saved = readFile(t.path);
    QCOMPARE(inChild([&] { return readFile(t.path) == saved ? 0 : 1; }, Owner, OwnerGroup), 0);
}

// Every name of a file with two shows the new content: the file is written in place.
void TestReplacingFile::hardLinks() {
    QFETCH(Saver, saver);
    Target t(saver);
    const QString other = t.dir.filePath(QStringLiteral("other name"));
    QVERIFY(link(QFile::encodeName(t.path).constData(), QFile::encodeName(other).constData()) == 0);
    const ino_t inode = statOf(t.path).st_ino;
    save(saver, other);
    QVERIFY(readFile(t.path) != t.before);
    QCOMPARE(readFile(other), readFile(t.path));
    QCOMPARE(statOf(t.path).st_ino, inode);
    QCOMPARE(statOf(t.path).st_nlink, nlink_t(2));
    QCOMPARE(namesIn(t.dir.path()), (QStringList{u"file"_qs, u"other name"_qs}));
}

// A file with an ACL (a named user) and a user attribute keeps both and its permission bits.
void TestReplacingFile::aclAndAttributes() {
    QFETCH(Saver, saver);
    Target t(saver);
    const QByteArray name = QFile::encodeName(t.path);
    // The POSIX ACL as the kernel stores it: a version, then (tag, permissions, id) entries.
    QByteArray acl;
    auto put = [&acl](quint32 v, int bytes) { acl.append(reinterpret_cast<char *>(&v), bytes); };
    put(2, 4);
    for (const auto &[tag, perm, id] :
         {std::tuple{1, 6, ~0u}, {2, 6, 1234u}, {4, 4, ~0u}, {0x10, 6, ~0u}, {0x20, 0, ~0u}})
        put(tag, 2), put(perm, 2), put(id, 4);
    if (setxattr(name.constData(), "user.kmlmaker.test", "kept", 4, 0) != 0 ||
        setxattr(name.constData(), "system.posix_acl_access", acl.constData(), acl.size(), 0) != 0)
        QSKIP("this file system keeps no extended attributes or ACLs");
    const struct stat was = statOf(t.path);
    const QByteArray aclBefore = attribute(t.path, "system.posix_acl_access");

    save(saver, t.path);
    QVERIFY(readFile(t.path) != t.before);
    QCOMPARE(attribute(t.path, "user.kmlmaker.test"), QByteArray("kept"));
    QCOMPARE(attribute(t.path, "system.posix_acl_access"), aclBefore);
    QCOMPARE(statOf(t.path).st_mode, was.st_mode);
    QCOMPARE(namesIn(t.dir.path()), QStringList{u"file"_qs});
}

void TestReplacingFile::failureUnderSizeLimit_data() {
    QTest::addColumn<Saver>("saver");
    QTest::addColumn<bool>("linked"); // a second name makes the save write in place
    QTest::newRow("kml, renamed") << Saver::Kml << false;
    QTest::newRow("kml, in place") << Saver::Kml << true;
    QTest::newRow("workbook, renamed") << Saver::Workbook << false;
    QTest::newRow("workbook, in place") << Saver::Workbook << true;
}

// Under a file-size limit, with SIGXFSZ at its default, in a child: the write fails as on a
// full disk, the old content stays, and no file is left beside it.
void TestReplacingFile::failureUnderSizeLimit() {
    QFETCH(Saver, saver);
    QFETCH(bool, linked);
    Target t(saver);
    const QString other = t.dir.filePath(QStringLiteral("other name"));
    if (linked)
        QCOMPARE(link(QFile::encodeName(t.path).constData(), QFile::encodeName(other).constData()),
                 0);
    const QString expected = u"Stream write error"_qs;
    const int code = inChild([&] {
        std::signal(SIGXFSZ, SIG_DFL);
        struct rlimit limit {};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = rlim_t(t.before.size() + 4096);
        setrlimit(RLIMIT_FSIZE, &limit);
        const QString message = errorOf([&] { save(saver, t.path, 30000); });
        if (message != expected)
            std::fprintf(stderr, "%s\n", qPrintable(message));
        return message == expected ? 0 : 1;
    });
    QCOMPARE(code, 0);
    QCOMPARE(readFile(t.path), t.before);
    const QStringList names =
        linked ? QStringList{u"file"_qs, u"other name"_qs} : QStringList{u"file"_qs};
    QCOMPARE(namesIn(t.dir.path()), names);
}

// The rewrite in place fails part way (the limit falls between writing the new content and
// putting it in place): the old content comes back from its copy, byte for byte.
void TestReplacingFile::inPlaceFailurePutsOldContentBack() {
    Target t(Saver::Workbook);
    const QString other = t.dir.filePath(QStringLiteral("other name"));
    QCOMPARE(link(QFile::encodeName(t.path).constData(), QFile::encodeName(other).constData()), 0);
    const int code = inChild([&] {
        ReplacingFile file(other, ".tmp", ReplacingFile::Durability::Flushed);
        const QByteArray content(64 * 1024, 'n');
        if (!file.inPlace() || !file.write(content.constData(), content.size()) || !file.close())
            return 2;
        struct rlimit limit {};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = rlim_t(t.before.size() + 4096);
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool committed = file.commit();
        const QString note = u". The old content of \"%1\" was put back"_qs.arg(other);
        return !committed && errno == EFBIG && file.failureNote() == note ? 0 : 1;
    });
    QCOMPARE(code, 0);
    QCOMPARE(readFile(t.path), t.before);
    QCOMPARE(namesIn(t.dir.path()), (QStringList{u"file"_qs, u"other name"_qs}));
}

void TestReplacingFile::killedInPlaceSave_data() {
    using Step = ReplacingFile::Step;
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<Step>("step");
    QTest::addColumn<Damage>("damage");
    QTest::addColumn<Found>("found");
    const auto rows = [](const char *name, Kind kind) {
        const auto row = [name](const char *when) -> QTestData & {
            return QTest::newRow(QByteArray(QByteArray(name) + ", " + when).constData());
        };
        row("as the copy begins") << kind << Step::CopyBegun << Damage::None << Found::OldContent;
        row("half way through the copy")
            << kind << Step::CopyBegun << Damage::HalfCopy << Found::OldContent;
        row("with the copy made") << kind << Step::CopyKept << Damage::None << Found::OldContent;
        row("half way through the rewrite")
            << kind << Step::CopyKept << Damage::HalfRewrite << Found::Interrupted;
        row("after the cut") << kind << Step::Truncated << Damage::None << Found::NewContent;
    };
    rows("workbook", Kind::Workbook);
    // The new content is shorter: the old one's end is still there.
    QTest::newRow("workbook, before the cut")
        << Kind::Workbook << Step::ContentWritten << Damage::None << Found::Interrupted;
    rows("kml", Kind::Kml);
    rows("kmz", Kind::Kmz);
}

// A save in place killed at each point: the file is whole, or its old content is in the copy
// beside it, readable; the next look removes the copy of a whole file, and puts back the old
// content of one neither old nor new, every name of it.
void TestReplacingFile::killedInPlaceSave() {
    QFETCH(Kind, kind);
    QFETCH(ReplacingFile::Step, step);
    QFETCH(Damage, damage);
    QFETCH(Found, found);
    const QByteArray after = savedContent(kind);
    QVERIFY(after != Linked(kind).before);
    Linked t(kind);
    const ino_t inode = statOf(t.path).st_ino;

    QCOMPARE(killedSave(kind, t, step, damage, after), -1);
    QVERIFY(QFileInfo::exists(t.copy));
    if (step != ReplacingFile::Step::CopyBegun)
        QCOMPARE(readFile(t.copy), t.before);

    const std::optional<savebackup::Interrupted> interrupted = savebackup::find(t.path);
    QCOMPARE(interrupted.has_value(), found == Found::Interrupted);
    if (interrupted) {
        QCOMPARE(interrupted->file, native(t.path));
        QCOMPARE(interrupted->copy, t.copy);
        QVERIFY(readFile(t.path) != t.before);
        QVERIFY(readFile(t.path) != after);
        savebackup::restore(*interrupted);
    }
    if (found == Found::NewContent)
        QVERIFY(holdsSaved(kind, t.path, after));
    else
        QCOMPARE(readFile(t.path), t.before);
    QCOMPARE(readFile(t.other), readFile(t.path));
    QCOMPARE(statOf(t.path).st_ino, inode);
    const QString name = QFileInfo(t.path).fileName();
    QStringList names{u"other name"_qs, name};
    names.sort();
    QCOMPARE(t.names(), names);
    QVERIFY(!savebackup::find(t.path));
}

// A colleague's save of the owner's file in a shared folder, killed with the copy made: the
// owner can read the copy, and the owner's next look removes it.
void TestReplacingFile::copyOfColleaguesFile() {
    if (geteuid() != 0)
        QSKIP("acting as two users needs root");
    Target t(Saver::Workbook, u"shared"_qs);
    const QString folder = QFileInfo(t.path).absolutePath();
    QCOMPARE(chmod(QFile::encodeName(t.dir.path()).constData(), 0711), 0);
    QCOMPARE(chown(QFile::encodeName(folder).constData(), 0, Shared), 0);
    QCOMPARE(chmod(QFile::encodeName(folder).constData(), 0770), 0);
    QCOMPARE(chown(QFile::encodeName(t.path).constData(), Owner, Shared), 0);
    QCOMPARE(chmod(QFile::encodeName(t.path).constData(), 0660), 0);
    const QString copy = t.path + u".kmlmaker-backup"_qs;

    const int code = inChild(
        [&] {
            ReplacingFile::setStepHook([](ReplacingFile::Step step) {
                if (step == ReplacingFile::Step::CopyKept)
                    raise(SIGKILL);
            });
            save(Saver::Workbook, t.path);
            return 0;
        },
        Colleague, ColleagueGroup);
    QCOMPARE(code, -1);
    QCOMPARE(statOf(copy).st_uid, Colleague);
    QCOMPARE(inChild([&] { return readFile(copy) == t.before ? 0 : 1; }, Owner, OwnerGroup), 0);
    QCOMPARE(inChild([&] { return savebackup::find(t.path) ? 1 : 0; }, Owner, OwnerGroup), 0);
    QCOMPARE(namesIn(folder), QStringList{u"file"_qs});
    QCOMPARE(readFile(t.path), t.before);
}

// A file that another program replaced by a rename after a killed save: the copy backs the old
// file, which its second name still holds, not the new one, and is left alone.
void TestReplacingFile::copyOfReplacedFileLeftAlone() {
    const QByteArray after = savedContent(Kind::Workbook);
    Linked t(Kind::Workbook);
    QCOMPARE(
        killedSave(Kind::Workbook, t, ReplacingFile::Step::CopyKept, Damage::HalfRewrite, after),
        -1);
    const QString theirs = t.dir.filePath(u"their file"_qs);
    QVERIFY(writeFile(theirs, "their workbook"));
    QCOMPARE(rename(QFile::encodeName(theirs).constData(), QFile::encodeName(t.path).constData()),
             0);
    QVERIFY(!savebackup::find(t.path));
    QCOMPARE(readFile(t.copy), t.before);
    QCOMPARE(readFile(t.path), QByteArray("their workbook"));
}

// A save through the file's other name killed half way through the rewrite: its copy is named
// after that name, and a look by the first name finds it all the same.
void TestReplacingFile::copyFoundByEitherName() {
    const QByteArray after = savedContent(Kind::Workbook);
    Linked t(Kind::Workbook);
    QCOMPARE(killedSave(Kind::Workbook, t, ReplacingFile::Step::CopyKept, Damage::HalfRewrite,
                        after, t.other),
             -1);
    const QString copy = t.other + u".kmlmaker-backup"_qs;
    QCOMPARE(readFile(copy), t.before);
    const std::optional<savebackup::Interrupted> found = savebackup::find(t.path);
    QVERIFY(found);
    QCOMPARE(found->copy, copy);
    savebackup::restore(*found);
    QCOMPARE(readFile(t.other), t.before);
    QCOMPARE(t.names(), (QStringList{u"book.xlsx"_qs, u"other name"_qs}));
}

void TestReplacingFile::interruptedSaveSettled_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("putBack");
    QTest::newRow("open, put back") << Kind::Workbook << u"open"_qs << true;
    QTest::newRow("open, left") << Kind::Workbook << u"open"_qs << false;
    QTest::newRow("post, put back") << Kind::Workbook << u"post"_qs << true;
    QTest::newRow("post, left") << Kind::Workbook << u"post"_qs << false;
    QTest::newRow("kml export, put back") << Kind::Kml << u"save"_qs << true;
    QTest::newRow("kmz export, left") << Kind::Kmz << u"save"_qs << false;
}

// A file that a killed save left neither old nor new, opened, posted into or saved over: the
// question names both files; yes puts the old content back and the command goes on, no ends it
// with the message, both files as they were.
void TestReplacingFile::interruptedSaveSettled() {
    QFETCH(Kind, kind);
    QFETCH(QString, command);
    QFETCH(bool, putBack);
    const QByteArray after = savedContent(kind);
    Linked t(kind);
    QCOMPARE(killedSave(kind, t, ReplacingFile::Step::CopyKept, Damage::HalfRewrite, after), -1);
    const QByteArray torn = readFile(t.path);
    const savebackup::Interrupted expected{native(t.path), t.copy};

    QList<savebackup::Interrupted> asked;
    savebackup::setQuestion([&](const savebackup::Interrupted &found) {
        asked << found;
        return putBack;
    });
    TADOQuery query;
    const QString message = errorOf([&] {
        if (command == u"open")
            workbooksource::openWorkbook(query, t.path);
        else if (command == u"post")
            workbook::formatOf(t.before, t.path)
                .write(t.path, workbook::fileIdentity(t.path, t.before),
                       {workbook::SheetChange::setCell(1, 3, u"短"_qs)});
        else
            saveOver(kind, t.path);
    });
    savebackup::setQuestion(nullptr);

    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked[0].file, expected.file);
    QCOMPARE(asked[0].copy, expected.copy);
    if (!putBack) {
        QCOMPARE(message, savebackup::interruptedMessage(expected));
        QCOMPARE(message, u"The file \"%1\" is incomplete: a save into it was interrupted. Its "
                          "old content is kept in \"%2\""_qs.arg(native(t.path), t.copy));
        QCOMPARE(readFile(t.path), torn);
        QCOMPARE(readFile(t.copy), t.before);
        return;
    }
    QCOMPARE(message, QString());
    QVERIFY(!QFileInfo::exists(t.copy));
    if (command == u"open") {
        QCOMPARE(readFile(t.path), t.before);
        QCOMPARE(query.RecordCount(), 4);
    } else {
        QVERIFY(holdsSaved(kind, t.path, after));
    }
}

void TestReplacingFile::replacedWhileSaved_data() {
    using Step = ReplacingFile::Step;
    QTest::addColumn<QString>("fixtureName");
    QTest::addColumn<bool>("linked");   // saved in place
    QTest::addColumn<bool>("byRename"); // the other program replaces the file, else rewrites it
    QTest::addColumn<Step>("step");
    QTest::newRow("xlsx, replaced")
        << u"xlsx/libreoffice-plain.xlsx"_qs << false << true << Step::Closed;
    QTest::newRow("xlsx, rewritten")
        << u"xlsx/libreoffice-plain.xlsx"_qs << false << false << Step::Closed;
    QTest::newRow("xlsx in place, replaced")
        << u"xlsx/libreoffice-plain.xlsx"_qs << true << true << Step::Closed;
    QTest::newRow("xlsx in place, rewritten while copied")
        << u"xlsx/libreoffice-plain.xlsx"_qs << true << false << Step::CopyBegun;
    QTest::newRow("xls, replaced") << u"xlwt-mixed.xls"_qs << false << true << Step::Closed;
    QTest::newRow("ods in place, replaced")
        << u"ods/libreoffice-plain.ods"_qs << true << true << Step::Closed;
}

// Another program replaces or rewrites the workbook at the last moment of a post, after the
// post's first look: the post is refused as changed on disk and the other program's file stays,
// with nothing beside it.
void TestReplacingFile::replacedWhileSaved() {
    QFETCH(QString, fixtureName);
    QFETCH(bool, linked);
    QFETCH(bool, byRename);
    QFETCH(ReplacingFile::Step, step);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"book."_qs + QFileInfo(fixtureName).suffix());
    QVERIFY(QFile::copy(fixture(fixtureName), path));
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    const QString other = dir.filePath(u"other name"_qs);
    if (linked)
        QCOMPARE(link(QFile::encodeName(path).constData(), QFile::encodeName(other).constData()),
                 0);
    const QByteArray before = readFile(path);
    const QByteArray theirs = before + "their change";

    bool replaced = false;
    ReplacingFile::setStepHook([&](ReplacingFile::Step reached) {
        if (reached != step || replaced)
            return;
        replaced = true;
        if (byRename) {
            const QString made = dir.filePath(u"their new file"_qs);
            writeFile(made, theirs);
            rename(QFile::encodeName(made).constData(), QFile::encodeName(path).constData());
        } else {
            writeFile(path, theirs);
        }
    });
    const QString message = errorOf([&] {
        workbook::formatOf(before, path)
            .write(path, workbook::fileIdentity(path, before),
                   {workbook::SheetChange::setCell(1, 1, 2.5)});
    });
    ReplacingFile::setStepHook(nullptr);

    QCOMPARE(message, u"The workbook \"%1\" was changed by another program since it was opened "
                      "or last refreshed. Refresh the data, then make the change again"_qs.arg(
                          native(path)));
    QCOMPARE(readFile(path), theirs);
    QStringList names{QFileInfo(path).fileName()};
    if (linked)
        names << u"other name"_qs;
    names.sort();
    QCOMPARE(namesIn(dir.path()), names);
}

void TestReplacingFile::diskNamed_data() {
    QTest::addColumn<QString>("fixtureName"); // empty for a KML export
    QTest::addColumn<Disk>("disk");
    QTest::addColumn<QString>("expected");
    const QString full = u"Stream write error. No space left on device"_qs;
    const QString readOnly = u"Cannot create file \"%1\". Read-only file system"_qs;
    QTest::newRow("xlsx post, disk full")
        << u"xlsx/libreoffice-plain.xlsx"_qs << Disk::Full << full;
    QTest::newRow("xls post, disk full") << u"xlwt-rows2000.xls"_qs << Disk::Full << full;
    QTest::newRow("ods post, disk full") << u"ods/libreoffice-plain.ods"_qs << Disk::Full << full;
    QTest::newRow("xlsx post in place, disk full for the copy")
        << u"xlsx/libreoffice-plain.xlsx"_qs << Disk::FullForTheCopy << full;
    QTest::newRow("kml export, disk full") << QString() << Disk::Full << full;
    QTest::newRow("kml export, read-only") << QString() << Disk::ReadOnly << readOnly;
    QTest::newRow("xlsx post, read-only")
        << u"xlsx/libreoffice-plain.xlsx"_qs << Disk::ReadOnly << readOnly;
}

// A save onto a full disk or a read-only file system says so in the system's words, within the
// program's own message; the old file stays as it was and nothing is left beside it.
void TestReplacingFile::diskNamed() {
    QFETCH(QString, fixtureName);
    QFETCH(Disk, disk);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString mount = dir.filePath(u"disk"_qs);
    QVERIFY(QDir().mkpath(mount));
    const QString path = QDir(mount).filePath(
        fixtureName.isEmpty() ? u"points.kml"_qs : u"book."_qs + QFileInfo(fixtureName).suffix());
    const QString other = QDir(mount).filePath(u"other name"_qs);
    const QByteArray before =
        fixtureName.isEmpty() ? QByteArray("old") : readFile(fixture(fixtureName));

    const int code = inChild([&] {
        const QByteArray at = QFile::encodeName(mount);
        // Room for the old file (and the new one, for the copy) and one page more.
        const int pages = before.size() / 4096 + 1;
        const int room = disk == Disk::FullForTheCopy ? 2 * pages + 1 : pages + 1;
        const QByteArray size = "size=" + QByteArray::number(room * 4096);
        if (unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", at.constData(), "tmpfs", 0, size.constData()) != 0)
            return 77;
        if (!writeFile(path, before) ||
            (disk == Disk::FullForTheCopy && link(QFile::encodeName(path).constData(),
                                                  QFile::encodeName(other).constData()) != 0) ||
            (disk == Disk::ReadOnly &&
             ::mount(nullptr, at.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) != 0))
            return 2;
        const QString message = errorOf([&] {
            if (fixtureName.isEmpty())
                save(Saver::Kml, path, 20000);
            else
                workbook::formatOf(before, path)
                    .write(path, workbook::fileIdentity(path, before),
                           {workbook::SheetChange::setCell(5, 2, QString(2000, u'改'))});
        });
        const QString want = expected.contains(u"%1") ? expected.arg(native(path)) : expected;
        if (message != want)
            std::fprintf(stderr, "%s\n", qPrintable(message));
        QStringList names{QFileInfo(path).fileName()};
        if (disk == Disk::FullForTheCopy)
            names = QStringList{names[0], u"other name"_qs};
        return message == want && readFile(path) == before && namesIn(mount) == names ? 0 : 1;
    });
    if (code == 77)
        QSKIP("a file system of the test's own needs root");
    QCOMPARE(code, 0);
}

QTEST_GUILESS_MAIN(TestReplacingFile)
#include "tst_replacingfile.moc"
