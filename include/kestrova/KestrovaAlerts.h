/* KestrovaAlerts: the C interface of the alert library (libKestrovaAlerts.so).
 *
 * Every function is called on the host's GUI thread: the thread that made the first call, which
 * runs the Qt (or GLib) event loop or pumps KV_ProcessMessages. Nothing is locked. The first call
 * of any function starts the library on that thread (creating a Qt application object when the
 * host has none). Text arguments are NUL-terminated UTF-8 strings, copied before the call
 * returns; a null pointer reads as the empty string unless stated otherwise. No function reports
 * an error: invalid arguments (null pointers where text is required, ids <= 0) make it do
 * nothing. Once the Qt application object is gone (the host's application quit) every function
 * does nothing. */
#ifndef KESTROVA_ALERTS_H
#define KESTROVA_ALERTS_H

#include <stdint.h>

#if defined(__GNUC__)
#define KV_EXPORT __attribute__((visibility("default")))
#else
#define KV_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A native window handle of the host (Qt's WId), as wide as a pointer. */
typedef uintptr_t KV_HWND;

/* A host callback: no arguments, no result. Called on the GUI thread from the event loop. */
typedef void (*KV_Callback)(void);

/* One entry of the list-of-lists array; the array ends with the entry (0, NULL). */
typedef struct KV_ListEntry
{
    int32_t ListId;
    const char *ListName;
} KV_ListEntry;

/* ---- Event loop ---- */

/* Runs the library's pending work and waits up to maxMilliseconds for new events (0: no wait).
 * For hosts without a Qt or GLib main loop; may be called before any other function. */
KV_EXPORT void KV_ProcessMessages(int32_t maxMilliseconds);

/* ---- Connection settings ---- */

/* Records that the host wants a connection; changes nothing else. */
KV_EXPORT void KV_Connect(void);
/* Records that the host wants no connection; changes nothing else. */
KV_EXPORT void KV_Disconnect(void);
/* Sets the login's user name, then its password; either change logs in afresh. */
KV_EXPORT void KV_SetUsernameAndPassword(const char *username, const char *password);
/* Sets the vendor id sent at login; null selects "DLL", "" is kept as the empty id. */
KV_EXPORT void KV_SetVendorID(const char *vendorId);
/* Sets the location of replacement samples; null or "" clears it. */
KV_EXPORT void KV_SetReplacementSamplesURL(const char *url);
/* Sets the help location and turns help links on; null or "" turns them off, keeping the URL. */
KV_EXPORT void KV_SetHelpURL(const char *url);
/* Logs in afresh: drops the link and the resume state. */
KV_EXPORT void KV_Reset(void);
/* Sets the HTTP proxy (user name, password, host, port); a change restarts the link. */
KV_EXPORT void KV_SetHttpProxyInformation(
    const char *username, const char *password, const char *host, int32_t port);
/* Sets the SOCKS proxy; level 4 or 5 enables it. A change restarts the link. */
KV_EXPORT void KV_SetSocksProxyInformation(
    const char *host, int32_t level, int32_t port, const char *username, const char *password);
/* Sets the alert server, "host" or "host:port" (port 8888 when absent); null or "" is ignored.
 * A change restarts the link. */
KV_EXPORT void KV_SetTcpIpServerAddress(const char *address);
/* Accepted for compatibility; has no effect. */
KV_EXPORT void KV_SetDebugInformation(void);

/* ---- Symbol lists (addressed by a positive id of the host's choosing) ---- */

/* Names a list (name must not be null); forceUpdate != 0 sends the name now, otherwise with the
 * list's next change. */
KV_EXPORT void KV_SetListName(int32_t listId, const char *name, int32_t forceUpdate);
/* Adds a symbol (trimmed, upper-cased) to a list; a list without a name becomes "List #<id>". */
KV_EXPORT void KV_AddSymbolToList(int32_t listId, const char *symbol);
/* Removes a symbol (trimmed, upper-cased) from a list; names it like KV_AddSymbolToList. */
KV_EXPORT void KV_DeleteSymbolFromList(int32_t listId, const char *symbol);
/* Deletes a list on the server. */
KV_EXPORT void KV_DeleteList(int32_t listId);
/* Empties the temporary list. */
KV_EXPORT void KV_ClearTempList(void);
/* Appends a symbol (trimmed, upper-cased; duplicates kept) to the temporary list. */
KV_EXPORT void KV_AddToTempList(const char *symbol);
/* Replaces a list's symbols with the temporary list (which is kept). */
KV_EXPORT void KV_SendTempList(int32_t listId);
/* Deletes every list of the user on the server. */
KV_EXPORT void KV_DeleteAllLists(void);
/* Empties the array KV_ReadListOfLists returns and fetches the list of lists; the callback tells
 * when it has arrived. */
KV_EXPORT void KV_RequestListOfLists(void);
/* Sets the callback called after each list of lists arrives; null removes it. */
KV_EXPORT void KV_SetListOfListsCallback(KV_Callback callback);
/* The last list of lists, ending with (0, NULL), or NULL while there is none. Owned by the
 * library; valid until the next KV_RequestListOfLists or arrival. */
KV_EXPORT const KV_ListEntry *KV_ReadListOfLists(void);

#ifdef __cplusplus
}
#endif

#endif /* KESTROVA_ALERTS_H */
