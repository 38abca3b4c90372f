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
#include "panelkeyboard.h"
#include "panellook.h"
#include "rig/bandfollowdialog.h"
#include "rig/bandfollowservice.h"
#include "serial/seriallink.h"
#include "serial/settingsdialog.h"
#include "statusmessagepainter.h"
#include "statusnote.h"

#include <QDateTime>
#include <QHostInfo>
#include <QMessageBox>
#include <QResizeEvent>
#include <QSettings>

namespace {
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
    case Switching::Message::LanNotConnected:
        return MainWindow::tr("LAN link not connected: nothing sent");
    }
    return {};
}
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(Options{SettingsFile::path(), SerialPortSource(&availableSerialPorts)}, parent)
{}

MainWindow::MainWindow(const QString &settingsFile, const QList<SerialPortDescription> &serialPorts, QWidget *parent)
    : MainWindow(Options{settingsFile, SerialPortSource([serialPorts] { return serialPorts; })}, parent)
{}

MainWindow::MainWindow(const QString &settingsFile, SerialPortSource serialPorts, QWidget *parent)
    : MainWindow(Options{settingsFile, std::move(serialPorts)}, parent)
{}

MainWindow::MainWindow(Options options, QWidget *parent)
    : QMainWindow(parent, Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , ui(new Ui::mainWindow)
    , serialPortSource(std::move(options.serialPorts))
    , settingsPath(options.settingsFile)
    , clock(*options.clock)
{
    ui->setupUi(this);
    new StatusMessagePainter(ui->statusBar); // a new "Ping: " figure repaints its digits, not the bar
    serialLink = new SerialLink(link.serialOpen, clock, this);
    connect(serialLink, &SerialLink::lineLost, this, &MainWindow::serialLineLost);
    blinkTimer.setObjectName(QStringLiteral("blinkTimer"));
    connect(&blinkTimer, &QTimer::timeout, this, &MainWindow::blinkSplit);
    lanWorker = std::make_unique<ThreadCOM>(this);
    anchorLayout = new C4SAnchorLayout(this);
    setEnabled(true);
    connect(ui->actionConfigure, &QAction::triggered, this, [this] { serialSettings()->show(); });
    connect(ui->actionConnect_to_Brisel, &QAction::triggered, this, &MainWindow::openSerialPort);
    connect(ui->actionDisconnect, &QAction::triggered, this, &MainWindow::closeSerialPort);
    keyboardFocusMark = PanelKeyboard::install(this, ui->centralWidget,
                                               [this](const PanelButton &button) { return ui->button(button); });
    // Until the operator presses Tab no button is focused, so the first Tab reaches the first one.
    ui->centralWidget->setFocus();
    bindBandFollow();
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
    SettingsFile::useUtf8(settings);
    for (int n = 1; n <= 6; ++n) {
        antennaNames[n - 1] = settings.value(SettingsFile::Key::antennaName(n)).toString();
        ui->antennaButton(1, n - 1)->setText(antennaButtonText(antennaNames[n - 1]));
    }
    for (int n = 1; n <= 6; ++n)
        ui->antennaButton(2, n - 1)->setText(antennaButtonText(antennaNames[n - 1]));
    speak(true);
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
    QStringList antennaNames;
    for (int n = 1; n <= 6; ++n)
        antennaNames << settings.value(SettingsFile::Key::antennaName(n)).toString();
    const BandFollowSettings followSettings = BandFollowSettings::read(settings);
    bandFollow->configure(followSettings, antennaNames);
    for (int c = 1; c <= 2; ++c)
        if (followSettings.radio[c].rigAddress.isEmpty())
            bandFollowStatus[c]->hide(); // news of a radio no longer followed
}

void MainWindow::resolveHostNow() { applyLookup(HostResolution::resolveNow(hostName)); }

void MainWindow::refreshHostAddress()
{
    if (const std::optional<QString> address = HostResolution::addressWithoutLookup(hostName, directIp)) {
        setHostAddress(*address);
        return;
    }
    // The frame being built still goes to the address of an earlier look-up.
    QHostInfo::lookupHost(hostName, this, &MainWindow::hostInfoResults);
}

void MainWindow::hostInfoResults(QHostInfo host)
{
    // Look-ups are never aborted: one started for a name the operator has since replaced
    // must not undo the new name's address.
    if (host.hostName() != hostName)
        return;
    applyLookup(HostResolution::addressFrom(host));
}

void MainWindow::applyLookup(const QString &address)
{
    if (address == HostResolution::errorSentinel())
        ui->statusBar->showMessage(tr("HOST error: check LAN Settings!"));
    setHostAddress(address);
}

void MainWindow::setHostAddress(const QString &address)
{
    hostAddress = address;
    lanWorker->setDestination(hostAddress, portText);
}

void MainWindow::setDirectIp(bool on)
{
    directIp = on;
    reportNotSaved(SettingsFile::store(settingsPath, {{SettingsFile::Key::directIp(), on}}));
}

void MainWindow::reportNotSaved(const QString &message)
{
    if (message.isEmpty())
        return;
    ui->statusBar->showMessage(message);
    noticeHeldUntil = clock.nowMs() + NoticeHoldMs;
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
    const qint64 arrival = w->clock.nowMs();
    Protocol::parseLanStatusText(res, w->state);
    w->lastReplyTime = arrival;
    w->heardFromBox = true;
    updateUI(w);
    const qint64 sent = w->lanWorker->lastDatagramTime();
    // The time from the last datagram sent to this reply. Before anything was sent there is
    // no such time, and the figure is the arrival time itself, as the wall clock reads it.
    const qint64 ping = sent != 0 ? arrival - sent : QDateTime::currentMSecsSinceEpoch();
    if (w->noticeHeldUntil && arrival < *w->noticeHeldUntil)
        return;
    w->noticeHeldUntil.reset();
    w->ui->statusBar->showMessage(tr("Ping: ") + QString::number(ping));
}

void MainWindow::saveSerialMode()
{
    reportNotSaved(
        SettingsFile::store(settingsPath, {{SettingsFile::Key::serialMode(), static_cast<int>(link.mode.load())}}));
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

void MainWindow::on_actionKeyboard_Shortcuts_triggered() { PanelKeyboard::showListing(this); }

void MainWindow::on_actionLabels_triggered()
{
    auto *dialog = new labels(this, this);
    dialog->show();
}

void MainWindow::carryOutTick(int requests)
{
    if (requests & SendQueuedCommand)
        callEnvioFila();
    if (requests & SendStateRequest)
        callEnviar();
    if (requests & ReadReply)
        callReceber(this);
    if (requests & CheckLink) {
        if (serialLink->reopenIfDue())
            serialLineOpened();
        checkCOMTimeout(this);
    }
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
        bandFollow->start();
        return;
    }

    if (serialLink->open(serialSettings()->parameters())) {
        serialLineOpened();
        bandFollow->start();
    } else {
        QMessageBox::critical(this, tr("Error"), serialLink->errorString(), QMessageBox::Ok);
        ui->statusBar->showMessage(tr("Open error"));
    }
}

void MainWindow::serialLineOpened()
{
    const SerialParameters &p = serialLink->parameters();
    ui->statusBar->showMessage(
        tr("Connected to %1 : %2, %3, %4, %5, %6")
            .arg(p.portName, p.baudRateText, p.dataBitsText, p.parityText, p.stopBitsText, p.flowControlText));
    serialLink->requestFirmware(txBuffer);
}

// The link stays up in the menus while the line is tried again: queued commands wait, and
// the lamp goes on showing how long the box has been silent.
void MainWindow::serialLineLost()
{
    ui->statusBar->showMessage(tr("Serial line lost: reconnecting to %1\u2026").arg(serialLink->parameters().portName));
}

void MainWindow::connectToBox() { ui->actionConnect_to_Brisel->trigger(); }

void MainWindow::closeSerialPort()
{
    bandFollow->stop();
    for (int c = 1; c <= 2; ++c)
        bandFollowStatus[c]->hide();
    if (link.mode == LinkMode::Serial)
        serialLink->close();
    else
        link.lanLinkEnabled = false;
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
        connect(settingsDialog.get(), &SettingsDialog::notSaved, this, &MainWindow::reportNotSaved);
    }
    return settingsDialog.get();
}

