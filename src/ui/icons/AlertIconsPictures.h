#pragma once
// The icon cache as the dialogs' picture source: pictures come from the process-wide cache
// (fetched from the server on first request) and viewers are repainted when one arrives.

#include "dialogs/AlertPictures.h"

namespace kestrova {

// One process-wide object that is never freed, so a dialog that outlives the cache still holds a
// valid source. It asks the cache only while the process-wide session exists (after shutdown it
// has no pictures and repaints nothing).
IAlertPictures &IconCachePictures();

} // namespace kestrova
