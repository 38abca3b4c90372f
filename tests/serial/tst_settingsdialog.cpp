#include "serial/settingsdialog.h"
#include "serial/serialparameters.h"

#include <QComboBox>
#include <QFile>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(SerialPortDescription)

namespace {

SerialPortDescription port(const QString &name)
{
    SerialPortDescription p;
    p.portName = name;
    p.description = QStringLiteral("USB Serial Port");
    p.manufacturer = QStringLiteral("FTDI");
    p.serialNumber = QStringLiteral("A600XYZ");
    p.systemLocation = QStringLiteral("\\\\.\\") + name;
    p.vendorId = 0x0403;
    p.productId = 0x6001;
    p.hasVendorId = true;
    p.hasProductId = true;
    return p;
}

const QStringList detailLabels = {QStringLiteral("descriptionLabel"),  QStringLiteral("manufacturerLabel"),
                                  QStringLiteral("serialNumberLabel"), QStringLiteral("locationLabel"),
                                  QStringLiteral("vidLabel"),          QStringLiteral("pidLabel")};

const QStringList notAvailableDetails = {
    QStringLiteral("Description: N/A"),       QStringLiteral("Manufacturer: N/A"),
    QStringLiteral("Serial number: N/A"),     QStringLiteral("Location: N/A"),
    QStringLiteral("Vendor Identifier: N/A"), QStringLiteral("Product Identifier: N/A")};

} // namespace

class tst_SettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void firstStartShowsCom3WithDefaultParameters();
    void portDetailsAreShownAsReported_data();
    void portDetailsAreShownAsReported();
    void noPortsLeavesOnlyAnEmptyEditableCustomEntry_data();
    void noPortsLeavesOnlyAnEmptyEditableCustomEntry();
    void customBaudRateAcceptsOnlyWholeNumbersUpToFourMillion_data();
    void customBaudRateAcceptsOnlyWholeNumbersUpToFourMillion();
    void customBaudRateIsKeptAcrossRestart();
    void storedCustomBaudRateIsTakenOnlyAsTyped_data();
    void storedCustomBaudRateIsTakenOnlyAsTyped();
    void storedPositionsOutsideTheListsLeaveTheFirstEntry_data();
    void storedPositionsOutsideTheListsLeaveTheFirstEntry();
    void appliedPositionsSurviveRestartButOtherChoicesDoNot();
    void chosenPortIsFoundAgainByName_data();
    void chosenPortIsFoundAgainByName();
    void choosingListedPortAfterCustomMakesBoxReadOnly();
    void typedCustomPortNameIsApplied_data();
    void typedCustomPortNameIsApplied();
    void closingWithoutApplyChangesNeitherFileNorParameters_data();
    void closingWithoutApplyChangesNeitherFileNorParameters();
    void everyParameterEntryGivesItsValueAndText_data();
    void everyParameterEntryGivesItsValueAndText();

private:
    std::unique_ptr<SettingsDialog> makeDialog(const QList<SerialPortDescription> &ports);
    template<typename T> T *child(SettingsDialog &dialog, const QString &name);
    QComboBox *box(SettingsDialog &dialog, const QString &name) { return child<QComboBox>(dialog, name); }
    QStringList details(SettingsDialog &dialog);
    QVariant storedValue(const QString &key) const;
    void clickApply(SettingsDialog &dialog);

    std::unique_ptr<QTemporaryDir> dir;
    QString settingsPath;
};

void tst_SettingsDialog::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    settingsPath = dir->filePath(QStringLiteral("settings.ini"));
}

std::unique_ptr<SettingsDialog> tst_SettingsDialog::makeDialog(const QList<SerialPortDescription> &ports)
{
    return std::make_unique<SettingsDialog>(ports, settingsPath);
}

template<typename T> T *tst_SettingsDialog::child(SettingsDialog &dialog, const QString &name)
{
    T *widget = dialog.findChild<T *>(name);
    if (!widget)
        qFatal("no widget %s", qPrintable(name));
    return widget;
}

