/* KestrovaAlerts: the C interface of the alert library (libKestrovaAlerts.so).
 *
 * Every function is called on the host's GUI thread: the thread that made the first call, which
 * runs the Qt (or GLib) event loop or pumps KV_ProcessMessages. Nothing is locked. The first call
 * of any function but KV_GetVersion and KV_SetLogCallback starts the library on that thread
 * (creating a Qt application object when the host has none). Text arguments are NUL-terminated
 * UTF-8 strings, copied before the call returns; a null pointer reads as the empty string unless
 * stated otherwise. No function reports an error: invalid arguments (null pointers where text is
 * required, ids <= 0) make it do nothing. Once the Qt application object is gone (the host's
 * application quit) every function does nothing.
 *
 * Callbacks. The library calls the host's callbacks from its event loop (the host's loop or
 * KV_ProcessMessages), on the GUI thread, never from inside a KV_ function the host is running;
 * they may call any KV_ function (KV_ProcessMessages called from a callback of an outer
 * KV_ProcessMessages returns at once: the outer call goes on when the callback returns). The log
 * callback is the exception: it is called wherever the library reports, also from inside a KV_
 * function, and may call only KV_GetVersion and KV_SetLogCallback; other calls made from it do
 * nothing.
 *
 * Work with the server is asynchronous: a function records what is wanted and returns; the
 * library connects when it has work for the server, reconnects after a failure (waiting about
 * 0.5 s, then twice as long after each failure in a row, up to about 10 s) and resends what the
 * server has not answered.
 *
 * Unloading. dlclose is safe whenever no KV_ function is running: the library shuts its session
 * down (edits not yet answered by the server are lost), frees the Qt application object it made,
 * if any, and leaves nothing of its own registered with Qt, so a host's application object
 * outlives it; it can be loaded again later. Otherwise the library shuts down when the Qt
 * application quits or the process exits. */
#ifndef KESTROVA_ALERTS_H
#define KESTROVA_ALERTS_H

#include <stdint.h>

/* The library's version. The build reads these lines: this is the one place the version is kept.
 * A change of the major number breaks compatibility (and the shared library's SONAME). */
#define KV_VERSION_MAJOR 1
#define KV_VERSION_MINOR 0
#define KV_VERSION_PATCH 0
#define KV_VERSION_STRING "1.0.0"

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

/* Runs the library's pending work and waits up to maxMilliseconds for new events (0 or less: no
 * wait); callbacks are called from here. For hosts without a Qt or GLib main loop; may be called
 * before any other function. A call made from a callback (while another KV_ProcessMessages runs)
 * returns at once and runs nothing. */
KV_EXPORT void KV_ProcessMessages(int32_t maxMilliseconds);

/* ---- Connection settings ---- */

/* Records that the host wants a connection; changes nothing else. The library connects on its
 * own when it has work for the server and stays connected while it has. */
KV_EXPORT void KV_Connect(void);
/* Records that the host wants no connection; changes nothing else: it neither drops the link
 * nor stops the library from connecting. */
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

/* ---- Symbol lists (addressed by a positive id of the host's choosing) ----
 *
 * Edits are asynchronous: each function records the edit and returns. The library sends a list's
 * edits together, keeps them while there is no connection (sending them once there is one) or
 * while the server refuses the login (sending them once a login succeeds), and resends them
 * after a failure, two seconds later and then twice as long after each failure in a row, up to
 * a minute; each list waits on its own. KV_GetDiagnostics counts the lists with edits waiting. */

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
 * when it has arrived (while the login is refused, only after a login succeeds). */
KV_EXPORT void KV_RequestListOfLists(void);
/* Sets the callback called after each list of lists arrives; null removes it. */
KV_EXPORT void KV_SetListOfListsCallback(KV_Callback callback);
/* The last list of lists, ending with (0, NULL), or NULL while there is none. Owned by the
 * library; valid until the next KV_RequestListOfLists or arrival. */
KV_EXPORT const KV_ListEntry *KV_ReadListOfLists(void);

