#include "panelview.h"

#include "config/labelwrap.h"
#include "mainwindowform.h"
#include "statusmessagepainter.h"
#include "statusnote.h"
#include "station/station.h"

#include <QAccessible>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QMargins>

#include <iterator>

namespace {
// Setting a style sheet re-polishes the widget; the panel repaints six times a second,
// so a sheet is only set when it differs from the one shown.
void setStyleIfChanged(QWidget *widget, const QString &sheet)
{
    if (widget->styleSheet() != sheet)
        widget->setStyleSheet(sheet);
}

QString messageText(Switching::Message message)
{
    switch (message) {
    case Switching::Message::None:
        break;
    case Switching::Message::ChooseTxPosition:
        return PanelView::tr("Choose the TX position:");
    case Switching::Message::SplitConfigured:
        return PanelView::tr("Split configured succesfuly!");
    case Switching::Message::SplitCancelled:
        return PanelView::tr("Split config cancelled!");
    case Switching::Message::Split1Disabled:
        return PanelView::tr("Split 1 disabled");
    case Switching::Message::Split2Disabled:
        return PanelView::tr("Split 2 disabled");
    case Switching::Message::LanNotConnected:
        return PanelView::tr("LAN link not connected: nothing sent");
    case Switching::Message::ReceiveOnlySplitOffered:
        return PanelView::tr("%1 is receive-only: choose the TX position for a split receiving on it");
    case Switching::Message::ReceiveOnlyNotForTx:
        return PanelView::tr("%1 is receive-only: choose another TX position");
    case Switching::Message::ReceiveOnlySplitStaysOn:
        return PanelView::tr("%1 is receive-only: the split receiving on it stays on");
    }
    return {};
}

void setPixelSize(QWidget *widget, int pixels)
{
    QFont font = widget->font();
    font.setPixelSize(pixels);
    widget->setFont(font);
}

// The label's one line at `pixels`, or smaller where its letters would not fit its room:
// a desktop's font (Windows' own, say) may be wider or taller than the one it was laid out
// with.
void setFittingPixelSize(QLabel *label, int pixels)
{
    constexpr int SmallestPixels = 6;
    const QRect room = label->contentsRect().marginsRemoved(
        QMargins(label->margin(), label->margin(), label->margin(), label->margin()));
    QFont font = label->font();
    for (; pixels > SmallestPixels; --pixels) {
        font.setPixelSize(pixels);
        const QFontMetrics metrics(font);
        // Centred as the label centres it: the line box in the middle, the ink within it.
        const QRect ink = metrics.tightBoundingRect(label->text());
        const int baseline = room.top() + (room.height() - metrics.height()) / 2 + metrics.ascent();
        if (metrics.horizontalAdvance(label->text()) <= room.width() && baseline + ink.top() >= room.top()
            && baseline + ink.bottom() <= room.bottom())
            break;
    }
    font.setPixelSize(pixels);
    label->setFont(font);
}
} // namespace

PanelView::PanelView(Ui::mainWindow &form, const DeviceState &deviceState, const MonotonicClock &monotonicClock,
                     QObject *parent)
    : QObject(parent)
    , ui(form)
    , state(deviceState)
    , clock(monotonicClock)
    , blinkTicks(this)
{
    blinkTicks.setObjectName(QStringLiteral("blinkTimer"));
    blinkTicks.setInterval(BlinkIntervalMs);
    // A new ping figure, several a second on the LAN, repaints only the characters that
    // changed.
    new StatusMessagePainter(ui.statusBar);
    for (int c = 1; c <= 2; ++c) {
        // Two notes and a "Ping: " figure share the bar: each note gets up to 40 % of it.
        auto *note = new StatusNote(40, ui.statusBar);
        note->setObjectName(QStringLiteral("bandFollowStatus%1").arg(c));
        note->hide();
        ui.statusBar->addPermanentWidget(note);
        followNotes[c] = note;
    }
}

void PanelView::setAntennaNames(const std::array<QString, 6> &names)
{
    antennaNames = names;
    for (int c = 1; c <= 2; ++c) {
        for (int a = 0; a < 6; ++a)
            ui.antennaButton(c, a)->setText(antennaButtonText(names[a]));
    }
    speakIfChanged(true);
}

void PanelView::setReceiveOnly(const std::array<bool, 6> &antennas)
{
    receiveOnly = antennas;
    for (int c = 1; c <= 2; ++c) {
        for (int a = 0; a < 6; ++a) {
            QLabel *mark = ui.receiveOnlyMark[c][a];
            mark->setVisible(receiveOnly[size_t(a)]);
            // Over the keyboard's focus outline too, which would otherwise cross its words.
            mark->raise();
        }
    }
    drawn.reset();
    speakIfChanged(true);
}

void PanelView::showState()
{
    DeviceState shown = state;
    shown.blinkPhase = 0; // the blink step's own, never read by the looks
    if (!panelShown || drawn != shown) {
        applyLooks(PanelLook::forState(state));
        panelShown = true;
        speakIfChanged(false);
        drawn = shown;
    }
    soundAlarm(); // over the state's looks
}

