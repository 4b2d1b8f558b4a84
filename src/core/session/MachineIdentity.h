#pragma once
// The login identity of this machine.

#include <string>

namespace kestrova {

// A stable 32-bit value read from /etc/machine-id, as eight upper-case hexadecimal digits
// (right-aligned, blank-padded), or "NONE" when it cannot be read.
std::string MachineUniqueId();

} // namespace kestrova
