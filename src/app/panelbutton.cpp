#include "panelbutton.h"

namespace PanelButtons {

namespace {
constexpr std::array<PanelButton, Count> makeOrder()
{
    std::array<PanelButton, Count> order{};
    int i = 0;
    const auto row = [&](int channel) {
        order[i++] = PanelButton::splitOf(channel);
        order[i++] = PanelButton::sendOf(channel);
        for (int a = 0; a < 6; ++a)
            order[i++] = PanelButton::antennaOf(channel, a);
        order[i++] = PanelButton::releaseOf(channel);
    };
    row(1);
    order[i++] = PanelButton::power();
    row(2);
    return order;
}
} // namespace

const std::array<PanelButton, Count> &readingOrder()
{
    static constexpr std::array<PanelButton, Count> order = makeOrder();
    return order;
}

} // namespace PanelButtons
