#pragma once
// One direction of an owner-drawn grid: its rows or its columns. Lines 0 .. Fixed()-1 are the
// fixed (header) lines, always shown first; the scrollable lines are shown from First() on.
// Each line takes its size in pixels plus the grid-line width after it.
//
// An end-anchored axis scrolled to its end shows its last line flush with the client's end: the
// line before First() then shows in part, its hidden part under the fixed lines.

#include <vector>

namespace kestrova {

class TGridAxis
{
public:
    int Count() const { return FCount; }
    // A count below 1 becomes 1; fixed lines are cut so that one scrollable line remains.
    void SetCount(int count);
    int Fixed() const { return FFixed; }
    void SetFixed(int fixed);

    int DefaultSize() const { return FDefaultSize; }
    // Sets the default and gives it to every line.
    void SetDefaultSize(int size);
    int Size(int line) const;
    // Sizes below 0 become 0; lines outside the count are ignored.
    void SetSize(int line, int size);
    bool HasOwnSizes() const { return !FSizes.empty(); }
    // Takes line `from` out and puts it back at `to`, shifting those between (with their sizes).
    void Move(int from, int to);

    int LineWidth() const { return FLineWidth; }
    void SetLineWidth(int width) { FLineWidth = width; }
    int Extent(int line) const { return Size(line) + FLineWidth; }
    int FixedExtent() const;

    // The first scrollable line shown; kept within Fixed() .. MaxFirst(client) by Clamp.
    int First() const { return FFirst; }
    void SetFirst(int first, int client) { FFirst = ClampFirst(first, client); }
    int ClampFirst(int first, int client) const;
    // The smallest first line from which the last line is shown whole (at least Fixed()).
    int MaxFirst(int client) const;
    // Scrollable lines shown whole from First() within a client length.
    int VisibleCount(int client) const;

    bool EndAnchored() const { return FEndAnchored; }
    void SetEndAnchored(bool anchored) { FEndAnchored = anchored; }
    // Pixels of the line before First() that show ahead of it; 0 unless the axis is anchored,
    // scrolled to its end and has room to spare there.
    int LeadIn(int client) const;

    // The line at a client position, or -1 past the last line shown.
    int LineAt(int pos, int client) const;
    // Where a line starts on screen, or -1 when it is not shown.
    int LineStart(int line, int client) const;
    // Where the shown lines end (the client length when they fill it).
    int ShownEnd(int client) const;

    // Calls f(line, start, size) for each line on screen: fixed lines, the line shown in part
    // ahead of First() (its start lies inside the fixed lines), then from First().
    template<typename F>
    void ForEachShown(int client, F &&f) const
    {
        int pos = 0;
        for (int i = 0; i < FFixed && pos < client; ++i) {
            f(i, pos, Size(i));
            pos += Extent(i);
        }
        if (const int lead = LeadIn(client); lead > 0 && pos < client) {
            f(FFirst - 1, pos + lead - Extent(FFirst - 1), Size(FFirst - 1));
            pos += lead;
        }
        for (int i = FFirst; i < FCount && pos < client; ++i) {
            f(i, pos, Size(i));
            pos += Extent(i);
        }
    }

private:
    int FCount = 1;
    int FFixed = 0;
    int FDefaultSize = 24;
    int FFirst = 0;
    int FLineWidth = 1;
    bool FEndAnchored = false;
    std::vector<int> FSizes; // empty while every line has the default size
};

} // namespace kestrova
