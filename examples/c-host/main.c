/* c-host: a plain C host of libKestrovaAlerts.so.
 *
 * Loads the library with dlopen, points it at an alert server with a user and password, edits
 * symbol lists, asks for the list of lists and prints it from the callback, pumping
 * KV_ProcessMessages in between (this host has no Qt or GLib loop of its own).
 *
 *   c-host [--lib PATH] [--settle-ms N] [--timeout-ms N] [--linger-ms N] SERVER USER PASSWORD
 *          [EDIT...]
 *   c-host [--lib PATH] --version | --help
 *
 * After the edits it pumps for the settle time (default 1000 ms: the library sends a list's
 * edits made while an update is in flight once that update is answered), then requests the list
 * of lists and waits for it up to the time-out (default 10000 ms), then keeps pumping for the
 * linger time (default 0: edits still unanswered when the host stops are lost).
 *
 * Edits run in order:
 *   name:ID:TEXT   KV_SetListName(ID, TEXT, 1)      add:ID:SYMBOL  KV_AddSymbolToList
 *   del:ID:SYMBOL  KV_DeleteSymbolFromList          droplist:ID    KV_DeleteList
 *   temp:SYMBOL    KV_AddToTempList                 cleartemp      KV_ClearTempList
 *   sendtemp:ID    KV_SendTempList                  deleteall      KV_DeleteAllLists
 *   wait:MS        pump the library's events for MS milliseconds
 * Without edits it names list 1 "Example" and adds two symbols to it.
 *
 * Output: one line "list ID NAME" per list, then "lists: N". Exit status 0 when the list of lists
 * arrived, 1 on bad arguments or a library that cannot be loaded, 2 on time-out. */

#define _GNU_SOURCE
#include "kestrova/KestrovaAlerts.h"

#include <dlfcn.h>
#include <libgen.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

/* The library's functions, resolved by name; their types come from the header. */
static struct
{
    __typeof__(&KV_ProcessMessages) ProcessMessages;
    __typeof__(&KV_SetTcpIpServerAddress) SetTcpIpServerAddress;
    __typeof__(&KV_SetUsernameAndPassword) SetUsernameAndPassword;
    __typeof__(&KV_SetListName) SetListName;
    __typeof__(&KV_AddSymbolToList) AddSymbolToList;
    __typeof__(&KV_DeleteSymbolFromList) DeleteSymbolFromList;
    __typeof__(&KV_DeleteList) DeleteList;
    __typeof__(&KV_AddToTempList) AddToTempList;
    __typeof__(&KV_ClearTempList) ClearTempList;
    __typeof__(&KV_SendTempList) SendTempList;
    __typeof__(&KV_DeleteAllLists) DeleteAllLists;
    __typeof__(&KV_RequestListOfLists) RequestListOfLists;
    __typeof__(&KV_SetListOfListsCallback) SetListOfListsCallback;
    __typeof__(&KV_ReadListOfLists) ReadListOfLists;
} kv;

static int listsArrived = 0;

static void *Resolve(void *library, const char *name)
{
    void *symbol = dlsym(library, name);
    if (!symbol)
        fprintf(stderr, "c-host: %s not found in the library\n", name);
    return symbol;
}

static int LoadLibrary(void *library)
{
#define KV_RESOLVE(field) (kv.field = (__typeof__(kv.field))Resolve(library, "KV_" #field))
    return KV_RESOLVE(ProcessMessages) && KV_RESOLVE(SetTcpIpServerAddress)
        && KV_RESOLVE(SetUsernameAndPassword) && KV_RESOLVE(SetListName)
        && KV_RESOLVE(AddSymbolToList) && KV_RESOLVE(DeleteSymbolFromList) && KV_RESOLVE(DeleteList)
        && KV_RESOLVE(AddToTempList) && KV_RESOLVE(ClearTempList) && KV_RESOLVE(SendTempList)
        && KV_RESOLVE(DeleteAllLists) && KV_RESOLVE(RequestListOfLists)
        && KV_RESOLVE(SetListOfListsCallback) && KV_RESOLVE(ReadListOfLists);
#undef KV_RESOLVE
}

