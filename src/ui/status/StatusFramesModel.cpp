#include "status/StatusFramesModel.h"

#include "session/TimeDefaults.h"
#include "support/DateTime.h"

#include <algorithm>

namespace kestrova {

uint32_t StatusColor(int kind, int64_t brightness)
{
    const auto v = static_cast<uint32_t>(std::clamp<int64_t>(brightness, 0, 255));
    switch (kind) {
    case skRed:
        return v << 16;
    case skYellow:
        return (v << 16) | (v << 8);
    case skGreen:
        return v << 8;
    default:
        return 0;
    }
}

void TStatusFrameModel::Notify(int type, const std::string &text)
{
    switch (type) {
    case 0:
        SetDown();
        break;
    case 1:
        FDown = false;
        break;
    case 2:
        RecordEvent(skGreen);
        break;
    case 3:
        RecordEvent(skYellow);
        break;
    case 4:
    case 5:
        FResponseText = text;
        FResponseKind = type == 4 ? skGreen : skRed;
        FResponseTick = FTicks;
        return; // response times are not messages
    default:
        break;
    }
    if (!text.empty())
        AddMessage(text);
}

void TStatusFrameModel::SetDown()
{
    // Only the first down after some activity shows as a red bar.
    if (!FDown && FEvents.back().Kind != skNone)
        RecordEvent(skRed);
    FDown = true;
}

void TStatusFrameModel::RecordEvent(TStatusKind kind)
{
    std::move(FEvents.begin() + 1, FEvents.end(), FEvents.begin());
    FEvents.back() = { kind, FTicks };
}

TStatusLight TStatusFrameModel::Light() const
{
    if (FDown)
        return slRed;
    const TStatusKind newest = FEvents.back().Kind;
    return newest == skRed || newest == skYellow ? slYellow : slGreen;
}

uint32_t TStatusFrameModel::ResponseColor() const
{
    // Fades to black in 64 ticks.
    return StatusColor(FResponseKind, 255 - (FTicks - FResponseTick) * 4);
}

std::vector<TStatusFrameModel::TBar> TStatusFrameModel::Bars() const
{
    // While the newest event is fresh the graph shows all 15 slots, the newest at the right;
    // two ticks later it scrolls one bar to the left.
    const int first = FTicks - FEvents.back().Tick <= 1 ? 0 : 1;
    std::vector<TBar> bars;
    for (int i = first; i < EventSlots; ++i) {
        const TEvent &event = FEvents[static_cast<size_t>(i)];
        if (event.Kind == skNone)
            continue;
        const int64_t c = (event.Tick - FTicks) + 255; // fades to black over 255 ticks
        bars.push_back({ (i - first) * 7, StatusColor(event.Kind, c),
            StatusColor(event.Kind, c / 2), StatusColor(event.Kind, c * 3 / 4) });
    }
    return bars;
}

void TStatusFrameModel::AddMessage(const std::string &text)
{
    TMessage &previous
        = FMessages[static_cast<size_t>((FNextMessage + MessageSlots - 1) % MessageSlots)];
    if (previous.Count > 0 && previous.Text == text) {
        ++previous.Count;
    } else {
        FMessages[static_cast<size_t>(FNextMessage)] = { text, 1 };
        if (++FNextMessage == MessageSlots) {
            FNextMessage = 0;
            FWrapped = true;
        }
    }
    std::string hint;
    for (const std::string &line : MessageLines()) {
        if (!hint.empty())
            hint += "\r\n";
        hint += line;
    }
    const auto [date, time] = LocaleShortDateTimePatterns();
    FHint = hint + "\r\nLast message:  " + FormatDateTime(date + " " + time, Clock::Now());
}

std::vector<std::string> TStatusFrameModel::MessageLines() const
{
    std::vector<std::string> lines;
    auto add = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            const TMessage &m = FMessages[static_cast<size_t>(i)];
            lines.push_back(m.Count > 1 ? m.Text + " (" + std::to_string(m.Count) + ")" : m.Text);
        }
    };
    if (FWrapped)
        add(FNextMessage, MessageSlots);
    add(0, FNextMessage);
    return lines;
}

} // namespace kestrova
