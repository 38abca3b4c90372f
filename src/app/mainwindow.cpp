#include "mainwindow.h"

#include "about.h"
#include "anchormath.h"
#include "c4sanchorlayout.h"
#include "config/labels.h"
#include "config/labelwrap.h"
#include "config/settingsfile.h"
#include "lan/formlancfg.h"
#include "lan/hostresolution.h"
#include "lan/threadcom.h"
#include "mainwindowform.h"
#include "panellook.h"
#include "serial/settingsdialog.h"

#include <QDateTime>
#include <QHostInfo>
#include <QMessageBox>
#include <QResizeEvent>
#include <QSerialPort>
#include <QSettings>

#include <cstring>

namespace {
qint64 nowMs() { return QDateTime::currentMSecsSinceEpoch(); }

// The host text as an address when it is one (IPv4 or IPv6 notation), else null.
QHostAddress addressLiteral(const QString &host)
{
    QHostAddress address;
    return address.setAddress(host.trimmed()) ? address : QHostAddress();
}

// Setting a style sheet re-polishes the widget; the panel repaints six times a second,
// so a sheet is only set when it differs from the one shown.
void setStyleIfChanged(QWidget *widget, const QString &sheet)
{
    if (widget->styleSheet() != sheet)
        widget->setStyleSheet(sheet);
}

QString messageText(Switching::Message message)
{
    switch (message) {
    case Switching::Message::None:
        break;
    case Switching::Message::ChooseTxPosition:
        return MainWindow::tr("Choose the TX position:");
    case Switching::Message::SplitConfigured:
        return MainWindow::tr("Split configured succesfuly!");
    case Switching::Message::SplitCancelled:
        return MainWindow::tr("Split config cancelled!");
    case Switching::Message::Split1Disabled:
        return MainWindow::tr("Split 1 disabled");
    case Switching::Message::Split2Disabled:
        return MainWindow::tr("Split 2 disabled");
    }
    return {};
}
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(SettingsFile::path(), SerialPortSource(&availableSerialPorts), parent)
{}

MainWindow::MainWindow(const QString &settingsFile, const QList<SerialPortDescription> &serialPorts, QWidget *parent)
    : MainWindow(settingsFile, SerialPortSource([serialPorts] { return serialPorts; }), parent)
{}

MainWindow::MainWindow(const QString &settingsFile, SerialPortSource serialPorts, QWidget *parent)
    : QMainWindow(parent, Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , ui(new Ui::mainWindow)
    , serialPortSource(std::move(serialPorts))
{
    ui->setupUi(this);
    serialPort = new QSerialPort(this);
    // A line that is gone (adapter unplugged, box's pty closed) fails every write at once;
    // left open, the port would retry them in a busy loop. Closing it is silent: the lamp
    // shows the lost box, and Disconnect/Connect recover as usual.
    connect(serialPort, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (error == QSerialPort::ResourceError && serialPort->isOpen()) {
            serialPort->close();
            link.serialOpen = false;
        }
    });
    connect(&blinkTimer, &QTimer::timeout, this, &MainWindow::blinkSplit);
    settingsPath = settingsFile;
    lanWorker = std::make_unique<ThreadCOM>(this);
    anchorLayout = new C4SAnchorLayout(this);
    setEnabled(true);
    connect(ui->actionConfigure, &QAction::triggered, this, [this] { serialSettings()->show(); });
    connect(ui->actionConnect_to_Brisel, &QAction::triggered, this, &MainWindow::openSerialPort);
    connect(ui->actionDisconnect, &QAction::triggered, this, &MainWindow::closeSerialPort);
    loadSettings();
    registerScaledWidgets();
}

MainWindow::~MainWindow()
{
    closeSerialPort();
    lanWorker.reset();
    delete ui;
    ui = nullptr;
    delete anchorLayout;
}

void MainWindow::loadSettings()
{
    QSettings settings(settingsPath, QSettings::IniFormat);
    for (int n = 1; n <= 6; ++n) {
        const QString name = settings.value(SettingsFile::Key::antennaName(n)).toString();
        ui->antennaButton(1, n - 1)->setText(wrapLabelText(name));
    }
    for (int n = 1; n <= 6; ++n) {
        const QString name = settings.value(SettingsFile::Key::antennaName(n)).toString();
        ui->antennaButton(2, n - 1)->setText(wrapLabelText(name));
    }
    ui->labelID->setText(settings.value(SettingsFile::Key::id()).toString());
    hostName = settings.value(SettingsFile::Key::ip()).toString();
    resolveHostNow();
    portText = settings.value(SettingsFile::Key::port()).toString();
    lanWorker->setDestination(hostAddress, portText);
    const quint8 mode = static_cast<quint8>(settings.value(SettingsFile::Key::serialMode()).toInt());
    directIp = SettingsFile::toBool(settings.value(SettingsFile::Key::directIp()));
    if (mode == static_cast<quint8>(LinkMode::Serial)) {
        link.mode = LinkMode::Serial;
        ui->actionSerial->setChecked(true);
        ui->actionLAN->setChecked(false);
    } else {
        ui->actionSerial->setChecked(false);
        ui->actionLAN->setChecked(true);
        link.mode = LinkMode::Lan;
    }
}

void MainWindow::resolveHostNow()
{
    // An address resolves to itself; asking the resolver would only add a reverse look-up.
    if (const QHostAddress literal = addressLiteral(hostName); !literal.isNull()) {
        setHostAddress(literal.toString());
        return;
    }
    // Blocks the GUI thread for as long as the resolver takes.
    hostInfoResults(QHostInfo::fromName(hostName));
}

void MainWindow::refreshHostAddress()
{
    if (directIp) {
        setHostAddress(hostName);
        return;
    }
    if (const QHostAddress literal = addressLiteral(hostName); !literal.isNull()) {
        setHostAddress(literal.toString());
        return;
    }
    // The frame being built still goes to the address of an earlier look-up.
    QHostInfo::lookupHost(hostName, this, &MainWindow::hostInfoResults);
}

void MainWindow::hostInfoResults(QHostInfo host)
{
    const QHostAddress address = HostResolution::preferredAddress(host.addresses());
    if (host.error() == QHostInfo::NoError && !address.isNull()) {
        setHostAddress(address.toString());
    } else {
        ui->statusBar->showMessage(tr("HOST error: check LAN Settings!"));
        setHostAddress(HostResolution::errorSentinel());
    }
}

void MainWindow::setHostAddress(const QString &address)
{
    hostAddress = address;
    lanWorker->setDestination(hostAddress, portText);
}

void MainWindow::setDirectIp(bool on)
{
    directIp = on;
    QSettings settings(settingsPath, QSettings::IniFormat);
    settings.setValue(SettingsFile::Key::directIp(), on);
}

void MainWindow::on_actionLAN_Settings_triggered()
{
    auto *dialog = new formLanCFG(this, this);
    dialog->show();
}

void MainWindow::sendLanFrame(signed char code, signed char arg1, signed char arg2, signed char arg3)
{
    if (!link.lanLinkEnabled)
        return;
    refreshHostAddress();
    lanWorker->enqueueDatagram(Protocol::lanFrame(quint8(code), quint8(arg1), quint8(arg2), quint8(arg3)));
}

void MainWindow::processaPDRLan(MainWindow *w, QString res)
{
    const qint64 arrival = nowMs();
    Protocol::parseLanStatusText(res, w->state);
    w->lastReplyTime = arrival;
    updateUI(w);
    w->ui->statusBar->showMessage(tr("Ping: ") + QString::number(arrival - w->lanWorker->lastDatagramTime()));
}

void MainWindow::saveSerialMode()
{
    QSettings settings(settingsPath, QSettings::IniFormat);
    settings.setValue(SettingsFile::Key::serialMode(), static_cast<int>(link.mode.load()));
}

void MainWindow::on_actionLAN_triggered()
{
    ui->actionLAN->setChecked(true);
    ui->actionSerial->setChecked(false);
    link.mode = LinkMode::Lan;
    saveSerialMode();
}

void MainWindow::on_actionSerial_triggered()
{
    ui->actionSerial->setChecked(true);
    ui->actionLAN->setChecked(false);
    link.mode = LinkMode::Serial;
    saveSerialMode();
}

void MainWindow::registerScaledWidgets()
{
    const C4SAnchorLayout::AnchorMode s = C4SAnchorLayout::AnchorScale;
    QWidget *const widgets[] = {
        ui->frame,         ui->botaoPower,    ui->botaoRelease1, ui->botaoRelease2, ui->botaoSendC1,
        ui->botaoSendC2,   ui->botaoSplitC1,  ui->botaoSplitC2,  ui->botaoTecla1C1, ui->botaoTecla1C2,
        ui->botaoTecla2C1, ui->botaoTecla2C2, ui->botaoTecla3C1, ui->botaoTecla3C2, ui->botaoTecla4C1,
        ui->botaoTecla4C2, ui->botaoTecla5C1, ui->botaoTecla5C2, ui->botaoTecla6C1, ui->botaoTecla6C2,
        ui->labelID,       ui->label_A1,      ui->label_A1_2,    ui->label_A1_3,    ui->label_A2,
        ui->label_A3,      ui->label_A4,      ui->label,         ui->label_2,       ui->label_3,
    };
    for (QWidget *widget : widgets)
        anchorLayout->anchorWidget(s, s, s, s, widget);
}

void MainWindow::resizeEvent(QResizeEvent *)
{
    anchorLayout->relayout();
    resizeAllTexts(AnchorMath::textBaseSize(geometry().width()));
}

void MainWindow::resizeAllTexts(short size)
{
    const auto setPixelSize = [](QWidget *widget, int pixels) {
        QFont font = widget->font();
        font.setPixelSize(pixels);
        widget->setFont(font);
    };
    for (QWidget *button : {static_cast<QWidget *>(ui->botaoPower), static_cast<QWidget *>(ui->botaoRelease1),
                            static_cast<QWidget *>(ui->botaoRelease2), static_cast<QWidget *>(ui->botaoSendC1),
                            static_cast<QWidget *>(ui->botaoSendC2), static_cast<QWidget *>(ui->botaoSplitC1),
                            static_cast<QWidget *>(ui->botaoSplitC2)})
        setPixelSize(button, size + 3);
    for (int c = 1; c <= 2; ++c) {
        for (int a = 0; a < 6; ++a)
            setPixelSize(ui->antennaButton(c, a), size + 1);
    }
    setPixelSize(ui->labelID, size + 5);
    for (QWidget *caption : {ui->label_A1, ui->label_A1_2, ui->label_A1_3, ui->label_A2, ui->label_A3, ui->label_A4})
        setPixelSize(caption, size + 2);
    setPixelSize(ui->label, size + 5);
    setPixelSize(ui->label_2, size + 2);
}

void MainWindow::on_actionAbout_triggered() { QMessageBox::aboutQt(this, tr("About Qt")); }

void MainWindow::on_actionAbout_Norvale_triggered()
{
    auto *dialog = new about(this);
    dialog->show();
}

void MainWindow::on_actionLabels_triggered()
{
    auto *dialog = new labels(this, this);
    dialog->show();
}

// --- Serial connection ---

void MainWindow::openSerialPort()
{
    ui->actionConfigure->setEnabled(false);
    ui->actionConnect_to_Brisel->setEnabled(false);
    ui->menuOperating_Mode->setEnabled(false);

    if (link.mode != LinkMode::Serial) {
        link.lanLinkEnabled = true;
        ui->statusBar->showMessage(tr("LAN enabled"));
        ui->actionLAN_Settings->setEnabled(false);
        return;
    }

    const SerialParameters p = serialSettings()->parameters();
    serialPort->setPortName(p.portName);
    serialPort->setBaudRate(p.baudRate, QSerialPort::AllDirections);
    serialPort->setDataBits(p.dataBits);
    serialPort->setParity(p.parity);
    serialPort->setStopBits(p.stopBits);
    serialPort->setFlowControl(p.flowControl);
    if (serialPort->open(QIODevice::ReadWrite)) {
        link.serialOpen = true;
        ui->statusBar->showMessage(
            tr("Connected to %1 : %2, %3, %4, %5, %6")
                .arg(p.portName, p.baudRateText, p.dataBitsText, p.parityText, p.stopBitsText, p.flowControlText));
        sendFirmwareRequest();
        firmwareRequestedAt = nowMs();
    } else {
        QMessageBox::critical(this, tr("Error"), serialPort->errorString(), QMessageBox::Ok);
        ui->statusBar->showMessage(tr("Open error"));
    }
}

void MainWindow::closeSerialPort()
{
    if (link.mode == LinkMode::Serial) {
        if (serialPort->isOpen())
            serialPort->close();
        link.serialOpen = false;
    } else {
        link.lanLinkEnabled = false;
    }
    ui->menuOperating_Mode->setEnabled(true);
    ui->actionConnect_to_Brisel->setEnabled(true);
    ui->actionLAN_Settings->setEnabled(true);
    ui->statusBar->showMessage(tr("Disconnected"));
    ui->actionConfigure->setEnabled(true);
}

SettingsDialog *MainWindow::serialSettings()
{
    if (!settingsDialog) {
        settingsDialog = std::make_unique<SettingsDialog>(serialPortSource(), settingsPath);
        // A window of its own, yet closing the panel must still end the program.
        settingsDialog->setAttribute(Qt::WA_QuitOnClose, false);
    }
    return settingsDialog.get();
}

// --- Serial frames ---

void MainWindow::writeSerial(int count)
{
    if (count > 0 && serialPort->isOpen())
        serialPort->write(txBuffer.data(), count);
}

void MainWindow::sendFirmwareRequest() { writeSerial(Protocol::composeFirmwareRequest(txBuffer)); }

void MainWindow::callEnvioFila()
{
    // A command stays queued until the port can take it: one taken off while the port
    // is closed (Disconnect between the tick and this slot) would be lost.
    if (commandQueue.isEmpty() || !serialPort->isOpen())
        return;
    writeSerial(Protocol::composeQueuedCommand(txBuffer, commandQueue.dequeue()));
}

void MainWindow::callEnviar()
{
    if (link.mode == LinkMode::Serial) {
        // A status reply arriving right behind the firmware reply would make one read of
        // more than 20 bytes, and both would be dropped: let the firmware reply come first.
        if (firmwareRequestedAt != 0 && nowMs() - firmwareRequestedAt < FirmwareWaitMs)
            return;
        firmwareRequestedAt = 0;
        writeSerial(Protocol::composeStateRequest(txBuffer));
    } else if (link.lanLinkEnabled) {
        sendLanFrame(Protocol::LanStateRequest, 0, 0, 0);
    }
}

void MainWindow::callReceber(MainWindow *w)
{
    if (!serialPort->isOpen())
        return;
    const qint64 waiting = serialPort->bytesAvailable();
    if (waiting < Protocol::MinReplyLength)
        return;
    w->lastReplyTime = nowMs();
    // More than one reply's worth waiting (noise, glued replies, a busy GUI thread):
    // reading 20 bytes a tick would never catch up, so skip to the newest frame.
    const qint64 n = waiting > Protocol::RxBufferSize
        ? readNewestFrame()
        : serialPort->read(reinterpret_cast<char *>(rxBuffer.data()), Protocol::RxBufferSize);
    if (n >= 1 && rxBuffer[n - 1] == ';') {
        processaPacoteRecebido(w);
        w->lastReplyTime = nowMs();
    }
}

qint64 MainWindow::readNewestFrame()
{
    // Drain the port through a fixed buffer, keeping the last bytes, where the newest
    // complete frame ("IG" ... ";", 13 to 20 bytes) is looked for.
    constexpr int TailSize = 3 * Protocol::RxBufferSize;
    std::array<char, TailSize> tail{};
    int tailLength = 0;
    std::array<char, 512> chunk;
    for (qint64 got; (got = serialPort->read(chunk.data(), chunk.size())) > 0;) {
        const int keep = int(qMin<qint64>(got, TailSize));
        const int shift = qMin(tailLength, TailSize - keep);
        std::memmove(tail.data(), tail.data() + tailLength - shift, size_t(shift));
        std::memcpy(tail.data() + shift, chunk.data() + got - keep, size_t(keep));
        tailLength = shift + keep;
    }
    for (int end = tailLength - 1; end >= Protocol::MinReplyLength - 1; --end) {
        if (tail[end] != ';')
            continue;
        const int earliest = qMax(0, end - Protocol::RxBufferSize + 1);
        for (int start = end - Protocol::MinReplyLength + 1; start >= earliest; --start) {
            if (tail[start] == 'I' && tail[start + 1] == 'G') {
                const int length = end - start + 1;
                std::memcpy(rxBuffer.data(), tail.data() + start, size_t(length));
                return length;
            }
        }
    }
    return 0;
}

void MainWindow::processaPacoteRecebido(MainWindow *w)
{
    switch (Protocol::classifyReply(rxBuffer)) {
    case Protocol::ReplyKind::Status:
        processaPDR(w);
        break;
    case Protocol::ReplyKind::Firmware: {
        w->firmwareRequestedAt = 0;
        const Protocol::FirmwareRevision revision = Protocol::firmwareRevision(rxBuffer);
        w->ui->statusBar->showMessage(
            tr("Connected! Firmware Revision: %1 . %2").arg(revision.major).arg(revision.minor));
        break;
    }
    case Protocol::ReplyKind::Ignored:
        break;
    }
}

void MainWindow::processaPDR(MainWindow *w)
{
    setStyleIfChanged(w->ui->botaoPower, PanelLook::styleSheet(PanelLook::Look::Green));
    if (w->state.ignoreNextStatus == 1) {
        w->state.ignoreNextStatus = 0;
        return;
    }
    Protocol::applyStatusReply(w->state, rxBuffer);
    updateUI(w);
}

void MainWindow::checkCOMTimeout(MainWindow *w)
{
    const bool silent = w->lastReplyTime == 0 || nowMs() - w->lastReplyTime > LinkTimeoutMs;
    if (silent) {
        setStyleIfChanged(w->ui->botaoPower, PanelLook::styleSheet(PanelLook::Look::Neutral));
        clearUI(w);
    } else {
        setStyleIfChanged(w->ui->botaoPower, PanelLook::styleSheet(PanelLook::Look::Green));
    }
}

// --- Rendering ---

void MainWindow::applyLooks(const PanelLook::Looks &looks)
{
    const auto apply = [](QWidget *widget, PanelLook::Look look) {
        if (look != PanelLook::Look::Keep)
            setStyleIfChanged(widget, PanelLook::styleSheet(look));
    };
    for (int c = 1; c <= 2; ++c) {
        for (int a = 0; a < 6; ++a)
            apply(ui->antennaButton(c, a), looks.antenna[c][a]);
    }
    for (int c = 1; c <= 2; ++c)
        apply(ui->splitButton(c), looks.split[c]);
    for (int c = 1; c <= 2; ++c)
        apply(ui->sendButton(c), looks.send[c]);
}

void MainWindow::clearUI(MainWindow *w) { w->applyLooks(PanelLook::cleared(w->state)); }

void MainWindow::updateUI(MainWindow *w) { w->applyLooks(PanelLook::forState(w->state)); }

void MainWindow::blinkSplit()
{
    const PanelLook::BlinkStep step = PanelLook::blink(state);
    if (step.channel != 0)
        setStyleIfChanged(ui->splitButton(step.channel), PanelLook::styleSheet(step.look));
}

void MainWindow::highlightButton(QWidget *widget)
{
    setStyleIfChanged(widget, PanelLook::styleSheet(PanelLook::Look::Highlight));
}

// --- Switching ---

void MainWindow::enviaComutacao(signed char pos, signed char channel)
{
    carryOut(Switching::pressPosition(state, link.mode, static_cast<quint8>(pos), static_cast<quint8>(channel)));
}

void MainWindow::carryOut(const Switching::Outcome &outcome)
{
    if (outcome.neutralSplit2)
        setStyleIfChanged(ui->botaoSplitC2, PanelLook::styleSheet(PanelLook::Look::Neutral));
    if (outcome.blink == Switching::Blink::Start)
        blinkTimer.start(400);
    else if (outcome.blink == Switching::Blink::Stop)
        blinkTimer.stop();
    if (outcome.send) {
        if (link.mode == LinkMode::Serial) {
            commandQueue.enqueue(outcome.command.queueElement());
        } else {
            const Switching::Command::LanCommand lan = outcome.command.lanCommand();
            sendLanFrame(static_cast<signed char>(lan.code), static_cast<signed char>(lan.arg1),
                         static_cast<signed char>(lan.arg2), static_cast<signed char>(lan.arg3));
        }
    }
    if (outcome.message != Switching::Message::None)
        ui->statusBar->showMessage(messageText(outcome.message));
    if (outcome.highlightSplit1)
        highlightButton(ui->botaoSplitC1);
    if (outcome.repaint)
        updateUI(this);
}

void MainWindow::on_botaoTecla1C1_pressed() { enviaComutacao(0, 1); }
void MainWindow::on_botaoTecla2C1_pressed() { enviaComutacao(1, 1); }
void MainWindow::on_botaoTecla3C1_pressed() { enviaComutacao(2, 1); }
void MainWindow::on_botaoTecla4C1_pressed() { enviaComutacao(3, 1); }
void MainWindow::on_botaoTecla5C1_pressed() { enviaComutacao(4, 1); }
void MainWindow::on_botaoTecla6C1_pressed() { enviaComutacao(5, 1); }
void MainWindow::on_botaoTecla1C2_pressed() { enviaComutacao(0, 2); }
void MainWindow::on_botaoTecla2C2_pressed() { enviaComutacao(1, 2); }
void MainWindow::on_botaoTecla3C2_pressed() { enviaComutacao(2, 2); }
void MainWindow::on_botaoTecla4C2_pressed() { enviaComutacao(3, 2); }
void MainWindow::on_botaoTecla5C2_pressed() { enviaComutacao(4, 2); }
void MainWindow::on_botaoTecla6C2_pressed() { enviaComutacao(5, 2); }
void MainWindow::on_botaoRelease1_pressed() { enviaComutacao(static_cast<signed char>(AntennaPosition::None), 1); }
void MainWindow::on_botaoRelease2_pressed() { enviaComutacao(static_cast<signed char>(AntennaPosition::None), 2); }
void MainWindow::on_botaoSplitC1_clicked() { carryOut(Switching::pressSplit(state, 1)); }
void MainWindow::on_botaoSplitC2_clicked() { carryOut(Switching::pressSplit(state, 2)); }
