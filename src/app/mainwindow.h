#pragma once

#include "engine/commandqueue.h"
#include "engine/devicestate.h"
#include "engine/linkstate.h"
#include "engine/protocol.h"
#include "engine/switching.h"
#include "serial/serialportdescription.h"

#include <QHostInfo>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <QTimer>

#include <functional>

#include <memory>

class C4SAnchorLayout;
class QSerialPort;
class SettingsDialog;
class ThreadCOM;
namespace PanelLook {
struct Looks;
}
namespace Ui {
class mainWindow;
}

// The panel's one window. It owns the device state and every link to the box.
//
// Thread contract: every member and slot lives on the GUI thread. The polling thread
// reads only linkFlags() and isCommandQueueEmpty() (atomics) and reaches the window
// solely through queued invocations of its slots by name ("callEnvioFila", "callEnviar",
// "callReceber", "checkCOMTimeout"), passing the window as a "MainWindow*" argument.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    // Silence after which the POWER lamp goes neutral and the panel is cleared.
    static constexpr qint64 LinkTimeoutMs = 7000;
    // How long the first state request waits for the firmware reply after connecting.
    static constexpr qint64 FirmwareWaitMs = 300;

    explicit MainWindow(QWidget *parent = nullptr);
    // Where the serial settings dialog gets its port list from, when it is first needed.
    using SerialPortSource = std::function<QList<SerialPortDescription>()>;

    // A window on a given settings file and serial port list instead of the ones the
    // command line and the system give.
    MainWindow(const QString &settingsFile, const QList<SerialPortDescription> &serialPorts, QWidget *parent = nullptr);
    MainWindow(const QString &settingsFile, SerialPortSource serialPorts, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Reads the settings file and applies every key to the window.
    void loadSettings();

    const LinkFlags &linkFlags() const { return link; }
    bool isCommandQueueEmpty() const { return commandQueue.isEmpty(); }
    LinkMode linkMode() const { return link.mode.load(); }
    const DeviceState &deviceState() const { return state; }
    QString settingsFilePath() const { return settingsPath; }
    QString boxHostAddress() const { return hostAddress; }
    QString boxHostName() const { return hostName; }
    QString boxPortText() const { return portText; }
    bool directIpEnabled() const { return directIp; }
    ThreadCOM *lanLink() const { return lanWorker.get(); }

    // Queues one LanFrame for the box while the LAN link is up (unused arguments 0).
    void sendLanFrame(signed char code, signed char arg1, signed char arg2, signed char arg3);
    // Stores the direct-address option at once.
    void setDirectIp(bool on);

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

private:
    void saveSerialMode();
    void resolveHostNow();
    void refreshHostAddress();
    void setHostAddress(const QString &address);
    void registerScaledWidgets();
    SettingsDialog *serialSettings();
    void sendFirmwareRequest();
    void writeSerial(int count);
    qint64 readNewestFrame();
    void carryOut(const Switching::Outcome &outcome);
    void applyLooks(const PanelLook::Looks &looks);
    void highlightButton(QWidget *widget);

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

    LinkFlags link;
    DeviceState state;
    // Stopped and joined when the window goes.
    std::unique_ptr<ThreadCOM> lanWorker;
    QSerialPort *serialPort = nullptr;
    Protocol::TxBuffer txBuffer{};
    Protocol::RxBuffer rxBuffer{};
    // Milliseconds since the epoch of the last sign of life from the box; 0 until the
    // first one, so the lamp never claims a box that has not answered yet.
    qint64 lastReplyTime = 0;
    // When the firmware request went out, while its reply is awaited (else 0).
    qint64 firmwareRequestedAt = 0;
};
