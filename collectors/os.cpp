/*
 * The Windows installation: product, version numbers, release label, build
 * lab text, product identifier and installation date.
 */
#include "hostlens_internal.h"

#include "hl_access.h"

#include <string.h>

static const char16_t NT_CURRENT_VERSION[] = u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

/* Windows 11 kept the "ProductName" of Windows 10; its builds start at
 * 22000. */
#define HL_WINDOWS_11_FIRST_BUILD 22000u

#define HL_REG_BINARY 3u

static void read_value(const char16_t *name, char *buffer, size_t size)
{
    buffer[0] = '\0';
    reg_getstr(HL_HKEY_LOCAL_MACHINE, NT_CURRENT_VERSION, name, buffer, size);
}

static void version_numbers(uint32_t *major, uint32_t *minor, uint32_t *build)
{
    void *rtl = wmi_rtl_get_version();
    *major = *minor = *build = 0;
    if (rtl != NULL) {
        /* GetVersionExW lies to processes without a compatibility manifest;
         * RtlGetVersion does not. */
        if (hl_port_rtl_get_version(rtl, major, minor, build) != 0) {
            *major = 10;
            *minor = 0;
            *build = 0;
        }
        return;
    }
    hl_port_get_version_ex(major, minor, build);
}

/* "InstallationDate": REG_BINARY, up to 8 bytes little-endian, seconds since
 * 1970. Windows and Wine keep none; they keep "InstallDate", a REG_DWORD of
 * the same seconds, which is read when the first gives no date. */
static void install_date(char *out, size_t size)
{
    char text[64] = {0};
    hl_hkey_t key = 0;
    if (hl_port_reg_open(HL_HKEY_LOCAL_MACHINE, NT_CURRENT_VERSION, HL_KEY_READ64, &key) == 0) {
        uint8_t data[8] = {0};
        uint32_t type = 0;
        uint32_t n = sizeof data;
        long rc = hl_port_reg_query(key, u"InstallationDate", &type, data, &n);
        int64_t seconds = 0;
        if (rc == 0 && type == HL_REG_BINARY && n > 0) {
            uint64_t bits = 0;
            for (uint32_t i = 0; i < n && i < 8; i++)
                bits |= (uint64_t)data[i] << (8 * i);
            seconds = (int64_t)bits;
        }
        char formatted[32];
        if (seconds > 0 && hl_port_utc_text(seconds, formatted, sizeof formatted))
            hl_copy(text, sizeof text, formatted);
        uint64_t dword = 0;
        /* Unsigned: the DWORD runs out in 2106, not 2038. */
        if (text[0] == '\0' && reg_key_uint(key, u"InstallDate", 4, 0, &dword) && dword > 0 &&
            hl_port_utc_text((int64_t)dword, formatted, sizeof formatted))
            hl_copy(text, sizeof text, formatted);
        hl_port_reg_close(key);
    }
    hl_copy(out, size, text[0] != '\0' ? text : "unknown");
}

void hl_impl_os(hl_os_info_t *out)
{
    hl_impl_init();
    memset(out, 0, sizeof *out);
    hl_copy(out->type, sizeof out->type, "Windows");

    uint32_t major, minor, build;
    version_numbers(&major, &minor, &build);
    hl_format(out->version, sizeof out->version, "%u.%u", (unsigned)major, (unsigned)minor);
    hl_format(out->build_id, sizeof out->build_id, "%u", (unsigned)build);

    char display[64], csd[64], release[64];
    read_value(u"DisplayVersion", display, sizeof display);
    read_value(u"CSDVersion", csd, sizeof csd);
    read_value(u"ReleaseId", release, sizeof release);
    const char *label = display[0] ? display : csd[0] ? csd : release;
    hl_copy(out->codename, sizeof out->codename, label);

    char product[256];
    read_value(u"ProductName", product, sizeof product);
    if (product[0] != '\0') {
        if (build >= HL_WINDOWS_11_FIRST_BUILD && strncmp(product, "Windows 10", 10) == 0)
            hl_format(out->name, sizeof out->name, "Windows 11%s", product + 10);
        else
            hl_copy(out->name, sizeof out->name, product);
        hl_format(out->pretty_name, sizeof out->pretty_name, "%s %s", out->name, out->version);
        if (out->codename[0] != '\0' && strcmp(out->codename, "unknown") != 0) {
            size_t used = strlen(out->pretty_name);
            hl_format(out->pretty_name + used, sizeof out->pretty_name - used, " (%s)",
                      out->codename);
        }
    } else {
        hl_copy(out->name, sizeof out->name, "Windows");
        hl_format(out->pretty_name, sizeof out->pretty_name, "Windows %u", (unsigned)build);
    }
    hl_copy(out->id, sizeof out->id, "microsoft_64");

    char product_id[128];
    read_value(u"ProductId", product_id, sizeof product_id);
    hl_copy(out->host_id, sizeof out->host_id, product_id[0] ? product_id : "unknown");

    install_date(out->install_date, sizeof out->install_date);

    char lab[128];
    read_value(u"BuildLabEx", lab, sizeof lab);
    if (lab[0] != '\0')
        hl_copy(out->kernel_release, sizeof out->kernel_release, lab);
    else
        hl_format(out->kernel_release, sizeof out->kernel_release, "%u.%u.%u", (unsigned)major,
                  (unsigned)minor, (unsigned)build);
    hl_copy(out->kernel_version, sizeof out->kernel_version,
            out->kernel_release[0] ? out->kernel_release : "unknown");
}
