#pragma once

#include "serialparameters.h"
#include "serialportdescription.h"

#include <QDialog>
#include <QList>
#include <QString>

#include <memory>

class QIntValidator;
struct PanelSettings;

namespace Ui {
class SettingsDialog;
}

// The serial port and line parameters the panel connects with. Built once and only shown and
// hidden afterwards; Apply stores the port and baud-rate list positions in the settings file,
// takes the widgets into the record that parameters() hands out, and hides the dialog.
// GUI thread only.
class MainWindow;

class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    // Lists the ports the system reports now and uses this process's settings file.
    explicit SettingsDialog(QWidget *parent = nullptr);
    // Lists the given ports, chooses what the settings hold, and writes the choices to
    // settingsPath.
    SettingsDialog(const QList<SerialPortDescription> &ports, const QString &settingsPath,
                   const PanelSettings &settings, QWidget *parent = nullptr);
    // The same on the file as it is now.
    SettingsDialog(const QList<SerialPortDescription> &ports, const QString &settingsPath, QWidget *parent = nullptr);
    // A window of its own on the panel's ports and settings, reporting a failed write to
    // it; closing the panel still ends the program.
    explicit SettingsDialog(MainWindow *window);
    ~SettingsDialog() override;

    SerialParameters parameters() const;

signals:
    // Apply could not store the list positions: what to tell the operator.
    void notSaved(const QString &message);

public slots:
    void showPortInfo(int idx);
    void apply();
    void checkCustomBaudRatePolicy(int idx);
    void checkCustomDevicePathPolicy(int idx);

private:
    void fillParameterBoxes();
    void fillPortList(const QList<SerialPortDescription> &ports);
    void restoreIndices(const PanelSettings &settings);
    void restorePort(const QString &portName);
    void restoreCustomBaudRate(QString text);
    void saveIndices();
    void readWidgets();

    std::unique_ptr<Ui::SettingsDialog> ui;
    SerialParameters activeParameters;
    QIntValidator *baudValidator = nullptr;
    QString settingsPath;
};
