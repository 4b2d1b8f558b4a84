#pragma once
// The library's functions this host uses, looked up by name after dlopen; their types come from
// the public header. The host links Qt but none of the library's code.

#include "kestrova/KestrovaAlerts.h"

#include <string>

#define QT_HOST_FUNCTIONS(X)                                                                       \
    X(GetVersion)                                                                                  \
    X(SetTcpIpServerAddress)                                                                       \
    X(SetUsernameAndPassword)                                                                      \
    X(CreateAlertWindow)                                                                           \
    X(CreateStatusWindow)                                                                          \
    X(ReleaseWindow)                                                                               \
    X(SetWindowPosition)                                                                           \
    X(SetDataConfig)                                                                               \
    X(SetWindowConfig)                                                                             \
    X(GetWindowName)                                                                               \
    X(SimulateMenuClick)                                                                           \
    X(AddCustomMenuItem)                                                                           \
    X(SetCustomMenuCallback)                                                                       \
    X(SetAlertSelectedCallback)                                                                    \
    X(SetEachAlertCallback)                                                                        \
    X(SetWindowNameCallback)                                                                       \
    X(SetQuorixStartCallback)                                                                      \
    X(GetCallbackWindow)                                                                           \
    X(GetCallbackMenuCaption)                                                                      \
    X(GetCallbackMenuId)                                                                           \
    X(GetCallbackAlertSymbol)                                                                      \
    X(GetCallbackAlertType)                                                                        \
    X(GetCallbackAlertTimeStamp)                                                                   \
    X(GetCallbackAlertDescription)

struct KvLibrary
{
#define QT_HOST_MEMBER(name) decltype(&::KV_##name) name = nullptr;
    QT_HOST_FUNCTIONS(QT_HOST_MEMBER)
#undef QT_HOST_MEMBER
};

// Loads the library at path; false with a reason when it or one of its functions is missing.
bool LoadKvLibrary(const std::string &path, KvLibrary &library, std::string &error);
