#pragma once

#include "engine/devicestate.h"
#include "engine/linkstate.h"
#include "engine/monotonicclock.h"
#include "engine/protocol.h"
#include "engine/switching.h"
#include "panellook.h"
#include "panelspeech.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <optional>
#include <vector>

class QWidget;
class StatusNote;
namespace Ui {
class mainWindow;
}

// What the operator sees and hears of the panel: the buttons' looks, the words screen
// readers and tooltips give them, the SPLIT blink, the POWER lamp, the status bar's message
// and the two band-follow notes at its right end. It draws the window's device state and
// never changes it, except for the blink phase.
//
// Thread contract: GUI thread only.
class PanelView : public QObject
{
    Q_OBJECT

public:
    // How often a SPLIT button being chosen blinks.
    static constexpr int BlinkIntervalMs = 400;
    // A notice that must be read (a settings write that failed) stays this long before the
    // LAN's ping figures, several a second, may replace it.
    static constexpr qint64 NoticeHoldMs = 5000;

    PanelView(Ui::mainWindow &form, const DeviceState &state, const MonotonicClock &clock, QObject *parent = nullptr);

    // The antenna names as typed: the buttons show them wrapped, screen readers whole.
    void setAntennaNames(const std::array<QString, 6> &names);
    // The antennas (positions 0..5) that must never be transmitted on.
    void setReceiveOnly(const std::array<bool, 6> &receiveOnly);

    // The panel drawn from the device state, or cleared while the box is silent.
    void showState();
    void clear();
    // Whether the panel shows the state (rather than cleared).
    bool showsState() const { return panelShown; }
    // The POWER lamp: green while the box answers.
    void showLinkState(bool answering);

    // What a press changes at once: SPLIT looks, the blink, the message, the panel or its
    // words.
    void showOutcome(const Switching::Outcome &outcome);

    // The SPLIT blink's timer: each timeout asks for one blinkStep().
    QTimer &blinkTimer() { return blinkTicks; }
    void blinkStep();
    void setLook(QWidget *widget, PanelLook::Look look);

    // The Operating Mode menu's check marks.
    void showLinkMode(LinkMode mode);
    // While connected, the link's settings are not to be changed under it: the serial
    // settings, Connect, the Operating Mode menu and, on the LAN, LAN Settings.
    void showConnected(bool connected, LinkMode mode);

    void showMessage(const QString &text);
    // "Connected! Firmware Revision: " and the box's revision.
    void showFirmware(const Protocol::FirmwareRevision &revision);
    // A message that the next ping figures must not replace for NoticeHoldMs.
    void holdNotice(const QString &text);
    // A switch someone made from afar: held as a notice, and told to the screen reader.
    void showRemoteSwitch(const QString &text);
    // "Ping: " and the figure, unless a notice is held or an alarm sounds.
    void showPing(qint64 figure);

    // Radio `channel`'s band-follow news at the bar's right end, until hidden.
    void showFollowNote(int channel, const QString &text);
    void hideFollowNote(int channel);
    void hideFollowNotes();

    // Every widget the proportional layout scales, and the pixel size of their texts.
    std::vector<QWidget *> scaledWidgets() const;
    void setTextSize(int size);

private:
    void apply(QWidget *widget, PanelLook::Look look);
    // "Ant 5 (Beverage)", or "Ant 5" for an antenna without a name.
    QString antennaTitle(int position) const;
    void applyLooks(const PanelLook::Looks &looks);
    // The box reports a channel transmitting on a receive-only antenna: the message stays
    // while it lasts, the button gets the alarm look, screen readers are alerted at once.
    void soundAlarm();
    void showWantedNotes();
    // Tells the accessibility framework only of words that changed.
    void speakIfChanged(bool namesChanged);

    Ui::mainWindow &ui;
    const DeviceState &state;
    // The SPLIT blink's phase, the view's own.
    quint8 blinkPhase = 0;
    const MonotonicClock &clock;
    QTimer blinkTicks;
    std::array<QString, 6> antennaNames;
    std::array<bool, 6> receiveOnly{};
    // The alarm's text while it sounds, else empty.
    QString alarm;
    // Whether the panel shows the state or was cleared, and the lamp.
    bool panelShown = false;
    // The state the panel last drew, while nothing has been drawn over it since: the same
    // state again (every poll of a quiet box) is drawn already.
    std::optional<DeviceState> drawn;
    bool boxAnswering = false;
    PanelSpeech::Said said;
    std::optional<qint64> noticeHeldUntil;
    // The last "Ping: " text and its figure: most replies bring the same figure again.
    std::optional<qint64> pingFigure;
    QString pingText;
    std::array<StatusNote *, 3> followNotes{}; // radios 1 and 2
    // Whether each note has news to show: it does unless an alarm holds the bar.
    std::array<bool, 3> noteWanted{};
};