QStringList tst_SettingsDialog::details(SettingsDialog &dialog)
{
    QStringList texts;
    for (const QString &name : detailLabels)
        texts << child<QLabel>(dialog, name)->text();
    return texts;
}

QVariant tst_SettingsDialog::storedValue(const QString &key) const
{
    return QSettings(settingsPath, QSettings::IniFormat).value(key);
}

namespace {
// What a station without the dialog (the headless mode) takes from the same file: the same
// port, rate and texts the dialog opens with.
void compareWithoutDialog(const SettingsDialog &dialog, const QString &path, const QList<SerialPortDescription> &ports)
{
    const SerialParameters shown = dialog.parameters();
    const SerialParameters stored = storedSerialParameters(PanelSettings::load(path).serial, ports);
    QCOMPARE(stored.portName, shown.portName);
    QCOMPARE(stored.baudRate, shown.baudRate);
    QCOMPARE(stored.baudRateText, shown.baudRateText);
    QCOMPARE(stored.dataBits, shown.dataBits);
    QCOMPARE(stored.dataBitsText, shown.dataBitsText);
    QCOMPARE(stored.parity, shown.parity);
    QCOMPARE(stored.parityText, shown.parityText);
    QCOMPARE(stored.stopBits, shown.stopBits);
    QCOMPARE(stored.stopBitsText, shown.stopBitsText);
    QCOMPARE(stored.flowControl, shown.flowControl);
    QCOMPARE(stored.flowControlText, shown.flowControlText);
}
} // namespace

void tst_SettingsDialog::clickApply(SettingsDialog &dialog)
{
    QTest::mouseClick(child<QPushButton>(dialog, QStringLiteral("applyButton")), Qt::LeftButton);
}

void tst_SettingsDialog::firstStartShowsCom3WithDefaultParameters()
{
    auto dialog = makeDialog({port(QStringLiteral("COM3"))});

    QCOMPARE(dialog->windowTitle(), QStringLiteral("Settings"));
    QCOMPARE(dialog->size(), QSize(281, 272));
    QComboBox *ports = box(*dialog, QStringLiteral("serialPortInfoListBox"));
    QCOMPARE(ports->count(), 2);
    QCOMPARE(ports->itemText(0), QStringLiteral("COM3"));
    QCOMPARE(ports->itemText(1), QStringLiteral("Custom"));
    QCOMPARE(ports->currentIndex(), 0);
    QVERIFY(!ports->isEditable());
    QCOMPARE(box(*dialog, QStringLiteral("baudRateBox"))->currentText(), QStringLiteral("9600"));
    QVERIFY(!box(*dialog, QStringLiteral("baudRateBox"))->isEditable());
    QCOMPARE(box(*dialog, QStringLiteral("dataBitsBox"))->currentText(), QStringLiteral("8"));
    QCOMPARE(box(*dialog, QStringLiteral("parityBox"))->currentText(), QStringLiteral("None"));
    QCOMPARE(box(*dialog, QStringLiteral("stopBitsBox"))->currentText(), QStringLiteral("1"));
    QCOMPARE(box(*dialog, QStringLiteral("flowControlBox"))->currentText(), QStringLiteral("None"));

    const SerialParameters p = dialog->parameters();
    QCOMPARE(p.portName, QStringLiteral("COM3"));
    QCOMPARE(p.baudRate, 9600);
    QCOMPARE(p.baudRateText, QStringLiteral("9600"));
    QCOMPARE(p.dataBits, QSerialPort::Data8);
    QCOMPARE(p.dataBitsText, QStringLiteral("8"));
    QCOMPARE(p.parity, QSerialPort::NoParity);
    QCOMPARE(p.parityText, QStringLiteral("None"));
    QCOMPARE(p.stopBits, QSerialPort::OneStop);
    QCOMPARE(p.stopBitsText, QStringLiteral("1"));
    QCOMPARE(p.flowControl, QSerialPort::NoFlowControl);
    QCOMPARE(p.flowControlText, QStringLiteral("None"));
    QVERIFY2(!QFile::exists(settingsPath), "building the dialog must not write the settings file");
}

