// Benchmark of the text-list commands on a long list, run by hand (bench/compare-textlist.sh runs
// it next to ogr2ogr):
//   bench_textlist generate DIR [N]   writes DIR/list.txt (N lines, default 1,000,000) and
//                                     DIR/points.csv, the same points for ogr2ogr
//   bench_textlist steps DIR [RUNS]   the buttons' code: decoding the file into the list text,
//                                     cutting the lines into the folder document, writing it
//   bench_textlist limit DIR [RUNS]   the physical limit: the same bytes built in one pre-sized
//                                     buffer and written with one call
//   bench_textlist formats DIR [RUNS] the save (building and writing) in each file format:
//                                     UTF-16 KML, UTF-8 KML and KMZ, taking turns in each run
// Each step prints the median of RUNS runs (default 5) and the process's peak memory.
#include "kml/kmlbuffer.h"
#include "sources/textlist.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

double peakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Wall time, and the processor time spent in the program and in the kernel on its behalf.
struct Sample {
    double wall = 0;
    double user = 0;
    double system = 0;
};

Sample operator+(const Sample &a, const Sample &b) {
    return {a.wall + b.wall, a.user + b.user, a.system + b.system};
}

std::vector<double> wallOf(const std::vector<Sample> &samples) {
    std::vector<double> wall;
    for (const Sample &s : samples)
        wall.push_back(s.wall);
    return wall;
}

void report(const char *step, const std::vector<Sample> &samples) {
    std::vector<double> wall, user, system;
    for (const Sample &s : samples) {
        wall.push_back(s.wall);
        user.push_back(s.user);
        system.push_back(s.system);
    }
    std::printf("%-8s median %8.1f ms (user %6.1f, system %6.1f)  runs:", step, median(wall),
                median(user), median(system));
    for (double m : wall)
        std::printf(" %.0f", m);
    std::printf("\n");
}

// Reports building and writing, and the two together as the save.
std::vector<Sample> reportSave(const std::vector<Sample> &build, const std::vector<Sample> &write) {
    report("build", build);
    report("write", write);
    std::vector<Sample> save(build.size());
    for (size_t r = 0; r < save.size(); ++r)
        save[r] = build[r] + write[r];
    report("save", save);
    return save;
}

// A point list as users keep them: Chinese and ASCII names, coordinates of China, descriptions
// of about fifty characters, a third of them with some HTML (well-formed, so the values reach
// the file unchanged and the limit below builds the very same bytes).
void generate(const QString &dir, qsizetype n) {
    QRandomGenerator rng(20240611);
    const char16_t *places[] = {u"北京站", u"上海浦东", u"紫禁城", u"西湖", u"黄山风景区"};
    const char16_t *words[] = {u"中国古代帝王宫殿，位于中国北京市", u"新兴的中国大都市",
                               u"historic site, open daily", u"观景台与游客中心",
                               u"river crossing and ferry pier"};
    QByteArray list;
    QByteArray csv("Name,Description,longitude,latitude\n");
    list.reserve(n * 100);
    csv.reserve(n * 110);
    for (qsizetype i = 0; i < n; ++i) {
        QString name = i % 2 ? QString::fromUtf16(places[i % 5]) + QString::number(i)
                             : QStringLiteral("Station %1").arg(i);
        const QString x = QString::number(73 + rng.bounded(62.0), 'f', 7);
        const QString y = QString::number(18 + rng.bounded(35.0), 'f', 8);
        QString d = QString::fromUtf16(words[rng.bounded(5)]);
        switch (i % 6) {
        case 0:
            d = u"<b>" + d + u"</b><br/>编号 " + QString::number(i);
            break;
        case 1:
            d = u"<a href=\"http://example.com/p/" + QString::number(i) + u"\">详情</a> " + d;
            break;
        case 2:
            d += u" &amp; 开放时间 8:00-17:00";
            break;
        default:
            d += u"，编号" + QString::number(i) + u"，欢迎参观";
            break;
        }
        list += (name + u'(' + x + u',' + y + u')' + d + u'\n').toUtf8();
        QString quoted = d;
        quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        csv += (name + u",\"" + quoted + u"\"," + x + u',' + y + u'\n').toUtf8();
    }
    QFile a(dir + u"/list.txt");
    QFile b(dir + u"/points.csv");
    if (!a.open(QIODevice::WriteOnly) || !b.open(QIODevice::WriteOnly) ||
        a.write(list) != list.size() || b.write(csv) != csv.size()) {
        std::fprintf(stderr, "cannot write to %s\n", qPrintable(dir));
        std::exit(1);
    }
    std::printf("%lld lines, list.txt %.1f MiB, points.csv %.1f MiB\n", (long long)n,
                list.size() / 1048576.0, csv.size() / 1048576.0);
}

