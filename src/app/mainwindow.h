#pragma once

#include "engine/commandqueue.h"
#include "engine/devicestate.h"
#include "engine/linkstate.h"
#include "engine/monotonicclock.h"
#include "engine/pollingpeer.h"
#include "engine/protocol.h"
#include "engine/switching.h"
#include "panelspeech.h"
#include "rig/bandfollow.h"
#include "serial/serialportdescription.h"

#include <QHostInfo>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <QTimer>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class BandFollowService;
class C4SAnchorLayout;
class FocusMark;
class SerialLink;
class SettingsDialog;
class StatusNote;
class ThreadCOM;
namespace PanelLook {
struct Looks;
}
namespace Ui {
class mainWindow;
}

// The panel's one window: the table of contents of the program. It owns the device state
// and every link to the box, and hands the work to the subsystems: the frame codec and the
// switching rules (src/engine), the serial line (src/serial), the LAN worker and host
// resolution (src/lan), the settings file and its dialogs (src/config).
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
    static constexpr qint64 LinkTimeoutMs = 7000;

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
    MainWindow(const QString &settingsFile, SerialPortSource serialPorts, QWidget *parent = nullptr);
    explicit MainWindow(Options options, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Reads the settings file and applies every key to the window.
    void loadSettings();

    const LinkFlags &linkFlags() const override { return link; }
    bool isCommandQueueEmpty() const override { return commandQueue.isEmpty(); }
    QObject *pollingContext() override { return this; }
    void carryOutTick(int requests) override;
    LinkMode linkMode() const { return link.mode.load(); }
    const DeviceState &deviceState() const { return state; }
    QString settingsFilePath() const { return settingsPath; }
    QString boxHostAddress() const { return hostAddress; }
    QString boxHostName() const { return hostName; }
    QString boxPortText() const { return portText; }
    bool directIpEnabled() const { return directIp; }
    ThreadCOM *lanLink() const { return lanWorker.get(); }
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
    void callEnviar();
    void callReceber(MainWindow *w);
    void callEnvioFila();
    void blinkSplit();
    void checkCOMTimeout(MainWindow *w);
    void processaPDRLan(MainWindow *w, QString res);
    void hostInfoResults(QHostInfo host);

protected:
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void openSerialPort();
    void closeSerialPort();
    void processaPacoteRecebido(MainWindow *w);
    void processaPDR(MainWindow *w);
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

private:
    void saveSerialMode();
    // The serial port has opened, on Connect or when a lost line came back.
    void serialLineOpened();
    void serialLineLost();
    void resolveHostNow();
    void refreshHostAddress();
    // A look-up's outcome: the address, or the error sentinel, which is also reported.
    void applyLookup(const QString &address);
    void setHostAddress(const QString &address);
    void registerScaledWidgets();
    SettingsDialog *serialSettings();
    void carryOut(const Switching::Outcome &outcome);
    Switching::Delivery commandDelivery() const;
    void applyLooks(const PanelLook::Looks &looks);
    void highlightButton(QWidget *widget);
    // The POWER lamp: green while the box answers.
    void showLinkState(bool answering);
    // Puts what the panel shows into words for screen readers and tooltips; the
    // accessibility framework hears of a button only when its words change.
    void speak(bool namesChanged = false);
    void bindBandFollow();
    // A channel as band follow sees it: nothing while the link is down or the box silent.
    std::optional<BandFollow::Channel> followedChannel(int channel) const;

    QString hostName;
    QString hostAddress;
    QString portText;
    bool directIp = false;
    C4SAnchorLayout *anchorLayout = nullptr;
    CommandQueue commandQueue;
    QTimer blinkTimer{this};
    Ui::mainWindow *ui = nullptr;
    // Parentless, a window of its own; built on first use, because listing the system's
    // serial ports is the slowest step of starting the panel.
    std::unique_ptr<SettingsDialog> settingsDialog;
    SerialPortSource serialPortSource;
    QString settingsPath;

    const MonotonicClock &clock;
    // A settings write that failed stays in the status bar this long before the LAN's ping
    // figures, several a second, may replace it.
    static constexpr qint64 NoticeHoldMs = 5000;
    std::optional<qint64> noticeHeldUntil;
    LinkFlags link;
    DeviceState state;
    // Stopped and joined when the window goes.
    std::unique_ptr<ThreadCOM> lanWorker;
    SerialLink *serialLink = nullptr;
    Protocol::TxBuffer txBuffer{};
    Protocol::RxBuffer rxBuffer{};
    // The clock's time of the last sign of life from the box. Until the first one the lamp
    // stays neutral: it never claims a box that has not answered yet.
    qint64 lastReplyTime = 0;
    bool heardFromBox = false;

    // The antenna names as typed, for the spoken names and the tooltips.
    std::array<QString, 6> antennaNames;
    // Whether the panel shows the state (updateUI) or was cleared (clearUI), and the lamp.
    bool panelShown = false;
    bool boxAnswering = false;
    PanelSpeech::Said said;
    FocusMark *keyboardFocusMark = nullptr;
    BandFollowService *bandFollow = nullptr;
    // Each radio's last band-follow news, kept at the status bar's right end: the LAN's
    // "Ping: " figures replace the bar's message several times a second.
    std::array<StatusNote *, 3> bandFollowStatus{}; // radios 1 and 2
};