static long long NowMs(void)
{
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

/* Pumps the library's events until the time is up or *done becomes non-zero. */
static void Pump(long long milliseconds, const int *done)
{
    const long long end = NowMs() + milliseconds;
    for (long long left = milliseconds; left > 0 && !(done && *done); left = end - NowMs())
        kv.ProcessMessages(left < 50 ? (int32_t)left : 50);
}

/* Called by the library from KV_ProcessMessages when the list of lists has arrived. */
static void ListsReady(void)
{
    int count = 0;
    const KV_ListEntry *entry = kv.ReadListOfLists();
    for (; entry && entry->ListName; ++entry, ++count)
        printf("list %d %s\n", (int)entry->ListId, entry->ListName);
    printf("lists: %d\n", count);
    fflush(stdout);
    listsArrived = 1;
}

/* "ID:REST" -> the id, and *rest pointing after the colon (or at "" without one). */
static int32_t SplitId(const char *text, const char **rest)
{
    char *end = NULL;
    const long id = strtol(text, &end, 10);
    *rest = *end == ':' ? end + 1 : "";
    return (int32_t)id;
}

static int RunEdit(const char *edit)
{
    const char *rest = NULL;
    if (strncmp(edit, "name:", 5) == 0) {
        const int32_t id = SplitId(edit + 5, &rest);
        kv.SetListName(id, rest, 1);
    } else if (strncmp(edit, "add:", 4) == 0) {
        const int32_t id = SplitId(edit + 4, &rest);
        kv.AddSymbolToList(id, rest);
    } else if (strncmp(edit, "del:", 4) == 0) {
        const int32_t id = SplitId(edit + 4, &rest);
        kv.DeleteSymbolFromList(id, rest);
    } else if (strncmp(edit, "droplist:", 9) == 0) {
        kv.DeleteList(SplitId(edit + 9, &rest));
    } else if (strncmp(edit, "temp:", 5) == 0) {
        kv.AddToTempList(edit + 5);
    } else if (strcmp(edit, "cleartemp") == 0) {
        kv.ClearTempList();
    } else if (strncmp(edit, "sendtemp:", 9) == 0) {
        kv.SendTempList(SplitId(edit + 9, &rest));
    } else if (strcmp(edit, "deleteall") == 0) {
        kv.DeleteAllLists();
    } else if (strncmp(edit, "wait:", 5) == 0) {
        Pump(atol(edit + 5), NULL);
    } else {
        fprintf(stderr, "c-host: unknown edit \"%s\"\n", edit);
        return 0;
    }
    return 1;
}

/* The library beside this executable: ../lib/libKestrovaAlerts.so from its directory. */
static void DefaultLibraryPath(char *path, size_t size)
{
    char self[PATH_MAX] = "";
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        snprintf(path, size, "libKestrovaAlerts.so");
        return;
    }
    self[length] = '\0';
    snprintf(path, size, "%s/../lib/libKestrovaAlerts.so", dirname(self));
}

/* --version: this program's version, then the version of the library it would load (asking for
 * it starts nothing in the library). */
static int PrintVersions(const char *libraryPath)
{
    printf("c-host %s\n", KV_VERSION_STRING);
    void *library = dlopen(libraryPath, RTLD_NOW | RTLD_LOCAL);
    __typeof__(&KV_GetVersion) getVersion
        = library ? (__typeof__(&KV_GetVersion))dlsym(library, "KV_GetVersion") : NULL;
    if (!getVersion) {
        fprintf(stderr, "c-host: cannot load %s: %s\n", libraryPath, dlerror());
        return 1;
    }
    printf("library %s\n", getVersion());
    dlclose(library);
    return 0;
}

static void Usage(FILE *to)
{
    fprintf(to,
        "usage: c-host [--lib PATH] [--settle-ms N] [--timeout-ms N] [--linger-ms N] SERVER USER "
        "PASSWORD [EDIT...]\n"
        "       c-host [--lib PATH] --version | --help\n"
        "edits: name:ID:TEXT add:ID:SYMBOL del:ID:SYMBOL droplist:ID temp:SYMBOL cleartemp\n"
        "       sendtemp:ID deleteall wait:MS\n");
}

int main(int argc, char **argv)
{
    char libraryPath[PATH_MAX + 32];
    long settleMs = 1000, timeoutMs = 10000, lingerMs = 0;
    int arg = 1;
    DefaultLibraryPath(libraryPath, sizeof libraryPath);
    for (; arg + 1 < argc && strncmp(argv[arg], "--", 2) == 0; arg += 2) {
        if (strcmp(argv[arg], "--lib") == 0)
            snprintf(libraryPath, sizeof libraryPath, "%s", argv[arg + 1]);
        else if (strcmp(argv[arg], "--settle-ms") == 0)
            settleMs = atol(argv[arg + 1]);
        else if (strcmp(argv[arg], "--timeout-ms") == 0)
            timeoutMs = atol(argv[arg + 1]);
        else if (strcmp(argv[arg], "--linger-ms") == 0)
            lingerMs = atol(argv[arg + 1]);
        else
            break;
    }
    if (arg < argc && strcmp(argv[arg], "--version") == 0)
        return PrintVersions(libraryPath);
    if (arg < argc && strcmp(argv[arg], "--help") == 0) {
        Usage(stdout);
        return 0;
    }
    if (argc - arg < 3) {
        Usage(stderr);
        return 1;
    }

    void *library = dlopen(libraryPath, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        fprintf(stderr, "c-host: cannot load %s: %s\n", libraryPath, dlerror());
        return 1;
    }
    if (!LoadLibrary(library)) {
        dlclose(library);
        return 1;
    }

    kv.SetTcpIpServerAddress(argv[arg]);
    kv.SetUsernameAndPassword(argv[arg + 1], argv[arg + 2]);
    int ok = 1;
    if (argc - arg == 3) {
        ok = RunEdit("name:1:Example") && RunEdit("add:1:abc") && RunEdit("add:1: xyz ");
    }
    for (int i = arg + 3; i < argc && ok; ++i)
        ok = RunEdit(argv[i]);

    Pump(settleMs, NULL);
    kv.SetListOfListsCallback(ListsReady);
    kv.RequestListOfLists();
    Pump(timeoutMs, &listsArrived);
    if (!listsArrived)
        fprintf(stderr, "c-host: no list of lists within %ld ms\n", timeoutMs);
    Pump(lingerMs, NULL);

    kv.SetListOfListsCallback(NULL);
    dlclose(library);
    if (!ok)
        return 1;
    return listsArrived ? 0 : 2;
}
