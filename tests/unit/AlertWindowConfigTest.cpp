// The configure-alerts dialog's data on plain reply texts: request and retries, the catalogue,
// strategies, loading settings, the configuration string, Flip and change tracking; and the
// reference server's editor reply read back by the same code.

#include "AlertCatalogue.h"
#include "AlertdSession.h"
#include "ConfigEditor.h"
#include "dialogs/AlertWindowConfigModel.h"
#include "dialogs/AlertWindowConfigSearch.h"
#include "support/DebugLog.h"
#include "support/FakeAlertConfigSession.h"

#include <QProcess>
#include <QTemporaryDir>
#include <clocale>
#include <gtest/gtest.h>

using namespace kestrova;

namespace {

// Types A (with a quality filter) and B mirror each other; F and G are a Min/Max pair, Y a
// yes/no filter; exchange Z is disabled; the strategy "Scan" holds the window's settings.
const char *const Reply = R"xml(<API><CONFIG>
<ALERT_TYPES><A DESCRIPTION="Alpha &amp; more" QUALITY_NAME="Min size" FLIP="B"/>
  <B DESCRIPTION="Beta" FLIP="A"/><C DESCRIPTION="Gamma"/></ALERT_TYPES>
<WINDOW_SPECIFIC_FILTERS><F TYPE="D" UNITS="$" DESCRIPTION="Min Price"/>
  <G TYPE="D" UNITS="$" DESCRIPTION="Max Price"/><Y TYPE="B" DESCRIPTION="Optionable"/>
</WINDOW_SPECIFIC_FILTERS>
<EXCHANGES><X DESCRIPTION="X exchange"/><Z DESCRIPTION="Closed" DISABLED="1"/></EXCHANGES>
<SYMBOL_LISTS><12 NAME="Tech"/><13 NAME="Banks"/></SYMBOL_LISTS></CONFIG>
<STRATEGIES><FOLDER NAME="Mine" ICON="*">
  <S NAME="Scan" ICON=":)" CURRENT="1"><CONFIG WINDOW_NAME="My scan">
    <ALERT_TYPES><A QUALITY="2.5"/><B/></ALERT_TYPES>
    <WINDOW_SPECIFIC_FILTERS><F VALUE="5"/></WINDOW_SPECIFIC_FILTERS>
    <EXCHANGES><X/><Z/></EXCHANGES><SYMBOL_LISTS MODE="only"><12/></SYMBOL_LISTS>
  </CONFIG></S></FOLDER>
  <S NAME="Adapt me" USER_MUST_MODIFY="1"><CONFIG><ALERT_TYPES><C/></ALERT_TYPES></CONFIG></S>
  <S NAME="No settings" ICON="?"/>
</STRATEGIES></API>)xml";

const char *const PartExample
    = "form=1&Sh_A=ON&QA=2.5&Sh_B=ON&F=5&X=ON&EntireUniverse=&12=ON&WN=My%20scan";

TFilterEntry Filter(TFilterKind kind, const char *name, const char *description,
    const char *units = "", const char *flip = "", const char *value = "")
{
    TFilterEntry f;
    f.Kind = kind;
    f.Name = name;
    f.Description = description;
    f.Units = units;
    f.Flip = flip;
    f.Value = value;
    return f;
}

struct RecordingView : IAlertConfigView
{
    void RebuildListPages() override { ++ListRebuilds; }
    void CreateOtherOptions() override
    {
        ++Rebuilds;
        if (FailRebuild)
            throw std::runtime_error("no room for the rows");
    }
    void FillStrategyTree() override { ++Fills; }
    void ShowOptions() override { ++Shows; }
    void Refresh() override { }
    void StartRetryTimer(int ms) override { Retries.push_back(ms); }
    void StopRetryTimer() override { ++Stops; }
    int ListRebuilds = 0, Rebuilds = 0, Fills = 0, Shows = 0, Stops = 0;
    bool FailRebuild = false;
    std::vector<int> Retries;
};

