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
 * below except hostlens_version, hostlens_last_error, hostlens_logo and the
 * sampler's three, whose text is the sampler's own: see there), or until the
 * thread ends, or until the library is unloaded. Never free it;
 * copy it if you need it longer. hostlens_version and hostlens_logo return
 * static text, valid while the library is loaded.
 *
 * Threads. Any thread may call any function at any time (a sampler, though,
 * one thread at a time: see there). Each thread has its
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
 * COM. hostlens_cpu_temp, hostlens_gpu, hostlens_battery, hostlens_get_all,
 * and hostlens_collect and hostlens_sampler_read when they name one of those
 * three use WMI. They enter
 * COM for the duration of the call only: on a thread outside COM they enter a
 * single-threaded apartment and leave it again (CoUninitialize) before
 * returning, so the thread is outside COM afterwards and free to choose its
 * own apartment. A thread already in an apartment, single- or
 * multithreaded, stays in it and is used as it is. No other function makes
 * a COM call; hostlens_os in particular does not. Within one
 * hostlens_get_all or hostlens_collect call, the WMI queries of one
 * namespace share one connection, released before the call leaves COM; a
 * connection that failed is not tried again within the call.
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
 * phase); makes one HTTP request; uses WMI, entering COM once around its
 * WMI modules only, which it collects last and together: the thread is in no
 * apartment during the public IP's HTTP waits or the other modules.
 * Lifetime and failure as above. */
HOSTLENS_API const char *hostlens_get_all(void);

