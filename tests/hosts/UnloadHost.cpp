// kv_unload_host LIBRARY [--qt-app]: a host that loads the library, uses it and unloads it, twice,
// then ends its own Qt application if it made one (--qt-app: made before the library is loaded).
// It logs a Qt warning of its own while the library is loaded, and says on stdout per round:
//   round N: version V, qt message in log: yes|no, unloaded: yes|no
// Exit status 0, or 1 when the library cannot be loaded.

#include "kestrova/KestrovaAlerts.h"

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Lines;

void OnLine(int, const char *line)
{
    Lines.emplace_back(line);
}

template<typename F>
F Resolve(void *library, const char *name)
{
    return reinterpret_cast<F>(dlsym(library, name));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return 1;
    const std::string path = argv[1];
    std::unique_ptr<QApplication> app;
    if (argc > 2 && std::strcmp(argv[2], "--qt-app") == 0)
        app = std::make_unique<QApplication>(argc, argv);

    for (int round = 0; round < 2; ++round) {
        void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            std::fprintf(stderr, "kv_unload_host: %s\n", dlerror());
            return 1;
        }
        const auto version = Resolve<decltype(&KV_GetVersion)>(library, "KV_GetVersion");
        Resolve<decltype(&KV_SetLogCallback)>(library, "KV_SetLogCallback")(OnLine);
        Resolve<decltype(&KV_SetTcpIpServerAddress)>(library, "KV_SetTcpIpServerAddress")(
            "127.0.0.1:1");
        // Work for the server: a link is made (and refused) before the library goes.
        Resolve<decltype(&KV_AddSymbolToList)>(library, "KV_AddSymbolToList")(1, "abc");
        const auto process = Resolve<decltype(&KV_ProcessMessages)>(library, "KV_ProcessMessages");
        process(200);
        const std::string marker = "unload host message " + std::to_string(round);
        qWarning("%s", marker.c_str());
        process(0);
        const bool seen = std::any_of(Lines.begin(), Lines.end(),
            [&](const std::string &line) { return line.find(marker) != std::string::npos; });
        const std::string versionText = version();
        dlclose(library);
        void *again = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        std::printf("round %d: version %s, qt message in log: %s, unloaded: %s\n", round,
            versionText.c_str(), seen ? "yes" : "no", again ? "no" : "yes");
        std::fflush(stdout);
        if (again)
            dlclose(again);
    }
    if (app) {
        QTimer::singleShot(0, app.get(), &QApplication::quit);
        app->exec();
        app.reset(); // runs Qt's post routines: none may point into the unloaded library
        std::puts("application ended");
    }
    return 0;
}
