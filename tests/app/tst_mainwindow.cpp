#include "app/mainwindow.h"
#include "app/mainwindowform.h"
#include "rig/bandfollowservice.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QToolTip>
#include <QtTest>

#include <map>

#include <memory>

class tst_MainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void missingFileGivesDefaults();
    void linkModeFromFile_data();
    void linkModeFromFile();
    void modeActionsStoreAtOnce_data();
    void modeActionsStoreAtOnce();
    void antennaNamesAndIdShown();
    void designGeometryAndTexts();
    void scaling_data();
    void scaling();
    void labelsDialogRoundTrip();
    void labelsDialogCancelChangesNothing();
    void aboutDialogsAreIndependent();
    void bandFollowNotesNeverWidenTheWindow_data();
    void bandFollowNotesNeverWidenTheWindow();
    void toolTipsFollowTheTheme_data();
    void toolTipsFollowTheTheme();

private:
    std::unique_ptr<MainWindow> makeWindow();
    template<typename T> T *child(QObject *parent, const char *name)
    {
        T *found = parent->findChild<T *>(QLatin1String(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }
    QString iniPath() const { return dir->filePath(QStringLiteral("settings.ini")); }

    std::unique_ptr<QTemporaryDir> dir;
};

void tst_MainWindow::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void tst_MainWindow::cleanup() { dir.reset(); }

std::unique_ptr<MainWindow> tst_MainWindow::makeWindow()
{
    return std::make_unique<MainWindow>(iniPath(), QList<SerialPortDescription>{});
}

void tst_MainWindow::missingFileGivesDefaults()
{
    auto window = makeWindow();
    QCOMPARE(window->linkMode(), LinkMode::Lan);
    QVERIFY(child<QAction>(window.get(), "actionLAN")->isChecked());
    QVERIFY(!child<QAction>(window.get(), "actionSerial")->isChecked());
    QCOMPARE(window->statusBar()->currentMessage(), QStringLiteral("HOST error: check LAN Settings!"));
    QCOMPARE(window->boxHostAddress(), QStringLiteral("error"));
    QVERIFY(child<QLabel>(window.get(), "labelID")->text().isEmpty());
    QVERIFY(child<QPushButton>(window.get(), "botaoTecla1C1")->text().isEmpty());
    QVERIFY(!QFile::exists(iniPath())); // loading writes nothing back
}

void tst_MainWindow::linkModeFromFile_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("serial");
    QTest::newRow("2 is serial") << QVariant(2) << true;
    QTest::newRow("1 is LAN") << QVariant(1) << false;
    QTest::newRow("0 is LAN") << QVariant(0) << false;
    QTest::newRow("7 is LAN") << QVariant(7) << false;
    QTest::newRow("258 keeps its low byte: serial") << QVariant(258) << true;
    QTest::newRow("text is LAN") << QVariant(QStringLiteral("serial")) << false;
}

void tst_MainWindow::linkModeFromFile()
{
    QFETCH(QVariant, stored);
    QFETCH(bool, serial);
    {
        QSettings settings(iniPath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("serialMode"), stored);
        settings.setValue(QStringLiteral("IP"), QStringLiteral("127.0.0.1"));
    }
    auto window = makeWindow();
    QCOMPARE(window->linkMode(), serial ? LinkMode::Serial : LinkMode::Lan);
    QCOMPARE(child<QAction>(window.get(), "actionSerial")->isChecked(), serial);
    QCOMPARE(child<QAction>(window.get(), "actionLAN")->isChecked(), !serial);
    QCOMPARE(window->boxHostAddress(), QStringLiteral("127.0.0.1"));
}

void tst_MainWindow::modeActionsStoreAtOnce_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<int>("stored");
    QTest::newRow("serial") << "actionSerial" << QString() << 2;
    QTest::newRow("serial then LAN") << "actionSerial"
                                     << "actionLAN" << 1;
    QTest::newRow("LAN when already LAN") << "actionLAN"
                                          << "actionLAN" << 1;
    QTest::newRow("serial twice") << "actionSerial"
                                  << "actionSerial" << 2;
}

void tst_MainWindow::modeActionsStoreAtOnce()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(int, stored);
    auto window = makeWindow();
    for (const QString &name : {first, second}) {
        if (!name.isEmpty())
            window->findChild<QAction *>(name)->trigger();
    }
    QCOMPARE(QSettings(iniPath(), QSettings::IniFormat).value(QStringLiteral("serialMode")).toInt(), stored);
    const bool serial = stored == 2;
    QCOMPARE(child<QAction>(window.get(), "actionSerial")->isChecked(), serial);
    QCOMPARE(child<QAction>(window.get(), "actionLAN")->isChecked(), !serial);

    window.reset();
    auto restarted = makeWindow();
    QCOMPARE(restarted->linkMode(), serial ? LinkMode::Serial : LinkMode::Lan);
}

