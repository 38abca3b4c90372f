#pragma once

#include "config/panelsettings.h"
#include "engine/devicestate.h"
#include "engine/linkstate.h"
#include "engine/linkwatchdog.h"
#include "engine/monotonicclock.h"
#include "engine/pollingpeer.h"
#include "serial/serialportdescription.h"
#include "station/station.h"

#include <QHostInfo>
#include <QList>
#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>

class C4SAnchorLayout;
class FocusMark;
class PanelView;
class MqttSetup;
class RemoteSetup;
class SettingsDialog;
class ThreadCOM;
namespace Ui {
class mainWindow;
}

// The panel's one window: the table of contents of the program, and a view of the station
// it owns (src/station: the device state, the way to the box, the switching rules, band
// follow and the settings). Each slot hands its work to the part whose concern it is:
//   every press and key, with its rules          Station's door (select, pressSplit, ...)
//   the links, the polling steps, the watchdog   Station, with BoxLink
//   the settings file                            Station, PanelSettings (src/config)
//   what the operator sees and hears             PanelView, following the station's signals
//
// Thread contract: every member and slot lives on the GUI thread. The polling thread reads
// only linkFlags() and isCommandQueueEmpty() (atomics) and has each tick's requests carried
// out on this thread by carryOutTick(), which runs the slots callEnvioFila, callEnviar,
// callReceber and checkCOMTimeout as asked.
class MainWindow : public QMainWindow, public PollingPeer
{
    Q_OBJECT

public:
    // Silence after which the POWER lamp goes neutral and the panel is cleared.
    static constexpr qint64 LinkTimeoutMs = LinkWatchdog::TimeoutMs;

    // Where the serial settings dialog gets its port list from, when it is first needed.
    using SerialPortSource = std::function<QList<SerialPortDescription>()>;

    struct Options
    {
        QString settingsFile;
        SerialPortSource serialPorts;
        // Every interval the window keeps (watchdog, firmware wait, LAN spacing).
        const MonotonicClock *clock = &steadyClock();
    };

    explicit MainWindow(QWidget *parent = nullptr);
    // A window on a given settings file and serial port list instead of the ones the
    // command line and the system give.
    MainWindow(const QString &settingsFile, const QList<SerialPortDescription> &serialPorts, QWidget *parent = nullptr);
    explicit MainWindow(Options options, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Reads the settings file and applies every key to the window.
    void loadSettings();

    const LinkFlags &linkFlags() const override;
    bool isCommandQueueEmpty() const override;
    QObject *pollingContext() override { return this; }
    void carryOutTick(int requests) override;
    LinkMode linkMode() const;
    Station &station() { return core; }
    // The bridge to the MQTT broker, on the station's settings.
    MqttSetup &mqtt() { return *bridge; }
    const DeviceState &deviceState() const { return core.deviceState(); }
    // The settings as last loaded, with the options stored since.
    const PanelSettings &settings() const { return core.settings(); }
    // The serial ports the system lists now (the slowest step of opening a dialog).
    QList<SerialPortDescription> serialPorts() const { return serialPortSource(); }
    QString settingsFilePath() const { return core.settingsFilePath(); }
    QString boxHostAddress() const;
    QString boxPortText() const;
    bool directIpEnabled() const;
    ThreadCOM *lanLink() const;
    const MonotonicClock &monotonicClock() const { return clock; }
    // The outline that marks the button with the keyboard focus.
    const FocusMark *focusMark() const { return keyboardFocusMark; }

    // Queues one LanFrame for the box while the LAN link is up (unused arguments 0).
    void sendLanFrame(signed char code, signed char arg1, signed char arg2, signed char arg3);
    // Stores the direct-address option at once.
    void setDirectIp(bool on);
    // Tells the operator that a setting did not reach the file.
    void reportNotSaved(const QString &message);
    // "Connect to Talmek", as if chosen from the menu.
    void connectToBox();

public slots:
    // Polling: the state request, on whichever link is up.
    void callEnviar();
    // Polling: what the box has sent on the serial line.
    void callReceber(MainWindow *w);
    // Polling: the next queued serial command to the port.
    void callEnvioFila();
    void blinkSplit();
    // Polling: the link watchdog's verdict onto the POWER lamp and the panel.
    void checkCOMTimeout(MainWindow *w);
    // A datagram from the box on the LAN: the state, the panel, the "Ping: " figure.
    void processaPDRLan(MainWindow *w, QString res);
    void hostInfoResults(QHostInfo host);

protected:
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void openSerialPort();
    void closeSerialPort();
    // A frame read on the serial line, by its kind.
    void processaPacoteRecebido(MainWindow *w);
    // A status reply on the serial line: the state and the panel.
    void processaPDR(MainWindow *w);
    // An antenna or RELEASE press (position 0..5, or none) on a channel.
    void enviaComutacao(signed char pos, signed char channel);
    void clearUI(MainWindow *w);
    void updateUI(MainWindow *w);
    void resizeAllTexts(short size);
    void on_actionAbout_triggered();
    void on_actionAbout_Norvale_triggered();
    void on_actionKeyboard_Shortcuts_triggered();
    void on_actionLabels_triggered();
    void on_botaoTecla1C1_pressed();
    void on_botaoTecla2C1_pressed();
    void on_botaoTecla3C1_pressed();
    void on_botaoTecla4C1_pressed();
    void on_botaoTecla5C1_pressed();
    void on_botaoTecla6C1_pressed();
    void on_botaoTecla1C2_pressed();
    void on_botaoTecla2C2_pressed();
    void on_botaoTecla3C2_pressed();
    void on_botaoTecla4C2_pressed();
    void on_botaoTecla5C2_pressed();
    void on_botaoTecla6C2_pressed();
    void on_botaoRelease1_pressed();
    void on_botaoRelease2_pressed();
    void on_botaoSplitC1_clicked();
    void on_botaoSplitC2_clicked();
    void on_actionLAN_triggered();
    void on_actionSerial_triggered();
    void on_actionLAN_Settings_triggered();
    void on_actionBand_Follow_triggered();
    void on_actionRemote_Control_triggered();
    void on_actionLock_Remote_triggered(bool locked);

private:
    // The station's news onto the panel.
    void bindStation();
    void showSettings();
    void showStatusRead(bool applied);
    void showLinkChecked(bool answering);
    SettingsDialog *serialSettings();

    std::unique_ptr<Ui::mainWindow> ui;
    const MonotonicClock &clock;
    SerialPortSource serialPortSource;
    Station core;
    // The remote control's server, on the station's settings; goes before the station.
    std::unique_ptr<RemoteSetup> remote;
    // The MQTT bridge, on the station's settings; goes before the station.
    std::unique_ptr<MqttSetup> bridge;
    std::unique_ptr<C4SAnchorLayout> anchorLayout;
    PanelView *view = nullptr;
    // Parentless, a window of its own; built on first use, because listing the system's
    // serial ports is the slowest step of starting the panel.
    std::unique_ptr<SettingsDialog> settingsDialog;
    FocusMark *keyboardFocusMark = nullptr;
};
