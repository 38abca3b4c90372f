// What the status bar shows after a run of messages, "Ping: " figures above all: the
// pixels on the screen (the window's backing store) against a full repaint of the bar.
// A new message repaints only the part of its text that changed, so stale pixels left
// outside that part would show here.

#include "app/mainwindow.h"
#include "app/statusnote.h"

#include <QScreen>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

class tst_StatusMessage : public QObject
{
    Q_OBJECT

private slots:
    void barShowsWhatAFullRepaintShows_data();
    void barShowsWhatAFullRepaintShows();
};

namespace {
// Counts the paints a widget gets.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};
} // namespace

void tst_StatusMessage::barShowsWhatAFullRepaintShows_data()
{
    QTest::addColumn<QString>("note"); // a band follow note beside the message, or none
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<int>("disabledFrom"); // the bar is disabled before this message; -1: never
    QTest::newRow("ping figures") << QString() << QStringList{"Ping: 3",    "Ping: 12",   "Ping: 7",
                                                              "Ping: 1000", "Ping: 1001", "Ping: 9"}
                                  << -1;
    QTest::newRow("other messages between")
        << QString() << QStringList{"Ping: 3",  "Connected! Firmware Revision: 1 . 7",
                                    "Ping: 4",  "HOST error: check LAN Settings!",
                                    "Ping: 41", "Ping: 4"}
        << -1;
    QStringList many;
    for (int ping = 0; ping < 70; ++ping)
        many << QStringLiteral("Ping: %1").arg(ping % 2 == 0 ? ping : 1000 - ping);
    QTest::newRow("more texts than layouts kept") << QString() << many << -1;
    QTest::newRow("tab and right-to-left text between")
        << QString()
        << QStringList{"Ping: 3", "Ping:\t4", "Ping: 4", QStringLiteral("Ping: \u05e9\u05dc\u05d5\u05dd"), "Ping: 5"}
        << -1;
    QTest::newRow("beside a band follow note") << QStringLiteral("Radio 1 on 14.074 MHz: Yagi 20")
                                               << QStringList{"Ping: 3", "Ping: 12", "Ping: 7", "Ping: 10"} << -1;
    // A text shown before comes back from the pixels kept for it: after a longer text, a
    // shorter one, one as wide, and one with another text between.
    const QStringList repeated{"Ping: 3",    "Ping: 12", "Ping: 3",
                               "Ping: 12",   "Ping: 7",  "Ping: 3",
                               "Ping: 1000", "Ping: 3",  "Connected! Firmware Revision: 1 . 7",
                               "Ping: 12",   "Ping: 7",  "Ping: 1000"};
    QTest::newRow("figures that come again") << QString() << repeated << -1;
    QTest::newRow("figures that come again beside a note")
        << QStringLiteral("Radio 1 on 14.074 MHz: Yagi 20") << repeated << -1;
    // Its text in another colour: what was kept of it while enabled is not that.
    QTest::newRow("figures that come again, the bar disabled between") << QString() << repeated << 6;
}

void tst_StatusMessage::barShowsWhatAFullRepaintShows()
{
    QFETCH(QString, note);
    QFETCH(QStringList, messages);
    QFETCH(int, disabledFrom);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    MainWindow window(dir.filePath(QStringLiteral("settings.ini")), QList<SerialPortDescription>{});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QStatusBar *bar = window.statusBar();
    if (!note.isEmpty()) {
        auto *statusNote = window.findChild<StatusNote *>(QStringLiteral("bandFollowStatus1"));
        QVERIFY(statusNote);
        statusNote->setNote(note);
        statusNote->show();
    }
    // A disabled bar's text surely in a colour of its own.
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Disabled, QPalette::WindowText, Qt::red);
    bar->setPalette(palette);
    PaintCounter counter;
    bar->installEventFilter(&counter);
    const QRect onWindow(bar->mapTo(&window, QPoint(0, 0)), bar->size());
    for (int m = 0; m < messages.size(); ++m) {
        const QString &message = messages.at(m);
        if (m == disabledFrom)
            bar->setEnabled(false);
        const int paintsBefore = counter.paints;
        bar->showMessage(message);
        QTRY_VERIFY2(counter.paints > paintsBefore, qPrintable(message));
        QCoreApplication::processEvents();
        const QImage shown = window.screen()->grabWindow(window.winId()).toImage().copy(onWindow);
        const QImage repainted = bar->grab().toImage();
        QCOMPARE(shown.convertToFormat(QImage::Format_RGB32), repainted.convertToFormat(QImage::Format_RGB32));
    }
}

QTEST_MAIN(tst_StatusMessage)
#include "tst_statusmessage.moc"