/* The modules named in `modules`, collected in one pass and returned in one
 * document: {"os":{...},"cpu":{...},...}.
 *
 * `modules` is a comma-separated list of the section keys of
 * hostlens_get_all: "os", "host", "kernel", "uptime", "boot_time",
 * "packages", "shell", "resolution", "de", "wm", "terminal",
 * "terminal_font", "cpu", "cpu_temp", "gpu", "memory", "swap", "battery",
 * "disk", "network", "public_ip", "locale", "user", "process_count", and of
 * the modules reached only by name (below). Names match exactly (case
 * included); blanks (spaces, tabs, line breaks) around a name and empty
 * items are ignored, and a name given twice counts once. NULL, "" or a list
 * that names nothing means every snapshot section except "public_ip": the
 * public IP, the only one that sends a request to a third party, and the
 * modules reached only by name come only when named.
 *
 * Modules reached only by name. They are not sections of hostlens_get_all
 * and have no export of their own; each follows the snapshot's sections, in
 * the order below, as {"<name>":...} in the same form as when named alone,
 * and is described, every member with its unit, by its schema
 * (<name>.schema.json). None of them sleeps. Their lists have no cap: length
 * and cost grow linearly with what the machine has. A value the platform
 * refuses is "unknown", never 0; a list it refuses as a whole (no
 * interface table, no process list, no display configuration, no battery
 * devices) is empty, as on a machine that has none.
 *  - "cpu_times": seconds each logical processor of every processor group
 *    spent in user, privileged (kernel without idle), idle, interrupt and
 *    DPC time since boot, and their sums; one query per processor group.
 *    Each processor keeps its place ("unknown" values where its group's
 *    answer failed or left it out); the sums are "unknown" unless every
 *    group answered in full and the groups are known.
 *  - "net_io": for every interface of the interface table, its byte,
 *    packet, error and discard counters, its link speeds and whether it is
 *    a hardware or a filter interface; one call.
 *  - "processes": every process with its parent, name, threads, handles,
 *    memory, processor times and start time; one call (repeated, at most a
 *    few times, when the list grows while it is read), no process opened.
 *  - "disk_io": one entry per physical disk (\\.\PhysicalDriveN): model,
 *    serial, bus, media ("ssd" or "hdd" from the seek-penalty property,
 *    "unknown" when the disk does not say), size, the fixed volumes on it,
 *    and its cumulative I/O counters. Costs, per disk, one open with no
 *    access rights (no administrator needed) and four control codes; per
 *    fixed volume, one open and one control code; per volume of the
 *    system, one query of its mounts; and eight failed opens of the numbers
 *    probed beyond the last disk.
 *  - "volumes": one entry per fixed volume with a drive letter (the volumes
 *    "disk" lists, less SUBST drives, which are folders of another volume,
 *    and a second letter that names a volume already listed),
 *    then one per fixed volume mounted in folders only, at its first folder
 *    ("C:\data\"): label ("" when the volume has none), file system, total,
 *    free and caller-available bytes as exact integers, and the physical
 *    disks it lies on. A volume mounted nowhere is left out.
 *  - "hypervisor": whether the system runs under a hypervisor, its vendor
 *    signature and plain name, and whether the system is its guest, from
 *    the CPUID instruction (x86-64 only; elsewhere every member is
 *    "unknown"). Windows with virtualization-based security runs as
 *    Hyper-V's root partition: a hypervisor is present, but the system is
 *    no guest, unless that hypervisor says it is nested in a Hyper-V
 *    partition (a virtual machine on Hyper-V or Azure). A root partition
 *    nested under another vendor's hypervisor cannot be told from bare
 *    metal this way and is reported as no guest. KVM and Xen may offer a
 *    Windows guest Hyper-V's interface (leaf 0x40000001 "Hv#1"): the vendor
 *    is then that interface's text, usually "Microsoft Hv", and the name
 *    that of the hypervisor beneath ("KVM"), whatever the text says.
 *  - "os_release": the Windows release from the registry's CurrentVersion
 *    key: product name, feature update ("23H2"), build and update revision
 *    as numbers and joined ("22631.2861"), edition and installation type.
 *  - "displays": one entry per active display of the display configuration
 *    (QueryDisplayConfig): the monitor's name, its desktop's width and
 *    height, its own refresh rate (two decimals), rotation (degrees
 *    clockwise), connector ("HDMI", "DisplayPort", "internal", ...), whether
 *    it is the primary display, and its scale ("unknown" before Windows 10
 *    1607). The scale is read with the calling thread made per-monitor DPI
 *    aware for the call only: its own DPI awareness context is set back
 *    before the call returns. A session without a display (a service) gives
 *    an empty list.
 *  - "battery_health": one entry per battery, from the battery devices
 *    themselves (SetupAPI and the battery IOCTLs; no WMI, no administrator):
 *    name, manufacturer, serial, chemistry, design and full-charge capacity
 *    (mWh), health (full-charge over design capacity), cycle count, rate
 *    (mW, signed: negative while discharging), voltage, charge (remaining
 *    over full-charge capacity, percent) and state ("Charging",
 *    "Discharging", "AC").
 *  - "cpu_info": the cpu document's members up to "speed_avg_mhz" (model,
 *    identity, topology, nominal speed), without usage: no sample and no
 *    sleep.
 *  - "display_adapters": one entry per display adapter the system has
 *    present (SetupAPI, the display adapter class), with its name, maker
 *    (from the PCI vendor number), memory and driver version from the
 *    adapter's own driver instance key, and its device instance ID. No WMI,
 *    no COM and no user32.
 * The counters of cpu_times, net_io, processes and disk_io are cumulative
 * since boot (or since the interface started): a host takes rates from two
 * calls, or from a sampler (below).
 *
 * The sections stand in the snapshot's order, whatever the order of the
 * list, and each is exactly the snapshot's section (so "public_ip" has no
 * "error" member); there is no "logo" member. Names that are no module
 * follow as the member "unknown_modules": an array of those names as given
 * (blanks removed, each once as it is written, in the order given), present
 * only when there is at least one. A list of unknown names only gives
 * {"unknown_modules":[...]}. Any list, of any length and any bytes, gives a
 * valid document, in time n log n in the list's length. The list may lie in
 * the thread's previous document: it is read before that text is released.
 *
 * Blocking: with "cpu", the usage samples are taken before the other modules
 * are collected and again after them, with a sleep of only what is left of
 * 200 ms in between, so "usage_percent" covers the whole collection and at
 * least 200 ms (hostlens_get_all does the same); with "public_ip", one HTTP
 * request waiting up to 2 s per phase.
 *
 * The library's own work is no load: "usage_percent" leaves out the CPU time
 * the calling thread spent between the two samples (GetThreadTimes before
 * and after), here and in hostlens_get_all and hostlens_cpu, so an idle
 * machine polled by a scheduled task does not show the task itself. Work
 * other processes do on the library's behalf, the WMI provider host
 * answering the WMI modules' queries above all, stays counted, and so does
 * the calling thread's time in the per-processor values. On a machine with
 * several processor groups (more than 64 logical processors) the samples
 * are the sums of every group's processor times, not GetSystemTimes, which
 * counts the calling thread's group alone.
 *
 * Lifetime, threads and failure as for every document function: the text is
 * the library's until the thread's next document call, NULL is returned only
 * when memory is exhausted, and hostlens_last_error is empty afterwards. The
 * list is only read, and only during the call. */
HOSTLENS_API const char *hostlens_collect(const char *modules);

/* Module documents. Each returns {"<key>":...} as described above. */
/* "os"; no COM. Its "install_date" is the machine's first installation: every
 * feature update of Windows 10 and 11 rewrites CurrentVersion's date, so it
 * is the earliest of that date and those of the installations the updates
 * replaced (the "Source OS (Updated on ...)" keys under HKLM\SYSTEM\Setup). */
