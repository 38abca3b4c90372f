// The panel without the mouse and without sight of colour, on the real window: each key
// sends the box the bytes a click on its button sends, on the serial line (a pseudo-terminal)
// and on the LAN (a box on 127.0.0.2); keys wait while a dialog is active; Tab walks the
// buttons in reading order with the outline; and a screen reader (QAccessible) hears each
// button's channel, antenna, name and state, and of a change only when there is one; it
// walks the buttons in reading order, hears the pictures named and not the decoration.

#include "app/focusmark.h"
#include "app/mainwindow.h"
#include "app/panelbutton.h"
#include "manualclock.h"
#include "pseudoterminal.h"

#include <QAccessible>
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

#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <memory>

namespace {
QStringList heard; // "botao…:Name" / "botao…:Description" events, in order

void hear(QAccessibleEvent *event)
{
    const QString object = event->object() ? event->object()->objectName() : QString();
    if (object.startsWith(QLatin1String("botao")) && event->type() == QAccessible::NameChanged)
        heard << object + QStringLiteral(":Name");
    if (object.startsWith(QLatin1String("botao")) && event->type() == QAccessible::DescriptionChanged)
        heard << object + QStringLiteral(":Description");
}

// What a screen reader walks: the accessible tree under `root`, depth first, bounded.
QList<QAccessibleInterface *> walk(QObject *root)
{
    QList<QAccessibleInterface *> listed;
    QList<QAccessibleInterface *> pending{QAccessible::queryAccessibleInterface(root)};
    while (!pending.isEmpty() && listed.size() < 1000) {
        QAccessibleInterface *node = pending.takeFirst();
        listed << node;
        for (int i = node->childCount() - 1; i >= 0; --i) {
            QAccessibleInterface *child = node->child(i);
            // The same tree read upwards, else a screen reader loses its place.
            if (child->parent() != node || node->indexOfChild(child) != i)
                return {};
            pending.prepend(child);
        }
    }
    return listed;
}

QString plain(const QString &richText)
{
    QTextDocument document;
    document.setHtml(richText);
    return document.toPlainText();
}

// One panel (antenna 2 named "Beam") on one link, and what the box receives.
struct Bench
{
    Bench(bool serial, const QTemporaryDir &dir, const QString &name)
    {
        QSettings settings(dir.filePath(name), QSettings::IniFormat);
        settings.setValue(QStringLiteral("serialMode"), serial ? 2 : 1);
        settings.setValue(QStringLiteral("K2_1"), QStringLiteral("Beam"));
        SerialPortDescription port;
        if (serial) {
            pty = std::make_unique<PseudoTerminal>();
            port.portName = pty->slavePath();
        } else {
            box.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0);
            settings.setValue(QStringLiteral("IP"), QStringLiteral("127.0.0.2"));
            settings.setValue(QStringLiteral("PORT"), box.localPort());
            settings.setValue(QStringLiteral("IPdir"), true);
        }
        settings.sync();
        window = std::make_unique<MainWindow>(
            MainWindow::Options{settings.fileName(), [port] { return QList<SerialPortDescription>{port}; }, &clock});
        window->findChild<QAction *>(QStringLiteral("actionConnect_to_Brisel"))->trigger();
        if (pty)
            pty->read(4); // the firmware request
    }
    QPushButton *button(const QString &name) { return window->findChild<QPushButton *>(name); }
    QString spoken(const QString &name, QAccessible::Text text)
    {
        return QAccessible::queryAccessibleInterface(button(name))->text(text);
    }
    // The box's state, handed to the window as the LAN reader hands it (on either link).
    void report(const QString &status) { window->processaPDRLan(window.get(), status); }
    void activate()
    {
        window->show();
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }
    // The bytes of the next command the box receives (a LAN datagram ends in '|').
    QByteArray received()
    {
        if (pty) {
            window->callEnvioFila();
            return pty->read(7);
        }
        QElapsedTimer timer;
        timer.start();
        while (!box.hasPendingDatagrams() && timer.elapsed() < 3000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            if (!clock.sleeperDeadlines().empty())
                clock.advanceTo(clock.sleeperDeadlines().front());
            box.waitForReadyRead(2);
        }
        return box.hasPendingDatagrams() ? box.receiveDatagram().data() + '|' : QByteArray();
    }

    ManualClock clock;
    std::unique_ptr<PseudoTerminal> pty;
    QUdpSocket box;
    std::unique_ptr<MainWindow> window;
};
} // namespace

