/*
 * hostlens: prints what the library reports about this Windows machine, as
 * a summary, as the library's JSON, or module by module.
 */
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "hostlens.h"
#include "modules.h"
#include "view.h"

#define HOSTLENS_TOOL_VERSION HOSTLENS_VERSION_STRING

static void usage(FILE *out)
{
    fprintf(out, "usage: hostlens [options] [module...]\n"
                 "\n"
                 "With no module, prints a summary of this machine.\n"
                 "\n"
                 "  module...      print those module documents, one per line (see --list)\n"
                 "  --json         print the full snapshot document\n"
                 "  --pretty       indent JSON output\n"
                 "  --list         list the module names and their document keys\n"
                 "  --logo NAME    print a logo (windows, linux, zephrion; others: the default)\n"
                 "  --public-ip    add the public IP to the summary (one HTTP request)\n"
                 "  --no-color     no colours (also when NO_COLOR is set)\n"
                 "  --version      print the library's and the program's versions\n"
                 "  --help         print this help\n");
}

static int fail_usage(const char *what, const char *arg)
{
    fprintf(stderr, "hostlens: %s '%s' (see hostlens --help)\n", what, arg);
    return 2;
}

/* Colours only on a console that takes virtual-terminal sequences. */
static bool console_takes_color(void)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out == INVALID_HANDLE_VALUE || !GetConsoleMode(out, &mode))
        return false;
    if (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING)
        return true;
    return SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

static int print_json(const char *text, bool pretty)
{
    if (text == NULL) {
        fprintf(stderr, "hostlens: the library ran out of memory\n");
        return 1;
    }
    if (!pretty) {
        printf("%s\n", text);
        return 0;
    }
    nlohmann::ordered_json doc = nlohmann::ordered_json::parse(text, nullptr, false);
    if (doc.is_discarded()) {
        printf("%s\n", text); /* print what we got rather than nothing */
        return 0;
    }
    printf("%s\n", doc.dump(2).c_str());
    return 0;
}

int main(int argc, char **argv)
{
    _setmode(_fileno(stdout), _O_BINARY);
    bool json = false, pretty = false, list = false, version = false, help = false;
    bool public_ip = false, no_color = false;
    const char *logo = NULL;
    bool want_logo = false;
    std::vector<const module_entry *> wanted;

    for (int i = 1; i < argc; i++) {
        const char *a = argv[i];
        if (strcmp(a, "--json") == 0) {
            json = true;
        } else if (strcmp(a, "--pretty") == 0) {
            pretty = true;
        } else if (strcmp(a, "--list") == 0) {
            list = true;
        } else if (strcmp(a, "--version") == 0) {
            version = true;
        } else if (strcmp(a, "--help") == 0 || strcmp(a, "-h") == 0) {
            help = true;
        } else if (strcmp(a, "--public-ip") == 0) {
            public_ip = true;
        } else if (strcmp(a, "--no-color") == 0) {
            no_color = true;
        } else if (strcmp(a, "--logo") == 0) {
            if (i + 1 >= argc)
                return fail_usage("--logo needs a name", a);
            want_logo = true;
            logo = argv[++i];
        } else if (a[0] == '-') {
            return fail_usage("unknown option", a);
        } else {
            const module_entry *m = find_module(a);
            if (m == NULL)
                return fail_usage("unknown module", a);
            wanted.push_back(m);
        }
    }

    if (help) {
        usage(stdout);
        return 0;
    }
    if (version) {
        printf("hostlens %s (library %s)\n", HOSTLENS_TOOL_VERSION, hostlens_version());
        return 0;
    }
    if (list) {
        for (int i = 0; i < module_count; i++)
            printf("%-20s %s\n", modules[i].name, modules[i].key);
        return 0;
    }
    if (want_logo) {
        printf("%s\n", hostlens_logo(logo));
        return 0;
    }
    if (json)
        return print_json(hostlens_get_all(), pretty);
    if (!wanted.empty()) {
        int rc = 0;
        for (const module_entry *m : wanted)
            rc |= print_json(m->fn(), pretty);
        return rc;
    }
    const char *no_color_env = getenv("NO_COLOR");
    bool color =
        !no_color && (no_color_env == NULL || no_color_env[0] == '\0') && console_takes_color();
    int rc = print_summary(stdout, color, public_ip);
    if (rc != 0)
        fprintf(stderr, "hostlens: the library ran out of memory\n");
    return rc;
}
