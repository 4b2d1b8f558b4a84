#pragma once
// P64: the base-64 text the HTTP tunnel posts its bytes in. Its 64 symbols are a-z, A-Z, 0-9,
// "_" and "-" (values 0 to 63), all safe in a form body without escaping; no filler symbols, so
// n bytes give 4 * (n / 3) symbols plus (n % 3) + 1 more when n % 3 is not 0.

#include <string>
#include <string_view>

namespace kestrova {

std::string P64Encode(std::string_view bytes);
// Decodes text made by P64Encode into bytes. False (bytes unspecified) when text holds a symbol
// outside the alphabet, has a length no encoding gives, or sets bits a final symbol leaves zero.
bool P64Decode(std::string_view text, std::string &bytes);

} // namespace kestrova
