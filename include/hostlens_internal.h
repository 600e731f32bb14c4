/*
 * Internal interfaces of hostlens: the JSON writer, the error slot, the
 * document envelopes, the collector records and the collectors.
 */
#ifndef HOSTLENS_INTERNAL_H
#define HOSTLENS_INTERNAL_H

#include <stddef.h>
#include <stdint.h>

#include "hostlens.h"

/* ---- JSON writer ----------------------------------------------------------- */

/* A growable, always NUL-terminated text. The first block is 64 KiB; it doubles
 * when length + 2 reaches capacity. When a block cannot be had the buffer drops
 * its block and every later byte, and hl_json_get returns NULL. A NULL buffer
 * is treated as one that failed (reset, appends and get all accept it). */
typedef struct hl_json_t {
    char *data;
    uint64_t length;
    uint64_t capacity;
} hl_json_t;

#define HL_JSON_FIRST_BLOCK 65536u

void hl_json_init(hl_json_t *j);
void hl_json_reset(hl_json_t *j);
const char *hl_json_get(const hl_json_t *j);
/* Fails the document as a block that could not be had does: for a writer
 * whose record could not hold all it should (a list that ran out of
 * memory), so that the caller gets NULL rather than a document with holes. */
void hl_json_fail(hl_json_t *j);
void hl_json_str(hl_json_t *j, const char *text);
/* The n bytes at text as a string, NUL bytes among them escaped. */
void hl_json_strn(hl_json_t *j, const char *text, size_t n);
void hl_json_raw(hl_json_t *j, const char *text);
void hl_json_istr(hl_json_t *j, const char *text);
void hl_json_num(hl_json_t *j, int64_t n);
void hl_json_dbl(hl_json_t *j, double x);
void hl_json_key(hl_json_t *j, const char *key);
void hl_json_kvs(hl_json_t *j, const char *key, const char *text);
void hl_json_kvn(hl_json_t *j, const char *key, int64_t n);
void hl_json_kvns(hl_json_t *j, const char *key, int64_t n);
void hl_json_kv2(hl_json_t *j, const char *k1, int64_t a, const char *k2, int64_t b);
void hl_json_comma(hl_json_t *j);
void hl_json_obj_open(hl_json_t *j, const char *key);
void hl_json_obj_close(hl_json_t *j);
void hl_json_arr_open(hl_json_t *j, const char *key);
void hl_json_arr_close(hl_json_t *j);
void hl_json_comma_arr(hl_json_t *j);
/* "key": then "unknown" for a negative value, else the double. */
void hl_json_kvd_unknown(hl_json_t *j, const char *key, double x);
/* "key": then "unknown" for a counter the platform refused (all ones,
 * HL_COUNTER_UNKNOWN), else the counter exactly. */
void hl_json_kv_counter(hl_json_t *j, const char *key, uint64_t n);
/* n / 10^decimals as a decimal number with exactly `decimals` digits after
 * the point (at most 19), computed in integers: exact, where a double
 * would round (a counter of 100 ns units is n with 7 decimals, seconds). */
void hl_json_fixed(hl_json_t *j, uint64_t n, unsigned decimals);

/* ---- text helpers ----------------------------------------------------------- */

/* Length of the longest prefix of text[0..n) that ends on a UTF-8 character
 * boundary: a cut there never splits a sequence. */
size_t hl_utf8_fit(const char *text, size_t n);
/* Copies src into dst (size bytes, size > 0), cut at the last character
 * boundary that fits; always NUL-terminated. NULL src copies "". */
