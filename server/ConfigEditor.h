#pragma once
// The configuration editor's reply ("edit_config_new"): the catalogue (alert types, window
// filters, exchanges, the account's symbol lists), a tree of ready-made strategies, and the
// window's own settings as the current strategy when its configuration can be read. Everything
// is written from the tables the server filters by, so the editor offers exactly what works.

#include "DataConfig.h"
#include "ReplyXml.h"
#include "SymbolListStore.h"

#include <string>
#include <string_view>
#include <vector>

namespace kestrova::alertd {

// disabledSupported: the client understands DISABLED exchanges; otherwise they are left out.
std::string EditConfigReply(
    std::string_view config, bool disabledSupported, const std::vector<TListInfo> &lists);

// The settings element (CONFIG) of a window filter.
void WriteSettings(TXmlWriter &xml, const TWindowFilter &filter);

} // namespace kestrova::alertd
