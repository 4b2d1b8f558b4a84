// The server's downloads (GIF pictures, general info) and its symbol-list database.

#include "AlertCatalogue.h"
#include "Downloads.h"
#include "GifWriter.h"
#include "Market.h"
#include "SymbolListStore.h"

#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace kestrova::alertd;

namespace {

QImage Decode(const std::string &gif)
{
    QImage image;
    image.loadFromData(
        reinterpret_cast<const uchar *>(gif.data()), static_cast<int>(gif.size()), "GIF");
    return image;
}

TEST(AlertdDownloads, PicturesDecodeAtTheirSizesWithTheirColours)
{
    TPixmap pixmap(5, 3, 0xFFFFFF);
    pixmap.Set(1, 1, 0xFF0000);
    const QImage image = Decode(EncodeGif(pixmap));
    ASSERT_EQ(image.size(), QSize(5, 3));
    EXPECT_EQ(image.pixel(1, 1) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(image.pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);

    const TMarket market(1, 30, 1700000000000);
    const std::string symbol = market.SymbolName(2);
    const std::pair<std::pair<const char *, std::string>, QSize> files[] = {
        { { "/Alerts/", "NH.gif" }, QSize(40, 20) },
        { { "/Filters/", "MinPrice.gif" }, QSize(40, 20) },
        { { "/Texture/", "Paper.gif" }, QSize(32, 32) },
        { { "/GifCharts/", "W_" + symbol + ".gif" }, QSize(53, 20) },
        { { "/GifCharts/", "D_" + symbol + ".gif" }, QSize(66, 20) },
    };
    for (const auto &[file, size] : files)
        EXPECT_EQ(Decode(Download(market, file.first, file.second)).size(), size) << file.second;
    for (const auto &type : AlertTypes())
        EXPECT_FALSE(Decode(AlertIconGif(FindAlertType(type.Code))).isNull()) << type.Code;
}

TEST(AlertdDownloads, UnknownFilesAreEmptyAndGeneralInfoCarriesSchemes)
{
    const TMarket market(1, 30, 1700000000000);
    EXPECT_EQ(Download(market, "/Alerts/", "NOPE.gif"), "");
    EXPECT_EQ(Download(market, "/Alerts/", "NH.png"), "");
    EXPECT_EQ(Download(market, "/GifCharts/", "W_NOSUCHSYMBOL.gif"), "");
    EXPECT_EQ(Download(market, "/Secret/", "x.gif"), "");
    const std::string info = Download(market, "/Misc/", "GeneralInfo.xml");
    for (const char *part : { "<FORMATTING>", "<LIST_1 SHORT_NAME=", "<LIST_2 ",
             "BG_IMAGE=", "<QUALITY>", "FORMAT=", "<CHART_TIME>300</CHART_TIME>" })
        EXPECT_NE(info.find(part), std::string::npos) << part;
}

TEST(AlertdDownloads, ChartNamesAreDecodedAndDownloadFaultsShapeTheAnswer)
{
    const TMarket market(1, 30, 1700000000000);
    const std::string symbol = market.SymbolName(3);
    std::string escaped; // every letter as its "_XX" escape, as a client may send it
    for (char c : symbol)
        escaped += "_" + QByteArray(1, c).toHex().toUpper().toStdString();
    EXPECT_EQ(FileNameDecode(escaped), symbol);
    EXPECT_EQ(FileNameDecode("A_2DB_5F_2"), "A-B__2") << "a cut escape stays as it is";
    EXPECT_EQ(Download(market, "/GifCharts/", "D_" + escaped + ".gif"),
        Download(market, "/GifCharts/", "D_" + symbol + ".gif"));

    std::string error;
    const std::vector<TFault> badGif { *ParseFault("bad-gif:5", error) };
    EXPECT_EQ(AnswerDownload(market, badGif, 1, "/Alerts/", "NH.gif").Body,
        AlertIconGif(FindAlertType("NH")));
    const TDownloadAnswer bad = AnswerDownload(market, badGif, 5, "/Alerts/", "NH.gif");
    EXPECT_EQ(bad.Fault, TFaultKind::BadGif);
    EXPECT_TRUE(Decode(bad.Body).isNull());
    EXPECT_FALSE(AnswerDownload(market, badGif, 9, "/Misc/", "GeneralInfo.xml").Fault);
    EXPECT_FALSE(AnswerDownload(market, badGif, 9, "/Alerts/", "NOPE.gif").Fault)
        << "a missing picture stays missing";
    const std::vector<TFault> fail { *ParseFault("download-fail", error) };
    EXPECT_EQ(
        AnswerDownload(market, fail, 0, "/Alerts/", "NH.gif").Fault, TFaultKind::DownloadFail);
}

TEST(AlertdSymbolLists, UpdatesApplyInOrderAndPersistAcrossReopening)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("lists.sqlite").toStdString();
    {
        TSymbolListStore store(path);
        store.Update("ann",
            { 1, "Tech", false, false, TSymbolListStore::SplitSymbols(" abc\nDEF\r\n\n"), {} });
        store.Update("ann", { 1, "", false, false, { "GHI" }, { "ABC" } });
        store.Update("ann", { 2, "Gone", false, false, { "X" }, {} });
        store.Update("ann", { 2, "", true, false, {}, {} });
        store.Update("bob", { 1, "Bob's", false, false, { "Z" }, {} });
    }
    TSymbolListStore store(path);
    const auto lists = store.Lists("ann");
    ASSERT_EQ(lists.size(), 1u);
    EXPECT_EQ(lists[0].Id, 1);
    EXPECT_EQ(lists[0].Name, "Tech") << "an empty name keeps the stored one";
    EXPECT_EQ(store.Symbols("ann", 1), (std::set<std::string> { "DEF", "GHI" }));
    store.Update("ann", { 1, "Tech", false, true, { "NEW" }, {} });
    EXPECT_EQ(store.Symbols("ann", 1), std::set<std::string> { "NEW" });
    store.DeleteAll("ann");
    EXPECT_TRUE(store.Lists("ann").empty());
    EXPECT_EQ(store.Lists("bob").size(), 1u) << "accounts are separate";
}

} // namespace
