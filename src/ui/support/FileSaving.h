#pragma once
// Writing a whole file at the user's request: the bytes go to a temporary file beside the
// target, every write is checked, and the target is replaced only once all of them succeeded,
// so a failed save leaves an existing file as it was.

#include "support/Exceptions.h"

#include <string>

namespace kestrova {

// A file that could not be written; the message names the file and the reason.
KV_DECLARE_EXCEPTION(EInOutError, Exception);

// Replaces fileName with bytes; raises EInOutError when any step fails (nothing is left behind
// then: no partial target, no temporary file).
void SaveFileContents(const std::string &fileName, const std::string &bytes);

} // namespace kestrova
