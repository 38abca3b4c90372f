#include "floorticker.h"

FloorTicker::FloorTicker(QObject *parent)
    : QThread(parent)
{}

FloorTicker::~FloorTicker()
{
    stopRequested = true;
    wait();
}

void FloorTicker::run()
{
    while (!stopRequested) {
        msleep(TickMs);
        if (stopRequested)
            return;
        emit ticked();
    }
}
