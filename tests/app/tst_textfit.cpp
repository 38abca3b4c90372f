// Every text of the panel and of its dialogs fits its widget at the usual display scales,
// and the scale the desktop and the user ask for is the scale the panel gets: on the
// headless platform, and on a real X server (Xvfb, when installed) whose screen's
// millimetres make 96.07 or 100 dpi, with and without the desktop's Xft.dpi.
//
// The scale is fixed when the application object is made, so each row runs this program
// again as a probe under that row's environment. The probe prepares scaling as the panel
// does, opens the window and every dialog, measures each label's and button's text with
// its font metrics against the rectangle the style gives the text, and prints what does
// not fit, the scale and the window's size in the screen's pixels.

#include "app/displayscale.h"
#include "app/highdpi.h"
#include "app/mainwindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDirIterator>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QtTest>

#include <qpa/qplatformwindow.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#ifdef ZORVIK_HAVE_XCB
#include <xcb/xcb.h>
#endif

namespace {

const char ProbeVariable[] = "ZORVIK_TEXTFIT_PROBE";

// Names as operators give them, in the button's lines of five characters. Antenna 5, a
// receive-only Beverage, fills three lines above its "RX only" mark.
const QStringList AntennaNames = {
    QStringLiteral("Yagi 20 m"),   QStringLiteral("Loop"),        QStringLiteral("Dummy load"),
    QStringLiteral("Beam\n15/10"), QStringLiteral("Beverage NE"), QStringLiteral("Hex\nbeam"),
};
constexpr int ReceiveOnlyAntenna = 5;

QString describe(const QWidget *widget, const QString &text, const QString &problem)
{
    return QStringLiteral("%1/%2 \"%3\" %4")
        .arg(widget->window()->objectName(), widget->objectName(),
             QString(text).replace(QLatin1Char('\n'), QLatin1Char('|')), problem);
}

// What of `text`, drawn with `alignment` in `room`, falls outside it: the widest line's
// advance against the room's width, and the ink of the first and last lines (where the
// alignment puts them) against its top and bottom. Lines are counted by their ink, not by
// their line box, so a caption whose box is taller than its label but whose letters are
// whole counts as fitting. Empty when everything fits.
QString overflow(const QFontMetrics &metrics, QString text, const QRect &room, Qt::Alignment alignment)
{
    text.replace(QLatin1String("&&"), QString(QChar(0x1)));
    text.remove(QLatin1Char('&'));
    text.replace(QChar(0x1), QLatin1Char('&'));
    const QStringList lines = text.split(QLatin1Char('\n'));
    int widest = 0;
    for (QString line : lines) {
        // A space at the end of a line is no ink, and Qt lays lines out without it.
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        widest = qMax(widest, metrics.horizontalAdvance(line));
    }
    const int block = metrics.height() + (lines.size() - 1) * metrics.lineSpacing();
    int top = room.top() + (room.height() - block) / 2;
    if (alignment & Qt::AlignTop)
        top = room.top();
    else if (alignment & Qt::AlignBottom)
        top = room.bottom() + 1 - block;
    const int inkTop = top + metrics.ascent() + metrics.tightBoundingRect(lines.first()).top();
    const int inkBottom = top + (lines.size() - 1) * metrics.lineSpacing() + metrics.ascent()
        + metrics.tightBoundingRect(lines.last()).bottom();
    QStringList problems;
    if (widest > room.width())
        problems << QStringLiteral("is %1 wide in %2").arg(widest).arg(room.width());
    if (inkTop < room.top() || inkBottom > room.bottom())
        problems << QStringLiteral("has ink from y %1 to %2 in %3 to %4")
                        .arg(inkTop)
                        .arg(inkBottom)
                        .arg(room.top())
                        .arg(room.bottom());
    return problems.join(QLatin1String(", "));
}

// The room a button's style leaves for its text.
QString clippedButton(QAbstractButton *button)
{
    if (button->text().isEmpty())
        return {};
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    QStyle::SubElement element = QStyle::SE_PushButtonContents;
    if (qobject_cast<QCheckBox *>(button))
        element = QStyle::SE_CheckBoxContents;
    else if (qobject_cast<QRadioButton *>(button))
        element = QStyle::SE_RadioButtonContents;
    else if (!qobject_cast<QPushButton *>(button))
        return {};
    const QRect room = button->style()->subElementRect(element, &option, button);
    const QString problem = overflow(button->fontMetrics(), button->text(), room, Qt::AlignVCenter);
    return problem.isEmpty() ? QString() : describe(button, button->text(), problem);
}

// A label draws inside its contents rectangle less its margin. A word-wrapped label is
// measured by the line boxes of the text as Qt breaks it.
QString clippedLabel(QLabel *label)
{
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    const bool showsPicture = !label->pixmap(Qt::ReturnByValue).isNull();
#else
    const bool showsPicture = !label->pixmap().isNull();
#endif
    if (label->text().isEmpty() || showsPicture)
        return {};
    QRect room = label->contentsRect();
    room.adjust(label->margin(), label->margin(), -label->margin(), -label->margin());
    QString problem;
    const bool richText = label->textFormat() == Qt::RichText
        || (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
    if (richText) {
        // Laid out as the label lays it out: its font, no document margin, broken at its
        // width when it wraps.
        QTextDocument document;
        document.setDefaultFont(label->font());
        document.setDocumentMargin(0);
        document.setHtml(label->text());
        if (label->wordWrap())
            document.setTextWidth(room.width());
        const QSize laidOut = document.size().toSize();
        if (laidOut.width() > room.width() || laidOut.height() > room.height())
            problem = QStringLiteral("lays out to %1x%2 in %3x%4")
                          .arg(laidOut.width())
                          .arg(laidOut.height())
                          .arg(room.width())
                          .arg(room.height());
    } else if (label->wordWrap()) {
        const QRect laidOut =
            label->fontMetrics().boundingRect(room, int(label->alignment()) | Qt::TextWordWrap, label->text());
        if (laidOut.width() > room.width() || laidOut.height() > room.height())
            problem = QStringLiteral("wraps to %1x%2 in %3x%4")
                          .arg(laidOut.width())
                          .arg(laidOut.height())
                          .arg(room.width())
                          .arg(room.height());
    } else {
        problem = overflow(label->fontMetrics(), label->text(), room, label->alignment());
    }
    return problem.isEmpty() ? QString() : describe(label, label->text(), problem);
}

// A receive-only antenna's mark lies across its button's lower edge, below the line boxes of
// the name (descenders included) where the button's style centres them.
QString coveredName(QLabel *mark)
{
    auto *button = mark->parentWidget()->findChild<QPushButton *>(
        mark->objectName().replace(QLatin1String("receiveOnlyMark"), QLatin1String("botaoTecla")));
    if (!button)
        return describe(mark, mark->text(), QStringLiteral("has no button"));
    if (!mark->geometry().intersects(button->geometry()) || mark->geometry().bottom() <= button->geometry().bottom())
        return describe(mark, mark->text(), QStringLiteral("is not across its button's lower edge"));
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    const QFontMetrics metrics = button->fontMetrics();
    const int block = metrics.height() + button->text().count(QLatin1Char('\n')) * metrics.lineSpacing();
    const int nameBottom = room.top() + (room.height() - block) / 2 + block;
    const int markTop = mark->geometry().top() - button->geometry().top();
    if (markTop < nameBottom)
        return describe(mark, button->text(),
                        QStringLiteral("covers the name from y %1, its lines down to %2").arg(markTop).arg(nameBottom));
    return {};
}

QString clippedTitle(QGroupBox *box)
{
    if (box->title().isEmpty())
        return {};
    QStyleOptionGroupBox option;
    option.initFrom(box);
    option.text = box->title();
    option.subControls =
        QStyle::SC_GroupBoxLabel | (box->isCheckable() ? QStyle::SC_GroupBoxCheckBox : QStyle::SC_None);
    option.lineWidth = 1;
    option.textAlignment = box->alignment();
    const QRect room = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
    const QString problem = overflow(box->fontMetrics(), box->title(), room, Qt::AlignVCenter);
    return problem.isEmpty() ? QString() : describe(box, box->title(), problem);
}

// The probe: one process, one scale.
int probe(int argc, char **argv)
{
    HighDpi::prepare();
    QApplication application(argc, argv);
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("settings.ini"));
    {
        QSettings settings(ini, QSettings::IniFormat);
        for (int antenna = 1; antenna <= AntennaNames.size(); ++antenna)
            settings.setValue(QStringLiteral("K%1_1").arg(antenna), AntennaNames.at(antenna - 1));
        settings.setValue(QStringLiteral("RXONLY_%1").arg(ReceiveOnlyAntenna), 1);
        settings.setValue(QStringLiteral("ID"), QStringLiteral("Station W1AW - contest position 2"));
        settings.setValue(QStringLiteral("IP"), QStringLiteral("127.0.0.1"));
    }
    SerialPortDescription port;
    port.portName = QStringLiteral("ttyUSB0");
    port.description = QStringLiteral("USB-Serial Controller");
    port.manufacturer = QStringLiteral("Prolific Technology Inc.");
    port.systemLocation = QStringLiteral("/dev/ttyUSB0");
    MainWindow window(ini, QList<SerialPortDescription>{port});
    window.show();
    // Every dialog the menus open, as the operator opens them.
    for (const char *name : {"actionLabels", "actionLAN_Settings", "actionConfigure", "actionAbout_Norvale",
                             "actionKeyboard_Shortcuts", "actionBand_Follow", "actionRemote_Control"}) {
        QAction *action = window.findChild<QAction *>(QLatin1String(name));
        if (!action) {
            std::printf("missing action %s\n", name);
            return 3;
        }
        action->trigger();
    }
    // Polishing a shown dialog can ask its layout to run again: let every such request
    // through before measuring, as the operator's event loop does.
    for (int round = 0; round < 10; ++round) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QApplication::processEvents();
    }

