#pragma once
// Comma text: a list of fields in one line, as window configuration strings, menu paths and CSV
// lines carry them.

#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

// Splits at commas only. Each field is trimmed of spaces and control characters; a field that
// starts with a double quote runs to the matching quote ("" inside stands for one quote) and
// may hold commas; text after the closing quote, up to the next comma, is appended. An empty
// text gives no fields; otherwise n commas outside quotes give n + 1 fields.
std::vector<std::string> SplitCommaText(std::string_view text);

// Joins fields with commas; a field holding a space, a control character (CR, LF, tab ...), a
// comma or a double quote is enclosed in double quotes with its inner quotes doubled, so a line
// break inside a field cannot split the line when it is read back.
std::string JoinCommaText(const std::vector<std::string> &fields);

} // namespace kestrova
