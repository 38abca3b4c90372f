#include "otrspport.h"

#include <QSerialPort>

#include <algorithm>

OtrspPort::OtrspPort(const MonotonicClock &monotonicClock, QObject *parent)
    : QObject(parent)
    , clock(monotonicClock)
    , port(new QSerialPort(this))
{
    wakeUp.setSingleShot(true);
    connect(&wakeUp, &QTimer::timeout, this, &OtrspPort::service);
    connect(port, &QSerialPort::readyRead, this, &OtrspPort::onReadyRead);
    // A device that is gone fails every read and write at once: closed, and tried again. A
    // hung-up terminal (a pseudo-terminal whose other side closed, an adapter pulled out)
    // reads as end of file, which the port reports as a read error again at every turn of
    // the event loop.
    connect(port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if ((error == QSerialPort::ResourceError || error == QSerialPort::ReadError) && state == State::Open)
            retryLater(tr("OTRSP: %1 lost; trying again").arg(portName));
    });
}

OtrspPort::~OtrspPort()
{
    port->disconnect(this);
    if (port->isOpen())
        port->close();
}

void OtrspPort::open(const QString &name)
{
    close();
    portName = name;
    outageNote.clear();
    openNow();
}

void OtrspPort::close()
{
    state = State::Closed;
    wakeUp.stop();
    if (port->isOpen())
        port->close();
}

bool OtrspPort::isOpen() const { return state == State::Open && port->isOpen(); }

void OtrspPort::openNow()
{
    reader = Otrsp::LineReader();
    port->setPortName(portName);
    port->setBaudRate(QSerialPort::Baud9600, QSerialPort::AllDirections);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    if (!port->open(QIODevice::ReadWrite)) {
        retryLater(tr("OTRSP: %1 cannot be opened: %2; trying again").arg(portName, port->errorString()));
        return;
    }
    state = State::Open;
    outageNote.clear();
    emit message(tr("OTRSP: listening on %1").arg(portName));
}

void OtrspPort::retryLater(const QString &note)
{
    state = State::Waiting;
    if (port->isOpen())
        port->close();
    retryAt = clock.nowMs() + RetryIntervalMs;
    wakeUp.start(int(RetryIntervalMs));
    if (note != outageNote) {
        outageNote = note;
        emit message(note);
    }
}

void OtrspPort::onReadyRead()
{
    while (state == State::Open && port->bytesAvailable() > 0) {
        reader.append(port->read(4096));
        while (state == State::Open) {
            const std::optional<QByteArray> line = reader.nextLine();
            if (!line)
                break;
            const Otrsp::Command command = Otrsp::parse(*line);
            const QByteArray answer = responder.answer(command);
            if (!answer.isEmpty())
                port->write(answer);
            if (command.kind == Otrsp::Command::Kind::Aux)
                emit aux(command.radio, command.code);
        }
    }
}

void OtrspPort::service()
{
    if (state != State::Waiting)
        return;
    const qint64 now = clock.nowMs();
    if (now >= retryAt) {
        openNow();
        return;
    }
    wakeUp.start(int(std::clamp<qint64>(retryAt - now, 1, RetryIntervalMs)));
}