// Every write makes a new file, as ogr2ogr does, from a page cache with nothing left to flush.
// (Replacing an existing file costs the kernel some 0.4 s more for 600 MiB, whoever writes it:
// ext4 flushes the new data when it replaces a file, and drops the old file's pages.)
void freshStart(const QString &file) {
    QFile::remove(file);
    ::sync();
}

double milliseconds(const timeval &t) {
    return t.tv_sec * 1e3 + t.tv_usec / 1e3;
}

Sample timed(const std::function<void()> &f) {
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    QElapsedTimer t;
    t.start();
    f();
    const double wall = double(t.nsecsElapsed()) / 1e6;
    getrusage(RUSAGE_SELF, &after);
    return {wall, milliseconds(after.ru_utime) - milliseconds(before.ru_utime),
            milliseconds(after.ru_stime) - milliseconds(before.ru_stime)};
}

void steps(const QString &dir, int runs) {
    const QString in = dir + u"/list.txt";
    const QString out = dir + u"/out.kml";
    std::vector<Sample> decode, build, write;
    KmlBuffer buffer;
    QString list;
    for (int r = 0; r < runs; ++r) {
        list.clear();
        buffer.Clear();
        decode.push_back(timed([&] { list = textlist::readFile(in); }));
        build.push_back(timed([&] { textlist::fillFolder(buffer, list); }));
        freshStart(out);
        write.push_back(timed([&] { buffer.SaveToFile(out, KmlFileFormat::Utf16); }));
    }
    std::printf("%lld lines, list %.1f MiB of UTF-16, KML %.1f MiB\n",
                (long long)buffer.count() - 3, list.size() * 2 / 1048576.0,
                QFile(out).size() / 1048576.0);
    report("decode", decode);
    const std::vector<Sample> save = reportSave(build, write);
    std::printf("peak memory %.0f MiB (%.2f x the KML)\n", peakMiB(),
                peakMiB() * 1048576.0 / double(QFile(out).size()));
    std::printf("RESULT steps decode=%.1f build=%.1f write=%.1f save=%.1f peak=%.1f kml=%.1f\n",
                median(wallOf(decode)), median(wallOf(build)), median(wallOf(write)),
                median(wallOf(save)), peakMiB(), QFile(out).size() / 1048576.0);
}

