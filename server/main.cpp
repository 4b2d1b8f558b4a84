// kestrova-alertd: the reference alert server. See --help.

#include "AlertServer.h"
#include "ServerOptions.h"
#include "ServerState.h"
#include "StopSignalWatch.h"
#include "SymbolListStore.h"
#include "TunnelServer.h"
#include "kestrova/KestrovaAlerts.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

using namespace kestrova::alertd;

namespace {
void LogToStderr(const std::string &text)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz"));
    std::fprintf(stderr, "%s %s\n", stamp.toUtf8().constData(), text.c_str());
    std::fflush(stderr);
}
} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    const TCommandLine commandLine = ParseCommandLine(args);
    if (commandLine.ShowHelp) {
        std::cout << UsageText();
        return 0;
    }
    if (commandLine.ShowVersion) {
        std::cout << "kestrova-alertd " KV_VERSION_STRING "\n";
        return 0;
    }
    if (!commandLine.Error.empty()) {
        std::cerr << "kestrova-alertd: " << commandLine.Error << "\n"
                  << "Try 'kestrova-alertd --help'.\n";
        return 2;
    }
    QCoreApplication app(argc, argv);
    TServerOptions options = commandLine.Options;
    try {
        if (options.DataDir.empty())
            options.DataDir = DefaultDataDir();
        if (!QDir().mkpath(QString::fromStdString(options.DataDir)))
            throw std::runtime_error("cannot create data directory " + options.DataDir);
        auto lists = std::make_unique<TSymbolListStore>(options.DataDir + "/symbol-lists.sqlite");
        TServerState state(
            options, [] { return QDateTime::currentMSecsSinceEpoch(); }, std::move(lists));
        state.LogLine = LogToStderr;
        if (!options.UsersFile.empty()) {
            std::ifstream file(options.UsersFile);
            if (!file) {
                std::cerr << "kestrova-alertd: cannot read users file " << options.UsersFile
                          << "\n";
                return 2;
            }
            std::stringstream text;
            text << file.rdbuf();
            state.SetUsers(ParseUsers(text.str()));
        }

        TStopSignalWatch stopSignals;
        if (!stopSignals.Install([] {
                LogToStderr("signal received, stopping");
                QCoreApplication::quit();
            }))
            throw std::runtime_error("socketpair failed");

        TAlertServer server(state);
        if (!server.Start()) {
            std::cerr << "kestrova-alertd: cannot listen on " << options.ListenAddress << ":"
                      << options.Port << ": " << server.Error().toStdString() << "\n";
            return 1;
        }
        std::unique_ptr<TTunnelServer> tunnel;
        if (options.HttpPort >= 0) {
            tunnel = std::make_unique<TTunnelServer>(state);
            if (!tunnel->Start(options.ListenAddress, options.HttpPort)) {
                std::cerr << "kestrova-alertd: cannot serve the tunnel on " << options.ListenAddress
                          << ":" << options.HttpPort << ": " << tunnel->Error() << "\n";
                return 1;
            }
        }
        std::printf("listening on %s:%u\n", server.Address().toUtf8().constData(), server.Port());
        if (tunnel)
            std::printf("%s\n", tunnel->ReaderUrl().c_str());
        std::fflush(stdout);
        LogToStderr("seed " + std::to_string(options.Seed) + ", " + std::to_string(options.Rate)
            + " alerts/s, data in " + options.DataDir);
        const int rc = app.exec();
        LogToStderr("stopped");
        return rc;
    } catch (const std::exception &e) {
        std::cerr << "kestrova-alertd: " << e.what() << "\n";
        return 1;
    }
}