class tst_PanelAccess : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { heard.clear(); }

    void keySendsWhatItsButtonSends_data();
    void keySendsWhatItsButtonSends();
    void keysWaitWhileADialogIsActive();
    void tabWalksTheButtonsInReadingOrder();
    void helpListsTheKeys();
    void screenReaderHearsTheBoxState_data();
    void screenReaderHearsTheBoxState();
    void powerSaysWhetherTheBoxAnswers();
    void fullNameAsTypedInNameAndTooltip();
    void screenReaderListsTheButtonsInReadingOrder();
    void picturesNamedDecorationLeftOut_data();
    void picturesNamedDecorationLeftOut();

private:
    QTemporaryDir dir;
};

void tst_PanelAccess::initTestCase()
{
    qRegisterMetaType<MainWindow *>("MainWindow*");
    // As a screen reader on the desktop does; offscreen nobody else does.
    QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
    QVERIFY(QAccessible::isActive());
    QAccessible::installUpdateHandler(hear);
}

void tst_PanelAccess::keySendsWhatItsButtonSends_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<QString>("status"); // where the box starts
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("buttons");
    const QString plainState = QStringLiteral("1.3.0.0.0.0.0.0.0.0.FF");
    const QString split = QStringLiteral("1.3.1.0.4.0.0.0.0.0.FF"); // channel 1: RX Ant 2, TX Ant 5
    for (bool serial : {true, false}) {
        const auto row = [&](const QString &name, const QString &status, const QStringList &keys,
                             const QStringList &buttons) {
            QTest::addRow("%s: %s", serial ? "serial" : "LAN", qPrintable(name)) << serial << status << keys << buttons;
        };
        for (int n = 1; n <= 6; ++n) {
            row(QStringLiteral("%1").arg(n), plainState, {QString::number(n)},
                {QStringLiteral("botaoTecla%1C1").arg(n)});
            row(QStringLiteral("Ctrl+%1").arg(n), plainState, {QStringLiteral("Ctrl+%1").arg(n)},
                {QStringLiteral("botaoTecla%1C2").arg(n)});
        }
        row("number pad", plainState, {"Num+4"}, {"botaoTecla4C1"});
        row("Ctrl number pad", plainState, {"Ctrl+Num+6"}, {"botaoTecla6C2"});
        row("RELEASE", plainState, {"0"}, {"botaoRelease1"});
        row("Ctrl RELEASE", plainState, {"Ctrl+0"}, {"botaoRelease2"});
        row("split set up", plainState, {"S", "4"}, {"botaoSplitC1", "botaoTecla4C1"});
        row("Ctrl split set up", plainState, {"Ctrl+S", "Ctrl+3"}, {"botaoSplitC2", "botaoTecla3C2"});
        row("split cancelled, then Ant 6", plainState, {"S", "S", "6"},
            {"botaoSplitC1", "botaoSplitC1", "botaoTecla6C1"});
        row("split off", split, {"S"}, {"botaoSplitC1"});
        row("RX antenna ends the split", split, {"2"}, {"botaoTecla2C1"});
    }
}

void tst_PanelAccess::keySendsWhatItsButtonSends()
{
    QFETCH(bool, serial);
    QFETCH(QString, status);
    QFETCH(QStringList, keys);
    QFETCH(QStringList, buttons);
    QByteArray sent[2];
    for (int byKeys = 0; byKeys < 2; ++byKeys) {
        Bench bench(serial, dir, QStringLiteral("run%1.ini").arg(byKeys));
        bench.report(status);
        bench.activate();
        bench.button(QStringLiteral("botaoRelease2"))->setFocus(); // keys act whatever has the focus
        for (int i = 0; i < keys.size(); ++i) {
            if (byKeys)
                QTest::keySequence(QApplication::focusWidget(), QKeySequence(keys[i]));
            else
                QTest::mouseClick(bench.button(buttons[i]), Qt::LeftButton);
        }
        sent[byKeys] = bench.received();
        QVERIFY2(!sent[byKeys].isEmpty(), byKeys ? "keys sent nothing" : "clicks sent nothing");
        QVERIFY(bench.window->isCommandQueueEmpty()); // and nothing more
    }
    QCOMPARE(sent[1], sent[0]);
}

void tst_PanelAccess::keysWaitWhileADialogIsActive()
{
    Bench bench(true, dir, QStringLiteral("dialog.ini"));
    bench.activate();
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
    bench.activate();
    QTest::keyClick(bench.window.get(), Qt::Key_1);
    QVERIFY(!bench.window->isCommandQueueEmpty());
}

