/*
 * The NT kernel as the registry names it.
 */
#include "hostlens_internal.h"

#include "hl_access.h"

#include <string.h>

static const char16_t NT_CURRENT_VERSION[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

void hl_impl_kernel(hl_kernel_info_t *out)
{
    memset(out, 0, sizeof *out);
    char version[64] = {0};
    char build[64] = {0};
    reg_getstr(HL_HKEY_LOCAL_MACHINE, NT_CURRENT_VERSION, u"CurrentVersion", version,
               sizeof version);
    reg_getstr(HL_HKEY_LOCAL_MACHINE, NT_CURRENT_VERSION, u"CurrentBuildNumber", build,
               sizeof build);
    hl_copy(out->name, sizeof out->name, "Windows NT");
    /* A version without its build would read like a complete release, so it
     * is not reported as one; a build alone still identifies the release. */
    if (version[0] != '\0' && build[0] != '\0')
        hl_format(out->release, sizeof out->release, "%s.%s", version, build);
    else if (build[0] != '\0')
        hl_copy(out->release, sizeof out->release, build);
    else
        hl_copy(out->release, sizeof out->release, "unknown");
    hl_copy(out->version, sizeof out->version, version[0] != '\0' ? version : "unknown");
    hl_copy(out->architecture, sizeof out->architecture, "x64");
    hl_copy(out->codename, sizeof out->codename, "unknown");
}