    int windows = 0;
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (!top->isVisible())
            continue;
        ++windows;
        QStringList clipped;
        for (QWidget *widget : top->findChildren<QWidget *>()) {
            // Dialogs are children of the window too: each is measured as its own window.
            if (widget->window() != top || !widget->isVisibleTo(top))
                continue;
            if (auto *label = qobject_cast<QLabel *>(widget))
                clipped << clippedLabel(label)
                        << (label->property("receiveOnlyMark").toBool() ? coveredName(label) : QString());
            else if (auto *button = qobject_cast<QAbstractButton *>(widget))
                clipped << clippedButton(button);
            else if (auto *box = qobject_cast<QGroupBox *>(widget))
                clipped << clippedTitle(box);
        }
        clipped.removeAll(QString());
        for (const QString &line : qAsConst(clipped))
            std::printf("clipped %s\n", qPrintable(line));
    }
    std::printf("windows %d\n", windows);
    // Where no real font is found (Wine's offscreen platform) every size has one set of
    // metrics, and whether a text fits says nothing.
    QFont small = window.font(), large = window.font();
    small.setPixelSize(6);
    large.setPixelSize(30);
    const QString sample = QStringLiteral("RX only");
    if (QFontMetrics(small).horizontalAdvance(sample) == QFontMetrics(large).horizontalAdvance(sample))
        std::printf("fonts of one size\n");
    std::printf("scale %.3f\n", window.devicePixelRatioF());
    const QSize native = window.windowHandle()->handle()->geometry().size();
    std::printf("window %dx%d\n", native.width(), native.height());
    if (QWidget *page = window.findChild<QDialog *>(QStringLiteral("bandFollowDialog"))) {
        const QSize pageSize = page->windowHandle()->handle()->geometry().size();
        std::printf("bandFollowDialog %dx%d\n", pageSize.width(), pageSize.height());
    }
    return 0;
}