void tst_SettingsDialog::portDetailsAreShownAsReported_data()
{
    QTest::addColumn<SerialPortDescription>("reported");
    QTest::addColumn<QStringList>("expected");

    SerialPortDescription full = port(QStringLiteral("COM3"));
    QTest::newRow("complete, vendor 0x0403 in lower-case hex")
        << full
        << QStringList{QStringLiteral("Description: USB Serial Port"), QStringLiteral("Manufacturer: FTDI"),
                       QStringLiteral("Serial number: A600XYZ"),       QStringLiteral("Location: \\\\.\\COM3"),
                       QStringLiteral("Vendor Identifier: 403"),       QStringLiteral("Product Identifier: 6001")};

    SerialPortDescription bare;
    bare.portName = QStringLiteral("ttyS4");
    bare.vendorId = 0x1a86;
    bare.hasVendorId = true;
    bare.hasProductId = true; // present but 0
    QTest::newRow("no texts, location empty, product id 0")
        << bare << QStringList{QStringLiteral("Description: N/A"),        QStringLiteral("Manufacturer: N/A"),
                               QStringLiteral("Serial number: N/A"),      QStringLiteral("Location: "),
                               QStringLiteral("Vendor Identifier: 1a86"), QStringLiteral("Product Identifier: N/A")};

    SerialPortDescription noIds = port(QStringLiteral("COM7"));
    noIds.serialNumber.clear();
    noIds.hasVendorId = false;
    noIds.hasProductId = false;
    QTest::newRow("no serial number, ids not reported")
        << noIds
        << QStringList{QStringLiteral("Description: USB Serial Port"), QStringLiteral("Manufacturer: FTDI"),
                       QStringLiteral("Serial number: N/A"),           QStringLiteral("Location: \\\\.\\COM7"),
                       QStringLiteral("Vendor Identifier: N/A"),       QStringLiteral("Product Identifier: N/A")};
}

void tst_SettingsDialog::portDetailsAreShownAsReported()
{
    QFETCH(SerialPortDescription, reported);
    QFETCH(QStringList, expected);

    // The port under test is second, so its details must come from choosing it.
    auto dialog = makeDialog({port(QStringLiteral("COM1")), reported});
    box(*dialog, QStringLiteral("serialPortInfoListBox"))->setCurrentIndex(1);

    QCOMPARE(details(*dialog), expected);
}

void tst_SettingsDialog::noPortsLeavesOnlyAnEmptyEditableCustomEntry_data()
{
    QTest::addColumn<QVariant>("comIndex");
    QTest::newRow("no file") << QVariant();
    QTest::newRow("stored 0") << QVariant(0);
    QTest::newRow("stored 1") << QVariant(1);
    QTest::newRow("stored -1") << QVariant(-1);
}

void tst_SettingsDialog::noPortsLeavesOnlyAnEmptyEditableCustomEntry()
{
    QFETCH(QVariant, comIndex);
    if (comIndex.isValid())
        QSettings(settingsPath, QSettings::IniFormat).setValue(QStringLiteral("comindex"), comIndex);

    auto dialog = makeDialog({});

    QComboBox *ports = box(*dialog, QStringLiteral("serialPortInfoListBox"));
    QCOMPARE(ports->count(), 1);
    QCOMPARE(ports->itemText(0), QStringLiteral("Custom"));
    QCOMPARE(ports->currentIndex(), 0);
    QVERIFY(ports->isEditable());
    QCOMPARE(ports->currentText(), QString());
    QCOMPARE(details(*dialog), notAvailableDetails);
    QCOMPARE(dialog->parameters().portName, QString());
}