void tst_PanelAccess::tabWalksTheButtonsInReadingOrder()
{
    Bench bench(true, dir, QStringLiteral("tab.ini"));
    bench.activate();
    QStringList expected;
    for (const char *row : {"C1", "C2"}) {
        expected << QStringLiteral("botaoSplit") + QLatin1String(row)
                 << QStringLiteral("botaoSend") + QLatin1String(row);
        for (int n = 1; n <= 6; ++n)
            expected << QStringLiteral("botaoTecla%1").arg(n) + QLatin1String(row);
        expected << QStringLiteral("botaoRelease") + QLatin1String(row).mid(1);
    }
    expected.insert(9, QStringLiteral("botaoPower"));
    QStringList visited;
    for (int i = 0; i < expected.size() + 1; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
        QCOMPARE(bench.window->focusMark()->markedWidget(), QApplication::focusWidget());
    }
    QCOMPARE(visited, expected + QStringList{expected.first()}); // and round again

    // Space presses the marked button; a click moves the focus without the mark.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(int(bench.window->deviceState().antenna[2]), 15); // RELEASE 2
    QTest::mouseClick(bench.button(QStringLiteral("botaoTecla2C1")), Qt::LeftButton);
    QVERIFY(!bench.window->focusMark()->markedWidget());
}

void tst_PanelAccess::helpListsTheKeys()
{
    Bench bench(true, dir, QStringLiteral("help.ini"));
    bench.window->findChild<QAction *>(QStringLiteral("actionKeyboard_Shortcuts"))->trigger();
    auto *box = bench.window->findChild<QMessageBox *>(QStringLiteral("keyboardShortcuts"));
    QVERIFY(box);
    QCOMPARE(box->windowTitle(), QStringLiteral("Keyboard Shortcuts"));
    const QString listed = plain(box->text()); // one table cell a line
    QVERIFY2(listed.contains(QLatin1String("\nChannel 1\nChannel 2\nAnt 1\n1\nCtrl+1\nAnt 2\n2\nCtrl+2\n")),
             qPrintable(listed));
    QVERIFY(listed.contains(QLatin1String("\nAnt 6\n6\nCtrl+6\nRELEASE\n0\nCtrl+0\nSPLIT\nS\nCtrl+S\n")));
}

void tst_PanelAccess::screenReaderHearsTheBoxState_data()
{
    QTest::addColumn<QString>("status"); // ant1.ant2.split1.split2.tx1.tx2.trans1.trans2
    QTest::addColumn<QStringList>("said"); // "button: description" of each antenna button in use
    QTest::addColumn<QString>("split1");
    QTest::newRow("one each") << "1.3.0.0.0.0.0.0.0.0.FF" << QStringList{"2C1: in use", "4C2: in use"} << "split off";
    QTest::newRow("transmitting") << "0.15.0.0.0.0.1.0.0.0.FF" << QStringList{"1C1: transmitting"} << "split off";
    QTest::newRow("split") << "1.15.1.0.4.0.0.0.0.0.FF" << QStringList{"2C1: split receive", "5C1: split transmit"}
                           << "split on";
    QTest::newRow("split transmitting") << "1.15.1.0.4.0.1.0.0.0.FF"
                                        << QStringList{"2C1: split receive", "5C1: split transmit, transmitting"}
                                        << "split on";
    QTest::newRow("split on one antenna")
        << "1.15.1.0.1.0.0.0.0.0.FF" << QStringList{"2C1: split receive, split transmit"} << "split on";
}

void tst_PanelAccess::screenReaderHearsTheBoxState()
{
    QFETCH(QString, status);
    QFETCH(QStringList, said);
    QFETCH(QString, split1);
    Bench bench(false, dir, QStringLiteral("speech.ini"));
    heard.clear();
    bench.report(status);
    QStringList inUse, changed;
    for (const char *channel : {"C1", "C2"}) {
        for (int n = 1; n <= 6; ++n) {
            const QString button = QStringLiteral("botaoTecla%1").arg(n) + QLatin1String(channel);
            QCOMPARE(bench.spoken(button, QAccessible::Name),
                     QStringLiteral("Channel %1, Ant %2%3")
                         .arg(QLatin1String(channel).mid(1))
                         .arg(n)
                         .arg(n == 2 ? QStringLiteral(": Beam") : QString()));
            const QString description = bench.spoken(button, QAccessible::Description);
            if (description != QLatin1String("not in use")) {
                inUse << button.mid(10) + QStringLiteral(": ") + description;
                changed << button + QStringLiteral(":Description");
            }
        }
    }
    QCOMPARE(inUse, said);
    QCOMPARE(bench.spoken(QStringLiteral("botaoSplitC1"), QAccessible::Description), split1);
    // Told of exactly the antenna buttons that changed, and of nothing when nothing did.
    QCOMPARE(heard.filter(QStringLiteral("botaoTecla")), changed);
    heard.clear();
    bench.report(status);
    QCOMPARE(heard, QStringList());
}

