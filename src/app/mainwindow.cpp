#include "mainwindow.h"

#include "about.h"
#include "anchormath.h"
#include "c4sanchorlayout.h"
#include "config/labels.h"
#include "config/settingsfile.h"
#include "lan/formlancfg.h"
#include "lan/lanlink.h"
#include "mainwindowform.h"
#include "mqtt/mqttsetup.h"
#include "panelkeyboard.h"
#include "panelview.h"
#include "remote/remotesetup.h"
#include "remote/remoteswitchnote.h"
#include "remote/ui/remotecontroldialog.h"
#include "rig/bandfollowdialog.h"
#include "serial/settingsdialog.h"
#include "station/boxlink.h"

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
    , serialPortSource(std::move(options.serialPorts))
    , core(options.settingsFile, clock, this) // in the window's object tree, destroyed as a member
{
    ui->setupUi(this);
    view = new PanelView(*ui, core.deviceState(), clock, this);
    connect(&view->blinkTimer(), &QTimer::timeout, this, &MainWindow::blinkSplit);
    bindStation();
    anchorLayout = std::make_unique<C4SAnchorLayout>(this);
    connect(ui->actionConfigure, &QAction::triggered, this, [this] { serialSettings()->show(); });
    connect(ui->actionConnect_to_Brisel, &QAction::triggered, this, &MainWindow::openSerialPort);
    connect(ui->actionDisconnect, &QAction::triggered, this, &MainWindow::closeSerialPort);
    // Escape ends a split's choice, sending nothing.
    keyboardFocusMark = PanelKeyboard::install(
        this, ui->centralWidget, [this](const PanelButton &button) { return ui->button(button); },
        [this] {
            core.cancelSplitChoice({Station::Source::Panel, QString()});
        });
    loadSettings();
    anchorLayout->anchorScaled(view->scaledWidgets());
    remote = std::make_unique<RemoteSetup>(core);
    connect(remote.get(), &RemoteSetup::said, view, &PanelView::holdNotice);
    // After the pass that stored it: the dialog then shows the token.
    connect(remote.get(), &RemoteSetup::tokenMade, this, &MainWindow::loadSettings, Qt::QueuedConnection);
    remote->start();
    bridge = std::make_unique<MqttSetup>(core);
    connect(bridge.get(), &MqttSetup::said, view, &PanelView::holdNotice);
    bridge->start();
}

MainWindow::~MainWindow() { closeSerialPort(); }

void MainWindow::loadSettings() { core.loadSettings(); }

// The settings as the station applied them, onto the panel.
void MainWindow::showSettings()
{
    const PanelSettings &stored = core.settings();
    view->setAntennaNames(stored.antennaNames);
    view->setReceiveOnly(stored.receiveOnly);
    ui->labelID->setText(stored.id);
    ui->actionLock_Remote->setChecked(stored.remote.locked);
    for (int c = 1; c <= 2; ++c) {
        if (!stored.bandFollow.radio[size_t(c)].follows())
            view->hideFollowNote(c); // news of a radio no longer followed
    }
}

const LinkFlags &MainWindow::linkFlags() const { return core.linkFlags(); }
bool MainWindow::isCommandQueueEmpty() const { return core.isCommandQueueEmpty(); }
LinkMode MainWindow::linkMode() const { return core.linkMode(); }
QString MainWindow::boxHostAddress() const { return core.box().lan().hostAddress(); }
QString MainWindow::boxPortText() const { return core.box().lan().portText(); }
bool MainWindow::directIpEnabled() const { return core.box().lan().directIp(); }
ThreadCOM *MainWindow::lanLink() const { return core.box().lan().worker(); }

void MainWindow::carryOutTick(int requests)
{
    if (requests & SendQueuedCommand)
        callEnvioFila();
    if (requests & SendStateRequest)
        callEnviar();
    if (requests & ReadReply)
        callReceber(this);
    if (requests & CheckLink) {
        core.reopenLineIfDue();
        checkCOMTimeout(this);
    }
}

// --- The station onto the panel ---

