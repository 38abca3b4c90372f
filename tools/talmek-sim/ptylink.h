#pragma once

#include "seriallink.h"

#include <QString>

class QSocketNotifier;

// A new pseudo-terminal whose slave end the panel opens as its serial port. Unix only:
// open() fails with a message elsewhere.
//
// The simulator keeps a descriptor of the slave open itself: on Linux the master reports
// a hang-up for as long as no slave descriptor is open, which would keep the read notifier
// firing and would lose the raw mode set here between two openings by the panel.
class PtyLink : public SerialLink
{
    Q_OBJECT

public:
    PtyLink(TalmekSim::SwitchBox &box, TalmekSim::ReplyPolicy &policy, const LinkOptions &options,
            QObject *parent = nullptr);
    ~PtyLink() override;

    // Creates the pseudo-terminal and, if `linkPath` is not empty, a symlink to its slave.
    bool open(const QString &linkPath, QString *error);
    QString slavePath() const { return m_slavePath; }

protected:
    void writeBytes(const QByteArray &bytes) override;

private:
    void readMaster();
    void closeAll();

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QString m_linkPath;
    QSocketNotifier *m_notifier = nullptr;
    bool m_overflowReported = false;
};
