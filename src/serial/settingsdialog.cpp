#include "settingsdialog.h"
#include "ui_settingsdialog.h"

#include "config/panelsettings.h"
#include "config/settingsfile.h"
#include "theme/theme.h"

#include <QComboBox>
#include <QIntValidator>
#include <QLineEdit>
#include <QSerialPort>
#include <QStringList>

namespace {

constexpr int CustomBaudRateIndex = 5;
constexpr int MaxCustomBaudRate = 4000000;

// The seven texts a port entry carries: name, description, manufacturer, serial number,
// location, vendor id, product id.
QStringList portEntryData(const SerialPortDescription &port, const QString &notAvailable)
{
    const auto orNotAvailable = [&](const QString &text) { return text.isEmpty() ? notAvailable : text; };
    const auto idText = [&](bool present, quint16 id) {
        return present && id != 0 ? QString::number(id, 16) : notAvailable;
    };
    return {port.portName,
            orNotAvailable(port.description),
            orNotAvailable(port.manufacturer),
            orNotAvailable(port.serialNumber),
            port.systemLocation,
            idText(port.hasVendorId, port.vendorId),
            idText(port.hasProductId, port.productId)};
}

// Positions outside the box are ignored rather than applied: a negative one would leave
// the box with no entry at all. Read wide: QVariant::toInt() would cut 2^32 + 5 down to 5.
// Re-selecting the current entry is skipped, as it would write "Custom" into the emptied
// line edit of an editable box.
void restoreIndex(QComboBox *box, const QVariant &stored)
{
    bool ok = false;
    const qlonglong index = stored.toLongLong(&ok);
    if (ok && index >= 0 && index < box->count() && index != box->currentIndex())
        box->setCurrentIndex(static_cast<int>(index));
}

// QIntValidator lets a number with as many digits as the top be typed even when it is
// larger (5000000 against 4000000), leaving it "intermediate"; such text would still be
// taken as the baud rate, so it is refused outright.
class BaudRateValidator : public QIntValidator
{
public:
    using QIntValidator::QIntValidator;

    State validate(QString &input, int &pos) const override
    {
        const State state = QIntValidator::validate(input, pos);
        bool ok = false;
        const qlonglong value = input.toLongLong(&ok);
        if (state == Intermediate && ok && value > top())
            return Invalid;
        return state;
    }
};

} // namespace

SettingsDialog::SettingsDialog(QWidget *parent)
    : SettingsDialog(availableSerialPorts(), SettingsFile::path(), parent)
{}

SettingsDialog::SettingsDialog(const QList<SerialPortDescription> &ports, const QString &path, QWidget *parent)
    : SettingsDialog(ports, path, PanelSettings::load(path), parent)
{}

SettingsDialog::SettingsDialog(const QList<SerialPortDescription> &ports, const QString &path,
                               const PanelSettings &settings, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::SettingsDialog>())
    , settingsPath(path)
{
    ui->setupUi(this);
    setStyleSheet(Theme::dialogStyleSheet());

    baudValidator = new BaudRateValidator(0, MaxCustomBaudRate, this);
    ui->baudRateBox->setInsertPolicy(QComboBox::NoInsert);
    // Return on a typed port name would otherwise append it as an entry without data, whose
    // selection clears the text again just before Return reaches the Apply button.
    ui->serialPortInfoListBox->setInsertPolicy(QComboBox::NoInsert);

    // The port box's labels are updated before its editability changes.
    connect(ui->applyButton, &QPushButton::clicked, this, &SettingsDialog::apply);
    connect(ui->serialPortInfoListBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SettingsDialog::showPortInfo);
    connect(ui->baudRateBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SettingsDialog::checkCustomBaudRatePolicy);
    connect(ui->serialPortInfoListBox, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &SettingsDialog::checkCustomDevicePathPolicy);

    fillParameterBoxes();
    fillPortList(ports);
    restoreIndices(settings);
    readWidgets();
}

SettingsDialog::~SettingsDialog() = default;

SerialParameters SettingsDialog::parameters() const { return activeParameters; }

void SettingsDialog::showPortInfo(int idx)
{
    if (idx == -1)
        return;

    const QStringList list = ui->serialPortInfoListBox->itemData(idx).toStringList();
    const auto element = [&](int i) { return i < list.count() ? list.at(i) : tr("N/A"); };
    ui->descriptionLabel->setText(tr("Description: %1").arg(element(1)));
    ui->manufacturerLabel->setText(tr("Manufacturer: %1").arg(element(2)));
    ui->serialNumberLabel->setText(tr("Serial number: %1").arg(element(3)));
    ui->locationLabel->setText(tr("Location: %1").arg(element(4)));
    ui->vidLabel->setText(tr("Vendor Identifier: %1").arg(element(5)));
    ui->pidLabel->setText(tr("Product Identifier: %1").arg(element(6)));
}

void SettingsDialog::apply()
{
    saveIndices();
    readWidgets();
    hide();
}

void SettingsDialog::checkCustomBaudRatePolicy(int idx)
{
    QComboBox *box = ui->baudRateBox;
    const bool isCustom = !box->itemData(idx).isValid();
    box->setEditable(isCustom);
    if (isCustom) {
        box->clearEditText();
        // Making the box editable creates a new line edit each time, so the validator
        // has to be put on again.
        box->lineEdit()->setValidator(baudValidator);
    }
}

void SettingsDialog::checkCustomDevicePathPolicy(int idx)
{
    QComboBox *box = ui->serialPortInfoListBox;
    const bool isCustom = !box->itemData(idx).isValid();
    box->setEditable(isCustom);
    if (isCustom)
        box->clearEditText();
}