void PanelView::clear()
{
    drawn.reset();
    if (!alarm.isEmpty()) { // nothing is known while the box is silent
        alarm.clear();
        ui.statusBar->clearMessage();
        showWantedNotes();
    }
    applyLooks(PanelLook::cleared(state));
    panelShown = false;
    speakIfChanged(false);
}

void PanelView::showLinkState(bool answering)
{
    apply(ui.botaoPower, answering ? PanelLook::Look::Green : PanelLook::Look::Neutral);
    boxAnswering = answering;
    speakIfChanged(false);
}

void PanelView::showOutcome(const Switching::Outcome &outcome)
{
    if (outcome.neutralSplit2)
        setLook(ui.botaoSplitC2, PanelLook::Look::Neutral);
    if (outcome.blink == Switching::Blink::Start)
        blinkTicks.start();
    else if (outcome.blink == Switching::Blink::Stop)
        blinkTicks.stop();
    if (outcome.message != Switching::Message::None) {
        QString text = messageText(outcome.message);
        if (AntennaPosition::isAntenna(outcome.refused))
            text = text.arg(antennaTitle(outcome.refused));
        showMessage(text);
    }
    if (outcome.highlightSplit1)
        setLook(ui.botaoSplitC1, PanelLook::Look::Highlight);
    if (outcome.repaint)
        showState();
    else
        speakIfChanged(false); // a split being chosen, or switched off, is news before the box answers
}

QString PanelView::antennaTitle(int position) const
{
    return Station::antennaTitle(antennaNames[size_t(position)], position);
}

void PanelView::blinkStep()
{
    DeviceState blinking = state;
    blinking.blinkPhase = blinkPhase;
    const PanelLook::BlinkStep step = PanelLook::blink(blinking);
    blinkPhase = blinking.blinkPhase;
    if (step.channel != 0)
        setLook(ui.splitButton(step.channel), step.look);
}

void PanelView::setLook(QWidget *widget, PanelLook::Look look)
{
    drawn.reset(); // drawn over: the next state is drawn whole
    apply(widget, look);
}

void PanelView::soundAlarm()
{
    QString text;
    if (const Switching::Alarm on = Switching::transmittingOnReceiveOnly(state, receiveOnly); on.channel != 0) {
        text = tr("Channel %1 is transmitting on receive-only %2!").arg(on.channel).arg(antennaTitle(on.antenna));
        QPushButton *button = ui.antennaButton(on.channel, on.antenna);
        // Over the state's own look, which the next state draws again.
        apply(button, PanelLook::Look::Alarm);
        if (text != alarm) {
            QAccessibleEvent event(button, QAccessible::Alert);
            QAccessible::updateAccessibility(&event);
        }
    }
    if (text == alarm && (text.isEmpty() || ui.statusBar->currentMessage() == text))
        return;
    const bool ended = text.isEmpty();
    alarm = text;
    if (ended)
        ui.statusBar->clearMessage();
    else
        ui.statusBar->showMessage(text);
    showWantedNotes();
}

void PanelView::showWantedNotes()
{
    // The alarm has the whole bar: the notes would cut it short.
    for (int c = 1; c <= 2; ++c)
        followNotes[c]->setVisible(noteWanted[c] && alarm.isEmpty());
}

void PanelView::apply(QWidget *widget, PanelLook::Look look)
{
    if (look != PanelLook::Look::Keep)
        setStyleIfChanged(widget, PanelLook::styleSheet(look));
}

void PanelView::applyLooks(const PanelLook::Looks &looks)
{
    for (int c = 1; c <= 2; ++c) {
        for (int a = 0; a < 6; ++a)
            apply(ui.antennaButton(c, a), looks.antenna[c][a]);
    }
    for (int c = 1; c <= 2; ++c)
        apply(ui.splitButton(c), looks.split[c]);
    for (int c = 1; c <= 2; ++c)
        apply(ui.sendButton(c), looks.send[c]);
}

void PanelView::speakIfChanged(bool namesChanged)
{
    const PanelSpeech::Said now =
        panelShown ? PanelSpeech::forState(state, boxAnswering) : PanelSpeech::cleared(state, boxAnswering);
    if (now == said && !namesChanged)
        return;
    said = now;
    for (const PanelButton &panelButton : PanelButtons::readingOrder()) {
        const bool antenna = panelButton.kind == PanelButton::Kind::Antenna;
        const PanelSpeech::Texts texts =
            PanelSpeech::texts(panelButton, said, antenna ? antennaNames[panelButton.antenna] : QString(),
                               antenna && receiveOnly[size_t(panelButton.antenna)]);
        QPushButton *button = ui.button(panelButton);
        // Each setter tells the accessibility framework, so only a change is set.
        if (button->accessibleName() != texts.name)
            button->setAccessibleName(texts.name);
        if (button->accessibleDescription() != texts.description)
            button->setAccessibleDescription(texts.description);
        if (button->toolTip() != texts.toolTip)
            button->setToolTip(texts.toolTip);
    }
}

