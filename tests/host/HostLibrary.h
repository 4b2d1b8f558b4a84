#pragma once
// The library as a host meets it: libKestrovaAlerts.so loaded with dlopen and its functions looked
// up by name through the public header's declarations. Loaded once per process and never
// unloaded (its exit handlers stay registered).

#include "kestrova/KestrovaAlerts.h"

#include <dlfcn.h>
#include <string>

namespace kvhost {

#define KV_HOST_FUNCTIONS(X)                                                                       \
    X(KV_ProcessMessages)                                                                          \
    X(KV_SetTcpIpServerAddress)                                                                    \
    X(KV_SetUsernameAndPassword)                                                                   \
    X(KV_CreateAlertWindow)                                                                        \
    X(KV_CreateStatusWindow)                                                                       \
    X(KV_ReleaseWindow)                                                                            \
    X(KV_SetWindowPosition)                                                                        \
    X(KV_GetDataConfig)                                                                            \
    X(KV_GetWindowConfig)                                                                          \
    X(KV_SetDataConfig)                                                                            \
    X(KV_SetWindowConfig)                                                                          \
    X(KV_GetWindowName)                                                                            \
    X(KV_SimulateMenuClick)                                                                        \
    X(KV_SimulateQuorixClick)                                                                      \
    X(KV_AddCustomMenuItem)                                                                        \
    X(KV_SetCustomMenuCallback)                                                                    \
    X(KV_SetAlertSelectedCallback)                                                                 \
    X(KV_SetEachAlertCallback)                                                                     \
    X(KV_SetWindowNameCallback)                                                                    \
    X(KV_SetQuorixStartCallback)                                                                   \
    X(KV_GetCallbackWindow)                                                                        \
    X(KV_GetCallbackMenuCaption)                                                                   \
    X(KV_GetCallbackMenuId)                                                                        \
    X(KV_GetCallbackAlertSymbol)                                                                   \
    X(KV_GetCallbackAlertType)                                                                     \
    X(KV_GetCallbackAlertTimeStamp)                                                                \
    X(KV_GetCallbackAlertDescription)                                                              \
    X(KV_GetCallbackAlertQuality)                                                                  \
    X(KV_GetCallbackAlertRelVol)                                                                   \
    X(KV_GetDiagnostics)                                                                           \
    X(KV_SetListName)                                                                              \
    X(KV_AddSymbolToList)                                                                          \
    X(KV_RequestListOfLists)                                                                       \
    X(KV_SetListOfListsCallback)                                                                   \
    X(KV_ReadListOfLists)

struct HostLibrary
{
#define KV_HOST_MEMBER(name) decltype(&::name) name = nullptr;
    KV_HOST_FUNCTIONS(KV_HOST_MEMBER)
#undef KV_HOST_MEMBER
    std::string Error; // empty once every function was found
};

// The process's copy of the library; Error says what went wrong.
inline const HostLibrary &Kv()
{
    static const HostLibrary library = [] {
        HostLibrary l;
        void *handle
            = dlopen(KV_LIB_DIR "/libKestrovaAlerts.so", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (!handle) {
            l.Error = dlerror();
            return l;
        }
#define KV_HOST_LOOKUP(name)                                                                       \
    l.name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name));                            \
    if (!l.name)                                                                                   \
        l.Error += #name " ";
        KV_HOST_FUNCTIONS(KV_HOST_LOOKUP)
#undef KV_HOST_LOOKUP
        return l;
    }();
    return library;
}

} // namespace kvhost
