#include "link/P64.h"

#include <array>
#include <cstdint>

namespace kestrova {

namespace {

constexpr std::string_view Alphabet
    = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-";
static_assert(Alphabet.size() == 64);

// Symbol -> value, -1 for bytes outside the alphabet.
constexpr std::array<int8_t, 256> MakeValues()
{
    std::array<int8_t, 256> values {};
    values.fill(-1);
    for (size_t i = 0; i < Alphabet.size(); ++i)
        values[static_cast<unsigned char>(Alphabet[i])] = static_cast<int8_t>(i);
    return values;
}
constexpr std::array<int8_t, 256> Values = MakeValues();

} // namespace

std::string P64Encode(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size() / 3 * 4 + 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16
            | static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8
            | static_cast<unsigned char>(bytes[i + 2]);
        text += Alphabet[group >> 18];
        text += Alphabet[(group >> 12) & 63];
        text += Alphabet[(group >> 6) & 63];
        text += Alphabet[group & 63];
    }
    const size_t rest = bytes.size() - i;
    if (rest == 0)
        return text;
    uint32_t group = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (rest == 2)
        group |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    text += Alphabet[group >> 18];
    text += Alphabet[(group >> 12) & 63];
    if (rest == 2)
        text += Alphabet[(group >> 6) & 63];
    return text;
}

bool P64Decode(std::string_view text, std::string &bytes)
{
    bytes.clear();
    if (text.size() % 4 == 1)
        return false;
    bytes.reserve(text.size() / 4 * 3 + 2);
    uint32_t group = 0;
    int symbols = 0;
    for (const char c : text) {
        const int value = Values[static_cast<unsigned char>(c)];
        if (value < 0)
            return false;
        group = group << 6 | static_cast<uint32_t>(value);
        if (++symbols < 4)
            continue;
        bytes += static_cast<char>(group >> 16);
        bytes += static_cast<char>((group >> 8) & 255);
        bytes += static_cast<char>(group & 255);
        group = 0;
        symbols = 0;
    }
    if (symbols == 2) { // 12 bits: one byte and 4 zero bits
        if ((group & 15) != 0)
            return false;
        bytes += static_cast<char>(group >> 4);
    } else if (symbols == 3) { // 18 bits: two bytes and 2 zero bits
        if ((group & 3) != 0)
            return false;
        bytes += static_cast<char>(group >> 10);
        bytes += static_cast<char>((group >> 2) & 255);
    }
    return true;
}

} // namespace kestrova
