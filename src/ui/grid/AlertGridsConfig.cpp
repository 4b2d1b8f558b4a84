// Reading and writing the window configuration string.

#include "grid/AlertGridsConfig.h"

#include "grid/AlertGridsTypes.h"
#include "support/CommaText.h"
#include "support/Exceptions.h"

#include <algorithm>
#include <charconv>

namespace kestrova {

namespace {

// A strict decimal integer: an optional sign, then digits only.
bool TryInteger(const std::string &field, int &value)
{
    const char *begin = field.data(), *end = field.data() + field.size();
    if (begin != end && *begin == '+' && ++begin != end && *begin == '-')
        return false;
    const auto [stop, error] = std::from_chars(begin, end, value);
    return error == std::errc() && stop == end;
}

int Integer(const std::string &field)
{
    int value = 0;
    if (!TryInteger(field, value))
        throw EConvertError("'" + field + "' is not a valid integer value");
    return value;
}

int IntegerOr(const std::string &field, int fallback)
{
    int value = 0;
    return TryInteger(field, value) ? value : fallback;
}

int CheckedSize(int value)
{
    if (value < 0 || value > MaxLayoutSize)
        throw EConvertError("Size out of range: " + std::to_string(value));
    return value;
}

// Blank types are dropped; a list left empty keeps one blank column.
void RemoveBlanks(std::vector<TLayoutEntry> &entries, int defaultWidth)
{
    std::erase_if(entries, [](const TLayoutEntry &e) { return e.Type == 0; });
    if (entries.empty())
        entries.push_back({ 0, defaultWidth });
}

std::optional<TWindowConfigChange> ParseOldest(
    const std::vector<std::string> &fields, int column0Width, int defaultWidth)
{
    if (fields.size() % 2 == 0)
        return std::nullopt;
    TWindowConfigChange change;
    const size_t n = fields.size() / 2;
    for (size_t i = 0; i < n; ++i) {
        const int type = Integer(fields[2 * i + 1]);
        const uint8_t low = static_cast<uint8_t>(type & 0xFF);
        const int size = std::max(1, CheckedSize(Integer(fields[2 * i + 2])));
        change.Entries.push_back({ static_cast<uint8_t>(low > 14 ? 0 : low), size });
    }
    if (n == 0)
        change.Entries.push_back({ 0, column0Width });
    else
        RemoveBlanks(change.Entries, defaultWidth);
    change.Direction = 0;
    change.ViewMode = 1;
    change.SortKey = 0;
    return change;
}

std::optional<TWindowConfigChange> ParseCurrent(
    const std::vector<std::string> &fields, int column0Width, int defaultWidth)
{
    const int64_t count = static_cast<int64_t>(fields.size());
    const int64_t n = Integer(fields[1]);
    if (n < 0 || count < 2 * n + 4)
        throw EConvertError("Column count out of range: " + fields[1]);
    TWindowConfigChange change;
    for (int64_t i = 0; i < n; ++i) {
        const int type = Integer(fields[static_cast<size_t>(2 * i + 2)]);
        const int size = std::max(1, CheckedSize(Integer(fields[static_cast<size_t>(2 * i + 3)])));
        change.Entries.push_back({ static_cast<uint8_t>(type < 0 || type > 14 ? 0 : type), size });
    }
    if (n == 0)
        change.Entries.push_back({ 0, column0Width });
    else
        RemoveBlanks(change.Entries, defaultWidth);
    const auto field
        = [&](int64_t i) -> const std::string & { return fields[static_cast<size_t>(i)]; };
    change.Direction = Integer(field(2 * n + 2));
    if (change.Direction < 0 || change.Direction > 3)
        return std::nullopt;
    change.SchemeName = "LIST_" + field(2 * n + 3);
    if (count > 2 * n + 4)
        change.DescriptionHeight = CheckedSize(IntegerOr(field(2 * n + 4), 1));
    if (count > 2 * n + 5)
        change.BacktestHeight = CheckedSize(IntegerOr(field(2 * n + 5), 1));
    change.ViewMode = 1;
    change.SortKey = 0;
    if (count > 2 * n + 7) {
        change.ViewMode = IntegerOr(field(2 * n + 6), 1);
        if (change.ViewMode == 3) {
            change.SortKey = IntegerOr(field(2 * n + 7), 0);
            if (!IsGroupable(change.SortKey)) {
                change.ViewMode = 1;
                change.SortKey = 0;
            }
        }
    }
    return change;
}

} // namespace

std::string FormatWindowConfig(const TWindowLayout &layout)
{
    std::string text = "C," + std::to_string(layout.Entries.size());
    for (const TLayoutEntry &e : layout.Entries)
        text += "," + std::to_string(e.Type) + "," + std::to_string(e.Size);
    for (int value : { layout.Direction, layout.Scheme, layout.DescriptionHeight,
             layout.BacktestHeight, layout.ViewMode, layout.SortKey })
        text += "," + std::to_string(value);
    return text;
}

int SchemeNumber(const std::string &schemeName)
{
    const size_t underscore = schemeName.find('_');
    if (underscore == std::string::npos)
        return 0;
    int value = 0;
    return TryInteger(schemeName.substr(underscore + 1), value) && value > 0 ? value : 0;
}

std::optional<TWindowConfigChange> ParseWindowConfig(
    std::string_view value, int column0Width, int defaultWidth)
{
    const std::vector<std::string> fields = SplitCommaText(value);
    if (fields.empty())
        return std::nullopt;
    if (fields[0] == "A")
        return ParseOldest(fields, column0Width, defaultWidth);
    if ((fields[0] == "B" || fields[0] == "C") && fields.size() >= 2)
        return ParseCurrent(fields, column0Width, defaultWidth);
    return std::nullopt;
}

} // namespace kestrova
