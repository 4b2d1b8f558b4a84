#pragma once
// Helpers shared by the GetAlertData units; not for other units.

#include "support/Exceptions.h"
#include "xml/XmlNodes.h"

#include <cstdint>
#include <string>

namespace kestrova::detail {

constexpr double SecondDays = 1.0 / 86400.0;
constexpr double PingIntervalDays = 4.5 * SecondDays;

inline std::string Attribute(const IXmlNode &node, const char *name)
{
    return std::string(node.Attribute(name));
}

// "Exception in <what>:  <class>, <message>", the status text of a reply that failed.
inline std::string ReportText(const char *what, const std::exception &e)
{
    return std::string("Exception in ") + what + ":  " + ExceptionClassName(e) + ", " + e.what();
}

} // namespace kestrova::detail