HOSTLENS_API const char *hostlens_os(void);
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
/* "cpu": blocks the calling thread 200 ms, or 400 ms with per-processor counters.
 * "family", "model_number", "stepping" and "flags_count" come from the CPUID
 * instruction (x86-64 only; "unknown" elsewhere); "logical_cores" counts the
 * active processors of every processor group, beyond 64 too. Element i of
 * "per_core_percent" belongs to logical processor i (numbered across the
 * groups, the first 128): -1.0 where that processor's counter could not be
 * added or read, so that no later value moves to another processor's place;
 * the list is empty only when no processor had a value. */
HOSTLENS_API const char *hostlens_cpu(void);
/* "cpu_temp", "gpu" (a list) and "battery" (a list) come from WMI: each call
 * enters COM for its own duration only, as described under COM above.
 *
 * "cpu_temp" is the hottest ACPI thermal zone, from WMI where it answers
 * (it needs an administrator), else from the "Thermal Zone Information"
 * performance counters, which any user may read. An ACPI thermal zone is
 * whatever the firmware measures there: it may be the board or the chassis
 * rather than the CPU package, whose own sensor only a kernel driver can
 * read. A zone reading below 1 or above 150 degrees Celsius is a
 * placeholder of firmware without a sensor and is never reported; without
 * any other reading "celsius" is -1.0.
 *
 * A battery's "time_remaining_seconds" is the platform's estimate of its
 * run time at the present load while it discharges, and "unknown" while it
 * is on external power or the platform has no estimate. */
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
 * the name could not be resolved (error 12007)", or the HTTP status of a
 * refusal by the service or a proxy ("public_ip: ip-api.com: HTTP 429").
 * Its wording is for people, not for parsing. */
HOSTLENS_API const char *hostlens_public_ip(void);
HOSTLENS_API const char *hostlens_locale(void);        /* "locale" */
HOSTLENS_API const char *hostlens_user(void);          /* "user" */
HOSTLENS_API const char *hostlens_process_count(void); /* "process_count" */

/* ---- The sampler: rates for hosts that poll ---------------------------------
 *
 * A status bar, a widget or an agent that asks every second what the machine
 * is doing keeps a sampler: a handle the host owns that holds the previous
 * reading of the cumulative counters (each logical processor's times, each
 * interface's and each physical disk's counters, each process's processor
 * time) and turns the next reading into rates over the time between the two.
 * Nothing sleeps: the interval is the host's own, from one read to the next.
 * The library keeps no state of its own for it; everything is in the handle.
 *
 * Threads. A sampler takes no lock. It may be used from any thread, but by
 * one thread at a time: a host that shares one sampler between threads
 * serializes its calls on it (a read and a close on the same sampler must
 * not overlap either). Different samplers never interfere, whatever threads
 * use them, and a read neither touches nor invalidates the calling thread's
 * own document (the text of its last document call stays valid).
 *
 * Memory. A sampler holds a record of about 1.7 KiB, its text (a block that
 * starts at 4 KiB, doubles when a document needs more, and is kept for the
 * next read), and its previous reading: 24 bytes per logical processor, 40
 * per interface, 48 per physical disk and 24 per process. Each read
 * allocates what it reads (the process list's block, 1 MiB or more) and
 * gives it back before it returns, so a sampler read any number of times
 * holds no more than that. */
typedef struct hostlens_sampler hostlens_sampler;

/* Opens a sampler and takes its first counters at once: the processors'
 * times, the interface table, the physical disks' counters and the process
 * list, each as the modules "cpu_times", "net_io", "disk_io" and "processes"
 * of hostlens_collect read them (the disks found without searching the
 * folders of volumes that have no letter, which rates do not need). Returns
 * NULL only when memory is exhausted; a reading the platform refuses is
 * simply not there, and the first rates that need it are "unknown". Costs
 * those four readings, and never sleeps. Close the sampler with
 * hostlens_sampler_close. */
HOSTLENS_API hostlens_sampler *hostlens_sampler_open(void);

