/* A program built against the installed library: the header's version must be the library's. */
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
    printf("KestrovaAlerts %s\n", version);
    return 0;
}
