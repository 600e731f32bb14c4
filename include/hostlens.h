/*
 * hostlens: what the Windows machine it runs on looks like, as JSON.
 *
 * Every document function gathers one category at the moment of the call and
 * returns a pointer to a NUL-terminated UTF-8 JSON document, compact, of the
 * form {"<key>":{...}} or {"<key>":[...]}.
 *
 * Lifetime. The text belongs to the library. It stays valid and unchanged
 * until the same thread calls any document function again (every function
 * below except hostlens_version, hostlens_last_error and hostlens_logo).
 * Never free it; copy it if you need it longer.
 *
 * Threads. Any thread may call any function at any time. Each thread has its
 * own buffer and error slot, so calls on different threads neither block nor
 * disturb each other. The functions are not re-entrant on one thread.
 *
 * Failure. A value the library cannot determine is written as the string
 * "unknown" (or -1 / 0 where a document says so); a document is always
 * complete. A document function returns NULL only when memory is exhausted.
 */
#ifndef HOSTLENS_H
#define HOSTLENS_H

#if defined(HOSTLENS_BUILDING) && defined(HOSTLENS_STATIC)
#error "define HOSTLENS_BUILDING (building the DLL) or HOSTLENS_STATIC, not both"
#endif

#if defined(HOSTLENS_STATIC)
#define HOSTLENS_API
#elif defined(_WIN32) && defined(HOSTLENS_BUILDING)
#define HOSTLENS_API __declspec(dllexport)
#elif defined(_WIN32)
#define HOSTLENS_API __declspec(dllimport)
#else
#define HOSTLENS_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* "1.0.0". Static text, valid while the library is loaded. */
HOSTLENS_API const char *hostlens_version(void);

/* The calling thread's pending error text; empty after every completed
 * document call (messages reach the caller only as the "error" member of
 * hostlens_public_ip). Valid until the thread's next call. Never NULL. */
HOSTLENS_API const char *hostlens_last_error(void);

/* A constant ASCII-art logo: "windows", "linux" or "zephrion"; any other name,
 * NULL included, gives the default logo. Valid while the library is loaded;
 * does not disturb the thread's last document. */
HOSTLENS_API const char *hostlens_logo(const char *name);

/* Every module in one document, collected in one pass, then a "logo" member.
 * Takes as long as all collectors together (CPU sampling, the public IP
 * request). Lifetime and failure as above. */
HOSTLENS_API const char *hostlens_get_all(void);

/* The modules named in `modules`, collected in one pass and returned in one
 * document: {"os":{...},"cpu":{...},...}.
 *
 * `modules` is a comma-separated list of the section keys of
 * hostlens_get_all: "os", "host", "kernel", "uptime", "boot_time",
 * "packages", "shell", "resolution", "de", "wm", "terminal",
 * "terminal_font", "cpu", "cpu_temp", "gpu", "memory", "swap", "battery",
 * "disk", "network", "public_ip", "locale", "user", "process_count". Names
 * match exactly (case included); blanks (spaces, tabs, line breaks) around
 * a name and empty items are ignored, and a name given twice counts once.
 * NULL, "" or a list that names nothing means every section except
 * "public_ip": the public IP, the only one that sends a request to a third
 * party, is collected only when named.
 *
 * The sections stand in the snapshot's order, whatever the order of the
 * list, and each is exactly the snapshot's section (so "public_ip" has no
 * "error" member); there is no "logo" member. Names that are not section
 * keys follow as the member "unknown_modules": an array of those names as
 * given (blanks removed, each once, in the order given), present only when
 * there is at least one. A list of unknown names only gives
 * {"unknown_modules":[...]}. Any list, of any length and any bytes, gives a
 * valid document.
 *
 * Blocking: as the exports of the modules named ("cpu" samples, "public_ip"
 * makes one HTTP request waiting up to 2 s per phase).
 * Lifetime, threads and failure as for every document function above; the
 * list is read during the call only. */
HOSTLENS_API const char *hostlens_collect(const char *modules);

/* Module documents. Each returns {"<key>":...} as described above. */
HOSTLENS_API const char *hostlens_os(void);                  /* "os" */
HOSTLENS_API const char *hostlens_kernel(void);              /* "kernel" */
HOSTLENS_API const char *hostlens_host(void);                /* "host" (SMBIOS) */
HOSTLENS_API const char *hostlens_uptime(void);              /* "uptime" */
HOSTLENS_API const char *hostlens_boot_time(void);           /* "boot_time" */
HOSTLENS_API const char *hostlens_packages(void);            /* "packages" */
HOSTLENS_API const char *hostlens_shell(void);               /* "shell" */
HOSTLENS_API const char *hostlens_terminal(void);            /* "terminal" */
HOSTLENS_API const char *hostlens_terminal_font(void);       /* "terminal_font" */
HOSTLENS_API const char *hostlens_resolution(void);          /* "resolution" */
HOSTLENS_API const char *hostlens_desktop_environment(void); /* "de" */
HOSTLENS_API const char *hostlens_window_manager(void);      /* "wm" */
/* "cpu": blocks the calling thread 200 ms, or 400 ms with per-processor counters. */
HOSTLENS_API const char *hostlens_cpu(void);
HOSTLENS_API const char *hostlens_cpu_temp(void); /* "cpu_temp" */
HOSTLENS_API const char *hostlens_gpu(void);      /* "gpu", a list */
HOSTLENS_API const char *hostlens_memory(void);   /* "memory" */
HOSTLENS_API const char *hostlens_swap(void);     /* "swap" */
HOSTLENS_API const char *hostlens_battery(void);  /* "battery", a list */
HOSTLENS_API const char *hostlens_disk(void);     /* "disk", a list */
HOSTLENS_API const char *hostlens_network(void);  /* "network" */
/* "public_ip": one plain-HTTP request to a geolocation service, waiting up
 * to 2 s per phase. A failure is described in the member "error". */
HOSTLENS_API const char *hostlens_public_ip(void);
HOSTLENS_API const char *hostlens_locale(void);        /* "locale" */
HOSTLENS_API const char *hostlens_user(void);          /* "user" */
HOSTLENS_API const char *hostlens_process_count(void); /* "process_count" */

#ifdef __cplusplus
}
#endif

#endif