/* ---- Alert and status windows, host callbacks ----
 *
 * Windows are addressed by the handle their create call returned (the window's native id). A
 * handle that is not a live window of the right kind makes a call do nothing; getters then
 * return NULL, "" or 0 as stated.
 *
 * Callbacks are shared by all windows and called on the GUI thread from the library's event
 * handling. Inside a callback the host may call any function, including KV_ReleaseWindow on the
 * window that raised it or on another: the window is gone for the library at once (its handle
 * is unknown, the getters answer as if no window had raised a callback, its remaining callbacks
 * of the same delivery are not raised) and its widgets are freed once control is back in the
 * event loop. KV_ProcessMessages may be called inside a callback. */

/* A host callback that answers: 0 refuses, any other value allows. */
typedef int32_t (*KV_AllowCallback)(void);

/* Creates an alert window inside the host window parent (a native window id; a Qt widget of the
 * host or a foreign native window). 0, or an id that names no window, makes a top-level window.
 * The window is visible; returns its handle. */
KV_EXPORT KV_HWND KV_CreateAlertWindow(KV_HWND parent);
/* Creates a status window (the connection's traffic light, event bars and response time) inside
 * parent, like KV_CreateAlertWindow; returns its handle. */
KV_EXPORT KV_HWND KV_CreateStatusWindow(KV_HWND parent);
/* Destroys a window and everything in it; the handle becomes unknown. A second call does
 * nothing. The host releases every window before it unloads the library. */
KV_EXPORT void KV_ReleaseWindow(KV_HWND window);
/* Places a window in its parent's client coordinates (pixels), in one step. */
KV_EXPORT void KV_SetWindowPosition(
    KV_HWND window, int32_t left, int32_t top, int32_t width, int32_t height);

/* An alert window's data configuration (which alerts it shows; text beginning "form=1"). The
 * returned text is owned by the library and valid until the next call of KV_GetDataConfig,
 * KV_GetWindowConfig or KV_GetWindowName; "" for no such window. */
KV_EXPORT const char *KV_GetDataConfig(KV_HWND window);
/* An alert window's layout as its "C" configuration string ("C,N,type,size,...,direction,
 * scheme,description height,backtest height,view mode,sort key"); buffer as KV_GetDataConfig. */
KV_EXPORT const char *KV_GetWindowConfig(KV_HWND window);
/* Sets the data configuration: only the text after a "?" counts, so a web address that carries
 * one is accepted; "" (or a second "?") changes nothing. The window restarts its live stream. */
KV_EXPORT void KV_SetDataConfig(KV_HWND window, const char *config);
/* Sets the layout from an "A", "B" or "C" string; a malformed string changes nothing further. */
KV_EXPORT void KV_SetWindowConfig(KV_HWND window, const char *config);
/* The window's name as the server gave it, prefixed while it shows history; never NULL ("" when
 * unnamed or no such window). Buffer as KV_GetDataConfig. */
KV_EXPORT const char *KV_GetWindowName(KV_HWND window);

/* Clicks an item of the window's context menu as the user would, by its caption path, comma
 * separated from the top (e.g. "History,RealTime", "Direction,Left", "View Mode,Write Over").
 * Captions match without "&" and regardless of case. The menu's state is brought up to date
 * first; nothing is clicked when an element matches no item, when the item reached has
 * sub-items, or when it is disabled or hidden. */
KV_EXPORT void KV_SimulateMenuClick(KV_HWND window, const char *path);
/* Presses the window's backtest button (start, or stop while running), first showing the
 * backtest bar if it is collapsed. */
KV_EXPORT void KV_SimulateQuorixClick(KV_HWND window);
/* Appends an item to the window's context menu; clicking it raises the custom-menu callback,
 * during which KV_GetCallbackMenuCaption and KV_GetCallbackMenuId give caption and id. */
KV_EXPORT void KV_AddCustomMenuItem(KV_HWND window, const char *caption, int32_t id);

