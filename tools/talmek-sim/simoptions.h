#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include "linkoptions.h"

struct SimOptions
{
    bool pty = false;
    QString ptyLink;
    QString serialName;
    qint32 baudRate = 9600;
    bool udp = false;
    quint16 udpPort = 0;
    QString udpBind = QStringLiteral("127.0.0.1");
    QVector<int> transmitting;
    int firmwareMajor = 1;
    int firmwareMinor = 7;
    bool silent = false;
    double silentAfterSeconds = -1; // negative: never
    int dropPercent = 0;
    quint32 seed = 1;
    bool exclusive = false;
    LinkOptions link;
};

// Parses the command line; prints help or version and exits for --help/--version, and
// returns false with a message for anything it cannot accept.
bool parseSimOptions(const QStringList &arguments, SimOptions *options, QString *error);
