/*
 * Writes every document of the real DLL under Wine, for
 * tests/schema/validate.py: once with a public IP service answering on
 * 127.0.0.1 (the DLL built to ask there), once with nobody listening, so that
 * both forms of the public IP document are seen. One line per document:
 * export, state, text.
 */
#include <stdio.h>

#include "wine_server.h"

#include <windows.h>

typedef const char *(*doc_fn)(void);

static const char *const documents[] = {
    "hostlens_os",
    "hostlens_host",
    "hostlens_kernel",
    "hostlens_uptime",
    "hostlens_boot_time",
    "hostlens_packages",
    "hostlens_shell",
    "hostlens_resolution",
    "hostlens_desktop_environment",
    "hostlens_window_manager",
    "hostlens_terminal",
    "hostlens_terminal_font",
    "hostlens_cpu",
    "hostlens_cpu_temp",
    "hostlens_gpu",
    "hostlens_memory",
    "hostlens_swap",
    "hostlens_battery",
    "hostlens_disk",
    "hostlens_network",
    "hostlens_public_ip",
    "hostlens_locale",
    "hostlens_user",
    "hostlens_process_count",
    "hostlens_get_all",
};

typedef const char *(*collect_fn)(const char *);

/* hostlens_collect of one list, written under the export's name, or for a
 * module reached only by name as hostlens_<module>. */
static bool write_collect(FILE *out, HMODULE dll, const char *list, const char *state,
                          const char *module = NULL)
{
    collect_fn f = (collect_fn)(void *)GetProcAddress(dll, "hostlens_collect");
    if (f == NULL) {
        fprintf(stderr, "hostlens_collect is not exported\n");
        return false;
    }
    const char *text = f(list);
    fprintf(out, "hostlens_%s\t%s\t%s\n", module != NULL ? module : "collect", state,
            text != NULL ? text : "<NULL>");
    return true;
}

/* Modules reached only by name: hostlens_collect of the name alone, written
 * as hostlens_<name> and checked against the module's own schema. */
static const char *const named_modules[] = {
    "cpu_times",  "net_io",   "processes",      "disk_io",  "volumes",         "hypervisor",
    "os_release", "displays", "battery_health", "cpu_info", "display_adapters"};

static bool write_named(FILE *out, HMODULE dll, const char *name, const char *state)
{
    collect_fn f = (collect_fn)(void *)GetProcAddress(dll, "hostlens_collect");
    if (f == NULL)
        return false;
    const char *text = f(name);
    fprintf(out, "hostlens_%s\t%s\t%s\n", name, state, text != NULL ? text : "<NULL>");
    return true;
}

/* A sampler's reads: its four rate modules, then a list of other modules
 * with a count of processes, a refused and an unknown name. */
static bool write_sampler(FILE *out, HMODULE dll, const char *state)
{
    typedef void *(*open_fn)(void);
    typedef const char *(*read_fn)(void *, const char *);
    typedef void (*close_fn)(void *);
    open_fn open = (open_fn)(void *)GetProcAddress(dll, "hostlens_sampler_open");
    read_fn read = (read_fn)(void *)GetProcAddress(dll, "hostlens_sampler_read");
    close_fn close = (close_fn)(void *)GetProcAddress(dll, "hostlens_sampler_close");
    if (open == NULL || read == NULL || close == NULL) {
        fprintf(stderr, "the sampler is not exported\n");
        return false;
    }
    void *s = open();
    Sleep(100);
    const char *lists[] = {NULL, "processes:3,memory,public_ip,bogus,os_release,cpu_times"};
    for (const char *list : lists) {
        const char *text = s != NULL ? read(s, list) : NULL;
        fprintf(out, "hostlens_sampler\t%s\t%s\n", state, text != NULL ? text : "<NULL>");
    }
    close(s);
    return s != NULL;
}

static bool write_document(FILE *out, HMODULE dll, const char *name, const char *state)
{
    doc_fn f = (doc_fn)(void *)GetProcAddress(dll, name);
    if (f == NULL) {
        fprintf(stderr, "%s is not exported\n", name);
        return false;
    }
    const char *text = f();
    fprintf(out, "%s\t%s\t%s\n", name, state, text != NULL ? text : "<NULL>");
    return true;
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s OUTPUT\n", argv[0]);
        return 2;
    }
    HMODULE dll = LoadLibraryW(L"hostlens_local.dll");
    FILE *out = fopen(argv[1], "wb");
    if (dll == NULL || out == NULL)
        return 1;

    wine_server srv;
    if (!wine_server_start(srv, HOSTLENS_TEST_PUBLIC_IP_PORT, [](SOCKET c, wine_server &) {
            const char body[] =
                "{\"query\":\"203.0.113.7\",\"country\":\"Germany\",\"city\":\"Berlin\"}";
            char head[128];
            snprintf(head, sizeof head,
                     "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: %u\r\n"
                     "Connection: close\r\n\r\n",
                     (unsigned)(sizeof body - 1));
            wine_send_all(c, head, strlen(head));
            wine_send_all(c, body, sizeof body - 1);
        })) {
        fprintf(stderr, "cannot serve on port %d\n", HOSTLENS_TEST_PUBLIC_IP_PORT);
        return 1;
    }
    bool ok = true;
    for (const char *name : documents)
        ok = write_document(out, dll, name, "served") && ok;
    ok = write_collect(out, dll, NULL, "served") && ok;
    ok = write_collect(out, dll, "public_ip, cpu,gpu,bogus,\x01\xff", "served") && ok;
    for (const char *name : named_modules)
        ok = write_named(out, dll, name, "served") && ok;
    ok = write_sampler(out, dll, "served") && ok;
    wine_server_stop(srv);

    ok = write_document(out, dll, "hostlens_public_ip", "refused") && ok;
    ok = write_document(out, dll, "hostlens_get_all", "refused") && ok;
    return fclose(out) == 0 && ok ? 0 : 1;
}
