#include "floorwindow.h"

#include "benchsupport.h"
#include "theme/theme.h"

#include <QSerialPort>
#include <QStatusBar>
#include <QUdpSocket>

namespace {
// "IG", the state request code 0x05, "3", ";" and one byte after it, as the panel writes it.
const QByteArray SerialStateRequest("IG\x05"
                                    "3;\0",
                                    6);
// Every reply of the box on the serial line is 14 bytes long, its status reply included.
constexpr qint64 SerialReplyLength = 14;
const QByteArray LanStateRequest("\xFE\x01\xFD", 3);
} // namespace

FloorWindow::FloorWindow(Link floorLink, const QString &boxEndpoint, QWidget *parent)
    : QMainWindow(parent, Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , link(floorLink)
    , endpoint(boxEndpoint)
{
    form.setupUi(this);
    // The panel's sheet, named here once; the form sets the same one, so this costs nothing then.
    const QString &sheet = Theme::panelStyleSheet();
    if (styleSheet() != sheet)
        setStyleSheet(sheet);
}

bool FloorWindow::openLink()
{
    if (link == Link::Serial) {
        serialPort = new QSerialPort(endpoint, this);
        serialPort->setBaudRate(QSerialPort::Baud9600);
        serialPort->setDataBits(QSerialPort::Data8);
        serialPort->setParity(QSerialPort::NoParity);
        serialPort->setStopBits(QSerialPort::OneStop);
        serialPort->setFlowControl(QSerialPort::NoFlowControl);
        if (!serialPort->open(QIODevice::ReadWrite)) {
            error = QStringLiteral("cannot open %1: %2").arg(endpoint, serialPort->errorString());
            return false;
        }
        connect(serialPort, &QSerialPort::readyRead, this, &FloorWindow::readSerial);
        return true;
    }
    bool numeric = false;
    boxPort = endpoint.toUShort(&numeric);
    boxAddress = QHostAddress(BenchSupport::boxAddress());
    if (!numeric || boxPort == 0) {
        error = QStringLiteral("\"%1\" is not a UDP port").arg(endpoint);
        return false;
    }
    udpSocket = new QUdpSocket(this);
    if (!udpSocket->bind(QHostAddress(QHostAddress::AnyIPv4), 0)) {
        error = QStringLiteral("cannot bind a UDP socket: %1").arg(udpSocket->errorString());
        return false;
    }
    connect(udpSocket, &QUdpSocket::readyRead, this, &FloorWindow::readDatagrams);
    return true;
}

void FloorWindow::tick()
{
    // The panel asks for the state once more than 150 ms have passed: every other 80 ms tick.
    requestThisTick = !requestThisTick;
    if (requestThisTick)
        sendRequest();
}

void FloorWindow::sendRequest()
{
    if (serialPort && serialPort->isOpen()) {
        serialPort->write(SerialStateRequest);
    } else if (udpSocket) {
        udpSocket->writeDatagram(LanStateRequest, boxAddress, boxPort);
    } else {
        return;
    }
    ++requests;
    sinceRequest.start();
}

void FloorWindow::readSerial()
{
    char reply[SerialReplyLength];
    // A reply may come in pieces: it is read once all of it is there.
    while (serialPort->bytesAvailable() >= SerialReplyLength) {
        if (serialPort->read(reply, SerialReplyLength) != SerialReplyLength)
            return;
        ++replies;
        showReply(tr("Reply: %1 bytes").arg(SerialReplyLength));
    }
}

void FloorWindow::readDatagrams()
{
    char datagram[512];
    while (udpSocket->hasPendingDatagrams()) {
        if (udpSocket->readDatagram(datagram, sizeof datagram) < 0)
            return;
        ++replies;
        showReply(tr("Ping: %1").arg(sinceRequest.isValid() ? sinceRequest.elapsed() : 0));
    }
}

void FloorWindow::showReply(const QString &text) { form.statusBar->showMessage(text); }
