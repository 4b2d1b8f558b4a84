#pragma once
// Byte-string encoders: percent escaping for name=value&... configuration strings, and a
// file-name-safe form of a symbol (used to name chart pictures on the server).

#include <string>

namespace kestrova {

// Letters, digits, '-', '.' and '_' are kept; every other byte becomes "%XX" (upper-case hex).
std::string UrlEncode(const std::string &text);
// "%XX" with two hex digits (either case) becomes that byte; everything else, including a '%'
// without two hex digits after it and '+', is copied unchanged. Inverts UrlEncode.
std::string UrlDecode(const std::string &text);
// Letters, digits and '.' are kept; every other byte becomes "_XX" (upper-case hex).
std::string FileNameEncode(const std::string &text);

// The value of a hexadecimal digit (either case), or -1.
int HexDigitValue(char c);

} // namespace kestrova
