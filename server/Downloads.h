#pragma once
// The files a client may download: the general-info document, alert-type icons (40 x 20),
// textures, weekly (53 x 20) and daily (66 x 20) charts drawn from the simulated prices, and
// filter icons. An unknown file gives an empty body.

#include "Market.h"

#include <string>

namespace kestrova::alertd {

// Seconds after which clients refresh their charts.
constexpr int ChartRefreshSeconds = 300;

std::string Download(const TMarket &market, const std::string &location, const std::string &file);

std::string GeneralInfoDocument();
std::string AlertIconGif(int type);
std::string FilterIconGif(int filter);
std::string TextureGif(const std::string &name); // empty when unknown
std::string WeeklyChartGif(const TMarket &market, int symbol);
std::string DailyChartGif(const TMarket &market, int symbol);

} // namespace kestrova::alertd