// A private X server with one screen, started with -noreset so that the resources set on
// it outlive the connection that set them; stopped when this object goes.
class XServer
{
public:
    ~XServer()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished(5000);
    }
    // ":N" once it is ready, empty when it would not start. `screen` as Xvfb's -screen 0.
    QString start(const QString &screen, const QStringList &options)
    {
        // Xvfb picks a free display and writes its number on the descriptor -displayfd names.
        process.start(QStringLiteral("Xvfb"),
                      QStringList{"-displayfd", "1", "-noreset", "-nolisten", "tcp", "-screen", "0", screen} + options);
        QString number;
        QElapsedTimer timer;
        timer.start();
        while (!number.endsWith(QLatin1Char('\n')) && timer.elapsed() < 10000
               && process.state() != QProcess::NotRunning) {
            process.waitForReadyRead(100);
            number += QString::fromLatin1(process.readAllStandardOutput());
        }
        return number.endsWith(QLatin1Char('\n')) ? QLatin1Char(':') + number.trimmed() : QString();
    }

private:
    QProcess process;
};

#ifdef ZORVIK_HAVE_XCB
// Sets the desktop's resources as xrdb does: the RESOURCE_MANAGER text on the first root.
bool setXftDpi(const QString &display, int dpi)
{
    xcb_connection_t *connection = xcb_connect(display.toLocal8Bit().constData(), nullptr);
    bool done = false;
    if (!xcb_connection_has_error(connection)) {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        const QByteArray text = "Xft.antialias:\t1\nXft.dpi:\t" + QByteArray::number(dpi) + '\n';
        const xcb_void_cookie_t cookie =
            xcb_change_property_checked(connection, XCB_PROP_MODE_REPLACE, root, XCB_ATOM_RESOURCE_MANAGER,
                                        XCB_ATOM_STRING, 8, quint32(text.size()), text.constData());
        xcb_generic_error_t *error = xcb_request_check(connection, cookie);
        done = !error;
        std::free(error);
    }
    xcb_disconnect(connection);
    return done;
}
#endif

} // namespace