void tst_SettingsDialog::customBaudRateAcceptsOnlyWholeNumbersUpToFourMillion_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<qint32>("baudRate");

    QTest::newRow("4800") << QStringLiteral("4800") << 4800;
    QTest::newRow("upper limit") << QStringLiteral("4000000") << 4000000;
    QTest::newRow("digit beyond limit refused") << QStringLiteral("5000000") << 500000;
    QTest::newRow("one above limit refused") << QStringLiteral("4000001") << 400000;
    QTest::newRow("letters refused") << QStringLiteral("48a00") << 4800;
    QTest::newRow("minus refused") << QStringLiteral("-1200") << 1200;
    QTest::newRow("left empty") << QString() << 0;
}

void tst_SettingsDialog::customBaudRateAcceptsOnlyWholeNumbersUpToFourMillion()
{
    QFETCH(QString, typed);
    QFETCH(qint32, baudRate);

    auto dialog = makeDialog({port(QStringLiteral("COM3"))});
    dialog->show();
    QComboBox *baud = box(*dialog, QStringLiteral("baudRateBox"));
    baud->setCurrentIndex(5);
    QVERIFY(baud->isEditable());
    QCOMPARE(baud->currentText(), QString());
    QVERIFY(baud->lineEdit()->validator());

    QTest::keyClicks(baud->lineEdit(), typed);
    clickApply(*dialog);

    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->parameters().baudRate, baudRate);
    QCOMPARE(dialog->parameters().baudRateText, QString::number(baudRate));
    QCOMPARE(baud->count(), 6); // typed text never becomes an entry
    QCOMPARE(storedValue(QStringLiteral("speedindex")).toInt(), 5);
}

void tst_SettingsDialog::customBaudRateIsKeptAcrossRestart()
{
    {
        auto dialog = makeDialog({port(QStringLiteral("COM3"))});
        QComboBox *baud = box(*dialog, QStringLiteral("baudRateBox"));
        baud->setCurrentIndex(5);
        QTest::keyClicks(baud->lineEdit(), QStringLiteral("4800"));
        clickApply(*dialog);
        QCOMPARE(dialog->parameters().baudRate, 4800);
    }

    auto restarted = makeDialog({port(QStringLiteral("COM3"))});
    QComboBox *baud = box(*restarted, QStringLiteral("baudRateBox"));
    QCOMPARE(baud->currentIndex(), 5);
    QVERIFY(baud->isEditable());
    QCOMPARE(baud->currentText(), QStringLiteral("4800"));
    QCOMPARE(baud->count(), 6);
    QCOMPARE(restarted->parameters().baudRate, 4800);
    QCOMPARE(restarted->parameters().baudRateText, QStringLiteral("4800"));

    // A listed rate chosen later forgets the typed one.
    baud->setCurrentIndex(1);
    clickApply(*restarted);
    QCOMPARE(makeDialog({port(QStringLiteral("COM3"))})->parameters().baudRate, 19200);
    QCOMPARE(storedValue(QStringLiteral("customspeed")).toString(), QString());
}

void tst_SettingsDialog::storedCustomBaudRateIsTakenOnlyAsTyped_data()
{
    QTest::addColumn<int>("speedIndex");
    QTest::addColumn<QVariant>("customSpeed");
    QTest::addColumn<qint32>("baudRate");

    QTest::newRow("typed") << 5 << QVariant(QStringLiteral("250000")) << 250000;
    QTest::newRow("number") << 5 << QVariant(31250) << 31250;
    QTest::newRow("over the limit") << 5 << QVariant(QStringLiteral("5000000")) << 0;
    QTest::newRow("not a number") << 5 << QVariant(QStringLiteral("48a00")) << 0;
    QTest::newRow("negative") << 5 << QVariant(QStringLiteral("-1200")) << 0;
    QTest::newRow("missing") << 5 << QVariant() << 0;
    QTest::newRow("listed rate chosen") << 2 << QVariant(QStringLiteral("250000")) << 38400;
}