void tst_MainWindow::antennaNamesAndIdShown()
{
    {
        QSettings settings(iniPath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("K3_1"), QStringLiteral("LongWire40"));
        settings.setValue(QStringLiteral("K6_1"), QStringLiteral("Beam"));
        settings.setValue(QStringLiteral("ID"), QStringLiteral("DL0ZRC contest station - no wrap here"));
    }
    auto window = makeWindow();
    for (const char *name : {"botaoTecla3C1", "botaoTecla3C2"})
        QCOMPARE(child<QPushButton>(window.get(), name)->text(), QStringLiteral("LongW\nire40"));
    QCOMPARE(child<QPushButton>(window.get(), "botaoTecla6C2")->text(), QStringLiteral("Beam"));
    QCOMPARE(child<QPushButton>(window.get(), "botaoTecla1C1")->text(), QString());
    QCOMPARE(child<QLabel>(window.get(), "labelID")->text(), QStringLiteral("DL0ZRC contest station - no wrap here"));
}

void tst_MainWindow::designGeometryAndTexts()
{
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(window->size(), QSize(733, 298));
    QCOMPARE(window->windowTitle(), QStringLiteral("Zorvik Remote Control"));
    QCOMPARE(child<QWidget>(window.get(), "frame")->geometry(), QRect(160, 80, 461, 121));
    // Every button in the central widget's coordinates, the antennas' within the frame's area.
    QCOMPARE(child<QWidget>(window.get(), "botaoTecla4C2")->geometry(), QRect(350, 150, 51, 51));
    QCOMPARE(child<QWidget>(window.get(), "botaoRelease1")->geometry(), QRect(530, 100, 81, 31));
    QCOMPARE(child<QWidget>(window.get(), "botaoSendC2")->geometry(), QRect(90, 170, 61, 31));
    QCOMPARE(child<QWidget>(window.get(), "label_A1_3")->geometry(), QRect(480, 60, 41, 16));
    QCOMPARE(child<QLabel>(window.get(), "label_A1_2")->text(), QStringLiteral("Ant 5"));
    QCOMPARE(child<QLabel>(window.get(), "label_2")->text(), QStringLiteral(" Remote Control"));
    QVERIFY(!child<QLabel>(window.get(), "label_3")->pixmap(Qt::ReturnByValue).isNull());
    QCOMPARE(child<QPushButton>(window.get(), "botaoTecla1C1")->font().pixelSize(), 11);
    QCOMPARE(child<QPushButton>(window.get(), "botaoPower")->font().pixelSize(), 13);
    QCOMPARE(child<QLabel>(window.get(), "label_A1")->font().pixelSize(), 12);
    QCOMPARE(child<QLabel>(window.get(), "labelID")->font().pixelSize(), 15);
    QVERIFY(child<QLabel>(window.get(), "labelID")->font().bold());
    QVERIFY(!child<QLabel>(window.get(), "label_A1")->font().bold());
    QVERIFY(child<QPushButton>(window.get(), "botaoTecla2C2")->font().bold());
    QVERIFY(child<QPushButton>(window.get(), "botaoRelease2")->font().bold());

    const QStringList fileMenu{QStringLiteral("Connect to Talmek"),    QStringLiteral("Disconnect"),
                               QStringLiteral("Serial Settings"),      QStringLiteral("Labels"),
                               QStringLiteral("LAN Settings"),         QStringLiteral("Band Follow\u2026"),
                               QStringLiteral("Remote Control\u2026"), QStringLiteral("Lock remote switching"),
                               QStringLiteral("Operating Mode")};
    QStringList shown;
    for (QAction *action : child<QMenu>(window.get(), "menuArquivo")->actions())
        shown << action->text();
    QCOMPARE(shown, fileMenu);
}

void tst_MainWindow::scaling_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QRect>("antenna");
    QTest::addColumn<int>("base");
    QTest::newRow("twice the design size") << QSize(1466, 596) << QRect(QPoint(340, 180), QPoint(440, 280)) << 15;
    QTest::newRow("wider only") << QSize(980, 298) << QRect(QPoint(227, 90), QPoint(294, 140)) << 12;
    QTest::newRow("taller only") << QSize(733, 596) << QRect(QPoint(170, 180), QPoint(220, 280)) << 10;
    QTest::newRow("below the design size") << QSize(500, 200) << QRect(QPoint(115, 60), QPoint(150, 93)) << 8;
}

