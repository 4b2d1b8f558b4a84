#pragma once
// The files a client may download: the general-info document, alert-type icons (40 x 20),
// textures, weekly (53 x 20) and daily (66 x 20) charts drawn from the simulated prices, and
// filter icons. An unknown file gives an empty body.

#include "Faults.h"
#include "Market.h"

#include <optional>
#include <string>
#include <vector>

namespace kestrova::alertd {

// Seconds after which clients refresh their charts.
constexpr int ChartRefreshSeconds = 300;

std::string Download(const TMarket &market, const std::string &location, const std::string &file);

// How a download request is answered once the faults in force (those due elapsedSeconds after
// the connection opened) are applied.
struct TDownloadAnswer
{
    std::string Body;
    std::optional<TFaultKind> Fault; // the fault that shaped the answer, if any
};
TDownloadAnswer AnswerDownload(const TMarket &market, const std::vector<TFault> &faults,
    double elapsedSeconds, const std::string &location, const std::string &file);

// Undoes a client's file-name encoding of a symbol: "_XX" (two hex digits) is that byte.
std::string FileNameDecode(const std::string &text);

std::string GeneralInfoDocument();
std::string AlertIconGif(int type);
std::string FilterIconGif(int filter);
std::string TextureGif(const std::string &name); // empty when unknown
std::string WeeklyChartGif(const TMarket &market, int symbol);
std::string DailyChartGif(const TMarket &market, int symbol);

} // namespace kestrova::alertd
