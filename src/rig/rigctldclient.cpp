#include "rigctldclient.h"

#include <QTcpSocket>

#include <algorithm>

RigctldClient::RigctldClient(const MonotonicClock &monotonicClock, QObject *parent)
    : QObject(parent)
    , clock(monotonicClock)
    , socket(new QTcpSocket(this))
{
    wakeUp.setSingleShot(true);
    connect(&wakeUp, &QTimer::timeout, this, &RigctldClient::service);
    connect(socket, &QTcpSocket::connected, this, &RigctldClient::onConnected);
    connect(socket, &QTcpSocket::readyRead, this, &RigctldClient::onReadyRead);
    connect(socket, &QTcpSocket::disconnected, this, &RigctldClient::fail);
    connect(socket, &QTcpSocket::errorOccurred, this, &RigctldClient::fail);
}

RigctldClient::~RigctldClient()
{
    // No signal of a socket going down with its owner may reach a half-destroyed client.
    socket->disconnect(this);
    socket->abort();
}

void RigctldClient::start(const RigAddress &to)
{
    stop();
    address = to;
    outageReported = false;
    connectNow();
}

void RigctldClient::stop()
{
    state = State::Stopped;
    wakeUp.stop();
    socket->abort();
    reader.clear();
    questionOpen = false;
}

void RigctldClient::connectNow()
{
    state = State::Connecting;
    since = clock.nowMs();
    reader.clear();
    questionOpen = false;
    socket->connectToHost(address->host, address->port);
    scheduleWake();
}

void RigctldClient::onConnected()
{
    if (state != State::Connecting)
        return;
    state = State::Connected;
    outageReported = false;
    nextQuestionAt = clock.nowMs();
    emit connected();
    service();
}

void RigctldClient::onReadyRead()
{
    if (state != State::Connected) {
        socket->readAll();
        return;
    }
    while (socket->bytesAvailable() > 0) {
        reader.append(socket->read(4096));
        while (const std::optional<QByteArray> line = reader.nextLine()) {
            const RigReply::Line reply = RigReply::parseLine(*line);
            // Only an answer to `f` closes the question; anything else is not ours.
            if (reply.kind == RigReply::Kind::Other)
                continue;
            questionOpen = false;
            if (reply.kind == RigReply::Kind::Frequency)
                emit frequencyRead(reply.hz);
            if (state != State::Connected) // stopped by whoever took the reading
                return;
        }
    }
    service();
}

void RigctldClient::fail()
{
    if (state == State::Stopped || state == State::Waiting)
        return;
    state = State::Waiting;
    since = clock.nowMs() + RetryIntervalMs;
    questionOpen = false;
    socket->abort();
    reader.clear();
    scheduleWake();
    if (!outageReported) {
        outageReported = true;
        emit unreachable();
    }
}

void RigctldClient::service()
{
    const qint64 now = clock.nowMs();
    switch (state) {
    case State::Stopped:
        return;
    case State::Connecting:
        if (now - since >= AnswerTimeoutMs) {
            fail();
            return;
        }
        break;
    case State::Connected:
        if (questionOpen && now - since >= AnswerTimeoutMs) {
            fail();
            return;
        }
        if (!questionOpen && now >= nextQuestionAt) {
            socket->write("f\n");
            questionOpen = true;
            since = now;
            nextQuestionAt = now + PollIntervalMs;
        }
        break;
    case State::Waiting:
        if (now >= since) {
            connectNow();
            return;
        }
        break;
    }
    scheduleWake();
}

void RigctldClient::scheduleWake()
{
    const qint64 now = clock.nowMs();
    qint64 due = now + RetryIntervalMs;
    switch (state) {
    case State::Stopped:
        wakeUp.stop();
        return;
    case State::Connecting:
        due = since + AnswerTimeoutMs;
        break;
    case State::Connected:
        due = questionOpen ? since + AnswerTimeoutMs : nextQuestionAt;
        break;
    case State::Waiting:
        due = since;
        break;
    }
    wakeUp.start(int(std::clamp<qint64>(due - now, 1, RetryIntervalMs)));
}
