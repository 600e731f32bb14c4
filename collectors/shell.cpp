/*
 * The command interpreter, the terminal and the terminal font, from the
 * process environment.
 */
#include "hostlens_internal.h"

#include "hl_access.h"
#include "hl_port.h"

#include <string.h>

#define ENV_UNITS 512

/* GetEnvironmentVariableW: 0 when the variable is missing or empty; the
 * needed size when the value does not fit, and then the buffer's contents
 * are undefined (MS docs), so they are dropped. Returns non-zero when the
 * variable was found, usable or not. */
static uint32_t env_read(const char16_t *name, char16_t *buffer)
{
    uint32_t n = hl_port_getenv(name, buffer, ENV_UNITS);
    if (n >= ENV_UNITS)
        buffer[0] = 0;
    buffer[ENV_UNITS - 1] = 0;
    return n;
}

void hl_impl_shell(hl_shell_info_t *out)
{
    memset(out, 0, sizeof *out);
    char16_t buffer[ENV_UNITS];
    memset(buffer, 0, sizeof buffer);
    if (env_read(u"ComSpec", buffer) == 0) {
        static const char16_t fallback[] = u"C:\\Windows\\System32\\cmd.exe";
        memcpy(buffer, fallback, sizeof fallback);
    }
    w2s(buffer, out->path, (int)sizeof out->path);
    const char *slash = strrchr(out->path, '\\');
    hl_copy(out->name, sizeof out->name, slash != NULL ? slash + 1 : "cmd.exe");

    char version[64];
    memset(version, 0, sizeof version);
    if (reg_getstr(HL_HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Command Processor", u"Version",
                   version, sizeof version) == 1) {
        /* The last part is the revision, not shown. */
        char *dot = strrchr(version, '.');
        if (dot != NULL)
            *dot = '\0';
    } else {
        version[0] = '\0';
    }
    hl_copy(out->version, sizeof out->version, version[0] != '\0' ? version : "unknown");
}

void hl_impl_terminal(hl_terminal_info_t *out)
{
    memset(out, 0, sizeof *out);
    char16_t buffer[ENV_UNITS];
    memset(buffer, 0, sizeof buffer);
    if (env_read(u"WT_SESSION", buffer) != 0) {
        hl_copy(out->name, sizeof out->name, "Windows Terminal");
    } else if (env_read(u"TERM_PROGRAM", buffer) != 0) {
        w2s(buffer, out->name, (int)sizeof out->name);
    } else if (env_read(u"ConEmuPID", buffer) != 0) {
        hl_copy(out->name, sizeof out->name, "ConEmu");
    } else if (env_read(u"TERM", buffer) != 0) {
        /* xterm-256color names the terminal xterm. */
        w2s(buffer, out->name, (int)sizeof out->name);
        char *hyphen = strchr(out->name, '-');
        if (hyphen != NULL)
            *hyphen = '\0';
    }
    if (out->name[0] == '\0')
        hl_copy(out->name, sizeof out->name, "unknown");
    hl_copy(out->version, sizeof out->version, "unknown");
}

/* The console font is not reachable from here. */
void hl_impl_terminal_font(hl_terminal_font_info_t *out)
{
    memset(out, 0, sizeof *out);
    hl_copy(out->name, sizeof out->name, "unknown");
    hl_copy(out->size, sizeof out->size, "unknown");
}