class AlertWindowConfig : public ::testing::Test
{
protected:
    // Shows the dialog for config and answers its request with reply.
    void Open(const char *reply = Reply, const std::string &config = "form=1&Sh_A=ON")
    {
        Model.SetConfigToEdit(config);
        Model.Shown();
        Session.AnswerLast(reply);
    }
    std::string LastValue(const std::string &key) const
    {
        return Session.Server.Value(Session.Server.Requests.size() - 1, key);
    }

    kvtest::FakeAlertConfigSession Session;
    RecordingView View;
    TAlertConfigModel Model { Session, View };
};

TEST_F(AlertWindowConfig, TheWindowsSettingsLoadAndBuildTheSameStringSoOkChangesNothing)
{
    Session.SamplesUrl = "http://samples/";
    Open(Reply, "O=1f&WN=x");
    EXPECT_EQ(LastValue("command"), "edit_config_new");
    EXPECT_EQ(LastValue("config"), "O=1f&WN=x");
    EXPECT_EQ(LastValue("disabled_supported"), "1");
    EXPECT_EQ(LastValue("which_samples"), "http://samples/");

    const TAlertConfigRecord &r = Model.Record();
    ASSERT_EQ(r.AlertTypes.size(), 3u);
    EXPECT_EQ(r.AlertTypes[0].Description, "Alpha & more");
    EXPECT_FALSE(r.Exchanges[1].Checked) << "a disabled exchange is never selected";
    EXPECT_EQ(Model.BuildConfigString(), PartExample);
    EXPECT_FALSE(Model.ConfigChanged());
    EXPECT_FALSE(Model.OkEnabled());
    EXPECT_EQ(Model.LoadedNode(), 1);
    EXPECT_EQ(View.Shows, 1);

    // The tree: folder, the current strategy in it, a strategy to adapt, one without settings.
    const auto &nodes = Model.Strategies().Nodes;
    ASSERT_EQ(nodes.size(), 4u);
    EXPECT_TRUE(nodes[0].IsFolder);
    EXPECT_EQ(nodes[1].Parent, 0);
    EXPECT_EQ(nodes[2].Parent, -1);
    EXPECT_EQ((std::vector<int> { nodes[0].Image(), nodes[1].Image(), nodes[3].Image() }),
        (std::vector<int> { 3, 4, 0 }));
    EXPECT_FALSE(Model.CanLoadStrategy(1)) << "already loaded";
    EXPECT_FALSE(Model.CanLoadStrategy(3)) << "no settings";
}

TEST_F(AlertWindowConfig, StringsLeaveOutWhatIsEmptyOrNotInForceInTheMode)
{
    // No current strategy and no SYMBOL_LISTS section.
    std::string reply = Reply;
    reply.replace(reply.find(" CURRENT=\"1\""), 12, "");
    reply.erase(
        reply.find("<SYMBOL_LISTS><12"), reply.find("</CONFIG>") - reply.find("<SYMBOL_LISTS><12"));
    Open(reply.c_str());
    EXPECT_TRUE(Model.Record().SymbolLists.empty());
    EXPECT_EQ(Model.BuildConfigString(), "form=1&EntireUniverse=1");

    TAlertConfigRecord r;
    r.SymbolLists = { { "12", "Tech", true } };
    r.Filters = { Filter(fkYesNo, "Y", "Optionable"), Filter(fkNumber, "F", "Min Price", "$") };
    r.Filters[1].Value = "1 000&x";
    r.SymbolMode = smAll;
    EXPECT_EQ(BuildConfigString(r), "form=1&F=1%20000%26x&EntireUniverse=1");
    r.Filters[0].Checked = true;
    r.SymbolMode = smSingle;
    EXPECT_EQ(BuildConfigString(r), "form=1&Y=ON&F=1%20000%26x&EntireUniverse=3&SingleSymbol=");
    r.SymbolMode = smExclude;
    EXPECT_EQ(BuildConfigString(r), "form=1&Y=ON&F=1%20000%26x&EntireUniverse=2&12=ON");
}