void MainWindow::bindStation()
{
    connect(&core, &Station::settingsChanged, this, &MainWindow::showSettings);
    connect(&core, &Station::linkModeChanged, view, &PanelView::showLinkMode);
    connect(&core, &Station::message, view, &PanelView::showMessage);
    connect(&core, &Station::notSaved, this, &MainWindow::reportNotSaved);
    connect(&core, &Station::remoteLockChanged, ui->actionLock_Remote,
            [this](quint64, bool locked) { ui->actionLock_Remote->setChecked(locked); });
    connect(&core, &Station::statusRead, this, &MainWindow::showStatusRead);
    connect(&core, &Station::linkChecked, this, &MainWindow::showLinkChecked);
    connect(&core, &Station::firmwareRead, view, &PanelView::showFirmware);
    connect(&core, &Station::pingRead, view, &PanelView::showPing);
    connect(&core, &Station::followNote, view,
            [this](quint64, int channel, const QString &text) { view->showFollowNote(channel, text); });
    connect(&core, &Station::commandDone, this,
            [this](const Station::Origin &origin, int channel, const Station::Result &result) {
                view->showOutcome(result.outcome);
                const QString note = RemoteSwitchNote::text(core, origin, channel, result);
                if (!note.isEmpty())
                    view->showRemoteSwitch(note);
            });
}

void MainWindow::showStatusRead(bool applied)
{
    if (core.linkMode() == LinkMode::Serial) {
        view->showLinkState(true);
        if (applied)
            updateUI(this);
    } else if (applied || !view->showsState()) {
        // Any text revives a cleared panel; one that is not a status changes nothing shown.
        updateUI(this);
    }
}

void MainWindow::showLinkChecked(bool answering)
{
    view->showLinkState(answering);
    if (!answering)
        clearUI(this);
}

// --- Connecting ---

void MainWindow::openSerialPort()
{
    view->showConnected(true, core.linkMode());
    if (core.connectBox([this] { return serialSettings()->parameters(); }))
        return;
    QMessageBox::critical(this, tr("Error"), core.errorString(), QMessageBox::Ok);
    view->showMessage(tr("Open error"));
}

void MainWindow::closeSerialPort()
{
    core.disconnectBox();
    view->hideFollowNotes();
    view->showConnected(false, core.linkMode());
    view->showMessage(tr("Disconnected"));
}

void MainWindow::connectToBox() { ui->actionConnect_to_Brisel->trigger(); }

void MainWindow::on_actionLAN_triggered() { core.setLinkMode(LinkMode::Lan, true); }

void MainWindow::on_actionSerial_triggered() { core.setLinkMode(LinkMode::Serial, true); }

// --- Polling ---

void MainWindow::callEnvioFila() { core.sendQueuedCommand(); }

void MainWindow::callEnviar() { core.sendStateRequest(); }

void MainWindow::callReceber(MainWindow *w) { w->core.readReply(); }

void MainWindow::checkCOMTimeout(MainWindow *w) { w->core.checkLink(); }

// --- The links ---

void MainWindow::processaPacoteRecebido(MainWindow *w) { w->core.takeSerialReply(); }

void MainWindow::processaPDR(MainWindow *w) { w->core.takeSerialReply(); }

SettingsDialog *MainWindow::serialSettings()
{
    if (!settingsDialog)
        settingsDialog = std::make_unique<SettingsDialog>(this);
    return settingsDialog.get();
}

// --- LAN link ---

void MainWindow::sendLanFrame(signed char code, signed char arg1, signed char arg2, signed char arg3)
{
    core.box().sendLanFrame(Protocol::lanFrame(quint8(code), quint8(arg1), quint8(arg2), quint8(arg3)));
}

void MainWindow::processaPDRLan(MainWindow *w, QString res) { w->core.takeLanReply(res); }

void MainWindow::hostInfoResults(QHostInfo host) { core.box().lan().lookupFinished(host); }

void MainWindow::setDirectIp(bool on) { core.setDirectIp(on); }

void MainWindow::on_actionLAN_Settings_triggered() { (new formLanCFG(this, this))->show(); }

// --- Settings and dialogs ---

void MainWindow::reportNotSaved(const QString &message)
{
    if (!message.isEmpty())
        view->holdNotice(message);
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

void MainWindow::updateUI(MainWindow *w) { w->view->showState(); }

void MainWindow::blinkSplit() { view->blinkStep(); }

// --- Switching: every press goes through the station's door ---

void MainWindow::enviaComutacao(signed char pos, signed char channel)
{
    core.select(channel, static_cast<quint8>(pos), {Station::Source::Panel, QString()});
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
void MainWindow::on_botaoSplitC1_clicked() { core.pressSplit(1, {Station::Source::Panel, QString()}); }
void MainWindow::on_botaoSplitC2_clicked() { core.pressSplit(2, {Station::Source::Panel, QString()}); }

void MainWindow::on_actionBand_Follow_triggered() { (new BandFollowDialog(this, this))->show(); }
void MainWindow::on_actionRemote_Control_triggered() { (new RemoteControlDialog(this, this))->show(); }
void MainWindow::on_actionLock_Remote_triggered(bool locked) { core.setRemoteLocked(locked); }
