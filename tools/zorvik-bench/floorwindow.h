#pragma once

#include "app/mainwindowform.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QMainWindow>

class QSerialPort;
class QUdpSocket;

// The floor the panel's polling CPU is compared with: the least a program of the panel's
// design must do. The panel's form and style sheet, and on every other tick one state
// request to the box (serial: the 6-byte "IG" 0x05 "3" ";" request on the port; LAN: FE 01 FD
// from a socket of its own), each reply shown in the status bar. No device state, no
// queue, no watchdog, no LAN worker thread.
//
// Thread contract: everything here runs on the GUI thread; the ticker's thread reaches it
// only through the queued tick().
class FloorWindow : public QMainWindow
{
    Q_OBJECT

public:
    enum class Link { Serial, Lan };

    // `endpoint` is the pseudo-terminal's path (serial) or the box's UDP port on
    // BenchSupport::boxAddress() (LAN).
    FloorWindow(Link link, const QString &endpoint, QWidget *parent = nullptr);

    // Opens the port or binds the socket; false, with errorText(), when it cannot.
    bool openLink();
    QString errorText() const { return error; }
    long long requestsSent() const { return requests; }
    long long repliesRead() const { return replies; }

public slots:
    // One tick of the polling thread.
    void tick();

private:
    void sendRequest();
    void readSerial();
    void readDatagrams();
    void showReply(const QString &text);

    Ui::mainWindow form;
    Link link;
    QString endpoint;
    QSerialPort *serialPort = nullptr;
    QUdpSocket *udpSocket = nullptr;
    QHostAddress boxAddress;
    quint16 boxPort = 0;
    bool requestThisTick = false;
    QElapsedTimer sinceRequest;
    long long requests = 0;
    long long replies = 0;
    QString error;
};
