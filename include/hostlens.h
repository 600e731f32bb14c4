/*
 * hostlens: what the Windows machine it runs on looks like, as JSON.
 *
 * Every document function gathers one category at the moment of the call and
 * returns a pointer to a NUL-terminated UTF-8 JSON document, compact, of the
 * form {"<key>":{...}} or {"<key>":[...]}. The members of every document are
 * described, typed and with their units, by the JSON Schemas installed in
 * share/hostlens/schema (one per export, named after it without the
 * "hostlens_" prefix, e.g. memory.schema.json; get_all.schema.json for the
 * snapshot).
 *
 * Stability. Within one major version (HOSTLENS_VERSION_MAJOR):
 *  - no export is renamed, removed or given another ordinal;
 *  - every document keeps its keys, in their order, each with its JSON type;
 *    whether a member may be the string "unknown" is part of its type, so a
 *    member that can never be "unknown" does not become so, and a member that
 *    can stays so;
 *  - objects stay objects and lists stay lists.
 * A minor version may add new exports, at ordinals after the last one in use,
 * and new members, but only at the end of an object, after every member that
 * exists already (in the snapshot, after "logo"); a reader that needs its
 * members in order finds the known ones first, in the order it knows. It may
 * also add words to a text member whose words are listed in its schema
 * description (such as a battery's "state"). A patch version changes values
 * only: a wrong value becomes right, or an "unknown" becomes known. The
 * schemas describe exactly the version they ship with (no member outside them
 * is allowed); a binding that must also read later minor versions ignores
 * members it does not know.
 *
 * Lifetime. The text belongs to the library. It stays valid and unchanged
 * until the same thread calls any document function again (every function
 * below except hostlens_version, hostlens_last_error and hostlens_logo), or
 * until the thread ends, or until the library is unloaded. Never free it;
 * copy it if you need it longer. hostlens_version and hostlens_logo return
 * static text, valid while the library is loaded.
 *
 * Threads. Any thread may call any function at any time. Each thread has its
 * own block for the text and its own error slot, so calls on different
 * threads neither block nor disturb each other; the library starts no
 * threads and takes no locks of its own. The functions are not re-entrant on
 * one thread. Do not call the library from a DllMain, and do not unload it
 * while another thread is inside one of its calls.
 *
 * The per-thread block. A thread's first document call allocates a 64 KiB
 * block, which doubles whenever a document needs more. The block is kept
 * between calls and released when the thread ends (the library's thread
 * detach notification) or, for the thread that calls FreeLibrary, when the
 * library is unloaded. Blocks of other threads still alive at FreeLibrary
 * are not reclaimed. A document function returns NULL only when memory is
 * exhausted; setting up a thread's state never aborts the host.
 *
 * COM. hostlens_cpu_temp, hostlens_gpu, hostlens_battery, hostlens_get_all
 * and hostlens_collect when it names one of those three use WMI. They enter
 * COM for the duration of the call only: on a thread outside COM they enter a
 * single-threaded apartment and leave it again (CoUninitialize) before
 * returning, so the thread is outside COM afterwards and free to choose its
 * own apartment. A thread already in an apartment, single- or
 * multithreaded, stays in it and is used as it is. No other function makes
 * a COM call; hostlens_os in particular does not.
 *
 * Blocking. hostlens_cpu waits 200 ms to measure CPU usage (400 ms when
 * per-processor counters are available). hostlens_get_all, and
 * hostlens_collect with "cpu", measure CPU usage over their whole collection,
 * at least 200 ms, instead of waiting separately. hostlens_public_ip,
 * hostlens_get_all and hostlens_collect with "public_ip" wait for one HTTP
 * request, up to
 * 2 s in each phase (name resolution, connection, sending, receiving). The
 * WMI calls return in milliseconds on a healthy machine; when the WMI service
 * itself does not respond, connecting may wait up to about two minutes and
 * each row up to 5 s. Every other call returns as fast as the system answers
 * it, without waiting.
 *
 * Network. hostlens_public_ip, hostlens_get_all and hostlens_collect when
 * its list names "public_ip" each make one plain-HTTP (unencrypted) request
 * to the public IP service chosen at build time. No other function touches
 * the network.
 *
 * Failure. A value the library cannot determine is written as the string
 * "unknown" (or -1 / 0 where a document says so); a document is always
 * complete. Nothing is thrown, and nothing is reported through a status.
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

#include "hostlens_version.h"

#ifdef __cplusplus
extern "C" {
#endif

/* HOSTLENS_VERSION_STRING of the library that was loaded, "major.minor.patch"
 * (compare its major number with the header's before relying on a
 * document). Static text, valid while the library is loaded. */
