// What the operator typed is what the panel shows: the identification line above the panel
// is never read as markup, and an '&' in an antenna name is a character on both channels'
// buttons, not the mark of a keyboard shortcut. What is checked is the text as a reader
// (and the painting) sees it: the accessible name, which drops shortcut marks and renders
// markup the way the widget does. The panel's buttons carry accessible names of their own
// (channel, antenna, state), so a button's text is read through a plain button that shows it.
// A receive-only antenna's buttons say "RX only" below the name.

#include "app/mainwindow.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <memory>

class tst_ShownNames : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void idShownAsTyped_data();
    void idShownAsTyped();
    void antennaNameShownAsTypedOnBothChannels_data();
    void antennaNameShownAsTypedOnBothChannels();

private:
    void makeWindow();
    template<typename T> static T *child(QObject *parent, const QString &name)
    {
        T *found = parent->findChild<T *>(name);
        if (!found)
            qFatal("no child %s", qPrintable(name));
        return found;
    }
    static QString shownText(QWidget *widget)
    {
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
        return accessible ? accessible->text(QAccessible::Name) : QStringLiteral("<no accessible interface>");
    }
    static QString paintedText(const QPushButton *button)
    {
        QPushButton plain(button->text());
        return shownText(&plain);
    }
    void typeInLabelsDialog(int antenna, const QString &name, const QString &id, bool receiveOnly = false);
    QString iniPath() const { return dir->filePath(QStringLiteral("settings.ini")); }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<MainWindow> window;
};

void tst_ShownNames::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void tst_ShownNames::cleanup()
{
    window.reset();
    dir.reset();
}

