/*
 * The Windows installation: product, version numbers, release label, build
 * lab text, product identifier and installation date.
 */
#include "hostlens_internal.h"

#include "hl_access.h"
#include "hl_os.h"

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

/* The date in `seconds` as text into best/best_seconds when it is earlier
 * than what they hold (or they hold nothing) and can be written. */
static void keep_earlier(int64_t seconds, int64_t *best_seconds, char *best, size_t size)
{
    char formatted[32];
    if (seconds <= 0 || (*best_seconds > 0 && seconds >= *best_seconds))
        return;
    if (!hl_port_utc_text(seconds, formatted, sizeof formatted))
        return;
    *best_seconds = seconds;
    hl_copy(best, size, formatted);
}

/* ASCII letters compared without case: key names are case-insensitive. */
static int starts_with(const char16_t *name, const char *prefix)
{
    for (; *prefix != '\0'; name++, prefix++) {
        char16_t a = *name, b = (char16_t)(unsigned char)*prefix;
        if (a >= u'A' && a <= u'Z')
            a = (char16_t)(a + 32);
        if (b >= u'A' && b <= u'Z')
            b = (char16_t)(b + 32);
        if (a != b)
            return 0;
    }
    return 1;
}

/* Every feature update of Windows 10 and 11 rewrites CurrentVersion's
 * "InstallDate" and keeps the installation it replaced as a key
 * "Source OS (Updated on <date>)" under SYSTEM\Setup, with that
 * installation's "InstallDate". The earliest of them is the machine's. */
static void source_os_dates(int64_t *best_seconds, char *best, size_t size)
{
    hl_hkey_t setup = 0;
    if (hl_port_reg_open(HL_HKEY_LOCAL_MACHINE, u"SYSTEM\\Setup", HL_KEY_READ64, &setup) != 0)
        return;
    for (uint32_t index = 0;; index++) {
        char16_t name[256];
        uint32_t name_len = 256;
        if (hl_port_reg_enum_key(setup, index, name, &name_len) != 0)
            break;
        name[name_len < 256 ? name_len : 255] = 0;
        if (!starts_with(name, "Source OS"))
            continue;
        hl_hkey_t key = 0;
        if (hl_port_reg_open(setup, name, HL_KEY_READ64, &key) != 0)
            continue;
        uint64_t dword = 0;
        if (reg_key_uint(key, u"InstallDate", 4, 0, &dword))
            keep_earlier((int64_t)dword, best_seconds, best, size);
        hl_port_reg_close(key);
    }
    hl_port_reg_close(setup);
}

/* CurrentVersion's date: "InstallationDate", REG_BINARY, up to 8 bytes
 * little-endian, seconds since 1970. Windows and Wine keep none; they keep
 * "InstallDate", a REG_DWORD of the same seconds, which is read when the
 * first gives no date. Then the earliest with the dates of the
 * installations that feature updates replaced. */
static void install_date(char *out, size_t size)
{
    char text[64] = {0};
    int64_t best = 0;
    hl_hkey_t key = 0;
    if (hl_port_reg_open(HL_HKEY_LOCAL_MACHINE, NT_CURRENT_VERSION, HL_KEY_READ64, &key) == 0) {
        uint8_t data[8] = {0};
        uint32_t type = 0;
        uint32_t n = sizeof data;
        long rc = hl_port_reg_query(key, u"InstallationDate", &type, data, &n);
        if (rc == 0 && type == HL_REG_BINARY && n > 0) {
            uint64_t bits = 0;
            for (uint32_t i = 0; i < n && i < 8; i++)
                bits |= (uint64_t)data[i] << (8 * i);
            keep_earlier((int64_t)bits, &best, text, sizeof text);
        }
        uint64_t dword = 0;
        /* Unsigned: the DWORD runs out in 2106, not 2038. */
        if (best == 0 && reg_key_uint(key, u"InstallDate", 4, 0, &dword))
            keep_earlier((int64_t)dword, &best, text, sizeof text);
        hl_port_reg_close(key);
    }
    source_os_dates(&best, text, sizeof text);
    hl_copy(out, size, text[0] != '\0' ? text : "unknown");
}

void hl_impl_windows_product(const char *product_name, uint32_t build, char *out, size_t size)
{
    if (build >= HL_WINDOWS_11_FIRST_BUILD && strncmp(product_name, "Windows 10", 10) == 0)
        hl_format(out, size, "Windows 11%s", product_name + 10);
    else
        hl_copy(out, size, product_name);
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
        hl_impl_windows_product(product, build, out->name, sizeof out->name);
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