/* Reads the counters of the modules named in `modules` and returns one
 * document of their rates since the sampler's previous reading of them:
 * {"interval_s":...,"cpu":{...},"net_io":[...],...}.
 *
 * `modules` follows the list rules of hostlens_collect: comma-separated
 * names, blanks around them and empty items ignored, a name given twice
 * counted once, any length and any bytes. NULL, "" or a list that names
 * nothing means "cpu,net_io,disk_io,processes", the four modules the
 * sampler turns into rates. The document holds, in this order:
 *  - "interval_s": the seconds since the previous read, or since open for
 *    the first read, by the performance counter, with 7 decimals (100 ns);
 *    "unknown" when the clock could not be read.
 *  - "cpu" when named: the snapshot's cpu section, the same members in the
 *    same order. Its description (model, cores, speeds, ...) is read at the
 *    first read that names "cpu" and kept. "usage_percent" and
 *    "per_core_percent" come from the times of every logical processor of
 *    every processor group (NtQuerySystemInformation, no performance
 *    counter, no sleep) since the previous read that named "cpu", or since
 *    open: each processor's share of the interval it was not idle, at its
 *    position (numbered across the groups, the first 128). Idle time is
 *    held against the clock, not against the processor's user and kernel
 *    time, which Windows 11 adds in whole clock ticks, and not at all for
 *    a while on a processor asleep; when the clock cannot be read, each
 *    processor's own times are the whole. A processor is -1.0 where its
 *    times did not move (two reads within the platform's tick), went
 *    backwards, or were refused; the list is empty when no
 *    processor has a value, as hostlens_cpu's is. "usage_percent" is
 *    "unknown" unless every processor has its value. It counts all the
 *    work the machine did, the host's own included.
 *  - "net_io" when named: one entry per interface of the interface table,
 *    but for filter interfaces (which repeat the traffic of the interface
 *    beneath them), in the table's order: "name", "rx_bytes_per_s",
 *    "tx_bytes_per_s", "rx_packets_per_s", "tx_packets_per_s" (per second,
 *    one decimal), "rx_speed_bps", "tx_speed_bps" (the link speeds, bits
 *    per second; "unknown" when the driver does not know), "is_up" and
 *    "hardware" (0 or 1). An interface is the same one while its LUID is.
 *  - "disk_io" when named: one entry per physical disk, by number: "disk"
 *    (N of \\.\PhysicalDriveN), "read_bytes_per_s", "write_bytes_per_s",
 *    "reads_per_s", "writes_per_s" (per second, one decimal) and
 *    "busy_percent" (the share of the interval the disk was not idle, 0 to
 *    100). A disk that refuses its counters has every rate "unknown".
 *  - "processes" when named: the N busiest processes over the interval,
 *    busiest first: "pid", "name", "cpu_percent" (processor time over the
 *    interval; 100 is one processor's whole time, and no process is given
 *    more than every processor's) and "working_set_bytes". N is 10, or the
 *    N of an item "processes:N" written with 1 to 9 decimal digits and
 *    nothing else (N = 0 gives an empty list; "processes:" with anything
 *    else is an unknown name); when the list names processes more than
 *    once, the last item counts. A process is the same one while its pid
 *    and its creation time are: one whose pid now has another creation
 *    time is a new process. A process created since the previous reading
 *    counts its whole processor time; one that was running then but was
 *    not in that reading is "unknown", and ranks after every known one.
 *    Equal processor times are ordered by working set, the larger first,
 *    then by pid. The idle process (pid 0), whose time is the processors'
 *    idle time, is left out.
 *  - Any other module of hostlens_collect: its section exactly as
 *    hostlens_collect writes it, after the four above and in its order
 *    (the cumulative "cpu_times" among them). A module that waits, which
 *    is "public_ip" alone, is not collected: it is listed in
 *    "refused_modules", an array of such names, each once, in the order
 *    given, present only when there is one. Modules that use WMI enter
 *    COM for the call, as hostlens_collect does.
 *  - "unknown_modules" as hostlens_collect writes it.
 *
 * Rates. Each section's rates cover the time between the counters' two
 * readings: from the previous read that named its module (or from open) to
 * this one. Each reading is stamped by the clock read just before its own
 * counters, so that the time the modules read before it take does not skew
 * its rates; a module's interval may differ from "interval_s" by the
 * difference in that time. A host that names the same modules at every read
 * gets every rate over about "interval_s"; a module named only now and then
 * gets its rates over the time since it was last named. The first read after
 * open gives rates over the time since open's readings. Reads within a
 * millisecond of each other give valid numbers; over an interval of zero
 * every rate is "unknown" and "per_core_percent" is empty. A counter that
 * went backwards (an interface or a disk reset, a 32-bit operation count
 * wrapped) gives no rate for its entry ("unknown"), never a wrap-around. An
 * entry that was not in the previous reading has "unknown" rates (processes
 * as above); an entry that is gone is dropped. A reading the platform
 * refuses entirely (an empty interface table, no process list) leaves the
 * previous one in place, and the next rates span both intervals.
 *
 * Lifetime. The text belongs to the sampler: it stays valid and unchanged
 * until the next read or the close of the same sampler. The list is only
 * read, and may lie in the sampler's previous text. Blocking: a read never
 * sleeps and makes no network request; it costs the platform calls of what
 * it names.
 *
 * Returns NULL when `sampler` is NULL or memory is exhausted; the sampler
 * stays usable, and its next read gives rates since its last reading.
 * hostlens_last_error is empty afterwards. */
HOSTLENS_API const char *hostlens_sampler_read(hostlens_sampler *sampler, const char *modules);

/* Frees everything the sampler holds, its text included. NULL is harmless. */
HOSTLENS_API void hostlens_sampler_close(hostlens_sampler *sampler);

#ifdef __cplusplus
}
#endif

#endif
