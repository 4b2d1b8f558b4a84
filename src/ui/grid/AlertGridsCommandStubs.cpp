// Placeholders for the grid's dialog commands, saving and backtest button, so that the menu
// links before those commands are written. Each does nothing.

#include "grid/AlertGrids.h"

namespace kestrova {

void TAlertGrid::ConfigureClicked() { }
void TAlertGrid::CollaborateClicked() { }
void TAlertGrid::TimeFrameClicked() { }
void TAlertGrid::SaveContentsClicked() { }
void TAlertGrid::SaveQuorixResultsClicked() { }
void TAlertGrid::QuorixButtonClicked() { }

} // namespace kestrova