void tst_SettingsDialog::storedCustomBaudRateIsTakenOnlyAsTyped()
{
    QFETCH(int, speedIndex);
    QFETCH(QVariant, customSpeed);
    QFETCH(qint32, baudRate);
    {
        QSettings settings(settingsPath, QSettings::IniFormat);
        settings.setValue(QStringLiteral("speedindex"), speedIndex);
        if (customSpeed.isValid())
            settings.setValue(QStringLiteral("customspeed"), customSpeed);
    }

    auto dialog = makeDialog({port(QStringLiteral("COM3"))});
    QCOMPARE(box(*dialog, QStringLiteral("baudRateBox"))->currentIndex(), speedIndex);
    QCOMPARE(dialog->parameters().baudRate, baudRate);
    compareWithoutDialog(*dialog, settingsPath, {port(QStringLiteral("COM3"))});
}

void tst_SettingsDialog::storedPositionsOutsideTheListsLeaveTheFirstEntry_data()
{
    // Two ports plus "Custom" give three port entries; the baud box has six.
    QTest::addColumn<QVariant>("comIndex");
    QTest::addColumn<QVariant>("speedIndex");
    QTest::addColumn<int>("portPosition");
    QTest::addColumn<int>("baudPosition");

    QTest::newRow("missing") << QVariant() << QVariant() << 0 << 0;
    QTest::newRow("in range") << QVariant(1) << QVariant(3) << 1 << 3;
    QTest::newRow("count minus one is Custom") << QVariant(2) << QVariant(5) << 2 << 5;
    QTest::newRow("equal to count") << QVariant(3) << QVariant(6) << 0 << 0;
    QTest::newRow("negative") << QVariant(-1) << QVariant(-3) << 0 << 0;
    QTest::newRow("negative in 8 bits") << QVariant(130) << QVariant(255) << 0 << 0;
    QTest::newRow("in range in 8 bits") << QVariant(258) << QVariant(261) << 0 << 0;
    QTest::newRow("huge") << QVariant(QStringLiteral("99999999999")) << QVariant(QStringLiteral("4294967301")) << 0
                          << 0;
    QTest::newRow("not a number") << QVariant(QStringLiteral("COM3")) << QVariant(QStringLiteral("1x")) << 0 << 0;
}

void tst_SettingsDialog::storedPositionsOutsideTheListsLeaveTheFirstEntry()
{
    QFETCH(QVariant, comIndex);
    QFETCH(QVariant, speedIndex);
    QFETCH(int, portPosition);
    QFETCH(int, baudPosition);

    if (comIndex.isValid()) {
        QSettings settings(settingsPath, QSettings::IniFormat);
        settings.setValue(QStringLiteral("comindex"), comIndex);
        settings.setValue(QStringLiteral("speedindex"), speedIndex);
    }
    auto dialog = makeDialog({port(QStringLiteral("COM3")), port(QStringLiteral("COM4"))});

    QComboBox *ports = box(*dialog, QStringLiteral("serialPortInfoListBox"));
    QComboBox *baud = box(*dialog, QStringLiteral("baudRateBox"));
    QCOMPARE(ports->currentIndex(), portPosition);
    QCOMPARE(baud->currentIndex(), baudPosition);
    const bool customPort = portPosition == 2;
    const bool customBaud = baudPosition == 5;
    QCOMPARE(ports->isEditable(), customPort);
    QCOMPARE(baud->isEditable(), customBaud);
    QCOMPARE(dialog->parameters().portName, customPort ? QString() : ports->itemText(portPosition));
    QCOMPARE(dialog->parameters().baudRate, customBaud ? 0 : baud->itemText(baudPosition).toInt());
    compareWithoutDialog(*dialog, settingsPath, {port(QStringLiteral("COM3")), port(QStringLiteral("COM4"))});
}

