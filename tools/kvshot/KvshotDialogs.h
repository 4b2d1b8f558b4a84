#pragma once
// kvshot's dialog scenes (see KvshotDialogs.cpp).

#include <functional>
#include <string>

namespace kestrova {
class TAlertPanel;
}

// Saves <out>/dialog-*.png and <out>/backtest-*.png of the window; calls done when finished
// (within about ten seconds on the reference server's default backtest pace).
void ShootDialogs(kestrova::TAlertPanel &panel, const std::string &out, std::function<void()> done);