void tst_ShownNames::makeWindow()
{
    window = std::make_unique<MainWindow>(iniPath(), QList<SerialPortDescription>{});
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

// Types into the Labels dialog and presses OK, as the operator does.
void tst_ShownNames::typeInLabelsDialog(int antenna, const QString &name, const QString &id, bool receiveOnly)
{
    child<QAction>(window.get(), QStringLiteral("actionLabels"))->trigger();
    QDialog *dialog = child<QDialog>(window.get(), QStringLiteral("labels"));
    child<QTextEdit>(dialog, QStringLiteral("textEdit1_%1").arg(antenna))->setPlainText(name);
    auto *box = child<QCheckBox>(dialog, QStringLiteral("receiveOnly%1").arg(antenna));
    if (box->isChecked() != receiveOnly)
        QTest::mouseClick(box, Qt::LeftButton);
    QLineEdit *idEdit = child<QLineEdit>(dialog, QStringLiteral("lineEditID"));
    idEdit->clear();
    QTest::keyClicks(idEdit, id);
    QCOMPARE(idEdit->text(), id);
    QTest::mouseClick(child<QPushButton>(dialog, QStringLiteral("botaoOK")), Qt::LeftButton);
    QTRY_VERIFY(!window->findChild<QDialog *>(QStringLiteral("labels")));
}

void tst_ShownNames::idShownAsTyped_data()
{
    QTest::addColumn<QString>("id");
    QTest::newRow("bold markup") << "<b>40m</b>";
    QTest::newRow("entity") << "&lt;";
    QTest::newRow("ampersand") << "a & b";
    QTest::newRow("open tag") << "<i>x";
    QTest::newRow("line break tag") << "20m<br>40m";
    QTest::newRow("plain") << "Station 9";
}

void tst_ShownNames::idShownAsTyped()
{
    QFETCH(QString, id);

    // Stored by an earlier run, and typed now: both show the same.
    {
        QSettings settings(iniPath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("ID"), id);
    }
    makeWindow();
    auto *label = child<QLabel>(window.get(), QStringLiteral("labelID"));
    QCOMPARE(label->text(), id);
    QCOMPARE(shownText(label), id);

    typeInLabelsDialog(1, QString(), QStringLiteral("other"));
    QCOMPARE(shownText(label), QStringLiteral("other"));
    typeInLabelsDialog(1, QString(), id);
    QCOMPARE(shownText(label), id);
    QCOMPARE(QSettings(iniPath(), QSettings::IniFormat).value(QStringLiteral("ID")).toString(), id);

    // Markup would be laid out narrower than its source text; plain text is not.
    const QFontMetrics metrics(label->font());
    QVERIFY2(label->sizeHint().width() >= metrics.horizontalAdvance(id),
             qPrintable(QStringLiteral("%1 px shown for %2 px of text")
                            .arg(label->sizeHint().width())
                            .arg(metrics.horizontalAdvance(id))));
}

// Each row: the name as typed and as the button shows it, lines joined by "\n" (five
// characters to a line, every '&' counting as one), and whether the antenna is receive-only.
void tst_ShownNames::antennaNameShownAsTypedOnBothChannels_data()
{
    QTest::addColumn<int>("antenna");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("receiveOnly");

    QTest::newRow("R&S") << 1 << "R&S"
                         << "R&S" << false;
    QTest::newRow("&&") << 2 << "&&"
                        << "&&" << false;
    QTest::newRow("lone & at the end") << 3 << "Yagi&"
                                       << "Yagi&" << false;
    QTest::newRow("A&B&C D&E") << 4 << "A&B&C D&E"
                               << "A&B&C\n D&E" << false;
    QTest::newRow("Yagi & Co") << 5 << "Yagi & Co"
                               << "Yagi \n& Co" << false;
    QTest::newRow("R&S Ya wraps after the Y") << 6 << "R&S Ya"
                                              << "R&S Y\na" << false;
    QTest::newRow("& across both breaks") << 1 << "A&B&C D&E&F&G"
                                          << "A&B&C\n D&E&\nF&G" << false;
    QTest::newRow("own break") << 2 << "R&S\nLog&Periodic"
                               << "R&S\nLog&P\neriodic" << false;
    QTest::newRow("receive-only, three lines") << 5 << "Beverage NE"
                                               << "Bever\nage N\nE" << true;
    QTest::newRow("receive-only, & and own break") << 2 << "R&S\nLog&Periodic"
                                                   << "R&S\nLog&P\neriodic" << true;
}

void tst_ShownNames::antennaNameShownAsTypedOnBothChannels()
{
    QFETCH(int, antenna);
    QFETCH(QString, name);
    QFETCH(QString, shown);
    QFETCH(bool, receiveOnly);
    const auto marked = [this] {
        QStringList marks;
        for (QLabel *mark : window->findChildren<QLabel *>(QRegularExpression(QStringLiteral("^receiveOnlyMark")))) {
            if (mark->isVisible())
                marks << mark->objectName() + QLatin1Char(':') + mark->text();
        }
        marks.sort();
        return marks;
    };
    const QStringList marks = receiveOnly ? QStringList{QStringLiteral("receiveOnlyMark%1C1:RX only").arg(antenna),
                                                        QStringLiteral("receiveOnlyMark%1C2:RX only").arg(antenna)}
                                          : QStringList();

    makeWindow();
    typeInLabelsDialog(antenna, name, QStringLiteral("ID"), receiveOnly);
    QCOMPARE(marked(), marks);

    // Stored unchanged.
    QCOMPARE(QSettings(iniPath(), QSettings::IniFormat).value(QStringLiteral("K%1_1").arg(antenna)).toString(), name);

    for (int channel = 1; channel <= 2; ++channel) {
        auto *button = child<QPushButton>(window.get(), QStringLiteral("botaoTecla%1C%2").arg(antenna).arg(channel));
        const QString text = paintedText(button);
        QCOMPARE(text, shown);
        QCOMPARE(QString(text).remove(QLatin1Char('\n')), QString(name).remove(QLatin1Char('\n')));
        // No letter of the name became a keyboard shortcut for the button.
        QVERIFY2(button->shortcut().isEmpty(), qPrintable(button->shortcut().toString()));
        // A click on the mark's upper half, over the button, presses the button.
        if (receiveOnly) {
            const QRect mark =
                child<QLabel>(window.get(), QStringLiteral("receiveOnlyMark%1C%2").arg(antenna).arg(channel))
                    ->geometry();
            QCOMPARE(window->centralWidget()->childAt(mark.center().x(), mark.top() + 1), button);
        }
    }

    // A new dialog offers the name exactly as typed.
    child<QAction>(window.get(), QStringLiteral("actionLabels"))->trigger();
    QDialog *dialog = child<QDialog>(window.get(), QStringLiteral("labels"));
    QCOMPARE(child<QTextEdit>(dialog, QStringLiteral("textEdit1_%1").arg(antenna))->toPlainText(), name);

    // And a restart shows the same.
    window.reset();
    makeWindow();
    auto *button = child<QPushButton>(window.get(), QStringLiteral("botaoTecla%1C1").arg(antenna));
    QCOMPARE(paintedText(button), shown);
    QCOMPARE(marked(), marks);
}

QTEST_MAIN(tst_ShownNames)
#include "tst_shownnames.moc"
