#include "remotesetup.h"

#include "config/settingsfile.h"
#include "remoteserver.h"
#include "remotetoken.h"
#include "station/station.h"

RemoteSetup::RemoteSetup(Station &observed, QObject *parent)
    : QObject(parent)
    , station(observed)
    , running(std::make_unique<RemoteServer>(observed))
{}

RemoteSetup::~RemoteSetup() = default;

void RemoteSetup::start()
{
    connect(&station, &Station::settingsChanged, this, &RemoteSetup::apply, Qt::UniqueConnection);
    apply();
}

PanelSettings::Remote RemoteSetup::settings() const
{
    PanelSettings::Remote remote = station.settings().remote;
    if (modeOverride)
        remote.mode = *modeOverride;
    if (portOverride)
        remote.port = *portOverride;
    if (remote.token.isEmpty())
        remote.token = madeToken;
    return remote;
}

void RemoteSetup::apply()
{
    if (applying)
        return; // a reload that storing the token caused: this pass applies it
    applying = true;
    using Mode = PanelSettings::Remote::Mode;
    PanelSettings::Remote remote = settings();
    if (remote.mode == Mode::Network && remote.token.isEmpty()) {
        // Served to the network, and nobody could ever come in from it: make the way in.
        madeToken = RemoteToken::make();
        remote.token = madeToken;
        const QString file = station.settingsFilePath();
        const QString failure = SettingsFile::store(file, {{SettingsFile::Key::remoteToken(), madeToken}});
        if (failure.isEmpty())
            emit tokenMade(file);
        else
            say(tr("Remote control: made a new control token for this run only: %1").arg(failure));
    }
    if (remote.mode == Mode::Off) {
        const bool was = running->isListening();
        running->apply(remote);
        if (was || !lastSaid.isEmpty())
            say(tr("Remote control off"));
    } else if (running->apply(remote)) {
        say(tr("Remote control on %1").arg(running->pageAddress()));
    } else {
        QString address = remote.mode == Mode::Local ? QStringLiteral("127.0.0.1")
            : remote.address.isEmpty()                ? QStringLiteral("*")
                                                      : remote.address;
        if (address.contains(QLatin1Char(':')))
            address = QLatin1Char('[') + address + QLatin1Char(']');
        say(tr("Remote control: cannot listen on %1:%2: %3").arg(address).arg(remote.port).arg(running->errorString()));
    }
    applying = false;
}

void RemoteSetup::say(const QString &text)
{
    if (text == lastSaid)
        return;
    lastSaid = text;
    emit said(text);
}