void PanelView::showLinkMode(LinkMode mode)
{
    ui.actionSerial->setChecked(mode == LinkMode::Serial);
    ui.actionLAN->setChecked(mode == LinkMode::Lan);
}

void PanelView::showConnected(bool connected, LinkMode mode)
{
    ui.actionConfigure->setEnabled(!connected);
    ui.actionConnect_to_Brisel->setEnabled(!connected);
    ui.menuOperating_Mode->setEnabled(!connected);
    if (!connected || mode == LinkMode::Lan)
        ui.actionLAN_Settings->setEnabled(!connected);
}

void PanelView::showMessage(const QString &text) { ui.statusBar->showMessage(text); }

void PanelView::showRemoteSwitch(const QString &text)
{
    // The bar is named by its message, and QStatusBar tells of each new one: a screen
    // reader hears who switched (the buttons say only the new state). Where Qt can, it is
    // announced as well, as a screen reader may not read a bar out of focus.
    holdNotice(text);
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    QAccessibleAnnouncementEvent announced(ui.statusBar, text);
    QAccessible::updateAccessibility(&announced);
#endif
}

void PanelView::holdNotice(const QString &text)
{
    ui.statusBar->showMessage(text);
    noticeHeldUntil = clock.nowMs() + NoticeHoldMs;
}

void PanelView::showPing(qint64 figure)
{
    if (!alarm.isEmpty())
        return;
    if (noticeHeldUntil) {
        if (clock.nowMs() < *noticeHeldUntil)
            return;
        noticeHeldUntil.reset();
    }
    if (pingFigure != figure) {
        pingText = tr("Ping: ") + QString::number(figure);
        pingFigure = figure;
    }
    ui.statusBar->showMessage(pingText);
}

void PanelView::showFirmware(const Protocol::FirmwareRevision &revision)
{
    showMessage(tr("Connected! Firmware Revision: %1 . %2").arg(revision.major).arg(revision.minor));
}

void PanelView::showFollowNote(int channel, const QString &text)
{
    followNotes[channel]->setNote(text);
    noteWanted[channel] = true;
    showWantedNotes();
}

void PanelView::hideFollowNote(int channel)
{
    noteWanted[channel] = false;
    showWantedNotes();
}

void PanelView::hideFollowNotes()
{
    for (int channel = 1; channel <= 2; ++channel)
        hideFollowNote(channel);
}

std::vector<QWidget *> PanelView::scaledWidgets() const
{
    std::vector<QWidget *> widgets = {
        ui.frame,         ui.botaoPower,    ui.botaoRelease1, ui.botaoRelease2, ui.botaoSendC1,   ui.botaoSendC2,
        ui.botaoSplitC1,  ui.botaoSplitC2,  ui.botaoTecla1C1, ui.botaoTecla1C2, ui.botaoTecla2C1, ui.botaoTecla2C2,
        ui.botaoTecla3C1, ui.botaoTecla3C2, ui.botaoTecla4C1, ui.botaoTecla4C2, ui.botaoTecla5C1, ui.botaoTecla5C2,
        ui.botaoTecla6C1, ui.botaoTecla6C2, ui.labelID,       ui.label_A1,      ui.label_A1_2,    ui.label_A1_3,
        ui.label_A2,      ui.label_A3,      ui.label_A4,      ui.label,         ui.label_2,       ui.label_3,
    };
    for (int c = 1; c <= 2; ++c)
        widgets.insert(widgets.end(), std::begin(ui.receiveOnlyMark[c]), std::end(ui.receiveOnlyMark[c]));
    return widgets;
}

void PanelView::setTextSize(int size)
{
    for (QWidget *button : {static_cast<QWidget *>(ui.botaoPower), static_cast<QWidget *>(ui.botaoRelease1),
                            static_cast<QWidget *>(ui.botaoRelease2), static_cast<QWidget *>(ui.botaoSendC1),
                            static_cast<QWidget *>(ui.botaoSendC2), static_cast<QWidget *>(ui.botaoSplitC1),
                            static_cast<QWidget *>(ui.botaoSplitC2)})
        setPixelSize(button, size + 3);
    for (int c = 1; c <= 2; ++c) {
        for (int a = 0; a < 6; ++a)
            setPixelSize(ui.antennaButton(c, a), size + 1);
    }
    for (int c = 1; c <= 2; ++c) {
        for (QLabel *mark : ui.receiveOnlyMark[c])
            setFittingPixelSize(mark, size - 1);
    }
    setPixelSize(ui.labelID, size + 5);
    for (QWidget *caption : {ui.label_A1, ui.label_A1_2, ui.label_A1_3, ui.label_A2, ui.label_A3, ui.label_A4})
        setPixelSize(caption, size + 2);
    setPixelSize(ui.label, size + 5);
    setPixelSize(ui.label_2, size + 2);
}