void tst_MainWindow::scaling()
{
    QFETCH(QSize, size);
    QFETCH(QRect, antenna);
    QFETCH(int, base);
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    // Scaling works from the design geometry, so a detour through another size leaves no trace.
    window->resize(1000, 700);
    window->resize(size);
    QTRY_COMPARE(window->size(), size);
    QTRY_COMPARE(child<QWidget>(window.get(), "botaoTecla1C1")->geometry(), antenna);
    QCOMPARE(child<QPushButton>(window.get(), "botaoTecla1C1")->font().pixelSize(), base + 1);
    QCOMPARE(child<QPushButton>(window.get(), "botaoSplitC1")->font().pixelSize(), base + 3);
    QCOMPARE(child<QLabel>(window.get(), "label")->font().pixelSize(), base + 5);
    QCOMPARE(child<QLabel>(window.get(), "label_2")->font().pixelSize(), base + 2);
    QVERIFY(child<QLabel>(window.get(), "label")->font().bold());
}

void tst_MainWindow::labelsDialogRoundTrip()
{
    auto window = makeWindow();
    child<QAction>(window.get(), "actionLabels")->trigger();
    QDialog *dialog = window->findChild<QDialog *>(QStringLiteral("labels"));
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Label Config"));
    const QString sued = QString::fromUtf8("Süd\nΩ-Beam");
    child<QTextEdit>(dialog, "textEdit1_1")->setPlainText(sued);
    child<QTextEdit>(dialog, "textEdit1_4")->setPlainText(QStringLiteral("VerticalDipole"));
    QLineEdit *id = child<QLineEdit>(dialog, "lineEditID");
    QTest::keyClicks(id, QString(60, QLatin1Char('x')));
    QCOMPARE(id->text().size(), 50);
    id->setText(QStringLiteral("Station 1"));
    QTest::mouseClick(child<QPushButton>(dialog, "botaoOK"), Qt::LeftButton);

    QCOMPARE(child<QPushButton>(window.get(), "botaoTecla1C2")->text(), QString::fromUtf8("Süd\nΩ-Bea\nm"));
    QCOMPARE(child<QPushButton>(window.get(), "botaoTecla4C1")->text(), QStringLiteral("Verti\ncalDi\npole"));
    QCOMPARE(child<QLabel>(window.get(), "labelID")->text(), QStringLiteral("Station 1"));
    QTRY_VERIFY(!window->findChild<QDialog *>(QStringLiteral("labels")));

    QSettings settings(iniPath(), QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("K1_1")).toString(), sued);
    QCOMPARE(settings.value(QStringLiteral("K2_1")).toString(), QString());

    // A new dialog shows what was stored, exactly.
    child<QAction>(window.get(), "actionLabels")->trigger();
    QDialog *again = window->findChild<QDialog *>(QStringLiteral("labels"));
    QVERIFY(again);
    QCOMPARE(child<QTextEdit>(again, "textEdit1_1")->toPlainText(), sued);
    QCOMPARE(child<QTextEdit>(again, "textEdit1_4")->toPlainText(), QStringLiteral("VerticalDipole"));
}

void tst_MainWindow::labelsDialogCancelChangesNothing()
{
    auto window = makeWindow();
    child<QAction>(window.get(), "actionLabels")->trigger();
    QDialog *dialog = window->findChild<QDialog *>(QStringLiteral("labels"));
    child<QTextEdit>(dialog, "textEdit1_1")->setPlainText(QStringLiteral("Yagi"));
    QTest::mouseClick(child<QPushButton>(dialog, "botaoCancel"), Qt::LeftButton);
    QVERIFY(child<QPushButton>(window.get(), "botaoTecla1C1")->text().isEmpty());
    QVERIFY(!QFile::exists(iniPath()));
}

void tst_MainWindow::aboutDialogsAreIndependent()
{
    auto window = makeWindow();
    QAction *aboutAction = child<QAction>(window.get(), "actionAbout_Norvale");
    aboutAction->trigger();
    aboutAction->trigger();
    const QList<QDialog *> dialogs = window->findChildren<QDialog *>(QStringLiteral("about"));
    QCOMPARE(dialogs.size(), 2);
    for (QDialog *dialog : dialogs) {
        QVERIFY(dialog->isVisible());
        QVERIFY(!dialog->isModal());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("About Norvale"));
        QCOMPARE(dialog->size(), QSize(543, 300));
    }
    QVERIFY(window->isEnabled());
}

