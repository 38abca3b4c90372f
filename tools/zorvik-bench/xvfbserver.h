#pragma once

#include <QProcess>
#include <QString>

// A private X server (Xvfb) for the children that run on the xcb platform: started on a
// display number nobody uses, stopped when this object goes.
class XvfbServer
{
public:
    XvfbServer() = default;
    ~XvfbServer();
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    // The Xvfb executable on PATH, or empty when it is not installed.
    static QString program();

    // Starts it and waits until its socket is there; false (and errorText()) otherwise.
    bool start(int timeoutMs = 10000);
    // ":N", for DISPLAY.
    QString display() const { return displayName; }
    QString errorText() const { return error; }
    void stop();

private:
    bool tryDisplay(int number, int timeoutMs);

    QProcess process;
    QString displayName;
    QString error;
};
