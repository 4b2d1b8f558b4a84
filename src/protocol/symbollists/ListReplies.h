#pragma once
// Reading the symbol-list replies: the symbols of one list ("SYMBOLS") and the list of lists
// ("LISTS"). Both look below the reply's first top-level element; malformed markup raises
// EXmlException. A server that did not carry out a list request says so with "KV-ErrorMsg" on
// "STATUS" (as for a refused window configuration); every reader raises EListRequestRefused then.

#include "support/Exceptions.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

// A list id that cannot be read.
KV_DECLARE_EXCEPTION(EInvalidListReply, Exception);
// The server did not carry out the request (nothing was stored); the message is its reason.
KV_DECLARE_EXCEPTION(EListRequestRefused, Exception);

// One entry of the list of lists.
struct TListInfo
{
    int32_t ListId = 0;
    std::string ListName;
    bool operator==(const TListInfo &) const = default;
};
using TLists = std::vector<TListInfo>;

// The attribute "NAME" of every child of "SYMBOLS", as sent (not trimmed). No "SYMBOLS" element:
// empty.
std::vector<std::string> ParseSymbolsReply(const std::string &body);

// One entry per child of "LISTS", in order: "ID" as a decimal integer (missing or malformed raises
// EInvalidListReply), "NAME" as text (missing: empty). Entries whose id is not above 0, and
// every entry after the first with a given id, are skipped. No "LISTS" element: empty.
TLists ParseListsReply(const std::string &body);

// Checks a reply whose content is not read (the delete-all's): raises as the readers above do.
void CheckListReply(const std::string &body);

// A decimal 32-bit integer with an optional sign and nothing else; raises EInvalidListReply.
int32_t ParseDecimalInt32(const std::string &text);

} // namespace kestrova