// --- Serial frames ---

void MainWindow::callEnvioFila()
{
    // A command stays queued until the port can take it: one taken off while the port
    // is closed (Disconnect between the tick and this slot) would be lost.
    if (commandQueue.isEmpty() || !serialLink->isOpen())
        return;
    serialLink->write(txBuffer, Protocol::composeQueuedCommand(txBuffer, commandQueue.dequeue()));
}

void MainWindow::callEnviar()
{
    if (link.mode == LinkMode::Serial) {
        if (serialLink->stateRequestAllowed())
            serialLink->write(txBuffer, Protocol::composeStateRequest(txBuffer));
    } else if (link.lanLinkEnabled) {
        sendLanFrame(Protocol::LanStateRequest, 0, 0, 0);
    }
}

void MainWindow::callReceber(MainWindow *w)
{
    const SerialReply::Result read = serialLink->readReply(rxBuffer);
    if (!read.signOfLife)
        return;
    w->lastReplyTime = clock.nowMs();
    w->heardFromBox = true;
    if (read.length > 0) {
        processaPacoteRecebido(w);
        w->lastReplyTime = clock.nowMs();
    }
}

void MainWindow::processaPacoteRecebido(MainWindow *w)
{
    switch (Protocol::classifyReply(rxBuffer)) {
    case Protocol::ReplyKind::Status:
        processaPDR(w);
        break;
    case Protocol::ReplyKind::Firmware: {
        w->serialLink->firmwareReplied();
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
    w->showLinkState(true);
    if (w->state.ignoreNextStatus == 1) {
        w->state.ignoreNextStatus = 0;
        return;
    }
    Protocol::applyStatusReply(w->state, rxBuffer);
    updateUI(w);
}

void MainWindow::checkCOMTimeout(MainWindow *w)
{
    const bool silent = !w->heardFromBox || w->clock.nowMs() - w->lastReplyTime > LinkTimeoutMs;
    w->showLinkState(!silent);
    if (silent)
        clearUI(w);
}

void MainWindow::showLinkState(bool answering)
{
    setStyleIfChanged(ui->botaoPower,
                      PanelLook::styleSheet(answering ? PanelLook::Look::Green : PanelLook::Look::Neutral));
    boxAnswering = answering;
    speak();
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

void MainWindow::clearUI(MainWindow *w)
{
    w->applyLooks(PanelLook::cleared(w->state));
    w->panelShown = false;
    w->speak();
}

void MainWindow::updateUI(MainWindow *w)
{
    w->applyLooks(PanelLook::forState(w->state));
    w->panelShown = true;
    w->speak();
}

void MainWindow::speak(bool namesChanged)
{
    const PanelSpeech::Said now =
        panelShown ? PanelSpeech::forState(state, boxAnswering) : PanelSpeech::cleared(state, boxAnswering);
    if (now == said && !namesChanged)
        return;
    said = now;
    for (const PanelButton &panelButton : PanelButtons::readingOrder()) {
        const PanelSpeech::Texts texts = PanelSpeech::texts(
            panelButton, said,
            panelButton.kind == PanelButton::Kind::Antenna ? antennaNames[panelButton.antenna] : QString());
        QPushButton *button = ui->button(panelButton);
        // Each setter tells the accessibility framework, so only a change is set.
        if (button->accessibleName() != texts.name)
            button->setAccessibleName(texts.name);
        if (button->accessibleDescription() != texts.description)
            button->setAccessibleDescription(texts.description);
        if (button->toolTip() != texts.toolTip)
            button->setToolTip(texts.toolTip);
    }
}

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
    carryOut(Switching::pressPosition(state, link.mode, static_cast<quint8>(pos), static_cast<quint8>(channel),
                                      commandDelivery()));
}

Switching::Delivery MainWindow::commandDelivery() const
{
    return link.mode == LinkMode::Lan && !link.lanLinkEnabled ? Switching::Delivery::Dropped
                                                              : Switching::Delivery::Sent;
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
    else
        speak(); // a split being chosen, or switched off, is news before the box answers
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
void MainWindow::on_botaoSplitC1_clicked() { carryOut(Switching::pressSplit(state, 1, commandDelivery())); }
void MainWindow::on_botaoSplitC2_clicked() { carryOut(Switching::pressSplit(state, 2, commandDelivery())); }

// --- Band follow ---

void MainWindow::bindBandFollow()
{
    bandFollow = new BandFollowService(
        clock, [this](int channel) { return followedChannel(channel); }, this);
    // The button's own path, so both links get exactly the bytes a press sends.
    connect(bandFollow, &BandFollowService::selectAntenna, this, [this](int channel, int position) {
        enviaComutacao(static_cast<signed char>(position), static_cast<signed char>(channel));
    });
    for (int c = 1; c <= 2; ++c) {
        // Two notes and a "Ping: " figure share the bar: each note gets up to 40 % of it.
        auto *label = new StatusNote(40, ui->statusBar);
        label->setObjectName(QStringLiteral("bandFollowStatus%1").arg(c));
        label->hide();
        ui->statusBar->addPermanentWidget(label);
        bandFollowStatus[c] = label;
    }
    connect(bandFollow, &BandFollowService::message, this, [this](int channel, const QString &text) {
        bandFollowStatus[channel]->setNote(text);
        bandFollowStatus[channel]->show();
    });
    for (int c = 1; c <= 2; ++c) {
        const auto chose = [this, c] { bandFollow->operatorChose(c); };
        for (int a = 0; a < 6; ++a)
            connect(ui->antennaButton(c, a), &QPushButton::pressed, bandFollow, chose);
        connect(c == 1 ? ui->botaoRelease1 : ui->botaoRelease2, &QPushButton::pressed, bandFollow, chose);
    }
}

std::optional<BandFollow::Channel> MainWindow::followedChannel(int channel) const
{
    const bool linkUp = link.mode == LinkMode::Serial ? link.serialOpen.load() : link.lanLinkEnabled.load();
    if (!linkUp || !heardFromBox || clock.nowMs() - lastReplyTime > LinkTimeoutMs)
        return std::nullopt;
    BandFollow::Channel view;
    view.antenna = state.antenna[channel];
    // Any flag the box sets holds a switch back, not only the one the SEND lamp shows.
    view.transmitting = state.transmitting[channel] != 0;
    view.splitActive = state.splitActive[channel] != 0;
    view.choosingSplit = state.splitSetupActive == 1;
    return view;
}

void MainWindow::on_actionBand_Follow_triggered()
{
    auto *dialog = new BandFollowDialog(this, settingsPath);
    connect(dialog, &BandFollowDialog::saved, this, &MainWindow::loadSettings);
    connect(dialog, &BandFollowDialog::notSaved, this, &MainWindow::reportNotSaved);
    dialog->show();
}
