// What a screen reader hears from the real window, through QAccessible: every antenna button
// says its channel, antenna number, name and state, POWER says whether the box answers, and
// the accessibility framework is told when (and only when) that changes. Tooltips show the
// antenna name in full, as typed.

#include "app/mainwindow.h"
#include "manualclock.h"

#include <QAccessible>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QtTest>

#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <memory>
#include <utility>

namespace {
// Name and description changes of panel buttons the framework was told of, as
// "object:Name" / "object:Description".
QStringList heard;

void hear(QAccessibleEvent *event)
{
    const QString object = event->object() ? event->object()->objectName() : QString();
    if (!object.startsWith(QLatin1String("botao")))
        return; // the status bar's "Ping:" text, for one
    if (event->type() == QAccessible::NameChanged)
        heard << object + QStringLiteral(":Name");
    else if (event->type() == QAccessible::DescriptionChanged)
        heard << object + QStringLiteral(":Description");
}

QString spoken(QWidget *widget, QAccessible::Text text)
{
    return QAccessible::queryAccessibleInterface(widget)->text(text);
}
} // namespace

class tst_PanelSpeech : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { window.reset(); }

    void boxStateSpokenOnEveryAntennaButton_data();
    void boxStateSpokenOnEveryAntennaButton();
    void powerSaysWhetherTheBoxAnswers();
    void fullNameAsTypedInNameAndTooltip();

private:
    QPushButton *button(const QString &name) { return window->findChild<QPushButton *>(name); }
    QPushButton *antenna(int channel, int n) { return button(QStringLiteral("botaoTecla%1C%2").arg(n).arg(channel)); }
    void report(const QString &status) { window->processaPDRLan(window.get(), status); }

    QTemporaryDir dir;
    ManualClock clock;
    std::unique_ptr<MainWindow> window;
};

void tst_PanelSpeech::initTestCase()
{
    qRegisterMetaType<MainWindow *>("MainWindow*");
    // As a screen reader on the desktop would; offscreen nobody else does.
    QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
    QVERIFY(QAccessible::isActive());
    QAccessible::installUpdateHandler(hear);
}

void tst_PanelSpeech::init()
{
    const QString ini = dir.filePath(QStringLiteral("settings.ini"));
    QSettings settings(ini, QSettings::IniFormat);
    settings.setValue(QStringLiteral("K2_1"), QStringLiteral("Beam"));
    settings.setValue(QStringLiteral("K5_1"), QStringLiteral("Dipole"));
    settings.sync();
    window = std::make_unique<MainWindow>(MainWindow::Options{ini, [] { return QList<SerialPortDescription>{}; }, &clock});
    heard.clear();
}

void tst_PanelSpeech::boxStateSpokenOnEveryAntennaButton_data()
{
    QTest::addColumn<QString>("status"); // ant1.ant2.split1.split2.tx1.tx2.trans1.trans2
    QTest::addColumn<QStringList>("said"); // "channel/antenna: description" of every button not "not in use"
    QTest::addColumn<QString>("split1");
    QTest::addColumn<QString>("send1");
    QTest::newRow("each on its own") << "2.3.0.0.0.0.0.0.0.0.FF" << QStringList{"1/3: in use", "2/4: in use"}
                                     << "split off" << "not transmitting";
    QTest::newRow("the same antenna") << "1.1.0.0.0.0.0.0.0.0.FF" << QStringList{"1/2: in use", "2/2: in use"}
                                      << "split off" << "not transmitting";
    QTest::newRow("transmitting") << "0.15.0.0.0.0.1.0.0.0.FF" << QStringList{"1/1: transmitting"} << "split off"
                                  << "transmitting";
    QTest::newRow("split") << "1.15.1.0.4.0.0.0.0.0.FF" << QStringList{"1/2: split receive", "1/5: split transmit"}
                           << "split on" << "not transmitting";
    QTest::newRow("split transmitting") << "1.15.1.0.4.0.1.0.0.0.FF"
                                        << QStringList{"1/2: split receive", "1/5: split transmit, transmitting"}
                                        << "split on" << "transmitting";
    QTest::newRow("split on one antenna") << "1.15.1.0.1.0.0.0.0.0.FF"
                                          << QStringList{"1/2: split receive, split transmit"} << "split on"
                                          << "not transmitting";
    QTest::newRow("channel 2 split") << "15.5.0.1.0.0.0.1.0.0.FF"
                                     << QStringList{"2/1: split transmit, transmitting", "2/6: split receive"}
                                     << "split off" << "not transmitting";
}

