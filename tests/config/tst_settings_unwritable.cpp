// Every place the panel writes its settings tells the operator when the write did not
// reach the file. The unwritable file lies under a regular file instead of a folder, which
// stops even root (permission bits would not).

#include "panelbench.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QtTest>

#include <memory>

namespace {
const QString NotSavedPrefix = QStringLiteral("Settings not saved: ");
}

class tst_SettingsUnwritable : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void writerReportsAFileItCannotWrite_data();
    void writerReportsAFileItCannotWrite();
    void writerStoresQuietlyWhenItCan_data();
    void writerStoresQuietlyWhenItCan();

private:
    static void addWriterRows();
    void makeWindow(const QString &ini);
    void carryOut(const QString &writer);
    template<typename T> static T *child(QObject *parent, const QString &name)
    {
        T *found = parent->findChild<T *>(name);
        if (!found)
            qFatal("no child %s", qPrintable(name));
        return found;
    }
    QString status() const { return bench->status(); }

    // The window takes its dialogs with it, the serial settings window included.
    std::unique_ptr<PanelBench> bench;
};

void tst_SettingsUnwritable::init()
{
    bench = std::make_unique<PanelBench>();
    QVERIFY(bench->isValid());
}

void tst_SettingsUnwritable::cleanup() { bench.reset(); }

void tst_SettingsUnwritable::makeWindow(const QString &ini)
{
    bench->setIniPath(ini);
    QVERIFY(bench->open({PanelBench::port(QStringLiteral("ttyTEST0"))}));
}

// Each row: one writer and what it stores.
void tst_SettingsUnwritable::addWriterRows()
{
    QTest::addColumn<QString>("writer");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    QTest::newRow("Labels OK") << "labels"
                               << "K1_1"
                               << "Yagi";
    QTest::newRow("LAN Settings OK") << "lan"
                                     << "IP"
                                     << "127.0.0.2";
    QTest::newRow("Directly to IP") << "directIp"
                                    << "IPdir"
                                    << "true";
    QTest::newRow("Serial Settings Apply") << "serialApply"
                                           << "comindex"
                                           << "0";
    QTest::newRow("Operating Mode Serial") << "modeSerial"
                                           << "serialMode"
                                           << "2";
    QTest::newRow("Operating Mode LAN") << "modeLan"
                                        << "serialMode"
                                        << "1";
    QTest::newRow("Band Follow OK") << "bandFollow"
                                    << "BAND2_17"
                                    << "4";
}

// What the operator does for each writer.
void tst_SettingsUnwritable::carryOut(const QString &writer)
{
    if (writer == QLatin1String("labels")) {
        bench->action(QStringLiteral("actionLabels"))->trigger();
        QDialog *dialog = child<QDialog>(bench->window.get(), QStringLiteral("labels"));
        child<QTextEdit>(dialog, QStringLiteral("textEdit1_1"))->setPlainText(QStringLiteral("Yagi"));
        QTest::mouseClick(child<QPushButton>(dialog, QStringLiteral("botaoOK")), Qt::LeftButton);
    } else if (writer == QLatin1String("lan") || writer == QLatin1String("directIp")) {
        bench->action(QStringLiteral("actionLAN_Settings"))->trigger();
        QDialog *dialog = child<QDialog>(bench->window.get(), QStringLiteral("formLanCFG"));
        if (writer == QLatin1String("directIp")) {
            QTest::mouseClick(child<QRadioButton>(dialog, QStringLiteral("radioButton")), Qt::LeftButton);
            return;
        }
        child<QLineEdit>(dialog, QStringLiteral("lineEditIP"))->setText(QStringLiteral("127.0.0.2"));
        child<QLineEdit>(dialog, QStringLiteral("lineEditPort"))->setText(QStringLiteral("5000"));
        auto *buttons = child<QDialogButtonBox>(dialog, QStringLiteral("buttonBox"));
        QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    } else if (writer == QLatin1String("serialApply")) {
        bench->action(QStringLiteral("actionConfigure"))->trigger();
        QDialog *dialog = nullptr;
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (top->objectName() == QLatin1String("SettingsDialog") && top->isVisible())
                dialog = qobject_cast<QDialog *>(top);
        }
        QVERIFY(dialog);
        QTest::mouseClick(child<QPushButton>(dialog, QStringLiteral("applyButton")), Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
    } else if (writer == QLatin1String("bandFollow")) {
        bench->action(QStringLiteral("actionBand_Follow"))->trigger();
        QDialog *dialog = child<QDialog>(bench->window.get(), QStringLiteral("bandFollowDialog"));
        QTest::mouseClick(child<QRadioButton>(dialog, QStringLiteral("band2_17_4")), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(dialog, QStringLiteral("botaoOK")), Qt::LeftButton);
    } else if (writer == QLatin1String("modeSerial")) {
        bench->action(QStringLiteral("actionSerial"))->trigger();
    } else if (writer == QLatin1String("modeLan")) {
        bench->action(QStringLiteral("actionLAN"))->trigger();
    } else {
        QFAIL(qPrintable(writer));
    }
}

void tst_SettingsUnwritable::writerReportsAFileItCannotWrite_data() { addWriterRows(); }

void tst_SettingsUnwritable::writerReportsAFileItCannotWrite()
{
    QFETCH(QString, writer);

    // A regular file where the settings file's folder should be.
    const QString blocker = bench->filePath(QStringLiteral("file"));
    {
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write("not a folder\n"), qint64(13));
    }
    const QString ini = blocker + QStringLiteral("/settings.ini");
    makeWindow(ini);

    QSignalSpy messages(bench->window->statusBar(), &QStatusBar::messageChanged);
    carryOut(writer);
    if (QTest::currentTestFailed())
        return;

    const QString expected = NotSavedPrefix + ini + QStringLiteral(" is not writable");
    // It is the last word, not hidden by what the reload after a save shows.
    QTRY_COMPARE(status(), expected);
    QVERIFY(PanelBench::drainEvents());
    QCOMPARE(status(), expected);
    int notices = 0;
    for (const QList<QVariant> &message : qAsConst(messages))
        notices += message.at(0).toString() == expected ? 1 : 0;
    QCOMPARE(notices, 1);

    // Nothing was written anywhere near: the blocking file is as it was.
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("not a folder\n"));
    QVERIFY(!QFile::exists(ini));
}

void tst_SettingsUnwritable::writerStoresQuietlyWhenItCan_data() { addWriterRows(); }

void tst_SettingsUnwritable::writerStoresQuietlyWhenItCan()
{
    QFETCH(QString, writer);
    QFETCH(QString, key);
    QFETCH(QString, value);

    const QString ini = bench->iniPath();
    // The other mode than the one stored, so that the mode rows change something.
    bench->store({{QStringLiteral("serialMode"), writer == QLatin1String("modeLan") ? 2 : 1}});
    makeWindow(ini);

    QSignalSpy messages(bench->window->statusBar(), &QStatusBar::messageChanged);
    carryOut(writer);
    if (QTest::currentTestFailed())
        return;

    QTRY_COMPARE(QSettings(ini, QSettings::IniFormat).value(key).toString(), value);
    QVERIFY(PanelBench::drainEvents());
    for (const QList<QVariant> &message : qAsConst(messages))
        QVERIFY2(!message.at(0).toString().startsWith(NotSavedPrefix), qPrintable(message.at(0).toString()));
    QVERIFY(!status().startsWith(NotSavedPrefix));
}

QTEST_MAIN(tst_SettingsUnwritable)
#include "tst_settings_unwritable.moc"