void tst_SettingsDialog::appliedPositionsSurviveRestartButOtherChoicesDoNot()
{
    const QList<SerialPortDescription> ports = {port(QStringLiteral("COM3")), port(QStringLiteral("COM4"))};
    {
        auto dialog = makeDialog(ports);
        box(*dialog, QStringLiteral("serialPortInfoListBox"))->setCurrentIndex(1);
        box(*dialog, QStringLiteral("baudRateBox"))->setCurrentIndex(3);
        box(*dialog, QStringLiteral("parityBox"))->setCurrentIndex(2);
        box(*dialog, QStringLiteral("dataBitsBox"))->setCurrentIndex(0);
        clickApply(*dialog);
        QCOMPARE(storedValue(QStringLiteral("comindex")).toInt(), 1);
        QCOMPARE(storedValue(QStringLiteral("speedindex")).toInt(), 3);
    }

    auto restarted = makeDialog(ports);
    const SerialParameters p = restarted->parameters();
    QCOMPARE(p.portName, QStringLiteral("COM4"));
    QCOMPARE(p.baudRate, 57600);
    QCOMPARE(p.parity, QSerialPort::NoParity);
    QCOMPARE(p.dataBits, QSerialPort::Data8);
}

void tst_SettingsDialog::chosenPortIsFoundAgainByName_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<int>("chosen"); // in "before"; its last position is "Custom"
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<int>("expectedPosition");
    QTest::addColumn<QString>("expectedPort");

    const QStringList two = {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("/dev/ttyUSB1")};
    const QStringList swapped = {QStringLiteral("/dev/ttyUSB1"), QStringLiteral("/dev/ttyUSB0")};
    QTest::newRow("same list") << two << 1 << QString() << two << 1 << QStringLiteral("/dev/ttyUSB1");
    QTest::newRow("list reordered") << two << 1 << QString() << swapped << 0 << QStringLiteral("/dev/ttyUSB1");
    QTest::newRow("a port added before it")
        << two << 0 << QString() << (QStringList{QStringLiteral("/dev/ttyACM0")} + two) << 1
        << QStringLiteral("/dev/ttyUSB0");
    // Not the port now in its place: the name, as a typed path, so that connecting says
    // it is missing.
    QTest::newRow("unplugged") << two << 1 << QString() << QStringList{QStringLiteral("/dev/ttyUSB0")} << 1
                               << QStringLiteral("/dev/ttyUSB1");
    QTest::newRow("no ports left") << two << 0 << QString() << QStringList() << 0 << QStringLiteral("/dev/ttyUSB0");
    QTest::newRow("typed path") << two << 2 << QStringLiteral("/tmp/ttyTalmek") << two << 2
                                << QStringLiteral("/tmp/ttyTalmek");
    QTest::newRow("typed path now listed")
        << two << 2 << QStringLiteral("/dev/ttyS5") << (two + QStringList{QStringLiteral("/dev/ttyS5")}) << 2
        << QStringLiteral("/dev/ttyS5");
}

void tst_SettingsDialog::chosenPortIsFoundAgainByName()
{
    QFETCH(QStringList, before);
    QFETCH(int, chosen);
    QFETCH(QString, typed);
    QFETCH(QStringList, after);
    QFETCH(int, expectedPosition);
    QFETCH(QString, expectedPort);

    const auto ports = [](const QStringList &names) {
        QList<SerialPortDescription> list;
        for (const QString &name : names)
            list << port(name);
        return list;
    };
    {
        auto dialog = makeDialog(ports(before));
        QComboBox *box = this->box(*dialog, QStringLiteral("serialPortInfoListBox"));
        box->setCurrentIndex(chosen);
        if (!typed.isEmpty())
            QTest::keyClicks(box->lineEdit(), typed);
        clickApply(*dialog);
    }

    auto restarted = makeDialog(ports(after));
    QComboBox *box = this->box(*restarted, QStringLiteral("serialPortInfoListBox"));
    QCOMPARE(box->currentIndex(), expectedPosition);
    QCOMPARE(box->currentText(), expectedPort);
    QCOMPARE(box->isEditable(), expectedPosition == after.size());
    QCOMPARE(restarted->parameters().portName, expectedPort);
    QCOMPARE(box->count(), after.size() + 1); // a kept name never becomes an entry
    compareWithoutDialog(*restarted, settingsPath, ports(after));
}

