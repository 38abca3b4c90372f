// Every text of the panel and of its dialogs fits its widget at the usual display scales,
// and the scale the user asks for is the scale the panel gets.
//
// The scale is fixed when the application object is made, so each row runs this program
// again as a probe under that row's environment. The probe prepares scaling as the panel
// does, opens the window and every dialog, measures each label's and button's text with
// its font metrics against the rectangle the style gives the text, and prints what does
// not fit.

#include "app/highdpi.h"
#include "app/mainwindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDirIterator>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSettings>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QtTest>

#include <cstdio>

namespace {

const char ProbeVariable[] = "ZORVIK_TEXTFIT_PROBE";

// Names as operators give them, in the button's lines of five characters.
const QStringList AntennaNames = {
    QStringLiteral("Yagi 20 m"), QStringLiteral("Loop"), QStringLiteral("Dummy load"),
    QStringLiteral("Beam\n15/10"), QStringLiteral("Delta"), QStringLiteral("Hex\nbeam"),
};

QString describe(const QWidget *widget, const QString &text, const QString &problem)
{
    return QStringLiteral("%1/%2 \"%3\" %4")
        .arg(widget->window()->objectName(), widget->objectName(), QString(text).replace(QLatin1Char('\n'), QLatin1Char('|')), problem);
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
    const int inkBottom = top + (lines.size() - 1) * metrics.lineSpacing() + metrics.ascent() + metrics.tightBoundingRect(lines.last()).bottom();
    QStringList problems;
    if (widest > room.width())
        problems << QStringLiteral("is %1 wide in %2").arg(widest).arg(room.width());
    if (inkTop < room.top() || inkBottom > room.bottom())
        problems << QStringLiteral("has ink from y %1 to %2 in %3 to %4").arg(inkTop).arg(inkBottom).arg(room.top()).arg(room.bottom());
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
            problem = QStringLiteral("lays out to %1x%2 in %3x%4").arg(laidOut.width()).arg(laidOut.height()).arg(room.width()).arg(room.height());
    } else if (label->wordWrap()) {
        const QRect laidOut = label->fontMetrics().boundingRect(room, int(label->alignment()) | Qt::TextWordWrap, label->text());
        if (laidOut.width() > room.width() || laidOut.height() > room.height())
            problem = QStringLiteral("wraps to %1x%2 in %3x%4").arg(laidOut.width()).arg(laidOut.height()).arg(room.width()).arg(room.height());
    } else {
        problem = overflow(label->fontMetrics(), label->text(), room, label->alignment());
    }
    return problem.isEmpty() ? QString() : describe(label, label->text(), problem);
}

QString clippedTitle(QGroupBox *box)
{
    if (box->title().isEmpty())
        return {};
    QStyleOptionGroupBox option;
    option.initFrom(box);
    option.text = box->title();
    option.subControls = QStyle::SC_GroupBoxLabel | (box->isCheckable() ? QStyle::SC_GroupBoxCheckBox : QStyle::SC_None);
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
    for (const char *name : {"actionLabels", "actionLAN_Settings", "actionConfigure", "actionAbout_Norvale", "actionKeyboard_Shortcuts",
                              "actionBand_Follow"}) {
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
                clipped << clippedLabel(label);
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
    std::printf("scale %.3f\n", window.devicePixelRatioF());
    return 0;
}

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

    // The headless screen reports 100 dpi; 96 dpi is what a desktop's 100 % means.
    const QString desktop = QStringLiteral("QT_FONT_DPI=96");
    QTest::newRow("100 %") << QStringList{desktop, "QT_SCALE_FACTOR=1"} << 1.0 << true;
    QTest::newRow("125 %") << QStringList{desktop, "QT_SCALE_FACTOR=1.25"} << 1.25 << true;
    QTest::newRow("150 %") << QStringList{desktop, "QT_SCALE_FACTOR=1.5"} << 1.5 << true;
    QTest::newRow("200 %") << QStringList{desktop, "QT_SCALE_FACTOR=2"} << 2.0 << true;
    // A screen of 120 dpi is a 125 % screen: the factor is used as it is, not rounded.
    QTest::newRow("120 dpi screen") << QStringList{"QT_FONT_DPI=120"} << 1.25 << true;
    // The user's own word over the screen's density still holds.
    QTest::newRow("density scaling switched off") << QStringList{"QT_FONT_DPI=120", "QT_ENABLE_HIGHDPI_SCALING=0"} << 1.0 << false;
    QTest::newRow("rounding asked for") << QStringList{"QT_FONT_DPI=120", "QT_SCALE_FACTOR_ROUNDING_POLICY=Round"} << 1.0 << false;
}

void tst_TextFit::textsFitAtScale()
{
    QFETCH(QStringList, environment);
    QFETCH(double, expectedScale);
    QFETCH(bool, scaled);

    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_FONT_DPI", "QT_ENABLE_HIGHDPI_SCALING",
                             "QT_AUTO_SCREEN_SCALE_FACTOR", "QT_SCALE_FACTOR_ROUNDING_POLICY"})
        variables.remove(QLatin1String(name));
    for (const QString &assignment : qAsConst(environment))
        variables.insert(assignment.section(QLatin1Char('='), 0, 0), assignment.section(QLatin1Char('='), 1));
    variables.insert(QLatin1String(ProbeVariable), QStringLiteral("1"));
    variables.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

    QProcess probe;
    probe.setProcessEnvironment(variables);
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY2(probe.waitForFinished(60000), "the probe did not finish");
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    QCOMPARE(probe.exitCode(), 0);

    // Line ends are "\r\n" on Windows.
    const QStringList lines = QString::fromLocal8Bit(probe.readAllStandardOutput()).split(QRegularExpression(QStringLiteral("[\r\n]+")), Qt::SkipEmptyParts);
    const QStringList clipped = lines.filter(QRegularExpression(QStringLiteral("^clipped ")));
    if (scaled)
        QCOMPARE(clipped, QStringList());
    // The window and the six dialogs were measured, not an empty screen.
    QVERIFY2(lines.contains(QStringLiteral("windows 7")), qPrintable(lines.join(QLatin1Char('\n'))));
    const QStringList scale = lines.filter(QRegularExpression(QStringLiteral("^scale ")));
    QCOMPARE(scale.size(), 1);
    QCOMPARE(scale.first().section(QLatin1Char(' '), 1).toDouble(), expectedScale);
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
        QRegularExpressionMatchIterator urls = QRegularExpression(QStringLiteral("url\\((:/[^)]+)\\)")).globalMatch(text);
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
        QVERIFY2(twice == single * 2, qPrintable(QStringLiteral("%1: %2x%3").arg(doubled).arg(twice.width()).arg(twice.height())));
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
