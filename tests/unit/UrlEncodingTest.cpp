// Percent escaping of configuration strings and the file-name form of symbols.

#include "support/UrlEncoding.h"

#include <gtest/gtest.h>

using namespace kestrova;

namespace {

std::string AllBytes()
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    return all;
}

TEST(UrlEncoding, EncodeKeepsOnlyUnreservedAsciiEscapesInUpperCaseAndRoundTrips)
{
    EXPECT_EQ(UrlEncode(" "), "%20");
    EXPECT_EQ(UrlEncode("&"), "%26");
    EXPECT_EQ(UrlEncode("\xE9"), "%E9");
    EXPECT_EQ(UrlEncode(std::string(1, '\0')), "%00");
    EXPECT_EQ(UrlEncode("Az09-._"), "Az09-._");
    EXPECT_EQ(UrlEncode("a+b=c~/%"), "a%2Bb%3Dc%7E%2F%25");

    const std::string all = AllBytes();
    const std::string encoded = UrlEncode(all);
    // 62 letters and digits plus "-._" are kept; 191 bytes take three characters each.
    EXPECT_EQ(encoded.size(), 65 + 3 * (256 - 65));
    EXPECT_EQ(UrlDecode(encoded), all);
    EXPECT_EQ(UrlDecode(UrlEncode(all + all + "%zz%")), all + all + "%zz%");
}

TEST(UrlEncoding, DecodeTakesEitherCaseAndCopiesBrokenEscapes)
{
    const std::pair<const char *, const char *> decoded[]
        = { { "%2f%2F", "//" }, { "%e9%C3%a9", "\xE9\xC3\xA9" }, { "100%", "100%" }, { "%4", "%4" },
              { "%4g%", "%4g%" }, { "%G1", "%G1" }, { "a+b", "a+b" }, { "%%41", "%A" } };
    for (const auto &[text, expected] : decoded)
        EXPECT_EQ(UrlDecode(text), expected) << text;
    EXPECT_EQ(UrlDecode("%00x"), std::string("\0x", 2));
}

TEST(UrlEncoding, FileNameEncodeKeepsLettersDigitsAndFullStops)
{
    EXPECT_EQ(FileNameEncode("BRK.B"), "BRK.B");
    EXPECT_EQ(FileNameEncode("A-B_C D"), "A_2DB_5FC_20D");
    EXPECT_EQ(FileNameEncode("/\xFF"), "_2F_FF");
    const std::string encoded = FileNameEncode(AllBytes());
    EXPECT_EQ(encoded.size(), 63 + 3 * (256 - 63));
    EXPECT_EQ(encoded.find_first_not_of(
                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._"),
        std::string::npos);
}

} // namespace
