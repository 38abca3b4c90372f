#pragma once

// The station alone under test, as the headless mode runs it: a settings file in a folder of
// its own, the Station on it (with the clock the test gives), the polling thread, and
// talmek-sim as the box on either link (SimBox). Nothing here needs a window or a display.

#include "engine/threadleitura.h"
#include "lan/lanlink.h"
#include "lan/threadcom.h"
#include "serial/serialparameters.h"
#include "simbox.h"
#include "station/boxlink.h"
#include "station/station.h"

#include <QSettings>
#include <QTemporaryDir>

#include <memory>

class StationBench : public SimBox
{
public:
    // The polling thread posts to the station, so it goes first; the station closes its
    // port and socket before the box goes.
    ~StationBench()
    {
        polling.reset();
        station.reset();
        sim.reset();
    }

    QString iniPath() const { return dir.filePath(QStringLiteral("settings.ini")); }
    void store(const QVariantMap &keys) const
    {
        QSettings settings(iniPath(), QSettings::IniFormat);
        for (auto it = keys.cbegin(); it != keys.cend(); ++it)
            settings.setValue(it.key(), it.value());
    }

    // The station on the settings file, with `keys` stored first (the box's link included
    // when one was started), polling unless told not to.
    void open(const QVariantMap &keys = {}, bool poll = true)
    {
        store(keys);
        if (sim)
            store(linkSettings());
        station = std::make_unique<Station>(iniPath());
        station->loadSettings();
        if (poll)
            polling = std::make_unique<ThreadLeitura>(*station);
    }
    // "Connect", with the serial port the settings name, as the headless mode does.
    bool connectBox()
    {
        return station->connectBox([this] { return storedSerialParameters(station->settings().serial, linkPorts()); });
    }
    bool connectAndWait()
    {
        return check(connectBox(), "the link did not open")
            && check(QTest::qWaitFor([this] { return station->linkStatus().boxAnswering; }, 3000),
                     "the box did not answer");
    }

    quint64 datagramsRead() const override { return station->box().lan().worker()->datagramsRead(); }

    QTemporaryDir dir;
    std::unique_ptr<Station> station;
    std::unique_ptr<ThreadLeitura> polling;

protected:
    quint16 panelLanPort() const override { return station->box().lan().worker()->localPort(); }
};