void tst_SettingsDialog::choosingListedPortAfterCustomMakesBoxReadOnly()
{
    auto dialog = makeDialog({port(QStringLiteral("COM3")), port(QStringLiteral("COM4"))});
    QComboBox *ports = box(*dialog, QStringLiteral("serialPortInfoListBox"));

    ports->setCurrentIndex(2);
    QVERIFY(ports->isEditable());
    QCOMPARE(ports->currentText(), QString());
    QCOMPARE(details(*dialog), notAvailableDetails);
    QTest::keyClicks(ports->lineEdit(), QStringLiteral("/dev/ttyUSB7"));

    ports->setCurrentIndex(1);
    QVERIFY(!ports->isEditable());
    QCOMPARE(ports->currentText(), QStringLiteral("COM4"));
    QCOMPARE(details(*dialog).at(3), QStringLiteral("Location: \\\\.\\COM4"));
    QCOMPARE(ports->count(), 3);
}

void tst_SettingsDialog::typedCustomPortNameIsApplied_data()
{
    QTest::addColumn<bool>("byReturnKey");
    QTest::newRow("Apply button") << false;
    QTest::newRow("Return key") << true;
}

void tst_SettingsDialog::typedCustomPortNameIsApplied()
{
    QFETCH(bool, byReturnKey);

    auto dialog = makeDialog({port(QStringLiteral("COM3"))});
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    QComboBox *ports = box(*dialog, QStringLiteral("serialPortInfoListBox"));
    ports->setCurrentIndex(1);
    ports->lineEdit()->setFocus();
    QTest::keyClicks(ports->lineEdit(), QStringLiteral("/dev/ttyUSB7"));
    if (byReturnKey)
        QTest::keyClick(ports->lineEdit(), Qt::Key_Return);
    else
        clickApply(*dialog);

    QVERIFY(!dialog->isVisible());
    QCOMPARE(dialog->parameters().portName, QStringLiteral("/dev/ttyUSB7"));
    QCOMPARE(ports->count(), 2);
    QCOMPARE(storedValue(QStringLiteral("comindex")).toInt(), 1);
}

void tst_SettingsDialog::closingWithoutApplyChangesNeitherFileNorParameters_data()
{
    QTest::addColumn<bool>("byEscape");
    QTest::addColumn<bool>("appliedBefore");

    QTest::newRow("Escape, no file yet") << true << false;
    QTest::newRow("close, no file yet") << false << false;
    QTest::newRow("Escape after an Apply") << true << true;
    QTest::newRow("close after an Apply") << false << true;
}

void tst_SettingsDialog::closingWithoutApplyChangesNeitherFileNorParameters()
{
    QFETCH(bool, byEscape);
    QFETCH(bool, appliedBefore);

    auto dialog = makeDialog({port(QStringLiteral("COM3")), port(QStringLiteral("COM4"))});
    if (appliedBefore) {
        box(*dialog, QStringLiteral("baudRateBox"))->setCurrentIndex(1);
        clickApply(*dialog);
    }
    QByteArray fileBefore;
    if (appliedBefore) {
        QFile file(settingsPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        fileBefore = file.readAll();
        QVERIFY(!fileBefore.isEmpty());
    }
    const SerialParameters before = dialog->parameters();

    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    box(*dialog, QStringLiteral("serialPortInfoListBox"))->setCurrentIndex(1);
    box(*dialog, QStringLiteral("baudRateBox"))->setCurrentIndex(4);
    box(*dialog, QStringLiteral("stopBitsBox"))->setCurrentIndex(2);
    if (byEscape)
        QTest::keyClick(dialog.get(), Qt::Key_Escape);
    else
        dialog->close();
    QVERIFY(!dialog->isVisible());

    const SerialParameters after = dialog->parameters();
    QCOMPARE(after.portName, before.portName);
    QCOMPARE(after.baudRate, before.baudRate);
    QCOMPARE(after.stopBits, before.stopBits);
    if (appliedBefore) {
        QFile file(settingsPath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), fileBefore);
    } else {
        QVERIFY(!QFile::exists(settingsPath));
    }

    // The widgets keep the choices, so a later Apply takes them.
    dialog->show();
    clickApply(*dialog);
    QCOMPARE(dialog->parameters().portName, QStringLiteral("COM4"));
    QCOMPARE(dialog->parameters().baudRate, 115200);
    QCOMPARE(dialog->parameters().stopBits, QSerialPort::TwoStop);
}

