// Fuzz target: the configure-alerts reply (catalogue and strategy tree) on arbitrary text, then
// everything the dialog does with it: loading every strategy, building the string, Flip and the
// search index. Malformed input may only raise EXmlException or EAssertionFailed (a bad filter
// type).

#include "FuzzTarget.h"
#include "dialogs/AlertWindowConfig.h"
#include "dialogs/AlertWindowConfigSearch.h"
#include "support/Exceptions.h"

using namespace kestrova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view text = FuzzText(data, size);
    try {
        const PXmlNode root = ParseXml(text);
        const PXmlNode top = root->Child(0);
        TAlertConfigRecord record
            = ParseAlertCatalogue(top ? top->ChildNodeNamed("CONFIG") : nullptr);
        const TStrategyTree tree = ParseStrategies(top ? top->ChildNamed("STRATEGIES") : nullptr);
        volatile size_t seen = BuildSearchIndex(record).Rows.size();
        for (const TStrategyInfo &node : tree.Nodes) {
            seen += static_cast<size_t>(node.Image());
            ApplyStrategyConfig(record, node.Config.get());
            seen += BuildConfigString(record).size();
            seen += BuildConfigString(FlippedSettings(record)).size();
        }
        (void)seen;
    } catch (const EXmlException &) {
    } catch (const EAssertionFailed &) {
    }
    return 0;
}

std::vector<std::string> FuzzSeeds()
{
    return {
        "",
        "<API><CONFIG><ALERT_TYPES><A DESCRIPTION=\"Alpha\" QUALITY_NAME=\"Q\" FLIP=\"B\"/>"
        "<B DESCRIPTION=\"Beta\" FLIP=\"A\" KEYWORDS=\"new .cat.\"/></ALERT_TYPES>"
        "<WINDOW_SPECIFIC_FILTERS><F TYPE=\"D\" UNITS=\"$\" DESCRIPTION=\"Min P\" FLIP=\"%G\"/>"
        "<G TYPE=\"D\" UNITS=\"$\" DESCRIPTION=\"Max P\" FLIP=\"/F\"/><Y TYPE=\"B\"/>"
        "</WINDOW_SPECIFIC_FILTERS><EXCHANGES><X DESCRIPTION=\"x\" DISABLED=\"1\"/></EXCHANGES>"
        "<SYMBOL_LISTS><12 NAME=\"Tech\"/></SYMBOL_LISTS></CONFIG>"
        "<STRATEGIES><FOLDER NAME=\"f\" ICON=\"+\"><S NAME=\"s\" CURRENT=\"1\">"
        "<CONFIG WINDOW_NAME=\"Flipped: w\"><ALERT_TYPES><A QUALITY=\"2.5\"/></ALERT_TYPES>"
        "<WINDOW_SPECIFIC_FILTERS><F VALUE=\"0.5\"/><G VALUE=\"x\"/><Y VALUE=\"1\"/>"
        "</WINDOW_SPECIFIC_FILTERS><EXCHANGES><X/></EXCHANGES>"
        "<SYMBOL_LISTS MODE=\"single\" SYMBOL=\"a b\"><12/></SYMBOL_LISTS></CONFIG></S>"
        "</FOLDER><S USER_MUST_MODIFY=\"1\" ICON=\":)\"/></STRATEGIES></API>",
        "<API><CONFIG><WINDOW_SPECIFIC_FILTERS><F TYPE=\"Z\"/></WINDOW_SPECIFIC_FILTERS></CONFIG>"
        "</API>",
        "<R><STRATEGIES><FOLDER><FOLDER><FOLDER/></FOLDER></FOLDER></STRATEGIES></R>",
    };
}