void tst_PanelAccess::powerSaysWhetherTheBoxAnswers()
{
    Bench bench(false, dir, QStringLiteral("power.ini"));
    QCOMPARE(bench.spoken(QStringLiteral("botaoPower"), QAccessible::Name), QStringLiteral("POWER"));
    QCOMPARE(bench.spoken(QStringLiteral("botaoPower"), QAccessible::Description), QStringLiteral("no reply"));
    bench.report(QStringLiteral("3.15.0.0.0.0.0.0.0.0.FF"));
    bench.window->checkCOMTimeout(bench.window.get());
    QCOMPARE(bench.spoken(QStringLiteral("botaoPower"), QAccessible::Description), QStringLiteral("box answering"));
    heard.clear();
    bench.clock.advance(MainWindow::LinkTimeoutMs);
    bench.window->checkCOMTimeout(bench.window.get());
    QCOMPARE(heard, QStringList()); // still within the 7 s
    bench.clock.advance(1);
    bench.window->checkCOMTimeout(bench.window.get());
    QCOMPARE(bench.spoken(QStringLiteral("botaoPower"), QAccessible::Description), QStringLiteral("no reply"));
    // The cleared panel says nothing is in use any more.
    QCOMPARE(heard, (QStringList{"botaoPower:Description", "botaoTecla4C1:Description"}));
}

void tst_PanelAccess::fullNameAsTypedInNameAndTooltip()
{
    Bench bench(false, dir, QStringLiteral("names.ini"));
    const QString typed = QStringLiteral("Long<b>Wire</b> & 40m\nup high");
    QSettings(bench.window->settingsFilePath(), QSettings::IniFormat).setValue(QStringLiteral("K3_1"), typed);
    heard.clear();
    bench.window->loadSettings();
    heard.removeDuplicates(); // the button's new text is news to the framework too
    QCOMPARE(heard, (QStringList{"botaoTecla3C1:Name", "botaoTecla3C2:Name"}));
    QCOMPARE(bench.spoken(QStringLiteral("botaoTecla3C2"), QAccessible::Name),
             QStringLiteral("Channel 2, Ant 3: Long<b>Wire</b> & 40m up high"));
    QCOMPARE(plain(bench.button(QStringLiteral("botaoTecla3C2"))->toolTip()),
             typed + QStringLiteral("\nChannel 2, Ant 3: not in use\nKey: Ctrl+3"));
    bench.report(QStringLiteral("15.2.0.0.0.0.0.0.0.0.FF"));
    QVERIFY(plain(bench.button(QStringLiteral("botaoTecla3C2"))->toolTip()).contains(QLatin1String("Ant 3: in use\n")));
}

void tst_PanelAccess::screenReaderListsTheButtonsInReadingOrder()
{
    Bench bench(false, dir, QStringLiteral("tree.ini"));
    bench.activate();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); // the outline shows
    QVERIFY(bench.window->focusMark()->markedWidget());

    QStringList expected;
    for (const PanelButton &button : PanelButtons::readingOrder()) {
        switch (button.kind) {
        case PanelButton::Kind::Antenna:
            expected << QStringLiteral("botaoTecla%1C%2").arg(button.antenna + 1).arg(button.channel);
            break;
        case PanelButton::Kind::Release:
            expected << QStringLiteral("botaoRelease%1").arg(button.channel);
            break;
        case PanelButton::Kind::Split:
            expected << QStringLiteral("botaoSplitC%1").arg(button.channel);
            break;
        case PanelButton::Kind::Send:
            expected << QStringLiteral("botaoSendC%1").arg(button.channel);
            break;
        case PanelButton::Kind::Power:
            expected << QStringLiteral("botaoPower");
            break;
        }
    }
    const QList<QAccessibleInterface *> listed = walk(bench.window.get());
    QVERIFY2(!listed.isEmpty(), "a child does not name its parent, or its parent not its index");
    QStringList heardButtons;
    for (QAccessibleInterface *node : listed) {
        QVERIFY(node->object() != bench.window->focusMark());
        if (node->role() == QAccessible::PushButton && node->object()->objectName().startsWith(QLatin1String("botao")))
            heardButtons << node->object()->objectName();
    }
    QCOMPARE(heardButtons, expected);
}

