#pragma once

#include "engine/linkstate.h"

#include <QMainWindow>
#include <QString>

class C4SAnchorLayout;
namespace Ui {
class mainWindow;
}

// The panel's one window. It owns the device state and every link to the box.
//
// Thread contract: every member and slot lives on the GUI thread. Other threads read
// only the atomics in linkFlags() and never call into the window directly; they post
// queued invocations of its slots by name.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    // A window on a given settings file instead of the one the command line selects.
    explicit MainWindow(const QString &settingsFile, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Reads the settings file and applies every key to the window.
    void loadSettings();

    const LinkFlags &linkFlags() const { return link; }
    LinkMode linkMode() const { return link.mode.load(); }
    QString settingsFilePath() const { return settingsPath; }
    QString boxHostAddress() const { return hostAddress; }
    QString boxHostName() const { return hostName; }
    QString boxPortText() const { return portText; }
    bool directIpEnabled() const { return directIp; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void resizeAllTexts(short size);
    void on_actionAbout_triggered();
    void on_actionAbout_Norvale_triggered();
    void on_actionLabels_triggered();
    void on_actionLAN_triggered();
    void on_actionSerial_triggered();

private:
    void saveSerialMode();
    void resolveHostNow();
    void registerScaledWidgets();

    QString hostName;
    QString hostAddress;
    QString portText;
    bool directIp = false;
    C4SAnchorLayout *anchorLayout = nullptr;
    Ui::mainWindow *ui = nullptr;
    QString settingsPath;
    LinkFlags link;
};
