#pragma once

#include "config/panelsettings.h"

#include <QDialog>

class MainWindow;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QrCodeWidget;
class Station;

// "Remote Control", the File menu's page: whether the station is served to this computer
// alone, to the network with a token, or not at all; the address and port; the address to
// open; the control and watch-only tokens to copy or make anew; a QR code that opens the
// page signed in with the control token; and "Lock remote switching". A second tab, "MQTT",
// holds the bridge to the shack's message broker: on or off, the broker's host and port,
// user and password, the topics' base (its default, "zorvik/<slug of the ID>", shown when
// none is typed), Home Assistant discovery, and what the bridge says now.
//
// The lock is the station's, set at once and kept in step with it (the File menu has it
// too). The rest is written to the settings file on OK: a token made new there replaces
// the old one, whose clients are refused from then on.
class RemoteControlDialog : public QDialog
{
    Q_OBJECT

public:
    // The window's dialog: saving makes it reload its settings and report a write that failed.
    RemoteControlDialog(QWidget *parent, MainWindow *window);
    RemoteControlDialog(QWidget *parent, Station &station);

    // The form's values (`locked` as the station has it).
    PanelSettings::Remote remote() const;
    void setRemote(const PanelSettings::Remote &remote);
    PanelSettings::Mqtt mqtt() const;
    void setMqtt(const PanelSettings::Mqtt &mqtt);
    // What the bridge says now ("MQTT: connected to ...").
    void showMqttStatus(const QString &text);
    // The page's address with the control token, as the QR code holds it.
    QString signInAddress() const;

    // Writes the form to the settings file; false (and the reason shown) when the address
    // is not one.
    bool save();

signals:
    // The values were written (or tried to be); whoever uses them reloads now.
    void saved();
    void notSaved(const QString &message);

private:
    QWidget *tokenRow(const QString &name, QLineEdit **field, const QString &accessibleName);
    QWidget *mqttPage();
    void refuse(const QString &text, QWidget *field);
    void showAddress();

    Station &station;
    QString settingsPath;
    QButtonGroup *mode = nullptr;
    QLineEdit *address = nullptr;
    QSpinBox *port = nullptr;
    QLineEdit *pageAddress = nullptr;
    QLineEdit *controlToken = nullptr;
    QLineEdit *viewToken = nullptr;
    QrCodeWidget *qrCode = nullptr;
    QCheckBox *lock = nullptr;
    QTabWidget *tabs = nullptr;
    QCheckBox *mqttOn = nullptr;
    QLineEdit *mqttHost = nullptr;
    QSpinBox *mqttPort = nullptr;
    QLineEdit *mqttUser = nullptr;
    QLineEdit *mqttPassword = nullptr;
    QLineEdit *mqttBase = nullptr;
    QCheckBox *mqttDiscovery = nullptr;
    QLabel *mqttStatus = nullptr;
    QLabel *problem = nullptr;
};
