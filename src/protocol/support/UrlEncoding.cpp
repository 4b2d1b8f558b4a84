#include "support/UrlEncoding.h"

namespace kestrova {

namespace {
constexpr char HexDigits[] = "0123456789ABCDEF";

bool IsAsciiAlnum(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

template<typename Keep>
std::string Escape(const std::string &text, char marker, Keep keep)
{
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (keep(c)) {
            out += ch;
        } else {
            out += marker;
            out += HexDigits[c >> 4];
            out += HexDigits[c & 0x0F];
        }
    }
    return out;
}
} // namespace

std::string UrlEncode(const std::string &text)
{
    return Escape(text, '%',
        [](unsigned char c) { return IsAsciiAlnum(c) || c == '-' || c == '.' || c == '_'; });
}

std::string UrlDecode(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = HexDigitValue(text[i + 1]);
            const int low = HexDigitValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string FileNameEncode(const std::string &text)
{
    return Escape(text, '_', [](unsigned char c) { return IsAsciiAlnum(c) || c == '.'; });
}

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace kestrova
