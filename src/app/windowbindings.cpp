// The subsystems' constructors that take the window: each builds the window-free object
// and wires it to the window, so that nothing below src/app needs the window's header.

#include "config/labels.h"
#include "engine/threadleitura.h"
#include "lan/formlancfg.h"
#include "mainwindow.h"
#include "mqtt/mqttsetup.h"
#include "remote/ui/remotecontroldialog.h"
#include "rig/bandfollowdialog.h"
#include "serial/settingsdialog.h"

ThreadLeitura::ThreadLeitura(MainWindow *window)
    : ThreadLeitura(*window, window->monotonicClock())
{}

labels::labels(QWidget *parent, MainWindow *ownerWindow)
    : labels(parent, ownerWindow->settingsFilePath(), ownerWindow->settings())
{
    connect(this, &labels::saved, ownerWindow, &MainWindow::loadSettings);
    connect(this, &labels::notSaved, ownerWindow, &MainWindow::reportNotSaved);
}

formLanCFG::formLanCFG(QWidget *parent, MainWindow *window)
    : formLanCFG(parent, window->settingsFilePath(), window->settings())
{
    connect(this, &formLanCFG::directIpChosen, window, &MainWindow::setDirectIp);
    connect(this, &formLanCFG::saved, window, &MainWindow::loadSettings);
    connect(this, &formLanCFG::notSaved, window, &MainWindow::reportNotSaved);
}

SettingsDialog::SettingsDialog(MainWindow *window)
    : SettingsDialog(window->serialPorts(), window->settingsFilePath(), window->settings())
{
    setAttribute(Qt::WA_QuitOnClose, false);
    connect(this, &SettingsDialog::notSaved, window, &MainWindow::reportNotSaved);
}

namespace {
QStringList portNames(const QList<SerialPortDescription> &ports)
{
    QStringList names;
    for (const SerialPortDescription &port : ports)
        names << port.portName;
    return names;
}
} // namespace

BandFollowDialog::BandFollowDialog(QWidget *parent, MainWindow *window)
    : BandFollowDialog(parent, window->settingsFilePath(), window->settings(), portNames(window->serialPorts()))
{
    connect(this, &BandFollowDialog::saved, window, &MainWindow::loadSettings);
    connect(this, &BandFollowDialog::notSaved, window, &MainWindow::reportNotSaved);
}

RemoteControlDialog::RemoteControlDialog(QWidget *parent, MainWindow *window)
    : RemoteControlDialog(parent, window->station())
{
    connect(this, &RemoteControlDialog::saved, window, &MainWindow::loadSettings);
    connect(this, &RemoteControlDialog::notSaved, window, &MainWindow::reportNotSaved);
    showMqttStatus(window->mqtt().lastText());
    connect(&window->mqtt(), &MqttSetup::said, this, &RemoteControlDialog::showMqttStatus);
}