void tst_PanelSpeech::boxStateSpokenOnEveryAntennaButton()
{
    QFETCH(QString, status);
    QFETCH(QStringList, said);
    QFETCH(QString, split1);
    QFETCH(QString, send1);

    report(status);
    QStringList spokenNow, changed;
    for (int c = 1; c <= 2; ++c) {
        for (int n = 1; n <= 6; ++n) {
            const QString name = QStringLiteral("Channel %1, Ant %2").arg(c).arg(n)
                + (n == 2 ? QStringLiteral(": Beam") : n == 5 ? QStringLiteral(": Dipole") : QString());
            QCOMPARE(spoken(antenna(c, n), QAccessible::Name), name);
            const QString description = spoken(antenna(c, n), QAccessible::Description);
            if (description != QLatin1String("not in use")) {
                spokenNow << QStringLiteral("%1/%2: %3").arg(c).arg(n).arg(description);
                changed << antenna(c, n)->objectName() + QStringLiteral(":Description");
            }
        }
    }
    QCOMPARE(spokenNow, said);
    QCOMPARE(spoken(button(QStringLiteral("botaoSplitC1")), QAccessible::Description), split1);
    QCOMPARE(spoken(button(QStringLiteral("botaoSendC1")), QAccessible::Description), send1);
    // The framework heard of exactly the antenna buttons that changed, names unchanged.
    for (const QString &event : std::as_const(heard)) {
        if (event.startsWith(QLatin1String("botaoTecla")))
            QVERIFY2(changed.removeOne(event), qPrintable(event));
    }
    QVERIFY2(changed.isEmpty(), qPrintable(changed.join(QLatin1Char(' '))));

    heard.clear();
    report(status);
    QCOMPARE(heard, QStringList());
}

void tst_PanelSpeech::powerSaysWhetherTheBoxAnswers()
{
    QPushButton *power = button(QStringLiteral("botaoPower"));
    QCOMPARE(spoken(power, QAccessible::Name), QStringLiteral("POWER"));
    QCOMPARE(spoken(power, QAccessible::Description), QStringLiteral("no reply"));
    report(QStringLiteral("3.15.0.0.0.0.0.0.0.0.FF"));
    window->checkCOMTimeout(window.get());
    QCOMPARE(spoken(power, QAccessible::Description), QStringLiteral("box answering"));
    QVERIFY(heard.contains(QStringLiteral("botaoPower:Description")));

    heard.clear();
    clock.advance(MainWindow::LinkTimeoutMs);
    window->checkCOMTimeout(window.get());
    QCOMPARE(heard, QStringList()); // still within the 7 s

    clock.advance(1);
    window->checkCOMTimeout(window.get());
    QCOMPARE(spoken(power, QAccessible::Description), QStringLiteral("no reply"));
    // The cleared panel says nothing is in use any more.
    QCOMPARE(spoken(antenna(1, 4), QAccessible::Description), QStringLiteral("not in use"));
    QCOMPARE(heard, (QStringList{"botaoPower:Description", "botaoTecla4C1:Description"}));
}

void tst_PanelSpeech::fullNameAsTypedInNameAndTooltip()
{
    const QString typed = QStringLiteral("Long<b>Wire</b> & 40m\nup high");
    QSettings(window->settingsFilePath(), QSettings::IniFormat).setValue(QStringLiteral("K3_1"), typed);
    window->loadSettings();
    heard.removeDuplicates(); // the button's new text is news to the framework too
    QCOMPARE(heard, (QStringList{"botaoTecla3C1:Name", "botaoTecla3C2:Name"}));

    QCOMPARE(spoken(antenna(2, 3), QAccessible::Name), QStringLiteral("Channel 2, Ant 3: Long<b>Wire</b> & 40m up high"));
    QTextDocument shown;
    shown.setHtml(antenna(2, 3)->toolTip());
    QCOMPARE(shown.toPlainText(), typed + QStringLiteral("\nChannel 2, Ant 3: not in use\nKey: Ctrl+3"));
    report(QStringLiteral("15.2.0.0.0.0.0.0.0.0.FF"));
    shown.setHtml(antenna(2, 3)->toolTip());
    QVERIFY(shown.toPlainText().contains(QLatin1String("\nChannel 2, Ant 3: in use\n")));
}

QTEST_MAIN(tst_PanelSpeech)
#include "tst_panelspeech.moc"
