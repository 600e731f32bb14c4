/*
 * The Windows release: product, feature-update label, build and update
 * revision, edition and installation type, all from the CurrentVersion key.
 */
#include "hostlens_internal.h"

#include <string.h>

#include "hl_access.h"
#include "hl_os.h"

/* A build number as the key writes it, decimal digits only; -1 for
 * anything else. */
static int64_t build_number(const char *text)
{
    int64_t n = 0;
    size_t i = 0;
    for (; text[i] >= '0' && text[i] <= '9'; i++) {
        if (i == 9)
            return -1; /* a build has five digits; this is no build */
        n = n * 10 + (text[i] - '0');
    }
    return i > 0 && text[i] == '\0' ? n : -1;
}

/* A text value, or the first of two that is there. */
static void text_value(hl_hkey_t key, const char16_t *name, const char16_t *fallback, char *out,
                       size_t size)
{
    out[0] = '\0';
    if ((!reg_key_str(key, name, out, size) || out[0] == '\0') && fallback != NULL)
        reg_key_str(key, fallback, out, size);
    if (out[0] == '\0')
        hl_copy(out, size, "unknown");
}

void hl_impl_os_release(hl_os_release_info_t *out)
{
    memset(out, 0, sizeof *out);
    out->build = out->ubr = -1;
    hl_copy(out->product, sizeof out->product, "unknown");
    hl_copy(out->display_version, sizeof out->display_version, "unknown");
    hl_copy(out->full_build, sizeof out->full_build, "unknown");
    hl_copy(out->edition, sizeof out->edition, "unknown");
    hl_copy(out->installation_type, sizeof out->installation_type, "unknown");

    hl_hkey_t key = 0;
    if (hl_port_reg_open(HL_HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                         HL_KEY_READ64, &key) != 0)
        return;
    char text[256];
    /* "CurrentBuild" holds the same number; older systems have only the
     * first. */
    text_value(key, u"CurrentBuildNumber", u"CurrentBuild", text, sizeof text);
    out->build = build_number(text);
    uint64_t ubr = 0;
    if (reg_key_uint(key, u"UBR", 4, 0, &ubr))
        out->ubr = (int64_t)ubr;
    /* Before Windows 10 there is no update revision: the build is all
     * there is. */
    if (out->build >= 0 && out->ubr >= 0)
        hl_format(out->full_build, sizeof out->full_build, "%lld.%lld", (long long)out->build,
                  (long long)out->ubr);
    else if (out->build >= 0)
        hl_format(out->full_build, sizeof out->full_build, "%lld", (long long)out->build);

    text_value(key, u"ProductName", NULL, text, sizeof text);
    if (strcmp(text, "unknown") != 0)
        hl_impl_windows_product(text, out->build >= 0 ? (uint32_t)out->build : 0, out->product,
                                sizeof out->product);
    /* "ReleaseId" ("2009") served until 20H2 brought "DisplayVersion". */
    text_value(key, u"DisplayVersion", u"ReleaseId", out->display_version,
               sizeof out->display_version);
    text_value(key, u"EditionID", NULL, out->edition, sizeof out->edition);
    text_value(key, u"InstallationType", NULL, out->installation_type,
               sizeof out->installation_type);
    hl_port_reg_close(key);
}