TEST_F(AlertWindowConfig, FlipMirrorsTypesAppliesEachRuleAndTogglesTheNamePrefix)
{
    auto filter = [](const char *name, const char *flip, const char *value) {
        return Filter(fkNumber, name, "d", "", flip, value);
    };
    const std::vector<TFilterEntry> filters = { filter("P", "", "30"), filter("H", "", "4"),
        filter("T", "", "0.25"), filter("Z", "", "0"), filter("N", "", "abc") };
    const std::vector<std::tuple<const char *, const char *, const char *>> cases
        = { { "%P", "own", "70" }, { "%T", "own", "99.75000" }, { "+N", "own", "abc" },
              { "-P", "own", "-30" }, { "-T", "own", "-0.25000" }, { "-N", "own", "" },
              { ".T", "own", "0.75000" }, { ".Z", "own", "0" }, { ".P", "own", "own" },
              { "/H", "own", "0.25000" }, { "/Z", "own", "own" }, { "/N", "own", "" },
              { "%Missing", "own", "own" }, { "*P", "own", "own" }, { "", "own", "own" } };
    for (const auto &[rule, own, expected] : cases)
        EXPECT_EQ(ApplyFlipRule(rule, own, filters), expected) << rule;

    Open();
    Model.SetFilterValue(1, "40");
    Model.FlipSettings();
    // A (quality 2.5) and B swap: B has no quality, so A gets B's empty text.
    EXPECT_EQ(Model.BuildConfigString(),
        "form=1&Sh_A=ON&Sh_B=ON&F=5&G=40&X=ON&EntireUniverse=&12=ON&WN=Flipped%3A%20My%20scan");
    EXPECT_TRUE(Model.OkEnabled());
    EXPECT_TRUE(Model.NameEdited());

    Model.SetWindowName("flipped: a Flipped: b");
    Model.FlipSettings();
    EXPECT_EQ(Model.Record().WindowName, "a b");
    Model.FlipSettings();
    Model.FlipSettings();
    EXPECT_EQ(Model.Record().WindowName, "a b");
}

TEST_F(AlertWindowConfig, NumbersUseAPointWhateverTheProcessLocale)
{
    // A locale whose decimal separator is a comma, built for the test.
    QTemporaryDir dir;
    QFile source(dir.filePath("comma.src"));
    ASSERT_TRUE(source.open(QIODevice::WriteOnly));
    source.write("LC_NUMERIC\ndecimal_point \"<U002C>\"\nthousands_sep \"\"\ngrouping -1\n"
                 "END LC_NUMERIC\n");
    source.close();
    // Warnings about the categories left out make localedef answer 1; the locale still works.
    QProcess::execute("localedef",
        { "-c", "-f", "ANSI_X3.4-1968", "-i", source.fileName(), dir.filePath("xx_KV") });
    qputenv("LOCPATH", dir.path().toUtf8());
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    if (!std::setlocale(LC_NUMERIC, "xx_KV"))
        GTEST_SKIP() << "no locale could be built (localedef or its character maps missing)";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 0.5);
    EXPECT_STREQ(probe, "0,5") << "the locale is in force";

    EXPECT_EQ(ApplyFlipRule("/H", "", { Filter(fkNumber, "H", "d", "", "", "4") }), "0.25000");
    EXPECT_EQ(ApplyFlipRule("%H", "", { Filter(fkNumber, "H", "d", "", "", "0.5") }), "99.50000");
    EXPECT_EQ(alertd::ShortForm(alertd::ParseDataConfig("form=1&Sh_NH=ON&QNH=2.5").Filter),
        "form=1&Sh_NH=ON&QNH=2.5&EntireUniverse=1");
    EXPECT_EQ(alertd::FormatAlertNumber(1.25), "1.25");
    std::setlocale(LC_NUMERIC, saved.c_str());
    qunsetenv("LOCPATH");
}