// The folder document's bytes written without a check, a copy or a second buffer: the values
// are cut as the list's rule cuts them and copied once into a buffer of the exact size.
void limit(const QString &dir, int runs) {
    const QString list = textlist::readFile(dir + u"/list.txt");
    const QString out = dir + u"/limit.kml";
    const QString start = QStringLiteral("<kml xmlns=\"http://earth.google.com/kml/2.0\">\r\n"
                                         "<Folder>\r\n");
    const QString end = QStringLiteral("</Folder></kml>\r\n");
    static const char16_t a[] = u"<Placemark><description>";
    static const char16_t b[] = u"</description><name>";
    static const char16_t c[] = u"</name><LookAt><longitude>";
    static const char16_t d[] = u"</longitude><latitude>";
    static const char16_t e[] =
        u"</latitude><range>20000</range><tilt>0</tilt><heading>3</heading></LookAt><Point>"
        u"<coordinates>";
    static const char16_t f[] = u",0</coordinates></Point></Placemark>\r\n";
    const qsizetype fixed = std::size(a) + std::size(b) + std::size(c) + std::size(d) +
                            std::size(e) + std::size(f) - 6 +
                            1; // the one "," between longitude and latitude

    std::vector<Sample> build, write;
    std::unique_ptr<char16_t[]> bytes;
    qsizetype units = 0;
    for (int r = 0; r < runs; ++r) {
        bytes.reset();
        build.push_back(timed([&] {
            units = 1 + start.size() + end.size();
            textlist::forEachLine(list, [&](QStringView line) {
                const textlist::Pieces p = textlist::cutLine(line);
                units += fixed + p.description.size() + p.name.size() +
                         2 * (p.longitude.size() + p.latitude.size());
            });
            bytes.reset(new char16_t[size_t(units)]); // as it comes: no pass to zero it
            char16_t *o = bytes.get();
            auto put = [&o](const char16_t *s, qsizetype n) {
                std::memcpy(o, s, size_t(n) * 2);
                o += n;
            };
            auto putView = [&put](QStringView v) { put(v.utf16(), v.size()); };
            *o++ = 0xFEFF;
            putView(start);
            textlist::forEachLine(list, [&](QStringView line) {
                const textlist::Pieces p = textlist::cutLine(line);
                put(a, std::size(a) - 1);
                putView(p.description);
                put(b, std::size(b) - 1);
                putView(p.name);
                put(c, std::size(c) - 1);
                putView(p.longitude);
                put(d, std::size(d) - 1);
                putView(p.latitude);
                put(e, std::size(e) - 1);
                putView(p.longitude);
                *o++ = u',';
                putView(p.latitude);
                put(f, std::size(f) - 1);
            });
            putView(end);
        }));
        freshStart(out);
        write.push_back(timed([&] {
            const int fd = ::open(QFile::encodeName(out).constData(),
                                  O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            const ssize_t n = ::write(fd, bytes.get(), size_t(units) * 2);
            ::close(fd);
            if (n != ssize_t(units * 2))
                std::fprintf(stderr, "short write\n");
        }));
    }
    const std::vector<Sample> save = reportSave(build, write);
    QFile ours(dir + u"/out.kml");
    if (ours.open(QIODevice::ReadOnly)) {
        const QByteArray same = ours.readAll();
        const bool equal = same.size() == units * 2 &&
                           std::memcmp(same.constData(), bytes.get(), size_t(same.size())) == 0;
        std::printf("bytes %s out.kml\n", equal ? "equal to" : "DIFFER from");
    }
    std::printf("peak memory %.0f MiB\n", peakMiB());
    std::printf("RESULT limit build=%.1f write=%.1f save=%.1f\n", median(wallOf(build)),
                median(wallOf(write)), median(wallOf(save)));
}

// The three file formats take turns, so a busy machine slows them alike; each save builds the
// document anew, as the button does. Building is the same for all three: the writing is where
// they differ.
void formats(const QString &dir, int runs) {
    struct Format {
        const char *name;
        KmlFileFormat format;
        const char16_t *file;
        std::vector<Sample> build, write, save;
        qint64 size = 0;
    };
    Format all[] = {{"utf16", KmlFileFormat::Utf16, u"/out.kml", {}, {}, {}},
                    {"utf8", KmlFileFormat::Utf8, u"/out-utf8.kml", {}, {}, {}},
                    {"kmz", KmlFileFormat::Kmz, u"/out.kmz", {}, {}, {}}};
    const QString list = textlist::readFile(dir + u"/list.txt");
    KmlBuffer buffer;
    for (int r = 0; r < runs; ++r) {
        for (Format &f : all) {
            const QString out = dir + QString::fromUtf16(f.file);
            buffer.Clear();
            freshStart(out);
            f.build.push_back(timed([&] { textlist::fillFolder(buffer, list); }));
            f.write.push_back(timed([&] { buffer.SaveToFile(out, f.format); }));
            f.save.push_back(f.build.back() + f.write.back());
            f.size = QFile(out).size();
        }
    }
    for (const Format &f : all) {
        std::printf("%s, %.1f MiB\n", f.name, f.size / 1048576.0);
        report("build", f.build);
        report("write", f.write);
        report("save", f.save);
    }
    const auto med = [](const std::vector<Sample> &s) { return median(wallOf(s)); };
    std::printf("RESULT formats utf16=%.1f utf8=%.1f kmz=%.1f utf8ratio=%.2f kmzratio=%.2f "
                "utf16write=%.1f utf8write=%.1f kmzwrite=%.1f\n",
                med(all[0].save), med(all[1].save), med(all[2].save),
                med(all[1].save) / med(all[0].save), med(all[2].save) / med(all[0].save),
                med(all[0].write), med(all[1].write), med(all[2].write));
    std::printf("peak memory %.0f MiB\n", peakMiB());
}

} // namespace

int main(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: %s generate|steps|limit|formats DIR [N|RUNS]\n", argv[0]);
        return 2;
    }
    const QString &mode = args[1];
    const QString &dir = args[2];
    if (mode == u"generate")
        generate(dir, args.size() > 3 ? args[3].toLongLong() : 1000000);
    else if (mode == u"steps")
        steps(dir, args.size() > 3 ? args[3].toInt() : 5);
    else if (mode == u"limit")
        limit(dir, args.size() > 3 ? args[3].toInt() : 5);
    else if (mode == u"formats")
        formats(dir, args.size() > 3 ? args[3].toInt() : 5);
    else
        return 2;
    return 0;
}
