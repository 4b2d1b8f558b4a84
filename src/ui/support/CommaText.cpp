// Comma text splitting and joining.

#include "support/CommaText.h"

#include <algorithm>

namespace kestrova {

namespace {
bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}
} // namespace

std::vector<std::string> SplitCommaText(std::string_view text)
{
    std::vector<std::string> fields;
    if (text.empty())
        return fields;
    size_t i = 0;
    for (;;) {
        while (i < text.size() && IsBlank(text[i]) && text[i] != ',')
            ++i;
        std::string field;
        if (i < text.size() && text[i] == '"') {
            ++i;
            while (i < text.size()) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i++];
            }
        }
        const size_t comma = std::min(text.find(',', i), text.size());
        field += Trim(text.substr(i, comma - i));
        fields.push_back(std::move(field));
        if (comma >= text.size())
            return fields;
        i = comma + 1;
    }
}

std::string JoinCommaText(const std::vector<std::string> &fields)
{
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ',';
        const std::string &f = fields[i];
        if (std::none_of(
                f.begin(), f.end(), [](char c) { return IsBlank(c) || c == ',' || c == '"'; })) {
            line += f;
            continue;
        }
        line += '"';
        for (char c : f) {
            if (c == '"')
                line += '"';
            line += c;
        }
        line += '"';
    }
    return line;
}

} // namespace kestrova
