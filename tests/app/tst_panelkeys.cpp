// The panel from the keyboard, on the real window: each key sends the box the same bytes as
// a click on its button, on the serial line (a pseudo-terminal) and on the LAN (a box on
// 127.0.0.2); keys wait while a dialog is active; Tab walks the buttons in reading order
// with the focus outline; Help lists the keys and each button's tooltip names its own.

#include "app/focusmark.h"
#include "app/mainwindow.h"
#include "lan/threadcom.h"
#include "manualclock.h"
#include "pseudoterminal.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QNetworkDatagram>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTextEdit>
#include <QUdpSocket>
#include <QtTest>

#include <memory>

namespace {
const QHostAddress BoxAddress(QStringLiteral("127.0.0.2"));

QString plain(const QString &richText)
{
    QTextDocument document;
    document.setHtml(richText);
    return document.toPlainText();
}

// One panel on one link, started from a known box state, and what the box receives.
class Bench
{
public:
    Bench(bool serial, const QTemporaryDir &dir, const QString &name)
    {
        const QString ini = dir.filePath(name + QStringLiteral(".ini"));
        QSettings settings(ini, QSettings::IniFormat);
        settings.setValue(QStringLiteral("serialMode"), serial ? 2 : 1);
        SerialPortDescription port;
        if (serial) {
            pty = std::make_unique<PseudoTerminal>();
            port.portName = pty->slavePath();
        } else {
            box = std::make_unique<QUdpSocket>();
            box->bind(BoxAddress, 0);
            settings.setValue(QStringLiteral("IP"), BoxAddress.toString());
            settings.setValue(QStringLiteral("PORT"), box->localPort());
            settings.setValue(QStringLiteral("IPdir"), true);
        }
        settings.sync();
        window = std::make_unique<MainWindow>(
            MainWindow::Options{ini, [port] { return QList<SerialPortDescription>{port}; }, &clock});
        window->findChild<QAction *>(QStringLiteral("actionConnect_to_Brisel"))->trigger();
        if (pty)
            pty->read(4); // the firmware request
    }

    // The box reports channel 1 on `ant1` (in split with TX `tx1` when `split1`), channel 2 on
    // `ant2`; handed to the window as the LAN reader hands it, on either link.
    void report(int ant1, int ant2, int split1, int tx1)
    {
        window->processaPDRLan(window.get(), QStringLiteral("%1.%2.%3.0.%4.0.0.0.0.0.FF").arg(ant1).arg(ant2).arg(split1).arg(tx1));
    }

    // Every byte the box receives for `commands` commands (LAN datagrams end in '|').
    QByteArray received(int commands)
    {
        QByteArray bytes;
        if (pty) {
            for (int i = 0; i < commands; ++i)
                window->callEnvioFila();
            return pty->read(7 * commands);
        }
        QElapsedTimer timer;
        timer.start();
        for (int got = 0; got < commands && timer.elapsed() < 3000;) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            while (box->hasPendingDatagrams()) {
                bytes += box->receiveDatagram().data() + '|';
                ++got;
            }
            const std::vector<qint64> sleepers = clock.sleeperDeadlines();
            if (!sleepers.empty())
                clock.advanceTo(sleepers.front());
            box->waitForReadyRead(2);
        }
        return bytes;
    }

    ManualClock clock;
    std::unique_ptr<PseudoTerminal> pty;
    std::unique_ptr<QUdpSocket> box;
    std::unique_ptr<MainWindow> window;
};
} // namespace

class tst_PanelKeys : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<MainWindow *>("MainWindow*"); }
    void init() { QVERIFY(dir.isValid()); }

    void keySendsWhatItsButtonSends_data();
    void keySendsWhatItsButtonSends();
    void keysWaitWhileADialogIsActive();
    void tabWalksTheButtonsInReadingOrder();
    void keysListedAndNamedInTooltips();

private:
    QTemporaryDir dir;
};

void tst_PanelKeys::keySendsWhatItsButtonSends_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<bool>("split1"); // channel 1 starts in split, RX Ant 2, TX Ant 5
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("buttons");
    for (bool serial : {true, false}) {
        const char *link = serial ? "serial" : "LAN";
        const auto row = [&](const char *name, bool split, const QStringList &keys, const QStringList &buttons) {
            QTest::addRow("%s: %s", link, name) << serial << split << keys << buttons;
        };
        for (int n = 1; n <= 6; ++n) {
            row(qPrintable(QStringLiteral("Ant %1").arg(n)), false, {QString::number(n)},
                {QStringLiteral("botaoTecla%1C1").arg(n)});
            row(qPrintable(QStringLiteral("Ctrl Ant %1").arg(n)), false, {QStringLiteral("Ctrl+%1").arg(n)},
                {QStringLiteral("botaoTecla%1C2").arg(n)});
        }
        row("number pad", false, {"Num+4"}, {"botaoTecla4C1"});
        row("Ctrl number pad", false, {"Ctrl+Num+6"}, {"botaoTecla6C2"});
        row("RELEASE", false, {"0"}, {"botaoRelease1"});
        row("Ctrl RELEASE", false, {"Ctrl+0"}, {"botaoRelease2"});
        row("split set up", false, {"S", "4"}, {"botaoSplitC1", "botaoTecla4C1"});
        row("Ctrl split set up", false, {"Ctrl+S", "Ctrl+3"}, {"botaoSplitC2", "botaoTecla3C2"});
        row("split off", true, {"S"}, {"botaoSplitC1"});
        row("RX antenna ends the split", true, {"2"}, {"botaoTecla2C1"});
        row("split cancelled, then Ant 6", false, {"S", "S", "6"}, {"botaoSplitC1", "botaoSplitC1", "botaoTecla6C1"});
    }
}

