// The converter button of the first page: what it writes into "long" and "lat", what it leaves
// when a text is bad, and which decimal separator it uses.
#include "app/unit1.h"
#include "common/commanderror.h"
#include "common/numtext.h"
#include "common/softextended.h"
#include "coords/dms.h"
#include "fakedialoghost.h"
#include "sources/adoquery.h"

#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QLocale>
#include <QTest>
#include <QToolButton>
#include <cmath>

class TestPage1Dms : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void converts_data();
    void converts();
    void errors_data();
    void errors();
    void usesCommaSeparator();
    void separatorReadAtStartAndOnLocaleChange();
#if KMLMAKER_X87_LONG_DOUBLE
    void convertsPathsAgree_data() {
        converts_data();
    }
    void convertsPathsAgree() {
        pathsAgree();
    }
    void errorsPathsAgree_data() {
        errors_data();
    }
    void errorsPathsAgree() {
        pathsAgree();
    }

private:
    void pathsAgree();
#endif
};

namespace {

void fill(TForm1 &form, const QStringList &six) {
    QLineEdit *boxes[] = {form.long1, form.long2, form.long3, form.lat1, form.lat2, form.lat3};
    for (int i = 0; i < 6; ++i)
        boxes[i]->setText(six[i]);
}

QChar systemSeparator() {
    const QString point = QLocale::system().decimalPoint();
    return point.size() == 1 ? point.front() : QChar(u'.');
}

} // namespace

void TestPage1Dms::converts_data() {
    QTest::addColumn<QStringList>("six");
    QTest::addColumn<QString>("longitude");
    QTest::addColumn<QString>("latitude");
    QTest::newRow("Beijing") << QStringList{"116", "23", "31.34", "39", "54", "40.332"}
                             << "116.392038888889"
                             << "39.9112033333333";
    QTest::newRow("blanks and 90 minutes") << QStringList{" 7 ", "0", "0", "0", "90", "0"} << "7"
                                           << "1.5";
    QTest::newRow("west and south") << QStringList{"-116", "30", "0", "-0", "30", "0"} << "-116.5"
                                    << "-0.5";
}

void TestPage1Dms::converts() {
    QFETCH(QStringList, six);
    QFETCH(QString, longitude);
    QFETCH(QString, latitude);
    FakeDialogHost host;
    TForm1 form(&host);
    fill(form, six);
    form.SpeedButton1->click();
    QVERIFY(host.errors.isEmpty());
    QCOMPARE(form.long_->text(), longitude);
    QCOMPARE(form.lat->text(), latitude);
}

void TestPage1Dms::errors_data() {
    QTest::addColumn<QStringList>("six");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("longitude"); // what "long" holds afterwards; it starts as "old"
    auto notNumber = [](const char *text) {
        return u"'%1' is not a valid floating point value."_qs.arg(QString::fromUtf8(text));
    };
    const QString overflow = u"Floating point overflow."_qs;
    QTest::newRow("all empty") << QStringList{"", "", "", "", "", ""} << notNumber("") << "old";
    QTest::newRow("degrees before seconds")
        << QStringList{"abc", "", "x", "1", "2", "3"} << notNumber("abc") << "old";
    QTest::newRow("only latitude bad") << QStringList{"116", "23", "31.34", "?", "54", "40.332"}
                                       << notNumber("?") << "116.392038888889";
    QTest::newRow("comma under dot")
        << QStringList{"1,5", "0", "0", "1", "2", "3"} << notNumber("1,5") << "old";
    QTest::newRow("overflow") << QStringList{"1e400", "0", "0", "1", "2", "3"} << overflow << "old";
    QTest::newRow("latitude overflow")
        << QStringList{"1", "30", "0", "0", "1e311", "0"} << overflow << "1.5";
}

void TestPage1Dms::errors() {
    QFETCH(QStringList, six);
    QFETCH(QString, shown);
    QFETCH(QString, longitude);
    FakeDialogHost host;
    TForm1 form(&host);
    form.long_->setText(u"old"_qs);
    form.lat->setText(u"old lat"_qs);
    fill(form, six);
    form.SpeedButton1->click();
    QCOMPARE(host.errors, QStringList{shown});
    QCOMPARE(host.lastCaption, applicationTitle());
    QCOMPARE(form.long_->text(), longitude);
    QCOMPARE(form.lat->text(), u"old lat"_qs);
    QCOMPARE(form.long1->text(), six[0]); // the typed texts stay as they were
    QVERIFY(host.messages.isEmpty());
}

void TestPage1Dms::usesCommaSeparator() {
    FakeDialogHost host;
    TForm1 form(&host);
    form.setDecimalSeparator(u',');
    fill(form, {"116", "23", "31,34", "39", "54", "40.332"});
    form.SpeedButton1->click();
    QCOMPARE(form.long_->text(), u"116,392038888889"_qs);
    QCOMPARE(host.errors, QStringList{u"'40.332' is not a valid floating point value."_qs});
}

void TestPage1Dms::separatorReadAtStartAndOnLocaleChange() {
    FakeDialogHost host;
    TForm1 form(&host);
    QCOMPARE(form.decimalSeparator(), systemSeparator());
    QCOMPARE(form.detailCore->decimalSeparator(), systemSeparator());

    form.setDecimalSeparator(u'x');
    QCOMPARE(form.detailCore->decimalSeparator(), QChar(u'x'));
    QEvent change(QEvent::LocaleChange);
    QApplication::sendEvent(&form, &change);
    QCOMPARE(form.decimalSeparator(), systemSeparator());
    QCOMPARE(form.detailCore->decimalSeparator(), systemSeparator());
}

#if KMLMAKER_X87_LONG_DOUBLE
// Each of the page's two triples converted in x87's long double and in SoftExtended, which the
// program takes where long double is another type: the same double or the same message.
void TestPage1Dms::pathsAgree() {
    QFETCH(QStringList, six);
    for (const int first : {0, 3}) {
        auto outcome = [&](auto real) -> QString {
            using Real = decltype(real);
            try {
                const double v =
                    dmsToDecimal<Real>(six[first], six[first + 1], six[first + 2], QChar(u'.'));
                return QString::number(v, 'g', 17) + (std::signbit(v) ? u"-"_qs : u"+"_qs);
            } catch (const CommandError &e) {
                return e.message();
            }
        };
        QCOMPARE(outcome(SoftExtended(0)), outcome(0.0L));
    }
}
#endif

QTEST_MAIN(TestPage1Dms)
#include "tst_page1dms.moc"
