// The Band Follow dialog: what it shows of the file, and an address it will not store.

#include "rig/bandfollowdialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

class tst_BandFollowDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void showsTheStoredTableWithTheAntennasNames();
    void addressThatIsNotHostAndPortIsNotStored_data();
    void addressThatIsNotHostAndPortIsNotStored();

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString ini;
};

void tst_BandFollowDialog::init()
{
    dir = std::make_unique<QTemporaryDir>();
    ini = dir->filePath(QStringLiteral("settings.ini"));
    QSettings settings(ini, QSettings::IniFormat);
    settings.setValue(QStringLiteral("K3_1"), QStringLiteral("Beam\n20 m"));
    settings.setValue(QStringLiteral("RIG1"), QStringLiteral("localhost:4532"));
    settings.setValue(QStringLiteral("BAND1_20"), 3);
}

void tst_BandFollowDialog::showsTheStoredTableWithTheAntennasNames()
{
    BandFollowDialog dialog(nullptr, ini);
    QCOMPARE(dialog.findChild<QLineEdit *>(QStringLiteral("rigAddress1"))->text(), QStringLiteral("localhost:4532"));
    QVERIFY(dialog.findChild<QRadioButton *>(QStringLiteral("band1_20_3"))->isChecked());
    QVERIFY(dialog.findChild<QRadioButton *>(QStringLiteral("band1_40_0"))->isChecked());
    QVERIFY(dialog.findChild<QRadioButton *>(QStringLiteral("band2_20_0"))->isChecked());
    QStringList captions;
    for (const QLabel *label : dialog.findChildren<QLabel *>())
        captions << label->text();
    QVERIFY(captions.contains(QStringLiteral("Beam\n20 m")));
    QCOMPARE(captions.count(QStringLiteral("Ant 6")), 2); // one per radio
}

void tst_BandFollowDialog::addressThatIsNotHostAndPortIsNotStored_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("no port") << "localhost";
    QTest::newRow("IPv6 without brackets") << "::1:4532";
}

void tst_BandFollowDialog::addressThatIsNotHostAndPortIsNotStored()
{
    QFETCH(QString, address);
    BandFollowDialog dialog(nullptr, ini);
    QSignalSpy saved(&dialog, &BandFollowDialog::saved);
    dialog.findChild<QLineEdit *>(QStringLiteral("rigAddress2"))->setText(address);
    QVERIFY(!dialog.save());
    QCOMPARE(saved.count(), 0);
    QVERIFY(dialog.findChild<QLabel *>(QStringLiteral("problem"))->text().contains(address));
    QVERIFY(!QSettings(ini, QSettings::IniFormat).contains(QStringLiteral("RIG2")));

    dialog.findChild<QLineEdit *>(QStringLiteral("rigAddress2"))->setText(QStringLiteral("[::1]:4533"));
    QVERIFY(dialog.save());
    QCOMPARE(saved.count(), 1);
    QCOMPARE(QSettings(ini, QSettings::IniFormat).value(QStringLiteral("RIG2")).toString(),
             QStringLiteral("[::1]:4533"));
}

QTEST_MAIN(tst_BandFollowDialog)
#include "tst_bandfollowdialog.moc"
