#pragma once
// Library-wide names of the backtest feature, set at library start-up and read by the alert
// panel's hint, the backtest window's caption and each backtest request. They are kept by the
// process's shared defaults (session/TimeDefaults.h). GUI thread only.

#include <string>

namespace kestrova {

// The display name of the backtest feature ("Quorix" until start-up changes it).
std::string &BacktestFeatureName();
// The wording value sent with each backtest request (empty until start-up sets it).
std::string &BacktestWording();

} // namespace kestrova
