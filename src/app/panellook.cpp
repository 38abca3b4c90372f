#include "panellook.h"

namespace PanelLook {

namespace {
// A rule for the button alone. Bare declarations would also reach the button's tooltip,
// which takes the button's sheet as its own, and paint it in the button's colours.
QString buttonRule(const QString &declarations)
{
    return QStringLiteral("QPushButton { ") + declarations + QStringLiteral(" }");
}

const QString &neutralBackground()
{
    static const QString declaration = QStringLiteral(
        "background-color: QLinearGradient( x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #565656, stop: 0.1 #525252, "
        "stop: 0.5 #4e4e4e, stop: 0.9 #4a4a4a, stop: 1 #464646);");
    return declaration;
}
} // namespace

const QString &styleSheet(Look look)
{
    static const QString keep;
    static const QString neutral = buttonRule(neutralBackground());
    static const QString held =
        buttonRule(QStringLiteral("background-color:  rgb(255, 255, 255); color:  rgb(0, 0, 0);"));
    static const QString highlight = buttonRule(
        neutralBackground()
        + QStringLiteral(
            "border-width: 1px;border-color: #1e1e1e;"
            "border-style: solid;border-radius: 6;padding: 3px;font-size: 12px;padding-left: 5px;padding-right: 5px; "
            "border: 2px solid QLinearGradient( x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #ffa02f, stop: 1 #d7801a);"));
    static const QString red = buttonRule(QStringLiteral("background-color: rgb(255, 0, 0);"));
    static const QString green = buttonRule(QStringLiteral("background-color: rgb(0, 220, 0);color: rgb(0, 0, 0);"));
    static const QString alarm = buttonRule(QStringLiteral("background-color: rgb(255, 230, 0); color: rgb(0, 0, 0); "
                                                           "border: 4px solid rgb(255, 0, 0); border-radius: 6;"));
    switch (look) {
    case Look::Keep:
        break;
    case Look::Neutral:
        return neutral;
    case Look::Held:
        return held;
    case Look::Highlight:
        return highlight;
    case Look::Red:
        return red;
    case Look::Green:
        return green;
    case Look::Alarm:
        return alarm;
    }
    return keep;
}

Looks cleared(const DeviceState &state)
{
    Looks looks;
    for (int c = 0; c < 3; ++c) {
        for (Look &look : looks.antenna[c])
            look = Look::Neutral;
        looks.split[c] = state.splitSetupActive == 0 ? Look::Neutral : Look::Keep;
        looks.send[c] = Look::Neutral;
    }
    return looks;
}

Looks forState(const DeviceState &state)
{
    Looks looks = cleared(state);
    for (int c = 1; c <= 2; ++c) {
        auto mark = [&](quint8 antenna, Look look) {
            if (AntennaPosition::isAntenna(antenna))
                looks.antenna[c][antenna] = look;
        };
        if (state.splitActive[c] == 1) {
            looks.split[c] = Look::Red;
            const bool transmitting = state.transmitting[c] == 1;
            const quint8 highlighted = transmitting ? state.splitTxAntenna[c] : state.antenna[c];
            const quint8 held = transmitting ? state.antenna[c] : state.splitTxAntenna[c];
            mark(highlighted, Look::Highlight);
            mark(held, Look::Held);
        } else {
            mark(state.antenna[c], Look::Held);
        }
        if (state.transmitting[c] == 1)
            looks.send[c] = Look::Red;
    }
    return looks;
}

BlinkStep blink(DeviceState &state)
{
    if (state.splitSetupActive != 1)
        return {};
    BlinkStep step;
    step.channel = state.splitSetupChannel == 1 ? 1 : 2;
    if (state.blinkPhase != 0) {
        step.look = Look::Neutral;
        state.blinkPhase = 0;
    } else {
        step.look = Look::Highlight;
        state.blinkPhase = 1;
    }
    return step;
}

} // namespace PanelLook
