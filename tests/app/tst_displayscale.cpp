// The scale the panel is drawn with, from what the desktop and the user ask for: Xft.dpi,
// Qt's variables, and never the screen's size in millimetres. tst_textfit checks the same
// rows on a real X server.

#include "app/displayscale.h"

#include <QtTest>

class tst_DisplayScale : public QObject
{
    Q_OBJECT

private slots:
    void factorFromWhatIsAskedFor_data();
    void factorFromWhatIsAskedFor();
    void xftDpiFromResources_data();
    void xftDpiFromResources();
};

void tst_DisplayScale::factorFromWhatIsAskedFor_data()
{
    QTest::addColumn<int>("xftDpi"); // 0: the desktop sets none
    QTest::addColumn<double>("physicalDpi");
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<double>("factor");

    // A 1600-pixel-wide screen at 96 dpi is 423 mm wide: 96.07 dpi. Xvfb's default is 100.
    QTest::newRow("no Xft.dpi, 96.07 dpi screen") << 0 << 96.07 << QStringList() << 1.0;
    QTest::newRow("no Xft.dpi, 100 dpi screen") << 0 << 100.0 << QStringList() << 1.0;
    QTest::newRow("no Xft.dpi, 220 dpi screen") << 0 << 220.0 << QStringList() << 1.0;
    QTest::newRow("Xft.dpi 96") << 96 << 100.0 << QStringList() << 1.0;
    QTest::newRow("Xft.dpi 120") << 120 << 96.07 << QStringList() << 1.25;
    QTest::newRow("Xft.dpi 144") << 144 << 96.07 << QStringList() << 1.5;
    QTest::newRow("Xft.dpi 168") << 168 << 96.07 << QStringList() << 1.75;
    QTest::newRow("Xft.dpi 192") << 192 << 96.07 << QStringList() << 2.0;
    QTest::newRow("QT_SCALE_FACTOR") << 0 << 100.0 << QStringList{"QT_SCALE_FACTOR=1.5"} << 1.5;
    QTest::newRow("QT_SCALE_FACTOR times Xft.dpi") << 120 << 96.07 << QStringList{"QT_SCALE_FACTOR=2"} << 2.5;
    QTest::newRow("QT_SCALE_FACTOR not a number") << 120 << 96.07 << QStringList{"QT_SCALE_FACTOR=big"} << 1.25;
    QTest::newRow("QT_SCREEN_SCALE_FACTORS over Xft.dpi")
        << 192 << 96.07 << QStringList{"QT_SCREEN_SCALE_FACTORS=1.5;1"} << 1.5;
    QTest::newRow("QT_SCREEN_SCALE_FACTORS by name")
        << 0 << 96.07 << QStringList{"QT_SCREEN_SCALE_FACTORS=DP-1=1.75;HDMI-1=1"} << 1.75;
    QTest::newRow("QT_SCREEN_SCALE_FACTORS times QT_SCALE_FACTOR")
        << 0 << 96.07 << QStringList{"QT_SCREEN_SCALE_FACTORS=1.5", "QT_SCALE_FACTOR=2"} << 3.0;
    QTest::newRow("QT_FONT_DPI over Xft.dpi") << 96 << 96.07 << QStringList{"QT_FONT_DPI=144"} << 1.5;
    QTest::newRow("density scaling switched off") << 192 << 96.07 << QStringList{"QT_ENABLE_HIGHDPI_SCALING=0"} << 1.0;
    QTest::newRow("switched off, QT_SCALE_FACTOR stays")
        << 192 << 96.07 << QStringList{"QT_ENABLE_HIGHDPI_SCALING=0", "QT_SCALE_FACTOR=1.25"} << 1.25;
    QTest::newRow("Round") << 120 << 96.07 << QStringList{"QT_SCALE_FACTOR_ROUNDING_POLICY=Round"} << 1.0;
    QTest::newRow("Round up") << 144 << 96.07 << QStringList{"QT_SCALE_FACTOR_ROUNDING_POLICY=Round"} << 2.0;
    QTest::newRow("RoundPreferFloor") << 144 << 96.07 << QStringList{"QT_SCALE_FACTOR_ROUNDING_POLICY=RoundPreferFloor"}
                                      << 1.0;
    QTest::newRow("RoundPreferFloor at 175 %")
        << 168 << 96.07 << QStringList{"QT_SCALE_FACTOR_ROUNDING_POLICY=RoundPreferFloor"} << 2.0;
    QTest::newRow("Floor never below 1") << 72 << 96.07 << QStringList{"QT_SCALE_FACTOR_ROUNDING_POLICY=Floor"} << 1.0;
    QTest::newRow("PassThrough below 1") << 72 << 96.07 << QStringList{"QT_SCALE_FACTOR_ROUNDING_POLICY=PassThrough"}
                                         << 0.75;
}

void tst_DisplayScale::factorFromWhatIsAskedFor()
{
    QFETCH(int, xftDpi);
    QFETCH(double, physicalDpi);
    QFETCH(QStringList, environment);
    QFETCH(double, factor);

    const char *const names[] = {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_ENABLE_HIGHDPI_SCALING",
                                 "QT_FONT_DPI", "QT_SCALE_FACTOR_ROUNDING_POLICY"};
    for (const char *name : names)
        qunsetenv(name);
    for (const QString &assignment : qAsConst(environment))
        qputenv(assignment.section(QLatin1Char('='), 0, 0).toLatin1(),
                assignment.section(QLatin1Char('='), 1).toLocal8Bit());
    DisplayScale::Request request = DisplayScale::Request::fromEnvironment();
    for (const char *name : names)
        qunsetenv(name);
    request.xftDpi = xftDpi;
    request.physicalDpi = physicalDpi;
    QCOMPARE(DisplayScale::scaleFactor(request), factor);
}

void tst_DisplayScale::xftDpiFromResources_data()
{
    QTest::addColumn<QByteArray>("resources");
    QTest::addColumn<int>("dpi");
    QTest::newRow("as xrdb writes it") << QByteArray("Xft.antialias:\t1\nXft.dpi:\t120\nXft.hinting:\t1\n") << 120;
    QTest::newRow("last line without an end") << QByteArray("Xcursor.size:\t24\nXft.dpi:\t192") << 192;
    QTest::newRow("none") << QByteArray("Xft.antialias:\t1\n") << 0;
    QTest::newRow("empty property") << QByteArray() << 0;
    QTest::newRow("not a whole number") << QByteArray("Xft.dpi:\t120.5\n") << 0;
    QTest::newRow("another resource's name") << QByteArray("*Xft.dpi:\t144\nXft.dpiScale:\t2\n") << 0;
}

void tst_DisplayScale::xftDpiFromResources()
{
    QFETCH(QByteArray, resources);
    QFETCH(int, dpi);
    QCOMPARE(DisplayScale::xftDpiFrom(resources), dpi);
}

QTEST_GUILESS_MAIN(tst_DisplayScale)
#include "tst_displayscale.moc"