void tst_PanelKeys::keySendsWhatItsButtonSends()
{
    QFETCH(bool, serial);
    QFETCH(bool, split1);
    QFETCH(QStringList, keys);
    QFETCH(QStringList, buttons);

    QByteArray sent[2];
    for (int byKeys = 0; byKeys < 2; ++byKeys) {
        Bench bench(serial, dir, QStringLiteral("run%1").arg(byKeys));
        bench.report(1, 3, split1 ? 1 : 0, 4);
        QCOMPARE(int(bench.window->deviceState().antenna[1]), 1);
        bench.window->show();
        QApplication::setActiveWindow(bench.window.get());
        QVERIFY(QTest::qWaitForWindowActive(bench.window.get()));
        // Keys act whatever has the focus in the window.
        bench.window->findChild<QPushButton *>(QStringLiteral("botaoRelease2"))->setFocus();
        for (int i = 0; i < keys.size(); ++i) {
            if (byKeys)
                QTest::keySequence(QApplication::focusWidget(), QKeySequence(keys[i]));
            else
                QTest::mouseClick(bench.window->findChild<QPushButton *>(buttons[i]), Qt::LeftButton);
        }
        sent[byKeys] = bench.received(1);
        QVERIFY2(!sent[byKeys].isEmpty(), byKeys ? "keys sent nothing" : "clicks sent nothing");
        QCOMPARE(bench.window->isCommandQueueEmpty(), true);
    }
    QCOMPARE(sent[1], sent[0]);
}

void tst_PanelKeys::keysWaitWhileADialogIsActive()
{
    Bench bench(true, dir, QStringLiteral("dialog"));
    bench.window->show();
    bench.window->findChild<QAction *>(QStringLiteral("actionLabels"))->trigger();
    auto *dialog = bench.window->findChild<QDialog *>(QStringLiteral("labels"));
    QApplication::setActiveWindow(dialog);
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    auto *name = dialog->findChild<QTextEdit *>(QStringLiteral("textEdit1_1"));
    name->setFocus();
    QTest::keyClicks(name, QStringLiteral("160S"));
    QCOMPARE(name->toPlainText(), QStringLiteral("160S"));
    QVERIFY(bench.window->isCommandQueueEmpty());

    dialog->close();
    QApplication::setActiveWindow(bench.window.get());
    QVERIFY(QTest::qWaitForWindowActive(bench.window.get()));
    QTest::keyClick(bench.window.get(), Qt::Key_1);
    QVERIFY(!bench.window->isCommandQueueEmpty());
}

void tst_PanelKeys::tabWalksTheButtonsInReadingOrder()
{
    Bench bench(true, dir, QStringLiteral("tab"));
    bench.window->show();
    QApplication::setActiveWindow(bench.window.get());
    QVERIFY(QTest::qWaitForWindowActive(bench.window.get()));
    QStringList row1{"botaoSplitC1", "botaoSendC1"}, row2{"botaoSplitC2", "botaoSendC2"};
    for (int n = 1; n <= 6; ++n) {
        row1 << QStringLiteral("botaoTecla%1C1").arg(n);
        row2 << QStringLiteral("botaoTecla%1C2").arg(n);
    }
    const QStringList expected = row1 + QStringList{"botaoRelease1", "botaoPower"} + row2 + QStringList{"botaoRelease2"};
    QStringList visited;
    for (int i = 0; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
        QCOMPARE(bench.window->focusMark()->markedWidget(), QApplication::focusWidget());
    }
    QCOMPARE(visited, expected);

    // Space presses the marked button; a click moves the focus without the mark.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(int(bench.window->deviceState().antenna[2]), 5);
    QTest::mouseClick(bench.window->findChild<QPushButton *>(QStringLiteral("botaoTecla2C1")), Qt::LeftButton);
    QVERIFY(!bench.window->focusMark()->markedWidget());
}

void tst_PanelKeys::keysListedAndNamedInTooltips()
{
    Bench bench(true, dir, QStringLiteral("help"));
    bench.window->findChild<QAction *>(QStringLiteral("actionKeyboard_Shortcuts"))->trigger();
    auto *box = bench.window->findChild<QMessageBox *>(QStringLiteral("keyboardShortcuts"));
    QVERIFY(box);
    QCOMPARE(box->windowTitle(), QStringLiteral("Keyboard Shortcuts"));
    const QStringList lines = plain(box->text()).split(QLatin1Char('\n'));
    for (int n = 1; n <= 6; ++n)
        QVERIFY(lines.contains(QStringLiteral("Ant %1").arg(n)));
    for (const char *cell : {"Channel 1", "Channel 2", "RELEASE", "0", "Ctrl+0", "SPLIT", "S", "Ctrl+S", "Ctrl+6"})
        QVERIFY2(lines.contains(QLatin1String(cell)), cell);

    const auto tip = [&](const char *name) {
        return plain(bench.window->findChild<QPushButton *>(QLatin1String(name))->toolTip());
    };
    QVERIFY(tip("botaoTecla3C1").endsWith(QLatin1String("\nKey: 3")));
    QVERIFY(tip("botaoTecla3C2").endsWith(QLatin1String("\nKey: Ctrl+3")));
    QVERIFY(tip("botaoSplitC2").endsWith(QLatin1String("\nKey: Ctrl+S")));
    QVERIFY(tip("botaoRelease1").endsWith(QLatin1String("\nKey: 0")));
    QVERIFY(!tip("botaoPower").contains(QLatin1String("Key")));
}

QTEST_MAIN(tst_PanelKeys)
#include "tst_panelkeys.moc"