void tst_SettingsDialog::everyParameterEntryGivesItsValueAndText_data()
{
    QTest::addColumn<QString>("boxName");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");

    const auto row = [](const char *box, int position, int value, const char *text) {
        QTest::addRow("%s %s", box, text) << QString::fromLatin1(box) << position << value << QString::fromLatin1(text);
    };
    row("baudRateBox", 0, 9600, "9600");
    row("baudRateBox", 1, 19200, "19200");
    row("baudRateBox", 2, 38400, "38400");
    row("baudRateBox", 3, 57600, "57600");
    row("baudRateBox", 4, 115200, "115200");
    row("dataBitsBox", 0, QSerialPort::Data5, "5");
    row("dataBitsBox", 1, QSerialPort::Data6, "6");
    row("dataBitsBox", 2, QSerialPort::Data7, "7");
    row("dataBitsBox", 3, QSerialPort::Data8, "8");
    row("parityBox", 0, QSerialPort::NoParity, "None");
    row("parityBox", 1, QSerialPort::EvenParity, "Even");
    row("parityBox", 2, QSerialPort::OddParity, "Odd");
    row("parityBox", 3, QSerialPort::MarkParity, "Mark");
    row("parityBox", 4, QSerialPort::SpaceParity, "Space");
    row("stopBitsBox", 0, QSerialPort::OneStop, "1");
    row("stopBitsBox", 1, QSerialPort::OneAndHalfStop, "1.5");
    row("stopBitsBox", 2, QSerialPort::TwoStop, "2");
    row("flowControlBox", 0, QSerialPort::NoFlowControl, "None");
    row("flowControlBox", 1, QSerialPort::HardwareControl, "RTS/CTS");
    row("flowControlBox", 2, QSerialPort::SoftwareControl, "XON/XOFF");
}

void tst_SettingsDialog::everyParameterEntryGivesItsValueAndText()
{
    QFETCH(QString, boxName);
    QFETCH(int, position);
    QFETCH(int, value);
    QFETCH(QString, text);

    auto dialog = makeDialog({port(QStringLiteral("COM3"))});
    QComboBox *chosen = box(*dialog, boxName);
    // Start from another entry so the choice is a change.
    chosen->setCurrentIndex(position == 0 ? 1 : 0);
    chosen->setCurrentIndex(position);
    QCOMPARE(chosen->currentText(), text);
    clickApply(*dialog);

    const SerialParameters p = dialog->parameters();
    const QHash<QString, QPair<int, QString>> fields = {
        {QStringLiteral("baudRateBox"), {p.baudRate, p.baudRateText}},
        {QStringLiteral("dataBitsBox"), {p.dataBits, p.dataBitsText}},
        {QStringLiteral("parityBox"), {p.parity, p.parityText}},
        {QStringLiteral("stopBitsBox"), {p.stopBits, p.stopBitsText}},
        {QStringLiteral("flowControlBox"), {p.flowControl, p.flowControlText}}};
    QCOMPARE(fields.value(boxName).first, value);
    QCOMPARE(fields.value(boxName).second, text);
}

QTEST_MAIN(tst_SettingsDialog)
#include "tst_settingsdialog.moc"