void hl_copy(char *dst, size_t size, const char *src);
/* printf-style into dst, cut like hl_copy. */
void hl_format(char *dst, size_t size, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

void hl_ensure(char *buffer, size_t size);
char *hl_strdup(const char *text);
void hl_trim(char *text);
int hl_file_exists(const char *path);
char *hl_read_file(const char *path, size_t *out_length);
int hl_read_file_str(const char *path, char *buffer, size_t size);
int64_t hl_parse_ll(const char *text);
double hl_parse_dbl(const char *text);
const char *hl_env_or(const char *name, const char *fallback);

/* A system DLL (name such as u"pdh.dll"), loaded from the system directory
 * only: by LOAD_LIBRARY_SEARCH_SYSTEM32, or where the system predates that
 * flag, by its full path there. NULL when it cannot be loaded. The platform's
 * first-use loads go through it too. */
void *hl_load_system_library(const char16_t *name);

/* ---- per-thread state and envelopes ---------------------------------------- */

#define HL_ERROR_SIZE 256

/* What the library keeps for a thread between its calls. */
typedef struct hl_thread_state_t {
    hl_json_t json;
    char error[HL_ERROR_SIZE];
    /* The WMI connections of the pass running on the thread, or NULL: its
     * queries of one namespace share one (collectors/wmi.cpp). */
    struct hl_wmi_session_t *wmi;
} hl_thread_state_t;

/* The calling thread's record, or NULL when it has none: with `create`, made
 * (zeroed) on the thread's first use, NULL only when that fails. */
hl_thread_state_t *hl_thread_state(int create);
/* Releases the calling thread's record and its JSON block. */
void hl_thread_release(void);

/* The entry point's notifications, as the platform numbers them. */
#define HL_DLL_PROCESS_DETACH 0u
#define HL_DLL_THREAD_DETACH 3u
/* The library's entry point: `reserved` is the entry point's third argument
 * (NULL on process detach when the DLL is being freed, not at process exit). */
void hl_dll_entry(uint32_t reason, const void *reserved);

void hl_set_error(const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
const char *hl_get_error(void);
void hl_clear_error(void);

/* The calling thread's buffer; initialises it once per process. NULL when
 * the thread has no record: the writer drops every append to a NULL buffer. */
hl_json_t *hl_json_thread(void);
hl_json_t *begin_module(const char *key);
hl_json_t *begin_module_arr(const char *key);
const char *end_module(void);
const char *end_module_arr(void);

/* Which members a module writer emits: the module's own document, or its
 * snapshot section (some sections leave members out). */
typedef enum hl_form_t { HL_DOCUMENT = 0, HL_SECTION = 1 } hl_form_t;

/* ---- collector records ------------------------------------------------------ */

typedef struct hl_os_info_t {
    char type[64];
    char name[256];
    char version[64];
    char codename[64];
    char build_id[64];
    char id[64];
    char pretty_name[256];
    char kernel_release[64];
    char kernel_version[256];
    char host_id[128];
    char install_date[64];
} hl_os_info_t;

typedef struct hl_kernel_info_t {
    char name[64];
    char release[64];
    char version[256];
    char architecture[32];
    char codename[64];
} hl_kernel_info_t;

typedef struct hl_uptime_info_t {
    int64_t total_seconds;
    char formatted[96];
    char boot_time_iso[32];
    char last_boot[96];
} hl_uptime_info_t;

typedef struct hl_packages_info_t {
    char managers[512];
    int64_t total;
} hl_packages_info_t;

typedef struct hl_shell_info_t {
    char name[128];
    char path[256];
    char version[64];
} hl_shell_info_t;

typedef struct hl_terminal_info_t {
    char name[128];
    char version[64];
} hl_terminal_info_t;

typedef struct hl_terminal_font_info_t {
    char name[128];
    char size[32];
} hl_terminal_font_info_t;

typedef struct hl_resolution_info_t {
    int64_t width;
    int64_t height;
    int64_t refresh_hz;
} hl_resolution_info_t;

typedef struct hl_name_info_t {
    char name[128];
} hl_name_info_t;

typedef struct hl_user_info_t {
    char username[128];
    char host[256];
    char full_name[128];
} hl_user_info_t;

typedef struct hl_locale_info_t {
    char name[32];
} hl_locale_info_t;

typedef struct hl_memory_info_t {
    int64_t used_mb;
    int64_t total_mb;
    double percent;
    int64_t available_mb;
    int64_t virtual_used_mb;
} hl_memory_info_t;

typedef struct hl_swap_info_t {
    int64_t used_mb;
    int64_t total_mb;
    double percent;
} hl_swap_info_t;

#define HL_CPU_MAX_COUNTERS 128

typedef struct hl_cpu_info_t {
    char model[256];
    char physical_id[64];
    int64_t family;
    int64_t model_number;
    int64_t stepping;
    int64_t flags_count;
    int64_t sockets;
    int64_t physical_cores;
    int64_t logical_cores;
    int64_t speed_min_mhz;
    int64_t speed_max_mhz;
    double speed_avg_mhz;
    double usage_percent;
    double per_core_percent[HL_CPU_MAX_COUNTERS];
    int32_t per_core_count;
} hl_cpu_info_t;

#define HL_GPU_MAX 8

typedef struct hl_gpu_info_t {
    char vendor[128];
    char model[256];
    int64_t vram_mb;
    char driver_version[64];
    int64_t output_count;
} hl_gpu_info_t;

typedef struct hl_gpu_list_t {
    hl_gpu_info_t gpus[HL_GPU_MAX];
    int32_t count;
} hl_gpu_list_t;

#define HL_BATTERY_MAX 4

typedef struct hl_battery_info_t {
    char model[128];
    int64_t percent;
    int64_t power_plugged;
    char state[32];
    int64_t time_remaining_seconds;
} hl_battery_info_t;

typedef struct hl_battery_list_t {
    hl_battery_info_t batteries[HL_BATTERY_MAX];
    int32_t count;
} hl_battery_list_t;

#define HL_DISK_MAX 32

typedef struct hl_disk_info_t {
    char device[128];
    char mount_point[256];
    char label[128];
    char filesystem[64];
    double size_gb;
    double used_gb;
    double percent;
} hl_disk_info_t;

typedef struct hl_disk_list_t {
    hl_disk_info_t disks[HL_DISK_MAX];
    int32_t count;
} hl_disk_list_t;

typedef struct hl_host_info_t {
    char manufacturer[128];
    char model[256];
    char version[128];
    char sku[128];
    char family[128];
    char chassis_type[64];
    char bios_vendor[128];
    char bios_version[64];
    char bios_date[32];
    char board_vendor[128];
    char board_model[128];
} hl_host_info_t;

#define HL_NETIF_MAX 16

typedef struct hl_netif_info_t {
    char name[64];
    char ipv4[64];
    char ipv6[64];
    char mac[32];
    int32_t is_loopback;
    int32_t is_up;
} hl_netif_info_t;

typedef struct hl_network_info_t {
    hl_netif_info_t interfaces[HL_NETIF_MAX];
    int32_t count;
    char local_ip[64];
} hl_network_info_t;

typedef struct hl_public_ip_info_t {
    char ip[64];
    char country[64];
    char city[64];
} hl_public_ip_info_t;

/* ---- physical disks and volumes: lists without a cap, each in one heap
 * block grown with hl_list_reserve; out_of_memory when a block could not be
 * had, and the writer then fails the document. */

/* One physical disk. Numbers are -1 where the platform did not say. */
typedef struct hl_physical_disk_t {
    uint32_t disk; /* N of \\.\PhysicalDriveN */
    char model[256];
    char serial[128];
    char bus[24];
    char media[8]; /* "ssd", "hdd" or "unknown" */
    int64_t size_bytes;
    int64_t reads, writes, read_bytes, write_bytes;
    int64_t read_time, write_time, idle_time; /* 100 ns */
    int64_t queue_depth, split_ios;
} hl_physical_disk_t;

/* A volume's mount as the documents write it: its drive root ("C:\"), or
 * the folder a volume without a letter is mounted in ("C:\data\"), in
 * UTF-8: a MAX_PATH folder of three-byte characters fits. */
#define HL_MOUNT_SIZE 800

/* A fixed volume's mount and one disk its extents name. */
typedef struct hl_disk_mount_t {
    uint32_t disk;
    int32_t order; /* the volume's place in the walk */
    char mount[HL_MOUNT_SIZE];
} hl_disk_mount_t;

typedef struct hl_disk_io_list_t {
    hl_physical_disk_t *disks; /* by disk number, ascending */
    int32_t count, capacity;
    hl_disk_mount_t *mounts; /* by disk number, then drive order */
    int32_t mount_count, mount_capacity;
    int out_of_memory;
} hl_disk_io_list_t;

typedef struct hl_volume_info_t {
    char mount[HL_MOUNT_SIZE];
    char label[128];
    char filesystem[64];
    int64_t total_bytes, free_bytes, available_bytes; /* -1: unknown */
    int32_t first_disk, disk_count;                   /* its disks: disk_numbers[first_disk..] */
} hl_volume_info_t;

typedef struct hl_volume_list_t {
    hl_volume_info_t *volumes;
    int32_t count, capacity;
    uint32_t *disk_numbers;
    int32_t disk_number_count, disk_number_capacity;
    int out_of_memory;
} hl_volume_list_t;

/* One active display: its path of the display configuration, its source
 * mode and its monitor. */
typedef struct hl_display_info_t {
    char name[128];          /* the monitor's friendly name */
    int64_t width, height;   /* the source mode, pixels; -1 without one */
    int64_t refresh_centihz; /* hundredths of a hertz; -1 when unknown */
    int64_t rotation;        /* degrees clockwise: 0, 90, 180, 270; -1 unknown */
    char connector[32];
    int64_t primary;       /* 1 for the display at the desktop's origin, 0, -1 */
    int64_t scale_percent; /* effective DPI over 96, percent; -1 unknown */
} hl_display_info_t;

/* Every active display: one heap block of `capacity` items, `count` filled;
 * `failed` when memory ran out (the document then fails). */
typedef struct hl_display_list_t {
    hl_display_info_t *items;
    int32_t count, capacity;
    int failed;
} hl_display_list_t;

#define HL_RATE_UNKNOWN INT64_MIN

/* One battery as its device reports it. Numbers are -1 when unknown, the
 * rate HL_RATE_UNKNOWN (it is signed). */
typedef struct hl_battery_health_t {
    char name[128];
    char manufacturer[128];
    char serial[128];
    char chemistry[32];
    int64_t design_capacity_mwh;
    int64_t full_charge_capacity_mwh;
    double health_percent;
    int64_t cycle_count;
    int64_t rate_mw; /* negative while discharging */
    int64_t voltage_mv;
    double charge_percent;   /* remaining over full-charge capacity; -1 unknown */
    char state[16];          /* "Charging", "Discharging", "AC"; "" unknown */
    int64_t full_charge_raw; /* FullChargedCapacity in the battery's own unit; -1 */
} hl_battery_health_t;

typedef struct hl_battery_health_list_t {
    hl_battery_health_t *items;
    int32_t count, capacity;
    int failed;
} hl_battery_health_list_t;

/* One display adapter the system has present, as the device manager and
 * its driver's instance key describe it. */
typedef struct hl_display_adapter_t {
    char name[256];
    char vendor[32];
    int64_t vram_mb; /* -1 when the driver wrote no figure */
    char driver_version[64];
    char device[256]; /* the device instance ID */
} hl_display_adapter_t;

/* Every present display adapter: one heap block of `capacity` items,
 * `count` filled; `failed` when memory ran out (the document then fails). */
typedef struct hl_display_adapter_list_t {
    hl_display_adapter_t *items;
    int32_t count, capacity;
    int failed;
} hl_display_adapter_list_t;

/* The CPU usage window: the first samples of the system times, of the
 * calling thread's own times and of the per-processor counters, held open
 * while other collectors run. */
#define HL_CPU_WINDOW_MS 200u
/* Windows has at most a few dozen processor groups; more are ignored. */
#define HL_CPU_MAX_GROUPS 64

typedef struct hl_cpu_window_t {
    uint64_t times[3]; /* idle, kernel, user */
    int times_ok;
    uint64_t own[2]; /* the calling thread's kernel and user time */
    int own_ok;
    uint32_t active[HL_CPU_MAX_GROUPS]; /* active processors of each group */
    int groups;
    void *query; /* NULL when no counter query is open */
    /* One per processor position, NULL where the counter could not be added. */
    void *counters[HL_CPU_MAX_COUNTERS];
    int32_t positions, added;
    uint64_t started, per_second; /* the performance counter */
    int clock_ok;
} hl_cpu_window_t;

/* ---- what the machine is doing: cumulative counters as the platform keeps
 * them, each entry with what identifies it from one call to the next, so
 * that two records can be turned into rates ------------------------------- */

/* A counter the platform refused. */
#define HL_COUNTER_UNKNOWN UINT64_MAX

/* Processor time since boot, in the platform's 100 ns units. */
typedef struct hl_cpu_ticks_t {
    uint64_t user;
    uint64_t privileged; /* kernel time without idle time */
    uint64_t idle;
    uint64_t interrupt;
    uint64_t dpc;
} hl_cpu_ticks_t;

typedef struct hl_core_times_t {
    uint32_t group; /* processor group */
    uint32_t index; /* processor number within the group */
    hl_cpu_ticks_t ticks;
    uint64_t kernel; /* kernel time with idle time, for the sums */
} hl_core_times_t;

typedef struct hl_cpu_times_t {
    /* Sums over the cores; HL_COUNTER_UNKNOWN unless every group answered. */
    hl_cpu_ticks_t total;
    hl_core_times_t *cores; /* one heap block */
    int32_t count, capacity;
    int out_of_memory;
} hl_cpu_times_t;

/* UTF-8 of a 256-unit interface text and its NUL (at most 3 bytes a unit). */
#define HL_NET_TEXT_SIZE 772

typedef struct hl_net_io_entry_t {
    uint64_t luid; /* the interface's locally unique identifier */
    uint32_t if_index;
    char name[HL_NET_TEXT_SIZE]; /* the alias */
    char description[HL_NET_TEXT_SIZE];
    char mac[24];
    int32_t is_up;
    int32_t hardware; /* a hardware interface */
    int32_t filter;   /* a filter interface, which repeats another one's traffic */
    uint64_t rx_bytes, tx_bytes;
    uint64_t rx_packets, tx_packets; /* unicast and non-unicast */
    uint64_t rx_errors, tx_errors;
    uint64_t rx_discards, tx_discards;
    uint64_t rx_unknown;                 /* packets of an unknown protocol */
    uint64_t rx_speed_bps, tx_speed_bps; /* HL_COUNTER_UNKNOWN: the driver does not know */
} hl_net_io_entry_t;

typedef struct hl_net_io_list_t {
    hl_net_io_entry_t *items; /* one heap block */
    int32_t count, capacity;
    int out_of_memory;
} hl_net_io_list_t;

typedef struct hl_process_entry_t {
    uint64_t pid, ppid;
    uint64_t create_time;  /* 100 ns since 1601 (UTC); 0 when the platform has none */
    uint64_t user, kernel; /* processor time, 100 ns */
    uint64_t working_set_bytes, private_bytes;
    uint32_t threads, handles;
    int32_t name_at;     /* offset of the UTF-8 name in the list's text; -1: unknown */
    int32_t name_length; /* bytes */
    char start_time[24]; /* "YYYY-MM-DDThh:mm:ssZ" or "unknown" */
} hl_process_entry_t;

typedef struct hl_process_list_t {
    hl_process_entry_t *items; /* one heap block */
    int32_t count, capacity;
    char *text; /* the names, one after another, not terminated */
    int32_t text_length, text_capacity;
    int out_of_memory;
} hl_process_list_t;
/* The hypervisor the machine runs under, from CPUID. */
typedef struct hl_hypervisor_info_t {
    int64_t present; /* 1, 0, or -1 on a processor without CPUID */
    char vendor[16]; /* the signature of leaf 0x40000000 */
    char name[32];
    int64_t guest; /* 1, 0, or -1 */
} hl_hypervisor_info_t;

/* The Windows release, from the CurrentVersion key. */
typedef struct hl_os_release_info_t {
    char product[256];
    char display_version[64];
    int64_t build; /* -1 when unknown */
    int64_t ubr;   /* -1 when unknown */
    char full_build[32];
    char edition[64];
    char installation_type[64];
} hl_os_release_info_t;

/* ---- collectors: fill a record, never write JSON ----------------------------- */

void hl_impl_init(void);
void hl_impl_os(hl_os_info_t *out);
void hl_impl_kernel(hl_kernel_info_t *out);
void hl_impl_uptime(hl_uptime_info_t *out);
void hl_impl_packages(hl_packages_info_t *out);
void hl_impl_shell(hl_shell_info_t *out);
void hl_impl_terminal(hl_terminal_info_t *out);
void hl_impl_terminal_font(hl_terminal_font_info_t *out);
void hl_impl_resolution(hl_resolution_info_t *out);
void hl_impl_de(hl_name_info_t *out);
void hl_impl_wm(hl_name_info_t *out);
void hl_impl_user(hl_user_info_t *out);
void hl_impl_locale(hl_locale_info_t *out);
void hl_impl_process_count(uint64_t *count);
void hl_impl_memory(hl_memory_info_t *out);
void hl_impl_swap(hl_swap_info_t *out);
void hl_impl_cpu(hl_cpu_info_t *out);
/* hl_impl_cpu in three steps, for a pass over several collectors: open takes
 * the first samples, describe reads everything but usage, close sleeps only
 * what is left of the window's 200 ms and takes the second samples. */
void hl_impl_cpu_open(hl_cpu_info_t *out, hl_cpu_window_t *w);
void hl_impl_cpu_describe(hl_cpu_info_t *out);
void hl_impl_cpu_close(hl_cpu_info_t *out, hl_cpu_window_t *w);
/* Everything hl_impl_cpu reads but usage, without a window: no sample, no
 * sleep. */
void hl_impl_cpu_info(hl_cpu_info_t *out);
void hl_impl_cpu_temp(double *out);
void hl_impl_gpu(hl_gpu_list_t *out);
void hl_impl_battery(hl_battery_list_t *out);
void hl_impl_disk(hl_disk_list_t *out);
void hl_impl_host(hl_host_info_t *out);
void hl_impl_network(hl_network_info_t *out);
void hl_impl_public_ip(hl_public_ip_info_t *out);
/* The modules reached only by name. Each makes one platform call (one per
 * processor group for the CPU times), sleeps never, and leaves the heap
 * blocks of its record for the caller to free with its release function. */
void hl_impl_cpu_times(hl_cpu_times_t *out);
void hl_impl_net_io(hl_net_io_list_t *out);
void hl_impl_processes(hl_process_list_t *out);
void hl_cpu_times_release(hl_cpu_times_t *r);
void hl_net_io_release(hl_net_io_list_t *r);
void hl_processes_release(hl_process_list_t *r);
/* The list collectors below allocate; hl_*_free gives their blocks back. */
void hl_impl_disk_io(hl_disk_io_list_t *out);
/* The same disks with their counters only, for a sampler's rates: one query
 * per disk instead of four; model, serial, bus, media and size stay
 * "unknown". */
void hl_impl_disk_counters(hl_disk_io_list_t *out);
void hl_disk_io_free(hl_disk_io_list_t *r);
void hl_impl_volumes(hl_volume_list_t *out);
void hl_volumes_free(hl_volume_list_t *r);
void hl_impl_hypervisor(hl_hypervisor_info_t *out);
void hl_impl_os_release(hl_os_release_info_t *out);
/* List collectors: the caller releases out->items with hl_port_free. */
void hl_impl_displays(hl_display_list_t *out);
void hl_impl_battery_health(hl_battery_health_list_t *out);
void hl_impl_display_adapters(hl_display_adapter_list_t *out);

/* ---- member writers: shared by each module document and its snapshot section.
 * Each writes the members only, between the brackets its caller writes. ----- */

void hl_write_os(hl_json_t *j, const hl_os_info_t *r);
void hl_write_kernel(hl_json_t *j, const hl_kernel_info_t *r);
void hl_write_uptime(hl_json_t *j, const hl_uptime_info_t *r, hl_form_t form);
void hl_write_boot_time(hl_json_t *j, const hl_uptime_info_t *r, hl_form_t form);
void hl_write_packages(hl_json_t *j, const hl_packages_info_t *r);
void hl_write_shell(hl_json_t *j, const hl_shell_info_t *r);
void hl_write_terminal(hl_json_t *j, const hl_terminal_info_t *r);
void hl_write_terminal_font(hl_json_t *j, const hl_terminal_font_info_t *r, hl_form_t form);
void hl_write_resolution(hl_json_t *j, const hl_resolution_info_t *r, hl_form_t form);
void hl_write_name(hl_json_t *j, const hl_name_info_t *r);
void hl_write_user(hl_json_t *j, const hl_user_info_t *r, hl_form_t form);
void hl_write_locale(hl_json_t *j, const hl_locale_info_t *r);
void hl_write_process_count(hl_json_t *j, uint64_t count);
void hl_write_memory(hl_json_t *j, const hl_memory_info_t *r);
void hl_write_swap(hl_json_t *j, const hl_swap_info_t *r);
void hl_write_cpu(hl_json_t *j, const hl_cpu_info_t *r);
/* The cpu document's members up to speed_avg_mhz: the cpu_info module. */
void hl_write_cpu_info(hl_json_t *j, const hl_cpu_info_t *r);
void hl_write_cpu_temp(hl_json_t *j, double celsius);
void hl_write_gpu(hl_json_t *j, const hl_gpu_list_t *r);         /* the entries */
void hl_write_battery(hl_json_t *j, const hl_battery_list_t *r); /* the entries */
void hl_write_disk(hl_json_t *j, const hl_disk_list_t *r);       /* the entries */
void hl_write_host(hl_json_t *j, const hl_host_info_t *r);
void hl_write_network(hl_json_t *j, const hl_network_info_t *r);
void hl_write_public_ip(hl_json_t *j, const hl_public_ip_info_t *r);
/* Each fails the document (hl_json_fail) when its record ran out of memory. */
void hl_write_cpu_times(hl_json_t *j, const hl_cpu_times_t *r);
void hl_write_net_io(hl_json_t *j, const hl_net_io_list_t *r);     /* the entries */
void hl_write_processes(hl_json_t *j, const hl_process_list_t *r); /* the entries */
void hl_write_disk_io(hl_json_t *j, const hl_disk_io_list_t *r);   /* the entries */
void hl_write_volumes(hl_json_t *j, const hl_volume_list_t *r);    /* the entries */
void hl_write_hypervisor(hl_json_t *j, const hl_hypervisor_info_t *r);
void hl_write_os_release(hl_json_t *j, const hl_os_release_info_t *r);
void hl_write_displays(hl_json_t *j, const hl_display_list_t *r);                 /* the entries */
void hl_write_battery_health(hl_json_t *j, const hl_battery_health_list_t *r);    /* the entries */
void hl_write_display_adapters(hl_json_t *j, const hl_display_adapter_list_t *r); /* the entries */

/* ---- the table of modules, in the snapshot's order ------------------------------ */

/* Every collector's record, in the frame of the pass that fills them. */
typedef struct hl_records_t hl_records_t;

typedef enum hl_section_t { HL_SECTION_OBJECT = 0, HL_SECTION_LIST = 1 } hl_section_t;

/* What a module costs beyond a few platform calls, and where it appears. */
#define HL_MODULE_BLOCKS 1u  /* waits: a sampling window or the network */
#define HL_MODULE_NETWORK 2u /* talks to a third party: collected only when named */
#define HL_MODULE_COM 4u     /* queries WMI, inside COM */
#define HL_MODULE_NAMED 8u   /* not a snapshot section: collected only when named */

typedef struct hl_module_t {
    const char *key;      /* the section key, as in the snapshot */
    hl_section_t section; /* "key":{...} or "key":[...] */
    /* Fills the module's record. Entries that share a record share the
     * collector, and a pass runs it once. */
    void (*collect)(hl_records_t *r);
    void (*write)(hl_json_t *j, const hl_records_t *r, hl_form_t form);
    /* A sampling window, or NULL: open runs before every collector of the
     * pass and close after them all, so the window spans their work. */
    void (*open)(hl_records_t *r);
    void (*close)(hl_records_t *r);
    /* Gives back what the record holds beyond itself (a list's heap block),
     * or NULL; runs once the section is written, whether or not the
     * collector succeeded. */
    void (*release)(hl_records_t *r);
    hl_form_t form; /* the form the writer gets in a pass */
    unsigned flags;
} hl_module_t;

/* The snapshot's sections are the first HL_SNAPSHOT_MODULES entries; the
 * modules reached only by name follow them. */
#define HL_SNAPSHOT_MODULES 24
#define HL_MODULE_MAX 64
extern const hl_module_t hl_modules[];
extern const int hl_module_count;

/* A choice of modules: bit i stands for hl_modules[i]. */
typedef uint64_t hl_module_set_t;
#define HL_MODULE_BIT(i) ((hl_module_set_t)1u << (i))
#define HL_MODULE_SNAPSHOT ((hl_module_set_t)((UINT64_C(1) << HL_SNAPSHOT_MODULES) - 1u))

/* The index of the entry whose key is exactly name[0..length), or -1. */
int hl_module_find(const char *name, size_t length);

/* Runs the collectors of `set` and appends {"key":...,"key":... to j with
 * their sections in table order, leaving the object open for the caller's
 * own members and closing brace. *sections receives how many sections were
 * written. The collectors that use WMI run one after another, inside one
 * COM entry that covers them and nothing else. */
void hl_pass(hl_json_t *j, hl_module_set_t set, int *sections);

/* ---- lists of module names, as hostlens_collect and the sampler read them -- */

/* One item of a comma-separated list, blanks (spaces, tabs, line breaks)
 * around it left out. */
typedef struct hl_list_item_t {
    const char *name;
    size_t length; /* 0 for an empty item */
} hl_list_item_t;

/* Reads the item at *at and moves *at past its comma; 0 once the list is
 * used up. */
int hl_list_next(const char **at, hl_list_item_t *item);

/* Names to list back to the host, each kept as it will be written (quoted,
 * escaped, invalid UTF-8 as U+FFFD), so that names written alike count as
 * one. Zeroed before the first add; `failed` when memory ran out, and the
 * document must then fail. */
typedef struct hl_written_name_t hl_written_name_t;
typedef struct hl_names_t {
    hl_json_t text; /* the names, one after another */
    hl_written_name_t *names;
    int32_t count, capacity;
    int failed;
} hl_names_t;

void hl_names_add(hl_names_t *u, const char *name, size_t length);
/* "key":[...]: each written form once, in the order of its first
 * appearance; n log n in the number of names. */
void hl_names_write(hl_json_t *j, hl_names_t *u, const char *key);
void hl_names_free(hl_names_t *u);

/* ---- lists whose length the platform decides ---------------------------------- */

/* Makes room for at least `need` items of `size` bytes in the heap block
 * *items holding *capacity of them, doubling; 1 on success, 0 when no block
 * could be had (the old one is kept). */
int hl_list_reserve(void **items, int32_t *capacity, int32_t need, size_t size);

#endif
