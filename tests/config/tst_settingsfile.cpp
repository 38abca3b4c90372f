#include "config/labelwrap.h"
#include "config/settingsfile.h"

#include <QtTest>

class tst_SettingsFile : public QObject
{
    Q_OBJECT

private slots:
    void wrap_data();
    void wrap();
    void settingsPath_data();
    void settingsPath();
};

void tst_SettingsFile::wrap_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    const auto s = [](const char *text) { return QString::fromUtf8(text); };

    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("five or fewer unchanged") << s("Yagi") << s("Yagi");
    QTest::newRow("exactly five") << s("Dipol") << s("Dipol");
    QTest::newRow("six: 5 and 1") << s("Dipole") << s("Dipol\ne");
    QTest::newRow("ten: two lines of 5") << s("LongWire40") << s("LongW\nire40");
    QTest::newRow("sixteen: 5, 5, 6") << s("ABCDEFGHIJKLMNOP") << s("ABCDE\nFGHIJ\nKLMNOP");
    QTest::newRow("26 letters: 5, 5, 16") << s("abcdefghijklmnopqrstuvwxyz") << s("abcde\nfghij\nklmnopqrstuvwxyz");
    QTest::newRow("13, break, 8: 5 5 3 5 3") << s("abcdefghijklm\nnopqrstu") << s("abcde\nfghij\nklm\nnopqr\nstu");
    QTest::newRow("2, break, 10: 2 5 5") << s("ab\ncdefghijkl") << s("ab\ncdefg\nhijkl");
    QTest::newRow("leading break, 10: empty 4 5 1") << s("\nabcdefghij") << s("\nabcd\nefghi\nj");
    QTest::newRow("own break short lines untouched") << s("ab\ncd\nef") << s("ab\ncd\nef");
    QTest::newRow("non-ASCII counts characters") << s("Süd-Ost-Beam") << s("Süd-O\nst-Be\nam");
    QTest::newRow("a character of two code units is never split")
        << s("\U0001F4E1\U0001F4E1\U0001F4E1Yagi") << s("\U0001F4E1\U0001F4E1\U0001F4E1Ya\ngi");
    QTest::newRow("astral characters count once") << s("\U0001F4E1abcdefghij") << s("\U0001F4E1abcd\nefghi\nj");
}

void tst_SettingsFile::wrap()
{
    QFETCH(QString, name);
    QFETCH(QString, shown);
    QCOMPARE(wrapLabelText(name), shown);
}

void tst_SettingsFile::settingsPath_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("path");
    QTest::newRow("no argument") << QStringList{QStringLiteral("zorvik-panel")}
                                 << QStringLiteral("/opt/z/settings.ini");
    QTest::newRow("argument 2") << QStringList{QStringLiteral("zorvik-panel"), QStringLiteral("2")}
                                << QStringLiteral("/opt/z/settings2.ini");
    QTest::newRow("only the first counts")
        << QStringList{QStringLiteral("zorvik-panel"), QStringLiteral("B"), QStringLiteral("C")}
        << QStringLiteral("/opt/z/settingsB.ini");
    QTest::newRow("no program name") << QStringList{} << QStringLiteral("/opt/z/settings.ini");
}

void tst_SettingsFile::settingsPath()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, path);
    QCOMPARE(SettingsFile::pathFor(QStringLiteral("/opt/z"), arguments), path);
}

QTEST_GUILESS_MAIN(tst_SettingsFile)
#include "tst_settingsfile.moc"