class tst_TextFit : public QObject
{
    Q_OBJECT

private slots:
    void textsFitAtScale_data();
    void textsFitAtScale();
    void stylePicturesComeInTwoSizes();
};

void tst_TextFit::textsFitAtScale_data()
{
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<double>("expectedScale");
    // Whether the layout's texts are expected to fit: not where the user keeps Qt from
    // scaling a dense screen, as the fonts then grow and the layout does not.
    QTest::addColumn<bool>("scaled");
    // Empty: the headless platform. Else an X server's -screen 0 and its -dpi, which set the
    // screen's size in millimetres, and the desktop's Xft.dpi (0: none).
    QTest::addColumn<QString>("xScreen");
    QTest::addColumn<QString>("xDpi");
    QTest::addColumn<int>("xftDpi");
    QTest::addColumn<QSize>("window"); // in the screen's pixels

    // The headless screen reports 100 dpi; 96 dpi is what a desktop's 100 % means.
    const QString desktop = QStringLiteral("QT_FONT_DPI=96");
    const auto headless = [](const char *name, const QStringList &environment, double scale, bool scaled,
                             const QSize &window) {
        QTest::newRow(name) << environment << scale << scaled << QString() << QString() << 0 << window;
    };
    headless("100 %", {desktop, "QT_SCALE_FACTOR=1"}, 1.0, true, {733, 298});
    headless("125 %", {desktop, "QT_SCALE_FACTOR=1.25"}, 1.25, true, {916, 373});
    headless("150 %", {desktop, "QT_SCALE_FACTOR=1.5"}, 1.5, true, {1100, 447});
    headless("200 %", {desktop, "QT_SCALE_FACTOR=2"}, 2.0, true, {1466, 596});
    // A screen of 120 dpi is a 125 % screen: the factor is used as it is, not rounded.
    headless("120 dpi screen", {"QT_FONT_DPI=120"}, 1.25, true, {916, 373});
    // The user's own word over the screen's density still holds.
    headless("density scaling switched off", {"QT_FONT_DPI=120", "QT_ENABLE_HIGHDPI_SCALING=0"}, 1.0, false,
             {733, 298});
    headless("rounding asked for", {"QT_FONT_DPI=120", "QT_SCALE_FACTOR_ROUNDING_POLICY=Round"}, 1.0, false,
             {733, 298});

    // A 1600-pixel-wide screen at 96 dpi is 423 mm wide, 96.07 dpi; Xvfb's default screen is
    // 1280x1024 at 100 dpi. Neither was asked to scale: only Xft.dpi and Qt's variables are.
    const QString wide = QStringLiteral("1600x900x24");
    const QString square = QStringLiteral("1280x1024x24");
    const auto x11 = [](const char *name, const QString &screen, const QString &dpi, int xft,
                        const QStringList &environment, double scale, const QSize &window) {
        QTest::newRow(name) << environment << scale << true << screen << dpi << xft << window;
    };
    x11("X11 96.07 dpi, no Xft.dpi", wide, "96", 0, {}, 1.0, {733, 298});
    x11("X11 100 dpi, no Xft.dpi", square, "100", 0, {}, 1.0, {733, 298});
    x11("X11 Xft.dpi 96", square, "100", 96, {}, 1.0, {733, 298});
    x11("X11 Xft.dpi 120", wide, "96", 120, {}, 1.25, {916, 373});
    x11("X11 Xft.dpi 144", wide, "96", 144, {}, 1.5, {1100, 447});
    x11("X11 Xft.dpi 192", wide, "96", 192, {}, 2.0, {1466, 596});
    x11("X11 QT_SCALE_FACTOR", wide, "96", 0, {"QT_SCALE_FACTOR=1.5"}, 1.5, {1100, 447});
    x11("X11 QT_SCREEN_SCALE_FACTORS over Xft.dpi", wide, "96", 192, {"QT_SCREEN_SCALE_FACTORS=1.25"}, 1.25,
        {916, 373});
}