/* Callback registration: one pointer each, shared by all windows; NULL switches it off. */
/* A host-added menu item was clicked. */
KV_EXPORT void KV_SetCustomMenuCallback(KV_Callback callback);
/* The user selected an alert (a double click on it, by default). */
KV_EXPORT void KV_SetAlertSelectedCallback(KV_Callback callback);
/* Once per arriving alert: live alerts oldest first, history in the order it arrives. */
KV_EXPORT void KV_SetEachAlertCallback(KV_Callback callback);
/* The window's name changed (a new name from the server, or history shown or left). */
KV_EXPORT void KV_SetWindowNameCallback(KV_Callback callback);
/* The user is about to open the backtest settings; 0 cancels, anything else allows. */
KV_EXPORT void KV_SetQuorixStartCallback(KV_AllowCallback callback);

/* Getters for use inside a callback. The current window is the one that raised the last
 * callback; it stays current after the callback until another window raises one or it is
 * released. */
/* The current window's handle, or 0. */
KV_EXPORT KV_HWND KV_GetCallbackWindow(void);
/* Caption of the last clicked host item ("" before any); valid until the next such click. */
KV_EXPORT const char *KV_GetCallbackMenuCaption(void);
/* Id of the last clicked host item (0 before any). */
KV_EXPORT int32_t KV_GetCallbackMenuId(void);
/* The current window's current alert (the one the last callback concerned). The strings belong
 * to the library and stay valid until that window's next callback or its release; NULL without
 * a current window. */
KV_EXPORT const char *KV_GetCallbackAlertSymbol(void);
KV_EXPORT const char *KV_GetCallbackAlertType(void);
KV_EXPORT const char *KV_GetCallbackAlertDescription(void);
/* The alert's time as Unix seconds (derived from its local time when the server sent only
 * that), or 0. */
KV_EXPORT int32_t KV_GetCallbackAlertTimeStamp(void);
/* Quality and relative volume; NaN when the server left them out, 0.0 without a window. */
KV_EXPORT double KV_GetCallbackAlertQuality(void);
KV_EXPORT double KV_GetCallbackAlertRelVol(void);

/* ---- Version, log and diagnostics ---- */

/* The library's version, "MAJOR.MINOR.PATCH" (KV_VERSION_STRING of the header it was built
 * with). A constant: it starts nothing and may be called from any thread. */
KV_EXPORT const char *KV_GetVersion(void);

/* The levels of the log's lines. */
#define KV_LOG_DEBUG 0 /* detail, e.g. Qt's debug output */
#define KV_LOG_INFO 1 /* what happened: the library's own reports */
#define KV_LOG_WARNING 2 /* something was refused or may not work (e.g. Qt's warnings) */
#define KV_LOG_ERROR 3 /* a failure the library caught and reported (an exception) */

/* A log callback: the level (KV_LOG_...) and one report of the library's debug log, as UTF-8
 * text owned by the library and valid during the call (a few reports span several lines,
 * separated by LF). */
typedef void (*KV_LogCallback)(int level, const char *line);

/* Sends every report the library writes to its debug log to callback as well, on the GUI thread,
 * from the moment of the call; null switches it off. It starts nothing: set before any other
 * call, it also sees the start-up's reports. The callback may call KV_GetVersion and
 * KV_SetLogCallback only (other calls do nothing); a report it causes is not passed to it
 * again.
 * Without host code, the environment variable KESTROVA_LOG=stderr (or a file path, appended to)
 * sends the same reports there, one line each: "kestrova HH:MM:SS.mmm LEVEL: text".
 * When the library made the Qt application object itself, Qt's own messages go to this log too,
 * as "Qt: ..." (fatal ones also to stderr), rather than to the host's stderr. */
KV_EXPORT void KV_SetLogCallback(KV_LogCallback callback);

/* What the library's link is doing, as one JSON object (UTF-8, one line): link state, server,
 * login, round-trip time, age of the last message, bytes, alerts, recent disconnects and their
 * reasons, list edits waiting and each alert window's subscription. The fields are described in
 * docs/diagnostics.md. Owned by the library; valid until the next call. */
KV_EXPORT const char *KV_GetDiagnostics(void);

#ifdef __cplusplus
}
#endif

#endif /* KESTROVA_ALERTS_H */