TEST_F(AlertWindowConfig, ABadFilterTypeIsReportedAndRetriedEverLongerUpToThreeSeconds)
{
    std::string bad = Reply;
    bad.replace(bad.find("TYPE=\"B\""), 8, "TYPE=\"Q\"");
    Open(bad.c_str());
    ASSERT_FALSE(Session.Server.Activity.empty());
    EXPECT_FALSE(Session.Server.Activity.back().first);
    EXPECT_NE(Session.Server.Activity.back().second.find(
                  "Exception in TConfigureAlertsForm.ReceiveAlertConfigData:  EAssertionFailed, "
                  "Invalid filter type:  Q"),
        std::string::npos);
    EXPECT_EQ(View.Shows, 0) << "still behind Please Wait";
    for (int i = 0; i < 6; ++i) {
        Model.RetryTimerFired();
        Session.AnswerLast(i < 3 ? bad.c_str() : nullptr); // then the link fails
    }
    EXPECT_EQ(View.Retries, (std::vector<int> { 500, 1000, 1500, 2000, 2500, 3000, 3000 }));
    Model.RetryTimerFired();
    Session.AnswerLast(Reply);
    EXPECT_EQ(View.Shows, 1);
    EXPECT_EQ(Model.BuildConfigString(), PartExample);

    // A failure while building the pages goes to the debug log; the retry rebuilds them.
    DebugLog::Clear();
    View.FailRebuild = true;
    Session.Counters[1] = 1;
    Model.RetryTimerFired();
    Session.AnswerLast(Reply);
    const auto log = DebugLog::Entries();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], "Location of following error:  ReceiveAlertConfigData 4");
    EXPECT_NE(
        log[1].find("Location=AlertWindowConfig, TConfigureAlertsForm.ReceiveAlertConfigData"),
        std::string::npos);
    EXPECT_EQ(View.Retries.size(), 8u);
    View.FailRebuild = false;
    Model.RetryTimerFired();
    Session.AnswerLast(Reply);
    EXPECT_EQ(View.Rebuilds, 3);
    EXPECT_EQ(View.Shows, 2);
    Model.Hidden();
    EXPECT_EQ(View.Stops, 1);
}

TEST_F(AlertWindowConfig, ControlsAreRebuiltWhenTheCatalogueOrTheSessionChanges)
{
    Open();
    EXPECT_EQ(View.Rebuilds, 1);
    Open();
    EXPECT_EQ(View.Rebuilds, 1) << "same session, same catalogue: controls carried over";
    EXPECT_EQ(View.ListRebuilds, 2);
    std::string renamed = Reply;
    renamed.replace(renamed.find("Beta"), 4, "Bravo");
    Open(renamed.c_str());
    EXPECT_EQ(View.Rebuilds, 2) << "a changed description within one session";
    Session.Counters[0] = 2;
    Open(renamed.c_str());
    EXPECT_EQ(View.Rebuilds, 3) << "a new link";
}

TEST_F(AlertWindowConfig, UserChangesAreTrackedForOkTheRecentStripAndTheLoadedMark)
{
    Open();
    Model.SetAlertTypeChecked(2, true);
    Model.SetAlertTypeChecked(2, false);
    Model.SetFilterValue(0, "7");
    EXPECT_EQ(Model.RecentChanges().size(), 2u) << "each entry once";
    EXPECT_TRUE(Model.OkEnabled());
    EXPECT_EQ(Model.LoadedNode(), -1);
    EXPECT_EQ(Model.OkPressed(false), okGoToWindowName);
    EXPECT_EQ(Model.OkPressed(true), okClose);
    EXPECT_TRUE(Model.ConfigChanged());

    // Ticking a list while all symbols are selected switches to "only these lists".
    Model.SetSymbolMode(smAll);
    Model.SetSymbolListChecked(1, true);
    EXPECT_EQ(Model.Record().SymbolMode, smOnly);

    // A strategy the user must adapt loads with OK off and does not close on double click.
    EXPECT_TRUE(Model.CanLoadStrategy(2));
    EXPECT_FALSE(Model.StrategyDoubleClicked(2));
    EXPECT_FALSE(Model.OkEnabled());
    EXPECT_TRUE(Model.RecentChanges().empty());
    EXPECT_EQ(Model.LoadedNode(), 2);
    EXPECT_EQ(Model.BuildConfigString(), "form=1&Sh_C=ON&EntireUniverse=1");
    EXPECT_TRUE(Model.StrategyDoubleClicked(1));
    EXPECT_FALSE(Model.ConfigChanged());
}

