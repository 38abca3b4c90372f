#pragma once

#include "bandfollowsettings.h"

#include <QDialog>
#include <QStringList>

#include <array>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class MainWindow;
class QSpinBox;
struct PanelSettings;

// "Band Follow", the station's page: per radio what drives its channel (off, its rigctld,
// the contest logger's broadcasts, or the logger's OTRSP port), which antenna it uses on
// each band and whether an antenna pressed by hand becomes the band's; and the logger's UDP
// port, station and senders, and the OTRSP port. Shown as the settings hold them, written
// to the settings file at settingsPath.
class BandFollowDialog : public QDialog
{
    Q_OBJECT

public:
    // The window's dialog: on its settings and the ports it lists; saving makes it reload
    // its settings and report a write that failed.
    BandFollowDialog(QWidget *parent, MainWindow *window);
    // `serialPorts`: the names the OTRSP port can be chosen from (a path can be typed too).
    BandFollowDialog(QWidget *parent, const QString &settingsPath, const PanelSettings &settings,
                     const QStringList &serialPorts = {});

    BandFollowSettings settings() const;
    void setSettings(const BandFollowSettings &settings);

    // Stores the form when every address is valid; false (and the reason shown) otherwise.
    bool save();

signals:
    // The values were written (or tried to be); whoever uses them reloads now.
    void saved();
    // They did not reach the file: what to tell the operator.
    void notSaved(const QString &message);

private:
    QWidget *radioBox(int channel, const QStringList &antennaNames, const std::array<bool, 6> &receiveOnly);
    QWidget *loggerBox(const QStringList &serialPorts);
    void showProblem(const QString &text);

    QString settingsPath;
    std::array<QButtonGroup *, 3> source{};
    std::array<QLineEdit *, 3> address{};
    std::array<QCheckBox *, 3> bandMemory{};
    // [channel][band]: the ids are the antennas 1..6, 0 for none.
    std::array<std::array<QButtonGroup *, BandPlan::BandCount>, 3> bandAntenna{};
    QSpinBox *loggerPort = nullptr;
    QLineEdit *loggerStation = nullptr;
    QLineEdit *loggerFrom = nullptr;
    QComboBox *otrspPort = nullptr;
    QLabel *problem = nullptr;
};
