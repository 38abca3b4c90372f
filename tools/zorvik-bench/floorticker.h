#pragma once

#include <QThread>

#include <atomic>

// The floor's polling thread: wakes every TickMs and emits ticked(), nothing else. It
// paces like the panel's ThreadLeitura, but posts one call per tick.
//
// Thread contract: constructed, connected and destroyed on the GUI thread; run() only
// sleeps and emits, and receivers on the GUI thread get ticked() queued. Destroying the
// object raises the stop flag and joins the loop, which ends within one tick.
class FloorTicker : public QThread
{
    Q_OBJECT

public:
    static constexpr unsigned long TickMs = 80;

    explicit FloorTicker(QObject *parent = nullptr);
    ~FloorTicker() override;

signals:
    void ticked();

protected:
    void run() override;

private:
    std::atomic<bool> stopRequested{false};
};
