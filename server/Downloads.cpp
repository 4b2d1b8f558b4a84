#include "Downloads.h"

#include "AlertCatalogue.h"
#include "GifWriter.h"
#include "ReplyXml.h"
#include "support/UrlEncoding.h"

#include <algorithm>
#include <cstdio>

namespace kestrova::alertd {

namespace {
struct TTexture
{
    const char *Name;
    uint32_t Light, Dark;
};
constexpr TTexture Textures[] = {
    { "Paper", 0xF4EFE1, 0xE6DDC6 },
    { "Slate", 0x3A4550, 0x2E3740 },
    { "Mint", 0xE3F6EA, 0xCDEBD8 },
};

bool EqualsNoCase(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x))
            == std::tolower(static_cast<unsigned char>(y));
    });
}

// The name without a ".gif" suffix (any case); empty when the suffix is missing.
std::string GifStem(const std::string &file)
{
    if (file.size() <= 4 || !EqualsNoCase(file.substr(file.size() - 4), ".gif"))
        return {};
    return file.substr(0, file.size() - 4);
}

uint32_t DirectionColor(TDirection direction)
{
    switch (direction) {
    case TDirection::Up:
        return 0x1E8C3A;
    case TDirection::Down:
        return 0xC0392B;
    case TDirection::Neutral:
        break;
    }
    return 0x2C5AA0;
}

std::string Hex(uint32_t rgb)
{
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "#%06X", rgb & 0xFFFFFF);
    return buffer;
}

// Draws a price path scaled into the picture, green when it ends higher than it started.
std::string ChartGif(const std::vector<double> &prices, int width, int height)
{
    TPixmap pixmap(width, height, 0xFFFFFF);
    if (prices.size() < 2)
        return EncodeGif(pixmap);
    const auto [lo, hi] = std::minmax_element(prices.begin(), prices.end());
    const double range = std::max(*hi - *lo, 1e-9);
    const uint32_t color = prices.back() >= prices.front() ? 0x1E8C3A : 0xC0392B;
    pixmap.Line(0, height - 1, width - 1, height - 1, 0xC8C8C8);
    auto y
        = [&](double p) { return height - 2 - static_cast<int>((p - *lo) / range * (height - 3)); };
    auto x = [&](size_t i) { return static_cast<int>(i * (width - 1) / (prices.size() - 1)); };
    for (size_t i = 1; i < prices.size(); ++i)
        pixmap.Line(x(i - 1), y(prices[i - 1]), x(i), y(prices[i]), color);
    return EncodeGif(pixmap);
}
} // namespace

std::string GeneralInfoDocument()
{
    const auto &types = AlertTypes();
    TXmlWriter xml;
    xml.Open("GENERAL_INFO").Open("FORMATTING");
    // Scheme 1: coloured text; scheme 2: coloured backgrounds; scheme 3: a textured background.
    xml.Open("LIST_1").Attr("SHORT_NAME", "Classic");
    for (const auto &t : types)
        xml.Open(t.Code).Attr("FG_COLOR", Hex(DirectionColor(t.Direction))).Close();
    xml.Close();
    xml.Open("LIST_2").Attr("SHORT_NAME", "Bold colors");
    for (const auto &t : types)
        xml.Open(t.Code)
            .Attr("FG_COLOR", "#FFFFFF")
            .Attr("BG_COLOR", Hex(DirectionColor(t.Direction)))
            .Attr("BOLD", t.QualityName.empty() ? "0" : "1")
            .Close();
    xml.Close();
    xml.Open("LIST_3").Attr("SHORT_NAME", "Paper");
    for (const auto &t : types)
        xml.Open(t.Code)
            .Attr("FG_COLOR", Hex(DirectionColor(t.Direction)))
            .Attr("BG_IMAGE", "Texture/Paper.gif")
            .Close();
    xml.Close();
    xml.Close(); // FORMATTING
    xml.Open("QUALITY");
    for (const auto &t : types)
        if (!t.QualityFormat.empty())
            xml.Open(t.Code).Attr("FORMAT", t.QualityFormat).Close();
    xml.Close();
    xml.Open("CHART_TIME").Text(std::to_string(ChartRefreshSeconds)).Close();
    return xml.Finish();
}

std::string AlertIconGif(int type)
{
    const TAlertTypeInfo &info = AlertTypes().at(static_cast<size_t>(type));
    const uint32_t color = DirectionColor(info.Direction);
    TPixmap pixmap(40, 20, 0xFFFFFF);
    pixmap.FillRect(1, 1, 38, 18, color);
    // An arrow for the direction, then the code.
    const int mid = 10;
    if (info.Direction == TDirection::Up)
        for (int i = 0; i < 5; ++i)
            pixmap.Line(5 - i, mid - 3 + i, 5 + i, mid - 3 + i, 0xFFFFFF);
    else if (info.Direction == TDirection::Down)
        for (int i = 0; i < 5; ++i)
            pixmap.Line(5 - i, mid + 2 - i, 5 + i, mid + 2 - i, 0xFFFFFF);
    else
        pixmap.FillRect(3, mid - 2, 5, 5, 0xFFFFFF);
    pixmap.DrawText(12 + (26 - TPixmap::TextWidth(info.Code)) / 2, 8, info.Code, 0xFFFFFF);
    return EncodeGif(pixmap);
}