void tst_PanelAccess::picturesNamedDecorationLeftOut_data()
{
    QTest::addColumn<QString>("action"); // opens the dialog it is in; empty: the panel
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("object"); // its name, or its class when it has none
    QTest::addColumn<bool>("listed");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("id"); // the identification line the operator gave
    QTest::newRow("logo") << ""
                          << ""
                          << "label_3" << true << "Norvale Antenna Systems"
                          << "";
    QTest::newRow("About's logo") << "actionAbout_Norvale"
                                  << "about"
                                  << "labelLogo" << true << "Norvale Antenna Systems"
                                  << "";
    QTest::newRow("antennas' area") << ""
                                    << ""
                                    << "frame" << false << ""
                                    << "";
    QTest::newRow("empty tool bar") << ""
                                    << ""
                                    << "mainToolBar" << false << ""
                                    << "";
    QTest::newRow("title") << ""
                           << ""
                           << "label" << true << "Zorvik"
                           << "";
    // The button's description says "receive only" already.
    QTest::newRow("RX only mark") << ""
                                  << ""
                                  << "receiveOnlyMark2C1" << false << ""
                                  << "";
    // The identification line says nothing until the operator gives one, and then it is read.
    QTest::newRow("no ID") << ""
                           << ""
                           << "labelID" << false << ""
                           << "";
    QTest::newRow("blank ID") << ""
                              << ""
                              << "labelID" << false << ""
                              << "   ";
    QTest::newRow("ID") << ""
                        << ""
                        << "labelID" << true << "Station W1AW"
                        << "Station W1AW";
    // Read by the message it shows.
    QTest::newRow("status bar") << ""
                                << ""
                                << "statusBar" << true << "LAN enabled"
                                << "";
    // Only the mouse drags it.
    QTest::newRow("size grip") << ""
                               << ""
                               << "QSizeGrip" << false << ""
                               << "";
}

void tst_PanelAccess::picturesNamedDecorationLeftOut()
{
    QFETCH(QString, action);
    QFETCH(QString, dialog);
    QFETCH(QString, object);
    QFETCH(bool, listed);
    QFETCH(QString, name);
    QFETCH(QString, id);
    Bench bench(false, dir, QStringLiteral("decoration.ini"));
    bench.activate();
    if (!id.isEmpty()) { // given once the window has been read without it, as the labels dialog does
        QVERIFY(!walk(bench.window.get()).isEmpty());
        QSettings(bench.window->settingsFilePath(), QSettings::IniFormat).setValue(QStringLiteral("ID"), id);
        bench.window->loadSettings();
    }
    QWidget *root = bench.window.get();
    if (!action.isEmpty()) {
        bench.window->findChild<QAction *>(action)->trigger();
        root = bench.window->findChild<QDialog *>(dialog);
        QVERIFY(root && root->isVisible());
    }
    QWidget *widget = nullptr;
    for (QWidget *child : root->findChildren<QWidget *>()) {
        if (!widget && (child->objectName() == object || QLatin1String(child->metaObject()->className()) == object))
            widget = child;
    }
    QVERIFY(widget);

    const QList<QAccessibleInterface *> tree = walk(root);
    QVERIFY(!tree.isEmpty());
    QList<QObject *> objects;
    for (QAccessibleInterface *node : tree) {
        objects << node->object();
        // No picture and no frame a screen reader would announce without a name, and nothing
        // shown without one but the containers, which are read through what they hold.
        if (node->role() == QAccessible::Graphic || node->role() == QAccessible::Border
            || (!node->state().invisible && node->childCount() == 0))
            QVERIFY2(!node->text(QAccessible::Name).isEmpty(),
                     qPrintable(node->object()->objectName() + QLatin1Char(' ')
                                + node->object()->metaObject()->className()));
    }
    QCOMPARE(objects.contains(widget), listed);
    if (listed)
        QCOMPARE(QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name), name);

    // The application by the program's name, not by its executable's path.
    QAccessibleInterface *application = QAccessible::queryAccessibleInterface(qApp);
    QCOMPARE(application->role(), QAccessible::Application);
    QCOMPARE(application->text(QAccessible::Description), QStringLiteral("Zorvik Remote Control"));
}

QTEST_MAIN(tst_PanelAccess)
#include "tst_panelaccess.moc"