void tst_TextFit::textsFitAtScale()
{
    QFETCH(QStringList, environment);
    QFETCH(double, expectedScale);
    QFETCH(bool, scaled);
    QFETCH(QString, xScreen);
    QFETCH(QString, xDpi);
    QFETCH(int, xftDpi);
    QFETCH(QSize, window);

    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_FONT_DPI", "QT_ENABLE_HIGHDPI_SCALING",
                             "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_SCALE_FACTOR_ROUNDING_POLICY", "QT_USE_PHYSICAL_DPI"})
        variables.remove(QLatin1String(name));
    for (const QString &assignment : qAsConst(environment))
        variables.insert(assignment.section(QLatin1Char('='), 0, 0), assignment.section(QLatin1Char('='), 1));
    variables.insert(QLatin1String(ProbeVariable), QStringLiteral("1"));
    variables.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    std::unique_ptr<XServer> server;
    if (!xScreen.isEmpty()) {
#ifndef ZORVIK_HAVE_XCB
        QSKIP("built without libxcb: no X server to try");
#else
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            QSKIP("Xvfb is not installed (Debian package xvfb)");
        server = std::make_unique<XServer>();
        const QString display = server->start(xScreen, {QStringLiteral("-dpi"), xDpi});
        QVERIFY2(!display.isEmpty(), "Xvfb did not start");
        if (xftDpi > 0)
            QVERIFY(setXftDpi(display, xftDpi));
        variables.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        variables.insert(QStringLiteral("DISPLAY"), display);
        // The panel draws nothing with OpenGL. Without this, xcb loads its GLX integration and
        // with it whichever Mesa driver the machine has, which may leak and is unloaded before
        // the leak check runs: a report no suppression can name, on some machines only.
        variables.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
#endif
    }
    // What DisplayScale, the panel's own rule, makes of the same request.
    DisplayScale::Request request;
    request.xftDpi = xScreen.isEmpty() ? 0 : xftDpi;
    request.scaleFactor = variables.value(QStringLiteral("QT_SCALE_FACTOR")).toLocal8Bit();
    request.screenScaleFactors = variables.value(QStringLiteral("QT_SCREEN_SCALE_FACTORS")).toLocal8Bit();
    request.enableScaling = variables.value(QStringLiteral("QT_ENABLE_HIGHDPI_SCALING")).toLocal8Bit();
    request.fontDpi = variables.value(QStringLiteral("QT_FONT_DPI")).toLocal8Bit();
    request.roundingPolicy = variables.value(QStringLiteral("QT_SCALE_FACTOR_ROUNDING_POLICY")).toLocal8Bit();

    QProcess probe;
    probe.setProcessEnvironment(variables);
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY2(probe.waitForFinished(60000), "the probe did not finish");
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    QCOMPARE(probe.exitCode(), 0);

    // Line ends are "\r\n" on Windows.
    const QStringList lines = QString::fromLocal8Bit(probe.readAllStandardOutput())
                                  .split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts);
    const QStringList clipped = lines.filter(QRegularExpression(QStringLiteral("^clipped ")));
    if (lines.contains(QStringLiteral("fonts of one size")))
        qInfo("no font that changes with its size here: fit not judged");
    else if (scaled)
        QCOMPARE(clipped, QStringList());
    // The window and the seven dialogs were measured, not an empty screen.
    QVERIFY2(lines.contains(QStringLiteral("windows 8")), qPrintable(lines.join(QLatin1Char('\n'))));
    const QStringList scale = lines.filter(QRegularExpression(QStringLiteral("^scale ")));
    QCOMPARE(scale.size(), 1);
    QCOMPARE(scale.first().section(QLatin1Char(' '), 1).toDouble(), expectedScale);
    QCOMPARE(DisplayScale::scaleFactor(request), expectedScale);
    QVERIFY2(lines.contains(QStringLiteral("window %1x%2").arg(window.width()).arg(window.height())),
             qPrintable(lines.filter(QStringLiteral("window ")).join(QLatin1Char('\n'))));
    // At 150 % the station's page fits a 1366 x 768 laptop screen with a title bar above
    // it and the desktop's panel, 48 pixels each there.
    const QStringList page = lines.filter(QRegularExpression(QStringLiteral("^bandFollowDialog \\d+x\\d+$")));
    QCOMPARE(page.size(), 1);
    const QStringList pageSize = page.first().section(QLatin1Char(' '), 1).split(QLatin1Char('x'));
    if (expectedScale == 1.5 && scaled)
        QVERIFY2(pageSize.at(0).toInt() <= 1366 && pageSize.at(1).toInt() <= 768 - 2 * 48, qPrintable(page.first()));
}