std::string FilterIconGif(int filter)
{
    const TFilterInfo &info = WindowFilters().at(static_cast<size_t>(filter));
    TPixmap pixmap(40, 20, 0xF0F0F0);
    pixmap.Line(0, 0, 39, 0, 0x808080);
    pixmap.Line(0, 19, 39, 19, 0x808080);
    pixmap.Line(0, 0, 0, 19, 0x808080);
    pixmap.Line(39, 0, 39, 19, 0x808080);
    const std::string label = info.Kind == TFilterKind::YesNo ? info.Name.substr(0, 2) + "?"
                                                              : (info.IsMinimum ? ">" : "<")
            + std::string(1, info.Name[3]) + std::string(info.Name.substr(4, 1));
    std::string text = label;
    std::transform(text.begin(), text.end(), text.begin(), ::toupper);
    pixmap.DrawText((40 - TPixmap::TextWidth(text)) / 2, 8, text, 0x203040);
    return EncodeGif(pixmap);
}

std::string TextureGif(const std::string &name)
{
    for (const auto &t : Textures) {
        if (!EqualsNoCase(name, t.Name))
            continue;
        TPixmap pixmap(32, 32, t.Light);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                if ((x * 7 + y * 13) % 11 == 0 || (x + y) % 16 == 0)
                    pixmap.Set(x, y, t.Dark);
        return EncodeGif(pixmap);
    }
    return {};
}

std::string WeeklyChartGif(const TMarket &market, int symbol)
{
    // One point per week over a year, from the daily closes.
    const std::vector<double> closes = market.DailyCloses(symbol);
    std::vector<double> weekly;
    for (size_t i = closes.size() % 5; i < closes.size(); i += 5)
        weekly.push_back(closes[i]);
    weekly.push_back(closes.back());
    if (weekly.size() > 53)
        weekly.erase(weekly.begin(), weekly.end() - 53);
    return ChartGif(weekly, 53, 20);
}

std::string DailyChartGif(const TMarket &market, int symbol)
{
    return ChartGif(market.Intraday(symbol), 66, 20);
}

std::string Download(const TMarket &market, const std::string &location, const std::string &file)
{
    if (EqualsNoCase(location, "/Misc/"))
        return EqualsNoCase(file, "GeneralInfo.xml") ? GeneralInfoDocument() : std::string();
    const std::string stem = GifStem(file);
    if (stem.empty())
        return {};
    if (EqualsNoCase(location, "/Alerts/")) {
        const int type = FindAlertType(stem);
        return type < 0 ? std::string() : AlertIconGif(type);
    }
    if (EqualsNoCase(location, "/Filters/")) {
        const int filter = FindWindowFilter(stem);
        return filter < 0 ? std::string() : FilterIconGif(filter);
    }
    if (EqualsNoCase(location, "/Texture/"))
        return TextureGif(stem);
    if (EqualsNoCase(location, "/GifCharts/") && stem.size() > 2 && stem[1] == '_') {
        std::string symbolName = FileNameDecode(stem.substr(2));
        std::transform(symbolName.begin(), symbolName.end(), symbolName.begin(), ::toupper);
        const int symbol = market.FindSymbol(symbolName);
        if (symbol < 0)
            return {};
        if (stem[0] == 'W' || stem[0] == 'w')
            return WeeklyChartGif(market, symbol);
        if (stem[0] == 'D' || stem[0] == 'd')
            return DailyChartGif(market, symbol);
    }
    return {};
}

TDownloadAnswer AnswerDownload(const TMarket &market, const std::vector<TFault> &faults,
    double elapsedSeconds, const std::string &location, const std::string &file)
{
    TDownloadAnswer answer;
    bool badGif = false;
    for (const TFault &fault : faults) {
        if (elapsedSeconds < fault.Arg)
            continue;
        if (fault.Kind == TFaultKind::DownloadFail) {
            answer.Fault = fault.Kind;
            return answer;
        }
        badGif = badGif || fault.Kind == TFaultKind::BadGif;
    }
    answer.Body = Download(market, location, file);
    if (badGif && !answer.Body.empty() && !GifStem(file).empty()) {
        answer.Body = "this is not a picture";
        answer.Fault = TFaultKind::BadGif;
    }
    return answer;
}

std::string FileNameDecode(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        int high = -1, low = -1;
        if (text[i] == '_' && i + 2 < text.size()) {
            high = HexDigitValue(text[i + 1]);
            low = HexDigitValue(text[i + 2]);
        }
        if (high >= 0 && low >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace kestrova::alertd
