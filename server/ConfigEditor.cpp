#include "ConfigEditor.h"

#include "AlertCatalogue.h"

#include <cmath>

namespace kestrova::alertd {

namespace {

struct TStrategy
{
    const char *Folder; // nullptr: at the top of the tree
    const char *Name;
    const char *Icon;
    const char *Description;
    const char *Config;
    bool UserMustModify = false;
};

struct TFolder
{
    const char *Name;
    const char *Icon;
    const char *Description;
};

const TFolder Folders[] = {
    { "Breakouts", "+", "Stocks moving to new ground." },
    { "Reversals", "-", "Stocks turning around." },
    { "Volume", "", "Unusual trading activity." },
};

const TStrategy Strategies[] = {
    { "Breakouts", "New highs", "+", "New highs of at least five days.",
        "form=1&Sh_NH=ON&QNH=5&WN=New%20highs" },
    { "Breakouts", "Gap and go", "!", "Gaps up of 2% or more, and stocks running up, above $5.",
        "form=1&Sh_GU=ON&QGU=2&Sh_RU=ON&MinPrice=5&WN=Gap%20and%20go" },
    { "Reversals", "New lows", "-", "New lows of at least five days.",
        "form=1&Sh_NL=ON&QNL=5&WN=New%20lows" },
    { "Reversals", "Bounces", ":)", "Bounces off the lows while low in the day's range.",
        "form=1&Sh_BOL=ON&QBOL=0.5&MaxDR=20&WN=Bounces" },
    { "Volume", "Unusual volume", "*",
        "Volume spikes and block trades with at least twice the usual volume.",
        "form=1&Sh_VSU=ON&Sh_VSD=ON&Sh_BLK=ON&MinRV=2&RVKnown=ON&WN=Unusual%20volume" },
    { "Volume", "Wide spreads", "?", "Quotes with a wide spread.",
        "form=1&Sh_SPR=ON&WN=Wide%20spreads" },
    { nullptr, "Everything", "!", "Every alert the server sends.", "O=fffff&WN=Everything" },
    { nullptr, "My symbol lists", "*",
        "Highs and lows of your own symbols. Choose your lists on the Symbol Lists page first.",
        "form=1&Sh_NH=ON&Sh_NL=ON&EntireUniverse=&WN=My%20lists", true },
};

void WriteCatalogue(TXmlWriter &xml, bool disabledSupported, const std::vector<TListInfo> &lists)
{
    xml.Open("CONFIG").Open("ALERT_TYPES");
    for (const auto &type : AlertTypes())
        xml.Open(type.Code)
            .Attr("DESCRIPTION", type.Description)
            .Attr("KEYWORDS", type.Keywords)
            .Attr("QUALITY_NAME", type.QualityName)
            .Attr("FLIP", type.Flip)
            .Close();
    xml.Close().Open("WINDOW_SPECIFIC_FILTERS");
    for (const auto &filter : WindowFilters()) {
        const bool number = filter.Kind == TFilterKind::Number;
        xml.Open(filter.Name).Attr("TYPE", number ? "D" : "B");
        if (number)
            xml.Attr("UNITS", filter.Units);
        xml.Attr("DESCRIPTION", filter.Description)
            .Attr("KEYWORDS", filter.Keywords)
            .Attr("FLIP", filter.Flip)
            .Close();
    }
    xml.Close().Open("EXCHANGES");
    for (const auto &exchange : Exchanges()) {
        if (exchange.Disabled && !disabledSupported)
            continue;
        xml.Open(exchange.Code).Attr("DESCRIPTION", exchange.Description);
        if (exchange.Disabled)
            xml.Attr("DISABLED", "1");
        xml.Close();
    }
    xml.Close();
    if (!lists.empty()) {
        xml.Open("SYMBOL_LISTS");
        for (const auto &list : lists)
            xml.Open(std::to_string(list.Id)).Attr("NAME", list.Name).Close();
        xml.Close();
    }
    xml.Close(); // CONFIG
}

void WriteStrategy(TXmlWriter &xml, const TStrategy &strategy)
{
    const TParsedConfig parsed = ParseDataConfig(strategy.Config);
    xml.Open("STRATEGY")
        .Attr("NAME", strategy.Name)
        .Attr("ICON", strategy.Icon)
        .Attr("DESCRIPTION", strategy.Description);
    if (strategy.UserMustModify)
        xml.Attr("USER_MUST_MODIFY", "1");
    if (parsed.Ok)
        WriteSettings(xml, parsed.Filter);
    xml.Close();
}

} // namespace

void WriteSettings(TXmlWriter &xml, const TWindowFilter &filter)
{
    xml.Open("CONFIG").Attr("WINDOW_NAME", filter.WindowName).Open("ALERT_TYPES");
    const auto &types = AlertTypes();
    for (size_t i = 0; i < types.size(); ++i)
        if (filter.Types[i])
            xml.Open(types[i].Code)
                .Attr("QUALITY",
                    std::isnan(filter.MinQuality[i]) ? std::string()
                                                     : FormatValue(filter.MinQuality[i]))
                .Close();
    xml.Close().Open("WINDOW_SPECIFIC_FILTERS");
    const auto &filters = WindowFilters();
    for (size_t i = 0; i < filters.size(); ++i)
        if (!std::isnan(filter.FilterValue[i]))
            xml.Open(filters[i].Name)
                .Attr("VALUE",
                    filters[i].Kind == TFilterKind::YesNo ? std::string("1")
                                                          : FormatValue(filter.FilterValue[i]))
                .Close();
    xml.Close().Open("EXCHANGES");
    const auto &exchanges = Exchanges();
    for (size_t i = 0; i < exchanges.size(); ++i)
        if (filter.ExchangeOn[i])
            xml.Open(exchanges[i].Code).Close();
    static const char *const modes[] = { "all", "only", "exclude", "single" };
    xml.Close()
        .Open("SYMBOL_LISTS")
        .Attr("MODE", modes[static_cast<int>(filter.Mode)])
        .Attr("SYMBOL", filter.SingleSymbol);
    for (int id : filter.ListIds)
        xml.Open(std::to_string(id)).Close();
    xml.Close().Close(); // SYMBOL_LISTS, CONFIG
}

std::string EditConfigReply(
    std::string_view config, bool disabledSupported, const std::vector<TListInfo> &lists)
{
    TXmlWriter xml;
    xml.Open("API");
    WriteCatalogue(xml, disabledSupported, lists);
    xml.Open("STRATEGIES");
    const TParsedConfig current = ParseDataConfig(config);
    if (current.Ok) {
        xml.Open("STRATEGY")
            .Attr("NAME", "Current settings")
            .Attr("ICON", ":)")
            .Attr("DESCRIPTION", "The settings this window has now.")
            .Attr("CURRENT", "1");
        WriteSettings(xml, current.Filter);
        xml.Close();
    }
    for (const auto &folder : Folders) {
        xml.Open("FOLDER")
            .Attr("NAME", folder.Name)
            .Attr("ICON", folder.Icon)
            .Attr("DESCRIPTION", folder.Description);
        for (const auto &strategy : Strategies)
            if (strategy.Folder && std::string_view(strategy.Folder) == folder.Name)
                WriteStrategy(xml, strategy);
        xml.Close();
    }
    for (const auto &strategy : Strategies)
        if (!strategy.Folder)
            WriteStrategy(xml, strategy);
    return xml.Finish();
}

} // namespace kestrova::alertd
