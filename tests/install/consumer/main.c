/* A program built against the installed library: the header's version must be the library's,
 * and a host that exits with its windows still open (no Qt loop of its own) exits cleanly. */
#include <kestrova/KestrovaAlerts.h>
#include <stdio.h>
#include <string.h>

int main(void)
{
    const char *version = KV_GetVersion();
    if (strcmp(version, KV_VERSION_STRING) != 0) {
        fprintf(stderr, "header %s, library %s\n", KV_VERSION_STRING, version);
        return 1;
    }
    KV_HWND alerts = KV_CreateAlertWindow(0);
    KV_HWND status = KV_CreateStatusWindow(0);
    KV_SetWindowPosition(alerts, 0, 0, 400, 300);
    KV_SetWindowPosition(status, 0, 300, 120, 30);
    KV_ProcessMessages(50);
    KV_ReleaseWindow(status);
    printf("KestrovaAlerts %s\n", version);
    return 0;
}
