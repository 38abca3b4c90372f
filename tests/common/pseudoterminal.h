#pragma once

// A pseudo-terminal standing in for a serial line: the panel opens the slave side by its
// path like any serial port, the test reads and writes the master side.

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QThread>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

class PseudoTerminal
{
public:
    PseudoTerminal()
    {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return;
        slave = QString::fromLocal8Bit(ptsname(master));
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        // Neither side goes to the programs a test starts (talmek-sim, rigctld): a copy of
        // the master there would keep the line up after this side has gone.
        fcntl(master, F_SETFD, FD_CLOEXEC);
        // Keep one slave descriptor open in raw mode, so the line stays configured and a
        // hang-up never reaches the master while the panel reopens the port.
        keeper = ::open(ptsname(master), O_RDWR | O_NOCTTY);
        if (keeper >= 0) {
            fcntl(keeper, F_SETFD, FD_CLOEXEC);
            termios tio;
            tcgetattr(keeper, &tio);
            cfmakeraw(&tio);
            tcsetattr(keeper, TCSANOW, &tio);
        }
    }
    ~PseudoTerminal()
    {
        if (keeper >= 0)
            ::close(keeper);
        if (master >= 0)
            ::close(master);
    }
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isValid() const { return master >= 0 && keeper >= 0; }
    // The other side goes, as when the program holding it quits; the slave path stays.
    void closeMaster()
    {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    QString slavePath() const { return slave; }

    bool write(const QByteArray &data) { return ::write(master, data.constData(), size_t(data.size())) == data.size(); }

    // Everything the panel wrote, waiting up to `ms` for at least `atLeast` bytes.
    QByteArray read(int atLeast = 1, int ms = 2000)
    {
        QByteArray data;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms) {
            // The panel's port writes from the event loop.
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            char buffer[512];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0) {
                data.append(buffer, int(n));
                continue;
            }
            if (data.size() >= atLeast)
                break;
            pollfd pfd{master, POLLIN, 0};
            ::poll(&pfd, 1, 5);
        }
        return data;
    }

    // Drops whatever is waiting on the master side.
    void drain() { read(1 << 30, 50); }

private:
    int master = -1;
    int keeper = -1;
    QString slave;
};
