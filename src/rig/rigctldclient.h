#pragma once

#include "engine/monotonicclock.h"
#include "rigreply.h"

#include <QObject>
#include <QTimer>

#include <optional>

class QTcpSocket;

// One radio read through its rigctld: one lasting TCP connection, the frequency asked
// (`f`) every PollIntervalMs while the last question has been answered, and a new
// connection RetryIntervalMs after rigctld could not be reached, closed the connection or
// left a question (or a connection attempt) unanswered for AnswerTimeoutMs.
//
// Every interval is measured on the MonotonicClock; a timer only wakes service(), which
// does what the clock says is due, so tests on a hand-moved clock call service() instead.
//
// Thread contract: GUI thread only (the socket is non-blocking and lives there).
class RigctldClient : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 PollIntervalMs = 250;
    static constexpr qint64 AnswerTimeoutMs = 2000;
    static constexpr qint64 RetryIntervalMs = 2000;

    explicit RigctldClient(const MonotonicClock &clock, QObject *parent = nullptr);
    ~RigctldClient() override;

    void start(const RigAddress &address);
    // Closes the connection; nothing more is sent or reported until the next start().
    void stop();
    bool isConnected() const { return state == State::Connected; }

public slots:
    void service();

signals:
    void frequencyRead(qint64 hz);
    // The connection is open, the first time or again after an outage.
    void connected();
    // rigctld cannot be reached: once per outage, however many attempts fail.
    void unreachable();

private:
    enum class State { Stopped, Connecting, Connected, Waiting };

    void connectNow();
    void onConnected();
    void onReadyRead();
    void fail();
    void scheduleWake();

    const MonotonicClock &clock;
    QTcpSocket *socket;
    QTimer wakeUp;
    RigReply::LineReader reader;
    std::optional<RigAddress> address;
    State state = State::Stopped;
    // Connecting: when the attempt began; Connected: when the open question was asked;
    // Waiting: when the next attempt is due.
    qint64 since = 0;
    bool questionOpen = false;
    qint64 nextQuestionAt = 0;
    bool outageReported = false;
};
