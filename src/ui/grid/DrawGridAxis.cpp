// Line arithmetic of one grid direction.

#include "grid/DrawGridAxis.h"

#include <algorithm>

namespace kestrova {

void TGridAxis::SetCount(int count)
{
    FCount = std::max(1, count);
    if (!FSizes.empty())
        FSizes.resize(static_cast<size_t>(FCount), FDefaultSize);
    FFixed = std::min(FFixed, FCount - 1);
    FFirst = std::clamp(FFirst, FFixed, FCount - 1);
}

void TGridAxis::SetFixed(int fixed)
{
    FFixed = std::clamp(fixed, 0, FCount - 1);
    FFirst = std::clamp(FFirst, FFixed, FCount - 1);
}

void TGridAxis::SetDefaultSize(int size)
{
    FDefaultSize = std::max(0, size);
    FSizes.clear();
}

int TGridAxis::Size(int line) const
{
    if (FSizes.empty() || line < 0 || line >= FCount)
        return FDefaultSize;
    return FSizes[static_cast<size_t>(line)];
}

void TGridAxis::SetSize(int line, int size)
{
    if (line < 0 || line >= FCount)
        return;
    if (FSizes.empty())
        FSizes.assign(static_cast<size_t>(FCount), FDefaultSize);
    FSizes[static_cast<size_t>(line)] = std::max(0, size);
}

void TGridAxis::Move(int from, int to)
{
    if (from == to || from < 0 || to < 0 || from >= FCount || to >= FCount || FSizes.empty())
        return;
    const auto at = [this](int i) { return FSizes.begin() + i; };
    if (from < to)
        std::rotate(at(from), at(from + 1), at(to + 1));
    else
        std::rotate(at(to), at(from), at(from + 1));
}

int TGridAxis::FixedExtent() const
{
    int extent = 0;
    for (int i = 0; i < FFixed; ++i)
        extent += Extent(i);
    return extent;
}

int TGridAxis::MaxFirst(int client) const
{
    const int room = client - FixedExtent();
    int first = FCount - 1;
    if (first < FFixed)
        return FFixed;
    int used = Size(first);
    while (first > FFixed && used + Extent(first - 1) <= room) {
        used += Extent(first - 1);
        --first;
    }
    return first;
}

int TGridAxis::ClampFirst(int first, int client) const
{
    return std::clamp(first, FFixed, std::max(FFixed, MaxFirst(client)));
}

int TGridAxis::VisibleCount(int client) const
{
    int pos = FixedExtent();
    int count = 0;
    for (int i = FFirst; i < FCount && pos + Size(i) <= client; ++i) {
        ++count;
        pos += Extent(i);
    }
    return count;
}

int TGridAxis::LeadIn(int client) const
{
    if (!FEndAnchored || FFirst <= FFixed || FFirst != MaxFirst(client))
        return 0;
    int used = FixedExtent();
    for (int i = FFirst; i < FCount && used < client; ++i)
        used += Extent(i);
    return std::max(0, client - used);
}

int TGridAxis::LineAt(int pos, int client) const
{
    int found = -1;
    if (pos < 0)
        return found;
    ForEachShown(client, [&](int line, int start, int size) {
        if (found < 0 && pos >= start && pos < start + size + FLineWidth)
            found = line;
    });
    return found;
}

int TGridAxis::LineStart(int line, int client) const
{
    int found = -1;
    ForEachShown(client, [&](int i, int start, int) {
        if (i == line)
            found = start;
    });
    return found;
}

int TGridAxis::ShownEnd(int client) const
{
    int end = 0;
    ForEachShown(client, [&](int line, int start, int) { end = start + Extent(line); });
    return std::min(end, client);
}

} // namespace kestrova
