#include "threadleitura.h"

#include "app/mainwindow.h"
#include "polltick.h"

#include <QDateTime>

ThreadLeitura::ThreadLeitura(MainWindow *window)
    : window(window)
{
    start(QThread::InheritPriority);
}

ThreadLeitura::~ThreadLeitura()
{
    stopRequested = true;
    wait();
}

void ThreadLeitura::run()
{
    lastSendTime = QDateTime::currentMSecsSinceEpoch();
    for (;;) {
        msleep(PollTick::TickMs);
        const LinkFlags &flags = window->linkFlags();
        PollTick::Inputs in;
        in.serialOpen = flags.serialOpen.load();
        in.lanLinkEnabled = flags.lanLinkEnabled.load();
        if (in.serialOpen || in.lanLinkEnabled) {
            tickTime = QDateTime::currentMSecsSinceEpoch();
            in.queueEmpty = window->isCommandQueueEmpty();
            in.now = tickTime;
            in.lastSendTime = lastSendTime;
            const PollTick::Decision decision = PollTick::decide(in);
            lastSendTime = decision.lastSendTime;
            if (decision.sendQueuedCommand)
                QMetaObject::invokeMethod(window, "callEnvioFila", Qt::QueuedConnection);
            if (decision.sendStateRequest)
                QMetaObject::invokeMethod(window, "callEnviar", Qt::QueuedConnection);
            if (decision.readReply)
                QMetaObject::invokeMethod(window, "callReceber", Qt::QueuedConnection, Q_ARG(MainWindow *, window));
        }
        if (stopRequested)
            return;
        QMetaObject::invokeMethod(window, "checkCOMTimeout", Qt::QueuedConnection, Q_ARG(MainWindow *, window));
    }
}
