#pragma once
// What a status frame shows, free of widgets: the down flag, the last 15 network events (drawn
// as bars that fade over 25.5 s), the response time and its fading colour, and a ring of the
// last ten status messages for the tool tip. Time is counted in ticks of the frame's 100 ms
// timer.

#include "support/Clock.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

// Event and colour kinds.
enum TStatusKind : uint8_t { skNone = 0, skRed = 1, skYellow = 2, skGreen = 3 };
enum TStatusLight : uint8_t { slGreen, slYellow, slRed };

// The colour of a kind at brightness v (clamped to 0..255), as 0xRRGGBB: red in the red
// channel, yellow in red and green, green in the green channel; any other kind black.
uint32_t StatusColor(int kind, int64_t brightness);

class TStatusFrameModel
{
public:
    static constexpr int EventSlots = 15;
    static constexpr int MessageSlots = 10;

    struct TEvent
    {
        TStatusKind Kind = skNone;
        int64_t Tick = 0;
    };
    struct TMessage
    {
        std::string Text;
        int Count = 0;
    };
    // One bar of the graph: left edge and the colours of its top-left edges, bottom-right
    // edges and inside.
    struct TBar
    {
        int X = 0;
        uint32_t Light = 0, Dark = 0, Fill = 0;
    };

    // One notification of the session (type 0..5, see TStatusCode; 5 is a failed response time).
    void Notify(int type, const std::string &text);
    // Down as after a server message (the session disconnected for good).
    void SetDown();
    // The 100 ms tick.
    void Tick() { ++FTicks; }

    int64_t Ticks() const { return FTicks; }
    bool Down() const { return FDown; }
    const std::array<TEvent, EventSlots> &Events() const { return FEvents; }
    TStatusLight Light() const;
    const std::string &ResponseText() const { return FResponseText; }
    uint32_t ResponseColor() const;
    std::vector<TBar> Bars() const;
    // The message ring, oldest first, each as its text plus " (n)" when repeated.
    std::vector<std::string> MessageLines() const;
    // The tool tip: the message lines and the time of the last message, joined by CR LF; empty
    // before the first message.
    const std::string &Hint() const { return FHint; }

private:
    void RecordEvent(TStatusKind kind);
    void AddMessage(const std::string &text);

    int64_t FTicks = 0;
    bool FDown = false;
    std::array<TEvent, EventSlots> FEvents {};
    TStatusKind FResponseKind = skNone;
    int64_t FResponseTick = 0;
    std::string FResponseText;
    std::array<TMessage, MessageSlots> FMessages {};
    int FNextMessage = 0;
    bool FWrapped = false;
    std::string FHint;
};

} // namespace kestrova
