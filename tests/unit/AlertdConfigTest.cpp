// The server's data configurations, options, faults, reply XML and alert simulation.

#include "AlertCatalogue.h"
#include "DataConfig.h"
#include "Faults.h"
#include "History.h"
#include "Market.h"
#include "ReplyXml.h"
#include "ServerOptions.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace kestrova::alertd;

namespace {

TAlert AlertOf(const std::string &type, int symbol = 0)
{
    TAlert alert;
    alert.Type = FindAlertType(type);
    alert.Symbol = symbol;
    alert.Price = 20;
    alert.Quality = 5;
    alert.RelVol = 2;
    return alert;
}

TEST(AlertdDataConfig, LongFormRoundTripsToTheSameCanonicalText)
{
    const std::string text
        = "form=1&Sh_NH=ON&QNH=2.5&Sh_CAO=ON&MinPrice=5&KVX=ON&EntireUniverse=&12="
          "ON&WN=My%20scan";
    const TParsedConfig parsed = ParseDataConfig(text);
    ASSERT_TRUE(parsed.Ok) << parsed.Error;
    EXPECT_EQ(parsed.Filter.WindowName, "My scan");
    EXPECT_EQ(parsed.Filter.Mode, TSymbolMode::OnlyLists);
    EXPECT_EQ(parsed.Filter.ListIds, std::vector<int> { 12 });
    EXPECT_EQ(ShortForm(parsed.Filter), text);
    EXPECT_EQ(ShortForm(ParseDataConfig(ShortForm(parsed.Filter)).Filter), text);
}

TEST(AlertdDataConfig, CompactInitialFormSelectsTypesByMaskBitsAndDecodesPlus)
{
    const TParsedConfig parsed
        = ParseDataConfig("O=1fffffffffffffffffffffff0_3d_0&WN=High+Speed+Test");
    ASSERT_TRUE(parsed.Ok) << parsed.Error;
    EXPECT_EQ(parsed.Filter.WindowName, "High Speed Test");
    for (size_t i = 0; i < AlertTypes().size(); ++i)
        EXPECT_EQ(parsed.Filter.Types[i], i >= 4) << i; // the low four bits are clear
    EXPECT_EQ(ShortForm(parsed.Filter).rfind("form=1&Sh_GU=ON", 0), 0u);
}

TEST(AlertdDataConfig, RefusesTextItCannotUse)
{
    for (const char *text : { "", "hello=1", "O=xyz_1", "form=1&EntireUniverse=7" })
        EXPECT_FALSE(ParseDataConfig(text).Ok) << text;
    const TParsedConfig badNumber = ParseDataConfig("form=1&Sh_NH=ON&MinPrice=cheap");
    EXPECT_FALSE(badNumber.Ok);
    EXPECT_NE(badNumber.Error.find("cheap"), std::string::npos);
    // Keys of other clients are ignored, empty values mean "not set".
    EXPECT_TRUE(ParseDataConfig("form=1&Sh_NH=ON&SomethingElse=1&MinPrice=&QNH=").Ok);
}

TEST(AlertdDataConfig, UrlCodingKeepsSafeBytesAndEscapesTheRest)
{
    EXPECT_EQ(UrlEncode("a-b.c_d e&f=%"), "a-b.c_d%20e%26f%3D%25");
    EXPECT_EQ(UrlDecode("a%20b+c%zz%4", true), "a b c%zz%4");
    EXPECT_EQ(UrlDecode("a+b", false), "a+b");
}

TEST(AlertdDataConfig, FilterAppliesTypesQualityLimitsExchangesAndSymbols)
{
    const TMarket market(7, 50, 1700000000000);
    TWindowFilter filter = ParseDataConfig("form=1&Sh_NH=ON&QNH=4&MinRV=1.5").Filter;
    TAlert alert = AlertOf("NH");
    EXPECT_TRUE(Matches(filter, alert, market));
    alert.Quality = 3;
    EXPECT_FALSE(Matches(filter, alert, market)) << "below the minimum quality";
    alert.Quality = NoValue;
    EXPECT_FALSE(Matches(filter, alert, market)) << "a missing value never passes a minimum";
    alert.Quality = 5;
    alert.RelVol = NoValue;
    EXPECT_FALSE(Matches(filter, alert, market));
    EXPECT_FALSE(Matches(filter, AlertOf("NL"), market)) << "type not selected";

    const TSymbolInfo &symbol = market.Symbols()[3];
    TWindowFilter single
        = ParseDataConfig("form=1&Sh_NH=ON&EntireUniverse=3&SingleSymbol=" + symbol.Name).Filter;
    EXPECT_TRUE(Matches(single, AlertOf("NH", 3), market));
    EXPECT_FALSE(Matches(single, AlertOf("NH", 4), market));

    const std::string otherExchange = Exchanges()[(symbol.Exchange + 1) % Exchanges().size()].Code;
    TWindowFilter exchange = ParseDataConfig("form=1&Sh_NH=ON&" + otherExchange + "=ON").Filter;
    EXPECT_FALSE(Matches(exchange, AlertOf("NH", 3), market));

    TWindowFilter lists = ParseDataConfig("form=1&Sh_NH=ON&EntireUniverse=&5=ON").Filter;
    lists.ListSymbols = { symbol.Name };
    EXPECT_TRUE(Matches(lists, AlertOf("NH", 3), market));
    EXPECT_FALSE(Matches(lists, AlertOf("NH", 4), market));
    lists.Mode = TSymbolMode::ExcludeLists;
    EXPECT_FALSE(Matches(lists, AlertOf("NH", 3), market));
    EXPECT_TRUE(Matches(lists, AlertOf("NH", 4), market));
}

TEST(AlertdDataConfig, PositionInRangeTravelsAsAFractionAndFiltersInPercent)
{
    const TMarket market(7, 50, 1700000000000);
    TMarket live(7, 50, 1700000000000);
    bool some = false;
    for (const TAlert &a : live.Advance(1700000002000, 500)) {
        if (std::isnan(a.DayRange))
            continue;
        some = true;
        EXPECT_TRUE(a.DayRange >= 0 && a.DayRange <= 1) << a.DayRange;
    }
    EXPECT_TRUE(some);
    TAlert alert = AlertOf("NH");
    alert.DayRange = 0.45;
    EXPECT_TRUE(Matches(ParseDataConfig("form=1&Sh_NH=ON&MinDR=40").Filter, alert, market));
    EXPECT_FALSE(Matches(ParseDataConfig("form=1&Sh_NH=ON&MaxDR=40").Filter, alert, market));
}

TEST(AlertdMarket, IsDeterministicPerSeedAndKeepsMirrorPairsConsistent)
{
    TMarket a(42, 100, 1700000000000), b(42, 100, 1700000000000), c(43, 100, 1700000000000);
    EXPECT_EQ(a.Symbols()[0].Name, b.Symbols()[0].Name);
    const auto alertsA = a.Advance(1700000002000, 500);
    const auto alertsB = b.Advance(1700000002000, 500);
    const auto alertsC = c.Advance(1700000002000, 500);
    ASSERT_EQ(alertsA.size(), 1000u);
    ASSERT_EQ(alertsA.size(), alertsB.size());
    bool differs = false;
    for (size_t i = 0; i < alertsA.size(); ++i) {
        EXPECT_EQ(alertsA[i].Description, alertsB[i].Description);
        differs |= alertsA[i].Description != alertsC[i].Description;
        EXPECT_LE(alertsA[i].UnixTime, 1700000002);
    }
    EXPECT_TRUE(differs);
    // Every mirror names a type that names it back.
    for (const auto &type : AlertTypes()) {
        if (!type.Flip.empty()) {
            EXPECT_EQ(AlertTypes()[FindAlertType(type.Flip)].Flip, type.Code);
        }
    }
    const auto minute = a.MinuteHistory(28000000);
    EXPECT_EQ(minute.size(), size_t(TMarket::HistoryPerMinute));
    EXPECT_EQ(minute[0].Description, b.MinuteHistory(28000000)[0].Description);
}

TEST(AlertdHistory, PagesContinueWithoutGapsOrRepeatsUntilExhausted)
{
    const int64_t start = 1700000000000;
    TMarket market(3, 60, start);
    TAlertLog log(1000);
    log.Append(market.Advance(start + 60000, 2)); // a minute of live alerts
    const TWindowFilter filter = ParseDataConfig("O=fffff").Filter;
    const int64_t now = start / 1000 + 60;
    THistoryRequest whole { 0, now - 3 * 3600, MaxHistoryCount, "" };
    const auto all = CollectHistory(market, log, filter, whole, now, MaxHistoryCount);
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].Restart, "");
    ASSERT_GT(all[0].Alerts.size(), 600u);
    for (size_t i = 1; i < all[0].Alerts.size(); ++i)
        ASSERT_GE(all[0].Alerts[i - 1].UnixTime, all[0].Alerts[i].UnixTime) << "newest first";

    // 150 a request, in messages of 50: each request but the last brings exactly 150.
    std::vector<TAlert> paged;
    THistoryRequest request { 0, now - 3 * 3600, 150, "" };
    for (int round = 0; round < 100; ++round) {
        const auto messages = CollectHistory(market, log, filter, request, now, 50);
        size_t count = 0;
        for (const auto &m : messages) {
            EXPECT_LE(m.Alerts.size(), 50u);
            count += m.Alerts.size();
            paged.insert(paged.end(), m.Alerts.begin(), m.Alerts.end());
        }
        request.StartId = messages.back().Restart;
        if (request.StartId.empty())
            break;
        EXPECT_EQ(count, 150u);
    }
    ASSERT_EQ(paged.size(), all[0].Alerts.size());
    for (size_t i = 0; i < paged.size(); ++i) {
        EXPECT_EQ(paged[i].Id, all[0].Alerts[i].Id);
        EXPECT_EQ(paged[i].UnixTime, all[0].Alerts[i].UnixTime);
    }
}