// The pictures the style sheets draw come as a pair: name.png and name@2x.png at twice its
// size, so they stay sharp above 100 %.
void tst_TextFit::stylePicturesComeInTwoSizes()
{
    QStringList pictures;
    for (const char *sheet : {":/styles/panel.qss", ":/styles/dialog.qss"}) {
        QFile file{QString::fromLatin1(sheet)};
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        QRegularExpressionMatchIterator urls =
            QRegularExpression(QStringLiteral("url\\((:/[^)]+)\\)")).globalMatch(text);
        while (urls.hasNext())
            pictures << urls.next().captured(1);
    }
    pictures.removeDuplicates();
    QVERIFY(!pictures.isEmpty());
    for (const QString &picture : qAsConst(pictures)) {
        const QSize single = QImageReader(picture).size();
        QString doubled = picture;
        doubled.insert(doubled.lastIndexOf(QLatin1Char('.')), QLatin1String("@2x"));
        const QSize twice = QImageReader(doubled).size();
        QVERIFY2(single.isValid(), qPrintable(picture));
        QVERIFY2(twice == single * 2,
                 qPrintable(QStringLiteral("%1: %2x%3").arg(doubled).arg(twice.width()).arg(twice.height())));
    }
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet(ProbeVariable))
        return probe(argc, argv);
    // The table's rows are separate processes; this one needs a resource-reading core only.
    QApplication application(argc, argv);
    tst_TextFit test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_textfit.moc"
