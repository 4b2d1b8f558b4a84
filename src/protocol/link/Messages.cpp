#include "link/Messages.h"

namespace kestrova {

bool IsEmptyMessage(const TMessageToServer &message)
{
    for (const auto &field : message)
        if (!field.Key.empty())
            return false;
    return true;
}

} // namespace kestrova
