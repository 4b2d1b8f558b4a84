#pragma once
// What an alert grid shows, free of widgets and painting: which alert each line shows, the
// write-over cursor, the scroll position kept while alerts arrive, the window name, and the
// plain text of a cell.

#include "grid/AlertGridsTypes.h"
#include "session/AlertRecord.h"
#include "support/Clock.h"

#include <cstdint>
#include <string>

namespace kestrova {

// The state that decides which alert a line shows.
struct TLineMap
{
    int Direction = adDown;
    int ViewMode = vmNewestFirst;
    int Count = 0; // alerts in the list
    int Visible = 1; // data lines shown whole (write-over only; at least 1)
    int Cursor = 1; // write cursor (write-over only)
};

// The alert index shown on a line: a row in the vertical directions, a column in the
// horizontal ones. -1 for the header line (0), the write-over separator and an unknown
// direction; an index outside the list means an empty line.
int AlertIndexOnLine(const TLineMap &map, int line);

// The write cursor after a reset: Down and Right start at the last visible line, Up and Left
// at 1.
int ResetWriteCursor(int direction, int visible);
// The write cursor after n new alerts.
int AdvanceWriteCursor(int direction, int cursor, int n, int visible);

// The scroll position: how many alerts lie between the newest end of the list and the view
// (0 = the view shows the newest). firstLine is the top row or left column, visible the data
// lines shown whole. An unknown direction raises Exception("Internal Error").
int ScrollPosition(int direction, int count, int firstLine, int visible);
// The top row or left column that shows scroll position p (negative counts as 0).
int FirstLineForPosition(int direction, int count, int visible, int p);

// The name shown to the host for a history state (0 live, 1 loading, 2 more available,
// 3 complete).
std::string WindowNameFor(int historyState, const std::string &baseName);

// Text of one alert's cell of a data type as plain text (empty when the type shows nothing).
// now: server time, for the age.
std::string PlainCellText(const TAlertRecord &alert, int type, TDateTime now);
// Right-aligned types (numbers) in the vertical directions.
bool IsRightAligned(int type);
// The description line for a clicked alert: symbol, " at ", the time in the most complete
// display format, ":  ", the description.
std::string DescriptionLine(const TAlertRecord &alert);

} // namespace kestrova
