#pragma once
// Default endpoints of the service. The host names are a deployment setting; the default server
// is the reference server on this machine, so a library built from source works out of the box.

namespace kestrova {

inline constexpr const char *DefaultServerAddress = "127.0.0.1:8888";
inline constexpr const char *DefaultHelpUrl
    = "http://www.kestrova-alerts.example/ProductHelp.html#";
inline constexpr const char *DefaultWebViewUrl = "http://www.kestrova-alerts.example/View.php?";
inline constexpr const char *DefaultTunnelUrl = "http://tunnel.kestrova-alerts.example/Read.php";

} // namespace kestrova