TEST(AlertdHistory, RequestTimesAcceptUnixSecondsAndLocalText)
{
    EXPECT_EQ(ParseRequestTime("1700000000"), 1700000000);
    EXPECT_EQ(ParseRequestTime(LocalTimeText(1700000000)), 1700000000);
    EXPECT_EQ(ParseRequestTime(""), 0);
    EXPECT_EQ(ParseRequestTime("soon"), 0);
}

TEST(AlertdReplyXml, EscapesAttributeValuesAndText)
{
    TXmlWriter xml;
    xml.Open("API")
        .Open("STATUS")
        .Attr("WINDOW_NAME", "a<b>&\"c'\x01")
        .Close()
        .Open("T")
        .Text("x<y");
    EXPECT_EQ(xml.Finish(),
        "<API><STATUS WINDOW_NAME=\"a&lt;b&gt;&amp;&quot;c&apos; \"/><T>x&lt;y</T></API>");
}

TEST(AlertdOptions, ParsesFlagsAndRejectsBadOnes)
{
    const TCommandLine ok = ParseCommandLine(
        { "--port", "0", "--rate=250", "--fault", "drop-bytes:100", "--fault", "silent" });
    ASSERT_EQ(ok.Error, "");
    EXPECT_EQ(ok.Options.Port, 0);
    EXPECT_EQ(ok.Options.Rate, 250);
    ASSERT_EQ(ok.Options.Faults.size(), 2u);
    EXPECT_EQ(ok.Options.Faults[0].Kind, TFaultKind::DropAfterBytes);
    EXPECT_EQ(ok.Options.Faults[0].Arg, 100);
    EXPECT_EQ(ok.Options.Faults[1].Arg, 0);
    EXPECT_NE(ParseCommandLine({ "--bogus" }).Error.find("unknown option"), std::string::npos);
    for (const std::vector<std::string> &bad : std::vector<std::vector<std::string>> {
             { "--port", "70000" }, { "--port" }, { "--fault", "drop-bytes" },
             { "--fault", "explode:1" }, { "--max-clients", "0" }, { "--max-buffered-mb", "-1" } })
        EXPECT_NE(ParseCommandLine(bad).Error, "") << bad[0] << " " << bad.back();
    EXPECT_TRUE(ParseCommandLine({ "--help" }).ShowHelp);
    const TServerOptions limits
        = ParseCommandLine({ "--max-clients", "5", "--max-buffered-mb=3" }).Options;
    EXPECT_EQ(limits.MaxClients, 5);
    EXPECT_EQ(limits.MaxBufferedBytes, 3u << 20);
    EXPECT_EQ(TServerOptions().MaxClients, 1000);
}

TEST(AlertdOptions, UsersFileTakesUserPasswordLines)
{
    const auto users = ParseUsers("# accounts\nann:secret\r\n\nbob:pa:ss\n");
    EXPECT_EQ(users.size(), 2u);
    EXPECT_EQ(users.at("ann"), "secret");
    EXPECT_EQ(users.at("bob"), "pa:ss");
    EXPECT_THROW(ParseUsers("nobody\n"), std::runtime_error);
}

} // namespace