void tst_MainWindow::bandFollowNotesNeverWidenTheWindow_data()
{
    QTest::addColumn<QString>("note1");
    QTest::addColumn<QString>("note2");
    QTest::addColumn<bool>("whole"); // shown without shortening

    QTest::newRow("short") << "Radio 1: 20 m \u2192 Beam"
                           << "Radio 2: rigctld connected" << true;
    QTest::newRow("long host names") << "Radio 1: rigctld at shack-computer-upstairs.example.org:4532 not reachable"
                                     << "Radio 2: rigctld at second-operating-position.example.org:4533 not reachable"
                                     << false;
}

void tst_MainWindow::bandFollowNotesNeverWidenTheWindow()
{
    QFETCH(QString, note1);
    QFETCH(QString, note2);
    QFETCH(bool, whole);

    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QSize before = window->size();
    window->statusBar()->showMessage(QStringLiteral("Ping: 12"));
    auto *service = window->findChild<BandFollowService *>();
    emit service->message(1, note1);
    emit service->message(2, note2);
    QCoreApplication::processEvents();

    QCOMPARE(window->size(), before);
    QVERIFY(window->minimumSizeHint().width() <= before.width());
    int notesWidth = 0;
    const QString notes[] = {note1, note2};
    for (int radio = 1; radio <= 2; ++radio) {
        auto *label = window->statusBar()->findChild<QLabel *>(QStringLiteral("bandFollowStatus%1").arg(radio));
        QVERIFY(label && label->isVisible());
        // Whole for the screen reader and in the tooltip, however it is drawn.
        QCOMPARE(label->text(), notes[radio - 1]);
        QCOMPARE(label->toolTip(), notes[radio - 1]);
        QCOMPARE(label->width() >= label->fontMetrics().horizontalAdvance(notes[radio - 1]), whole);
        notesWidth += label->width();
    }
    // The bar's own message keeps a fifth of it, room for "Ping: 12" and more.
    QVERIFY(window->statusBar()->width() - notesWidth >= window->statusBar()->width() / 5);
}

void tst_MainWindow::toolTipsFollowTheTheme_data()
{
    QTest::addColumn<QString>("action"); // opens the dialog the widget is in; empty: the panel
    QTest::addColumn<QString>("widget");
    // The box reports channel 1 on Ant 2 (white) and Ant 1 free (grey), each its own look.
    QTest::newRow("antenna in use") << ""
                                    << "botaoTecla2C1";
    QTest::newRow("antenna not in use") << ""
                                        << "botaoTecla1C1";
    QTest::newRow("POWER") << ""
                           << "botaoPower";
    QTest::newRow("Labels dialog") << "actionLabels"
                                   << "lineEditID";
}

// Black on the theme's orange, in a black border, as the menus' highlighted items.
void tst_MainWindow::toolTipsFollowTheTheme()
{
    QFETCH(QString, action);
    QFETCH(QString, widget);
    auto window = makeWindow();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->processaPDRLan(window.get(), QStringLiteral("1.15.0.0.0.0.0.0.0.0.FF"));
    window->checkCOMTimeout(window.get()); // POWER green
    if (!action.isEmpty())
        child<QAction>(window.get(), qPrintable(action))->trigger();
    auto *target = window->findChild<QWidget *>(widget);
    QVERIFY(target);
    QTRY_VERIFY(target->isVisible());
    QToolTip::showText(target->mapToGlobal(target->rect().center()), QStringLiteral("Ant 1"), target);
    QTRY_VERIFY(QToolTip::isVisible());
    QWidget *tip = nullptr;
    for (QWidget *top : QApplication::topLevelWidgets())
        tip = top->objectName() == QLatin1String("qtooltip_label") && top->isVisible() ? top : tip;
    QVERIFY(tip);
    const QImage image = tip->grab().toImage();
    std::map<QRgb, int> count;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            ++count[image.pixel(x, y) | 0xff000000u];
    }
    QRgb most = 0;
    for (const auto &entry : count)
        most = entry.second > count[most] ? entry.first : most;
    QCOMPARE(QColor(most).name(), QStringLiteral("#ffa02f"));
    QCOMPARE(tip->palette().color(tip->foregroundRole()).name(), QStringLiteral("#000000"));
    QToolTip::hideText();
}

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