void SettingsDialog::fillParameterBoxes()
{
    ui->baudRateBox->addItem(QStringLiteral("9600"), QSerialPort::Baud9600);
    ui->baudRateBox->addItem(QStringLiteral("19200"), QSerialPort::Baud19200);
    ui->baudRateBox->addItem(QStringLiteral("38400"), QSerialPort::Baud38400);
    ui->baudRateBox->addItem(QStringLiteral("57600"), QSerialPort::Baud57600);
    ui->baudRateBox->addItem(QStringLiteral("115200"), QSerialPort::Baud115200);
    ui->baudRateBox->addItem(tr("Custom"));

    ui->dataBitsBox->addItem(QStringLiteral("5"), QSerialPort::Data5);
    ui->dataBitsBox->addItem(QStringLiteral("6"), QSerialPort::Data6);
    ui->dataBitsBox->addItem(QStringLiteral("7"), QSerialPort::Data7);
    ui->dataBitsBox->addItem(QStringLiteral("8"), QSerialPort::Data8);
    ui->dataBitsBox->setCurrentIndex(3);

    ui->parityBox->addItem(tr("None"), QSerialPort::NoParity);
    ui->parityBox->addItem(tr("Even"), QSerialPort::EvenParity);
    ui->parityBox->addItem(tr("Odd"), QSerialPort::OddParity);
    ui->parityBox->addItem(tr("Mark"), QSerialPort::MarkParity);
    ui->parityBox->addItem(tr("Space"), QSerialPort::SpaceParity);

    ui->stopBitsBox->addItem(QStringLiteral("1"), QSerialPort::OneStop);
    ui->stopBitsBox->addItem(tr("1.5"), QSerialPort::OneAndHalfStop);
    ui->stopBitsBox->addItem(QStringLiteral("2"), QSerialPort::TwoStop);

    ui->flowControlBox->addItem(tr("None"), QSerialPort::NoFlowControl);
    ui->flowControlBox->addItem(tr("RTS/CTS"), QSerialPort::HardwareControl);
    ui->flowControlBox->addItem(tr("XON/XOFF"), QSerialPort::SoftwareControl);
}

void SettingsDialog::fillPortList(const QList<SerialPortDescription> &ports)
{
    ui->serialPortInfoListBox->clear();
    const QString notAvailable = tr("N/A");
    for (const SerialPortDescription &port : ports)
        ui->serialPortInfoListBox->addItem(port.portName, portEntryData(port, notAvailable));
    ui->serialPortInfoListBox->addItem(tr("Custom"));
}

void SettingsDialog::restoreIndices(const PanelSettings &settings)
{
    const PanelSettings::Serial &stored = settings.serial;
    if (stored.comPort.isEmpty())
        restoreIndex(ui->serialPortInfoListBox, stored.comIndex);
    else
        restorePort(stored.comPort);
    restoreIndex(ui->baudRateBox, stored.speedIndex);
    if (ui->baudRateBox->currentIndex() == CustomBaudRateIndex)
        restoreCustomBaudRate(stored.customSpeed);
}

// Only what could have been typed: a whole number the validator takes.
void SettingsDialog::restoreCustomBaudRate(QString text)
{
    int pos = 0;
    if (!text.isEmpty() && baudValidator->validate(text, pos) == QValidator::Acceptable)
        ui->baudRateBox->setEditText(text);
}

// Ports come and go, and their order with them (USB adapters especially), so the port is
// found again by its name. One no longer listed is kept as a typed path: connecting then
// says it is not there instead of opening whatever port now has its place in the list.
void SettingsDialog::restorePort(const QString &portName)
{
    QComboBox *box = ui->serialPortInfoListBox;
    const int custom = box->count() - 1;
    const int listed = box->findText(portName, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (listed >= 0 && listed < custom) {
        box->setCurrentIndex(listed);
        return;
    }
    box->setCurrentIndex(custom);
    box->setEditText(portName);
}

void SettingsDialog::saveIndices()
{
    const QString failure = SettingsFile::store(
        settingsPath,
        {{SettingsFile::Key::comIndex(), ui->serialPortInfoListBox->currentIndex()},
         {SettingsFile::Key::comPort(), ui->serialPortInfoListBox->currentText()},
         {SettingsFile::Key::speedIndex(), ui->baudRateBox->currentIndex()},
         {SettingsFile::Key::customSpeed(),
          ui->baudRateBox->currentIndex() == CustomBaudRateIndex ? ui->baudRateBox->currentText() : QString()}});
    if (!failure.isEmpty())
        emit notSaved(failure);
}

void SettingsDialog::readWidgets()
{
    SerialParameters p;
    p.portName = ui->serialPortInfoListBox->currentText();

    if (ui->baudRateBox->currentIndex() == CustomBaudRateIndex)
        p.baudRate = ui->baudRateBox->currentText().toInt();
    else
        p.baudRate = ui->baudRateBox->currentData().toInt();
    p.baudRateText = QString::number(p.baudRate);

    p.dataBits = static_cast<QSerialPort::DataBits>(ui->dataBitsBox->currentData().toInt());
    p.dataBitsText = ui->dataBitsBox->currentText();
    p.parity = static_cast<QSerialPort::Parity>(ui->parityBox->currentData().toInt());
    p.parityText = ui->parityBox->currentText();
    p.stopBits = static_cast<QSerialPort::StopBits>(ui->stopBitsBox->currentData().toInt());
    p.stopBitsText = ui->stopBitsBox->currentText();
    p.flowControl = static_cast<QSerialPort::FlowControl>(ui->flowControlBox->currentData().toInt());
    p.flowControlText = ui->flowControlBox->currentText();

    activeParameters = p;
}
