#include "session/MachineIdentity.h"

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <fstream>

namespace kestrova {

namespace {
std::string MachineUniqueIdFrom(const std::string &machineIdPath)
{
    std::ifstream file(machineIdPath);
    std::string text;
    if (!file || !std::getline(file, text))
        return "NONE";
    // The first eight hexadecimal digits of the machine id: stable across boots.
    uint32_t value = 0;
    int digits = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            break;
        value = value << 4
            | static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(c))
                    ? c - '0'
                    : (std::tolower(c) - 'a' + 10));
        if (++digits == 8)
            break;
    }
    if (digits == 0)
        return "NONE";
    char out[16];
    std::snprintf(out, sizeof out, "%8" PRIX32, value);
    return out;
}
} // namespace

std::string MachineUniqueId()
{
    static const std::string id = MachineUniqueIdFrom("/etc/machine-id");
    return id;
}

} // namespace kestrova
