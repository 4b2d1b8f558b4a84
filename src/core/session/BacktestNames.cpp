#include "session/BacktestNames.h"

#include "session/TimeDefaults.h"

namespace kestrova {

std::string &BacktestFeatureName()
{
    return SharedDefaults().BacktestFeatureName;
}

std::string &BacktestWording()
{
    return SharedDefaults().BacktestWording;
}

} // namespace kestrova