TEST_F(AlertWindowConfig, SearchRowsPairMinAndMaxAndNeedAPrefixOfEveryWord)
{
    Open();
    TAlertConfigRecord r = Model.Record();
    r.AlertTypes[1].Keywords = "new highs .price.action.";
    r.Filters.push_back(Filter(fkNumber, "H", "Max Price", "cents")); // other units: own row
    const TSearchIndex index = BuildSearchIndex(r);
    ASSERT_EQ(index.Rows.size(), 3u + 3u);
    EXPECT_EQ(index.Rows[3].Text, "Price [$]");
    EXPECT_EQ(index.Rows[3].Partner, 1);
    EXPECT_EQ(index.Rows[5].Text, "Max Price [cents]");
    EXPECT_EQ(index.Categories, std::vector<std::string> { "price action" });
    EXPECT_EQ(AddCategoryToSearch("be", "price action"), "be .price.action.");

    auto shown = [&](const char *search) {
        std::string codes;
        for (const auto &row : index.Rows)
            if (RowMatches(row, SearchWords(search)))
                codes += row.IsFilter ? r.Filters[row.Index].Name : r.AlertTypes[row.Index].Code;
        return codes;
    };
    EXPECT_EQ(shown(""), "ABCFYH");
    EXPECT_EQ(shown("new hi"), "B");
    EXPECT_EQ(shown("be .price.action."), "B");
    EXPECT_EQ(shown("$"), "F");
    EXPECT_EQ(shown("pr ce"), "H") << "each word may match a different word of the row";
    EXPECT_EQ(shown("alpha zz"), "");
}

// The server's editor reply, read by the dialog's own code, gives back what the server reads.
TEST(AlertWindowConfigServer, EveryStrategyAndTheCurrentSettingsRoundTripThroughTheDialog)
{
    kvtest::FakeAlertConfigSession session;
    RecordingView view;
    TAlertConfigModel model(session, view);
    const std::vector<alertd::TListInfo> lists = { { 12, "Tech" }, { 40, "Banks" } };
    for (const char *config : { "form=1&Sh_NH=ON&QNH=2.5&MinPrice=5&RVKnown=on&ARX=On&"
                                "EntireUniverse=2&40=ON&WN=Mine",
             "O=1fffffffffffffffffffffff0_3d_0&WN=High+Speed+Test",
             "form=1&Sh_GU=ON&EntireUniverse=3&SingleSymbol=abc" }) {
        model.SetConfigToEdit(config);
        model.Shown();
        const std::string reply = alertd::EditConfigReply(config, true, lists);
        session.AnswerLast(reply.c_str());
        ASSERT_EQ(view.Shows, 1) << reply;
        view.Shows = 0;
        EXPECT_EQ(alertd::ShortForm(alertd::ParseDataConfig(model.BuildConfigString()).Filter),
            alertd::ShortForm(alertd::ParseDataConfig(config).Filter))
            << config;
        // Every strategy with settings loads into something the server accepts as it is.
        for (int node = 0; node < static_cast<int>(model.Strategies().Nodes.size()); ++node) {
            if (!model.CanLoadStrategy(node))
                continue;
            model.LoadStrategy(node);
            const auto parsed = alertd::ParseDataConfig(model.BuildConfigString());
            EXPECT_TRUE(parsed.Ok) << model.BuildConfigString();
        }
    }
    const auto &r = model.Record();
    EXPECT_EQ(r.Exchanges.size(), alertd::Exchanges().size());
    EXPECT_TRUE(r.Exchanges.back().Disabled);
    EXPECT_EQ(r.SymbolLists.size(), 2u);
    const std::string old = alertd::EditConfigReply("", false, {});
    EXPECT_EQ(old.find("DISABLED"), std::string::npos);
    EXPECT_EQ(old.find("CURRENT"), std::string::npos) << "an empty config has no settings";
}

} // namespace
