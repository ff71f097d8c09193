// The second thread's helper on both of its paths: where the work runs, what it threw coming out
// of wait(), and the thread joined when the caller leaves by an exception of its own.
#include "common/secondthread.h"

#include <QTest>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

class TestSecondThread : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void runsWhereAsked_data() { paths(); }
    void runsWhereAsked();
    void carriesException_data() { paths(); }
    void carriesException();
    void joinsWhenCallerThrows_data() { paths(); }
    void joinsWhenCallerThrows();

private:
    static void paths();
};

void TestSecondThread::paths() {
    QTest::addColumn<SecondThread::When>("when");
    QTest::addColumn<unsigned>("cores");
    QTest::addColumn<bool>("second");
    QTest::newRow("always, one core") << SecondThread::When::Always << 1u << true;
    QTest::newRow("several cores asked, two") << SecondThread::When::SeveralCores << 2u << true;
    QTest::newRow("several cores asked, one") << SecondThread::When::SeveralCores << 1u << false;
}

void TestSecondThread::runsWhereAsked() {
    QFETCH(SecondThread::When, when);
    QFETCH(unsigned, cores);
    QFETCH(bool, second);
    std::thread::id ranOn;
    SecondThread work([&] { ranOn = std::this_thread::get_id(); }, when, cores);
    QCOMPARE(work.onSecondThread(), second);
    if (!second) // done before the constructor returned
        QCOMPARE(ranOn, std::this_thread::get_id());
    work.wait();
    QCOMPARE(ranOn != std::this_thread::get_id(), second);
}

void TestSecondThread::carriesException() {
    QFETCH(SecondThread::When, when);
    QFETCH(unsigned, cores);
    SecondThread work([] { throw std::runtime_error("second half failed"); }, when, cores);
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, work.wait());
    work.wait(); // thrown once
}

// The caller's own failure leaves the scope while the work still runs: the helper waits for it,
// and the work's failure, never asked for, is dropped.
void TestSecondThread::joinsWhenCallerThrows() {
    QFETCH(SecondThread::When, when);
    QFETCH(unsigned, cores);
    std::atomic<bool> finished{false};
    try {
        SecondThread work(
            [&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                finished = true;
                throw std::logic_error("not asked for");
            },
            when, cores);
        throw std::runtime_error("first half failed");
    } catch (const std::runtime_error &) {
        QVERIFY(finished);
    }
}

QTEST_GUILESS_MAIN(TestSecondThread)
#include "tst_secondthread.moc"