HOSTLENS_API const char *hostlens_version(void);

/* The calling thread's pending error text; empty after every completed
 * document call (messages reach the caller only as the "error" member of
 * hostlens_public_ip). Valid until the thread's next call. Never NULL. */
HOSTLENS_API const char *hostlens_last_error(void);

/* A constant ASCII-art logo: "windows", "linux" or "zephrion"; any other name,
 * NULL included, gives the default logo. Valid while the library is loaded;
 * does not disturb the thread's last document. */
HOSTLENS_API const char *hostlens_logo(const char *name);

/* Every module in one document, collected in one pass, then a "logo" member
 * (some sections carry fewer members than the module's own document; see
 * get_all.schema.json). Blocks for the collection, CPU usage measured over
 * all of it (at least 200 ms), and the public IP request (up to 2 s per
 * phase); makes one HTTP request; uses WMI, entering COM for the call only.
 * Lifetime and failure as above. */
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
 * Blocking: with "cpu", the usage samples are taken before the other modules
 * are collected and again after them, with a sleep of only what is left of
 * 200 ms in between, so "usage_percent" covers the whole collection and at
 * least 200 ms (hostlens_get_all does the same); with "public_ip", one HTTP
 * request waiting up to 2 s per phase.
 *
 * Lifetime, threads and failure as for every document function: the text is
 * the library's until the thread's next document call, NULL is returned only
 * when memory is exhausted, and hostlens_last_error is empty afterwards. The
 * list is only read, and only during the call. */
HOSTLENS_API const char *hostlens_collect(const char *modules);

/* Module documents. Each returns {"<key>":...} as described above. */
HOSTLENS_API const char *hostlens_os(void);                  /* "os"; no COM */
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
/* "cpu_temp", "gpu" (a list) and "battery" (a list) come from WMI: each call
 * enters COM for its own duration only, as described under COM above. */
HOSTLENS_API const char *hostlens_cpu_temp(void);
HOSTLENS_API const char *hostlens_gpu(void);
HOSTLENS_API const char *hostlens_battery(void);
HOSTLENS_API const char *hostlens_memory(void);  /* "memory" */
HOSTLENS_API const char *hostlens_swap(void);    /* "swap" */
HOSTLENS_API const char *hostlens_disk(void);    /* "disk", a list */
HOSTLENS_API const char *hostlens_network(void); /* "network" */
/* "public_ip": one plain-HTTP request to a geolocation service, waiting up
 * to 2 s per phase. A failure is described in the member "error", the one
 * member of any document that is present only sometimes: the phase or the
 * reason (the name could not be resolved, the connection was refused, it
 * timed out, ...) and the system's error code, e.g. "public_ip: ip-api.com:
 * the name could not be resolved (error 12007)". Its wording is for people,
 * not for parsing. */
HOSTLENS_API const char *hostlens_public_ip(void);
HOSTLENS_API const char *hostlens_locale(void);        /* "locale" */
HOSTLENS_API const char *hostlens_user(void);          /* "user" */
HOSTLENS_API const char *hostlens_process_count(void); /* "process_count" */

#ifdef __cplusplus
}
#endif

#endif
