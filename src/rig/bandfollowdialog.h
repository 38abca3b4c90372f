#pragma once

#include "bandfollowsettings.h"

#include <QDialog>

#include <array>

class QButtonGroup;
class QLabel;
class QLineEdit;
struct PanelSettings;

// "Band Follow": per radio, the address of its rigctld and which antenna it uses on each
// band, shown as the settings hold them and written to the settings file at settingsPath.
class BandFollowDialog : public QDialog
{
    Q_OBJECT

public:
    BandFollowDialog(QWidget *parent, const QString &settingsPath, const PanelSettings &settings);

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
    QWidget *radioBox(int channel, const QStringList &antennaNames);

    QString settingsPath;
    std::array<QLineEdit *, 3> address{};
    // [channel][band]: the ids are the antennas 1..6, 0 for none.
    std::array<std::array<QButtonGroup *, BandPlan::BandCount>, 3> bandAntenna{};
    QLabel *problem = nullptr;
};
