#include "mainwindow.h"

#include "about.h"
#include "anchormath.h"
#include "boxlink.h"
#include "c4sanchorlayout.h"
#include "config/labels.h"
#include "config/settingsfile.h"
#include "lan/formlancfg.h"
#include "lan/lanlink.h"
#include "mainwindowform.h"
#include "panelkeyboard.h"
#include "panelview.h"
#include "rig/bandfollowdialog.h"
#include "rig/bandfollowservice.h"
#include "serial/serialsession.h"
#include "serial/settingsdialog.h"

#include <QMessageBox>

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(Options{SettingsFile::path(), SerialPortSource(&availableSerialPorts)}, parent)
{}

MainWindow::MainWindow(const QString &settingsFile, const QList<SerialPortDescription> &serialPorts, QWidget *parent)
    : MainWindow(Options{settingsFile, SerialPortSource([serialPorts] { return serialPorts; })}, parent)
{}

MainWindow::MainWindow(Options options, QWidget *parent)
    : QMainWindow(parent, Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , ui(std::make_unique<Ui::mainWindow>())
    , clock(*options.clock)
    , settingsPath(options.settingsFile)
    , serialPortSource(std::move(options.serialPorts))
{
    ui->setupUi(this);
    view = new PanelView(*ui, state, clock, this);
    connect(&view->blinkTimer(), &QTimer::timeout, this, &MainWindow::blinkSplit);
    bindBox();
    anchorLayout = std::make_unique<C4SAnchorLayout>(this);
    connect(ui->actionConfigure, &QAction::triggered, this, [this] { serialSettings()->show(); });
    connect(ui->actionConnect_to_Brisel, &QAction::triggered, this, &MainWindow::openSerialPort);
    connect(ui->actionDisconnect, &QAction::triggered, this, &MainWindow::closeSerialPort);
    // Escape ends a split's choice, sending nothing.
    keyboardFocusMark = PanelKeyboard::install(
        this, ui->centralWidget, [this](const PanelButton &button) { return ui->button(button); },
        [this] { carryOut(Switching::cancelSplitChoice(state)); });
    bindBandFollow();
    loadSettings();
    anchorLayout->anchorScaled(view->scaledWidgets());
}

MainWindow::~MainWindow()
{
    closeSerialPort();
    delete box; // stops and joins the LAN worker while the window is whole
    box = nullptr;
}

void MainWindow::loadSettings()
{
    stored = PanelSettings::load(settingsPath);
    view->setAntennaNames(stored.antennaNames);
    view->setReceiveOnly(stored.receiveOnly);
    ui->labelID->setText(stored.id);
    box->lan().setBox(stored.ip, stored.port, stored.directIp);
    setLinkMode(stored.linkMode);
    bandFollow->configure(stored.bandFollow, QStringList(stored.antennaNames.begin(), stored.antennaNames.end()),
                          stored.receiveOnly);
    for (int c = 1; c <= 2; ++c) {
        if (!stored.bandFollow.radio[c].follows())
            view->hideFollowNote(c); // news of a radio no longer followed
    }
}

const LinkFlags &MainWindow::linkFlags() const { return box->flags(); }
bool MainWindow::isCommandQueueEmpty() const { return box->isCommandQueueEmpty(); }
LinkMode MainWindow::linkMode() const { return box->mode(); }
QString MainWindow::boxHostAddress() const { return box->lan().hostAddress(); }
QString MainWindow::boxPortText() const { return box->lan().portText(); }
bool MainWindow::directIpEnabled() const { return box->lan().directIp(); }
ThreadCOM *MainWindow::lanLink() const { return box->lan().worker(); }

void MainWindow::carryOutTick(int requests)
{
    if (requests & SendQueuedCommand)
        callEnvioFila();
    if (requests & SendStateRequest)
        callEnviar();
    if (requests & ReadReply)
        callReceber(this);
    if (requests & CheckLink) {
        box->serial().reopenIfDue();
        checkCOMTimeout(this);
    }
}

// --- Connecting ---

void MainWindow::openSerialPort()
{
    view->showConnected(true, box->mode());
    if (box->open([this] { return serialSettings()->parameters(); })) {
        bandFollow->start();
        return;
    }
    QMessageBox::critical(this, tr("Error"), box->errorString(), QMessageBox::Ok);
    view->showMessage(tr("Open error"));
}

void MainWindow::closeSerialPort()
{
    bandFollow->stop();
    view->hideFollowNotes();
    box->close();
    view->showConnected(false, box->mode());
    view->showMessage(tr("Disconnected"));
}

void MainWindow::connectToBox() { ui->actionConnect_to_Brisel->trigger(); }

void MainWindow::on_actionLAN_triggered() { chooseLinkMode(LinkMode::Lan); }

void MainWindow::on_actionSerial_triggered() { chooseLinkMode(LinkMode::Serial); }

// The operator's choice is stored at once.
void MainWindow::chooseLinkMode(LinkMode mode)
{
    setLinkMode(mode);
    store(SettingsFile::Key::serialMode(), int(mode));
}

void MainWindow::setLinkMode(LinkMode mode)
{
    box->setMode(mode);
    stored.linkMode = mode;
    view->showLinkMode(mode);
}

// --- Polling ---

void MainWindow::callEnvioFila() { box->sendQueuedCommand(); }

void MainWindow::callEnviar() { box->sendStateRequest(); }

void MainWindow::callReceber(MainWindow *) { box->serial().readReply(); }

void MainWindow::checkCOMTimeout(MainWindow *w)
{
    const bool answering = w->box->linkWatchdog().boxAnswering();
    w->view->showLinkState(answering);
    if (!answering)
        clearUI(w);
}

// --- The links ---

void MainWindow::bindBox()
{
    box = new BoxLink(clock, this);
    connect(box, &BoxLink::message, view, &PanelView::showMessage);
    connect(&box->serial(), &SerialSession::replyRead, this, [this] { processaPacoteRecebido(this); });
    connect(&box->lan(), &LanLink::replyReceived, this, [this](const QString &text) { processaPDRLan(this, text); });
}

void MainWindow::processaPacoteRecebido(MainWindow *w)
{
    const Protocol::RxBuffer &reply = w->box->serial().reply();
    const Protocol::ReplyKind kind = Protocol::classifyReply(reply);
    if (kind == Protocol::ReplyKind::Status)
        processaPDR(w);
    else if (kind == Protocol::ReplyKind::Firmware)
        w->view->showFirmware(Protocol::firmwareRevision(reply));
}

void MainWindow::processaPDR(MainWindow *w)
{
    w->view->showLinkState(true);
    if (Protocol::takeStatusReply(w->state, w->box->serial().reply()))
        updateUI(w);
}

SettingsDialog *MainWindow::serialSettings()
{
    if (!settingsDialog)
        settingsDialog = std::make_unique<SettingsDialog>(this);
    return settingsDialog.get();
}

// --- LAN link ---

void MainWindow::sendLanFrame(signed char code, signed char arg1, signed char arg2, signed char arg3)
{
    box->sendLanFrame(Protocol::lanFrame(quint8(code), quint8(arg1), quint8(arg2), quint8(arg3)));
}

void MainWindow::processaPDRLan(MainWindow *w, QString res)
{
    w->box->linkWatchdog().heard();
    // Any text revives a cleared panel; one that is not a status changes nothing shown.
    if (Protocol::parseLanStatusText(res, w->state) || !w->view->showsState())
        updateUI(w);
    w->view->showPing(w->box->lan().pingFigure());
}

void MainWindow::hostInfoResults(QHostInfo host) { box->lan().lookupFinished(host); }

void MainWindow::setDirectIp(bool on)
{
    box->lan().setDirectIp(on);
    stored.directIp = on;
    store(SettingsFile::Key::directIp(), on);
}

void MainWindow::on_actionLAN_Settings_triggered() { (new formLanCFG(this, this))->show(); }

// --- Settings and dialogs ---

void MainWindow::reportNotSaved(const QString &message)
{
    if (!message.isEmpty())
        view->holdNotice(message);
}

void MainWindow::store(const QString &key, const QVariant &value)
{
    reportNotSaved(SettingsFile::store(settingsPath, {{key, value}}));
}

void MainWindow::on_actionLabels_triggered() { (new labels(this, this))->show(); }

void MainWindow::on_actionAbout_triggered() { QMessageBox::aboutQt(this, tr("About Qt")); }

void MainWindow::on_actionAbout_Norvale_triggered() { (new about(this))->show(); }

void MainWindow::on_actionKeyboard_Shortcuts_triggered() { PanelKeyboard::showListing(this); }

// --- Rendering ---

void MainWindow::resizeEvent(QResizeEvent *)
{
    anchorLayout->relayout();
    resizeAllTexts(AnchorMath::textBaseSize(geometry().width()));
}

void MainWindow::resizeAllTexts(short size) { view->setTextSize(size); }

void MainWindow::clearUI(MainWindow *w) { w->view->clear(); }

void MainWindow::updateUI(MainWindow *w)
{
    w->view->showState();
    w->bandFollow->boxReported(); // a switch held back may go now
}

void MainWindow::blinkSplit() { view->blinkStep(); }

// --- Switching ---

void MainWindow::enviaComutacao(signed char pos, signed char channel)
{
    carryOut(Switching::pressPosition(state, box->mode(), static_cast<quint8>(pos), static_cast<quint8>(channel),
                                      box->delivery(), stored.receiveOnly));
}

void MainWindow::carryOut(const Switching::Outcome &outcome)
{
    if (outcome.send)
        box->send(outcome.command);
    view->showOutcome(outcome);
}

void MainWindow::operatorPress(signed char pos, signed char channel)
{
    enviaComutacao(pos, channel);
    // A choice by hand stands until the next band change, and may become the band's.
    bandFollow->operatorChose(channel, static_cast<quint8>(pos));
}

void MainWindow::on_botaoTecla1C1_pressed() { operatorPress(0, 1); }
void MainWindow::on_botaoTecla2C1_pressed() { operatorPress(1, 1); }
void MainWindow::on_botaoTecla3C1_pressed() { operatorPress(2, 1); }
void MainWindow::on_botaoTecla4C1_pressed() { operatorPress(3, 1); }
void MainWindow::on_botaoTecla5C1_pressed() { operatorPress(4, 1); }
void MainWindow::on_botaoTecla6C1_pressed() { operatorPress(5, 1); }
void MainWindow::on_botaoTecla1C2_pressed() { operatorPress(0, 2); }
void MainWindow::on_botaoTecla2C2_pressed() { operatorPress(1, 2); }
void MainWindow::on_botaoTecla3C2_pressed() { operatorPress(2, 2); }
void MainWindow::on_botaoTecla4C2_pressed() { operatorPress(3, 2); }
void MainWindow::on_botaoTecla5C2_pressed() { operatorPress(4, 2); }
void MainWindow::on_botaoTecla6C2_pressed() { operatorPress(5, 2); }
void MainWindow::on_botaoRelease1_pressed() { operatorPress(static_cast<signed char>(AntennaPosition::None), 1); }
void MainWindow::on_botaoRelease2_pressed() { operatorPress(static_cast<signed char>(AntennaPosition::None), 2); }
void MainWindow::on_botaoSplitC1_clicked() { splitPress(1); }
void MainWindow::on_botaoSplitC2_clicked() { splitPress(2); }

void MainWindow::splitPress(quint8 channel)
{
    carryOut(Switching::pressSplit(state, channel, box->delivery(), stored.receiveOnly));
}

// --- Band follow ---

void MainWindow::bindBandFollow()
{
    // A channel as band follow sees it: nothing while the link is down or the box silent.
    const auto followed = [this](int channel) -> std::optional<BandFollow::Channel> {
        return box->boxAnswering() ? std::optional(BandFollow::channelOf(state, channel)) : std::nullopt;
    };
    bandFollow = new BandFollowService(clock, followed, this);
    // The button's own path, so both links get exactly the bytes a press sends.
    connect(bandFollow, &BandFollowService::selectAntenna, this, [this](int channel, int position) {
        enviaComutacao(static_cast<signed char>(position), static_cast<signed char>(channel));
    });
    connect(bandFollow, &BandFollowService::message, view, &PanelView::showFollowNote);
    connect(bandFollow, &BandFollowService::bandAntennaChosen, this, [this](int channel, int band, int antenna) {
        stored.bandFollow.radio[channel].antenna[band] = antenna;
        store(BandFollowSettings::bandKey(channel, band), antenna);
    });
}

void MainWindow::on_actionBand_Follow_triggered() { (new BandFollowDialog(this, this))->show(); }
