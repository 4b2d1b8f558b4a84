#include "session/BacktestNames.h"

namespace kestrova {

std::string &BacktestFeatureName()
{
    static std::string name = "Quorix";
    return name;
}

std::string &BacktestWording()
{
    static std::string wording;
    return wording;
}

} // namespace kestrova
