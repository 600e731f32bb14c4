/*
 * The substitute platform: implements every function of hl_port.h from
 * scripted data, counts every call, can fail the k-th call of any operation,
 * and keeps account of what was acquired and released.
 *
 * Linked into test binaries only. fake_reset() returns every service to its
 * empty default; the unit-test main runs it before each test.
 */
#ifndef HL_FAKE_H
#define HL_FAKE_H

#include <stddef.h>
#include <stdint.h>

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "hl_port.h"

/* Every operation of the port that can be counted or failed. */
enum fake_op {
    FAKE_ALLOC,
    FAKE_REALLOC,
    FAKE_TLS_ALLOC,
    FAKE_TLS_GET, /* counted only: TlsGetValue cannot fail for an index TlsAlloc gave */
    FAKE_TLS_SET,
    FAKE_TLS_FREE, /* counted only */
    FAKE_MEMORY_STATUS,
    FAKE_REG_OPEN,
    FAKE_REG_QUERY,
    FAKE_REG_ENUM_KEY,
    FAKE_UTF16_TO_UTF8,
    FAKE_UTF8_TO_UTF16,
    FAKE_MODULE_HANDLE,
    FAKE_PROC_ADDRESS,
    FAKE_LOAD_SYSTEM_LIBRARY,
    FAKE_RTL_GET_VERSION,
    FAKE_GET_VERSION_EX,
    FAKE_TICK_COUNT,
    FAKE_SYSTEM_TIME,
    FAKE_UTC_TEXT,
    FAKE_SLEEP,
    FAKE_PERF_COUNTER,
    FAKE_PERF_FREQUENCY,
    FAKE_PROCESSOR_COUNT,
    FAKE_LOGICAL_PROCESSOR_INFO,
    FAKE_SYSTEM_TIMES,
    FAKE_PDH_OPEN,
    FAKE_PDH_ADD,
    FAKE_PDH_COLLECT,
    FAKE_PDH_VALUE,
    FAKE_PDH_REMOVE,
    FAKE_PDH_CLOSE,
    FAKE_COM_INIT,
    FAKE_COM_UNINIT, /* counted only */
    FAKE_WMI_LOCATOR,
    FAKE_WMI_CONNECT,
    FAKE_WMI_EXEC,
    FAKE_WMI_NEXT,
    FAKE_WMI_GET,
    FAKE_VARIANT_CLEAR,
    FAKE_DISPLAY_SETTINGS,
    FAKE_DISPLAY_DEVICE,
    FAKE_LOGICAL_DRIVES,
    FAKE_DRIVE_TYPE,
    FAKE_VOLUME_INFO,
    FAKE_DISK_SPACE,
    FAKE_FIRMWARE_TABLE,
    FAKE_ADAPTERS,
    FAKE_INET_NTOP,
    FAKE_IF_TABLE,
    FAKE_GETENV,
    FAKE_USER_NAME,
    FAKE_COMPUTER_NAME,
    FAKE_LOCALE_NAME,
    FAKE_PROCESS_SNAPSHOT,
    FAKE_PROCESS_FIRST,
    FAKE_PROCESS_NEXT,
    FAKE_HTTP_BEGIN,
    FAKE_HTTP_AVAILABLE,
    FAKE_HTTP_READ,
    FAKE_SYSTEM_INFO,
    FAKE_SYSTEM_INFO_EX,
    FAKE_IF_TABLE2,
    FAKE_FREE_MIB_TABLE, /* counted only */
    FAKE_DEVICE_OPEN,
    FAKE_DEVICE_IOCTL,
    FAKE_DEVICE_CLOSE, /* counted only */
    FAKE_THREAD_TIMES,
    FAKE_CPUID,
    FAKE_DISPLAY_CONFIG_SIZES,
    FAKE_DISPLAY_CONFIG,
    FAKE_DISPLAY_TARGET_NAME,
    FAKE_DPI_CONTEXT_SET,
    FAKE_MONITOR_AT,
    FAKE_MONITOR_DPI,
    FAKE_BATTERY_DEVICES,
    FAKE_BATTERY_PATH,
    FAKE_BATTERY_OPEN,
    FAKE_BATTERY_IOCTL,
    FAKE_PDH_ARRAY,
    FAKE_LOAD_LIBRARY_PATH,
    FAKE_SYSTEM_DIRECTORY,
    FAKE_DISPLAY_ADAPTERS,
    FAKE_DISPLAY_ADAPTER_TEXT,
    FAKE_DOS_DEVICE,
    FAKE_VOLUME_FIND_FIRST,
    FAKE_VOLUME_FIND_NEXT,
    FAKE_VOLUME_PATHS,
    FAKE_HTTP_STATUS,
    FAKE_OP_COUNT
};

const char *fake_op_name(fake_op op);

/* One lock over all of the fake's state: every port operation holds it, so
 * tests may call the library from many threads at once. */
std::recursive_mutex &fake_mutex();
#define FAKE_GUARD std::lock_guard<std::recursive_mutex> fake_guard_(fake_mutex())

/* Fault rule: the k-th call (1-based, counted from the rule's installation)
 * of `op` fails; with `persistent` every later call fails too. `code` is what
 * an operation that returns a status returns (0: the operation's own default
 * failure). Several rules may be installed, one per operation. */
void fake_fail(fake_op op, int k, bool persistent = false, long code = 0);
int fake_calls(fake_op op);
/* True when any fault rule has fired since the last reset. */
bool fake_fault_fired();
/* Records every operation called from now on, in order, until the next
 * reset; for tests of the order in which collectors run. */
void fake_trace_ops();
const std::vector<fake_op> &fake_traced_ops();

/* Called by each fake operation: counts the call and tells whether it fails.
 * *code receives the rule's code, or `default_code` when the rule has none. */
bool fake_hit(fake_op op, long *code = nullptr, long default_code = 0);
/* Counts a call of an operation that cannot fail. */
void fake_count(fake_op op);
/* A use the platform would refuse or that leaves it inconsistent (an unset
 * TLS index, an unbalanced CoUninitialize): counted in fake_misuse(). */
void fake_note_misuse();

/* Resource accounting. */
enum fake_res {
    FAKE_RES_HEAP,
    FAKE_RES_KEY,
    FAKE_RES_COM,
    FAKE_RES_VARIANT,
    FAKE_RES_PDH_QUERY,
    FAKE_RES_PDH_COUNTER,
    FAKE_RES_HANDLE,
    FAKE_RES_HTTP,
    FAKE_RES_DEVICE_SET,  /* SetupAPI device information sets */
    FAKE_RES_DPI_CONTEXT, /* a thread whose DPI awareness is not its own */
    FAKE_RES_COUNT
};
void fake_acquire(fake_res r);
void fake_release(fake_res r);
/* Outstanding count of a resource (acquired minus released). Heap blocks
 * count from process start: compare before and after a call. */
long fake_outstanding(fake_res r);
/* Releases of things never acquired (double frees, foreign handles). */
long fake_misuse();
/* True when every resource other than the heap is back to zero and nothing
 * was misused. */
bool fake_all_released();

/* Runs every registered service reset, clears rules, counters and accounting
 * (the heap's live blocks stay known). */
void fake_reset();
/* Each service file registers its own reset with a static fake_registrar. */
struct fake_registrar {
    explicit fake_registrar(void (*reset)());
};

/* ---- thread-local storage (fake_thread.cpp) --------------------------------
 * 64 indexes; TlsFree clears the index on every thread, as Windows does. The
 * slots and their values outlive fake_reset, like the heap: the library
 * keeps its index across tests. */
/* Called at the end of every thread that used a TLS operation, as the
 * platform calls a DLL's entry point with DLL_THREAD_DETACH. The unit-test
 * main sets it to the library's own release. */
void fake_tls_on_thread_end(void (*hook)(void));
/* Runs `hook` once, inside the next TlsAlloc before it answers (and outside
 * the fake's lock): lets a test make another thread race that call. */
void fake_tls_during_next_alloc(void (*hook)(void));
/* Indexes allocated and not freed. */
int fake_tls_live();

/* ---- scripted services: memory, time, version, modules ----------------- */
void fake_set_memory(uint64_t total_phys, uint64_t avail_phys, uint64_t total_page,
                     uint64_t avail_page);
void fake_set_tick_count(uint64_t ms);
void fake_set_system_time(uint64_t filetime);
/* Durations passed to hl_port_sleep, in order. */
const std::vector<uint32_t> &fake_sleeps();
/* The performance counter's frequency (10 MHz by default) and its successive
 * readings; after the last one it repeats that one (0 when none was
 * scripted). */
void fake_set_perf_frequency(uint64_t per_second);
void fake_push_perf_counter(uint64_t count);
/* From now on each scripted reading holds, however often the counter is
 * read, until fake_next_perf_counter moves on to the next one. */
void fake_hold_perf_counter();
void fake_next_perf_counter();
void fake_set_version(uint32_t major, uint32_t minor, uint32_t build, int32_t rtl_status = 0,
                      bool have_rtl = true);
void fake_set_version_ex(uint32_t major, uint32_t minor, uint32_t build);
/* Modules that hl_port_module_handle / hl_port_load_system_library find, and
 * the procedures hl_port_proc_address finds in them. */
void fake_add_module(const char *name, bool loaded, bool loadable);
void fake_add_proc(const char *module, const char *proc);
/* What GetSystemDirectoryW answers ("C:\\Windows\\system32" unless set). */
void fake_set_system_directory(const char *utf8);
/* The paths hl_port_load_library_path was asked for, in order. A path of
 * the system directory, a backslash and a module's name loads that module. */
const std::vector<std::string> &fake_loaded_paths();

/* ---- registry ----------------------------------------------------------- */
enum { FAKE_VIEW_64 = 0, FAKE_VIEW_32 = 1 };
void fake_reg_add_key(hl_hkey_t root, const char *path, int view = FAKE_VIEW_64);
void fake_reg_set(hl_hkey_t root, const char *path, const char *name, uint32_t type,
                  const void *data, uint32_t size, int view = FAKE_VIEW_64);
/* A REG_SZ (or `type`) value holding the UTF-16 form of `utf8` and its NUL. */
void fake_reg_set_sz(hl_hkey_t root, const char *path, const char *name, const char *utf8,
                     int view = FAKE_VIEW_64, uint32_t type = 1);
void fake_reg_set_dword(hl_hkey_t root, const char *path, const char *name, uint32_t value,
                        int view = FAKE_VIEW_64);
/* The access masks seen by hl_port_reg_open, in order. */
const std::vector<uint32_t> &fake_reg_access_log();

/* ---- text --------------------------------------------------------------- */
std::u16string fake_u16(const char *utf8);
std::string fake_u8(const char16_t *utf16);
/* The substitute converters, with WideCharToMultiByte / MultiByteToWideChar
 * semantics for CP_UTF8 and flags 0. Also built into the Wine tests, which
 * compare them with the real ones. */
int fake_utf16_to_utf8_impl(const char16_t *src, int src_len, char *dst, int dst_cap);
int fake_utf8_to_utf16_impl(const char *src, int src_len, char16_t *dst, int dst_cap);

/* ---- processors, performance counters (fake_cpu.cpp) ----------------------- */
void fake_set_processor_count(uint32_t n);
/* The raw SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX bytes answered for one
 * relationship (none scripted: the size query reports 0). */
void fake_set_lpi(uint32_t relationship, const std::vector<uint8_t> &bytes);
/* One record: Relationship, Size, then Size - 8 zero bytes. */
std::vector<uint8_t> fake_lpi_record(uint32_t relationship, uint32_t size);
/* A RelationGroup record with one PROCESSOR_GROUP_INFO per active count. */
std::vector<uint8_t> fake_lpi_groups(const std::vector<uint8_t> &active);
/* Successive answers of hl_port_system_times; after the last one it repeats
 * that one (zeros when none was scripted). */
void fake_push_system_times(uint64_t idle, uint64_t kernel, uint64_t user, bool ok = true);
/* A counter path (UTF-8) that PdhAddEnglishCounterW accepts and the value it
 * reads once two collections were made; other paths fail to add with
 * PDH_CSTATUS_NO_OBJECT, as every "Processor Information" path does in Wine. */
void fake_pdh_counter(const char *path, double value, long value_status = 0);
/* A counter path with a wildcard instance and each instance's value and
 * CStatus, as PdhGetFormattedCounterArrayW answers them once the query has
 * collected one sample (the counter is a plain reading). */
void fake_pdh_instances(const char *path, const std::vector<std::pair<double, uint32_t>> &items);
/* The paths passed to PdhAddEnglishCounterW, in order. */
const std::vector<std::string> &fake_pdh_paths();
/* Successive answers of hl_port_thread_times (kernel, user); after the last
 * one it repeats that one (zeros when none was scripted). */
void fake_push_thread_times(uint64_t kernel, uint64_t user, bool ok = true);
/* What CPUID answers for a leaf and subleaf (EAX, EBX, ECX, EDX); a leaf not
 * scripted answers zeros, as a processor does for a leaf it does not have.
 * With `present` false the processor has no CPUID instruction. */
void fake_set_cpuid(uint32_t leaf, uint32_t subleaf, uint32_t eax, uint32_t ebx, uint32_t ecx,
                    uint32_t edx);
void fake_set_cpuid_present(bool present);
/* Leaf 0x40000000: the hypervisor's highest leaf in EAX and its twelve
 * signature bytes in EBX, ECX and EDX. */
void fake_set_cpuid_hypervisor(uint32_t max, const char signature[12]);

/* ---- native system information (fake_sysinfo.cpp) ------------------------
 * NtQuerySystemInformation and NtQuerySystemInformationEx for processor
 * times and the process list; any other class answers
 * STATUS_INVALID_INFO_CLASS. */
struct fake_cpu_time_t {
    uint64_t idle, kernel, user, dpc, interrupt; /* 100 ns; kernel includes idle */
};
/* The entries of a processor group. The Ex form answers them for the group
 * number its 2-byte input names (STATUS_INVALID_PARAMETER for a group not
 * scripted); the plain form answers group 0's, the calling thread's group.
 * A buffer too small for one entry gets STATUS_INFO_LENGTH_MISMATCH; a
 * larger one gets as many entries as it holds. */
void fake_set_processor_times(uint16_t group, const std::vector<fake_cpu_time_t> &cores);
struct fake_process_t {
    uint64_t pid, ppid;
    std::u16string name; /* empty: no name, as the idle process has */
    uint32_t threads, handles;
    uint64_t create_time, user, kernel; /* 100 ns; create_time since 1601 */
    uint64_t working_set, private_bytes;
};
/* Appends a process to the list SystemProcessInformation lays out: each
 * entry's fixed part, its threads' records and its name, the name's Buffer
 * pointing into the caller's buffer. */
void fake_add_process(const fake_process_t &p);
/* Replaces the process list. */
void fake_set_processes(const std::vector<fake_process_t> &list);
/* n more processes start after each STATUS_INFO_LENGTH_MISMATCH answer. */
void fake_set_process_growth(int n);
/* The buffer lengths of the process-list calls, in order. */
const std::vector<uint32_t> &fake_process_call_sizes();
/* The classes asked for, in order, each Ex call as "class:group". */
const std::vector<std::string> &fake_system_info_log();

/* ---- the interface table of GetIfTable2 (fake_net_io.cpp) ------------------ */
struct fake_if2_row_t {
    uint64_t luid;
    uint32_t index;
    std::string alias, description; /* UTF-8 */
    std::vector<uint8_t> phys;
    uint8_t flags; /* bit 0 HardwareInterface, bit 1 FilterInterface */
    uint32_t oper; /* IF_OPER_STATUS; 1 is up */
    uint64_t rx_speed, tx_speed;
    uint64_t in_octets, in_ucast, in_nucast, in_discards, in_errors, in_unknown;
    uint64_t out_octets, out_ucast, out_nucast, out_discards, out_errors;
};
/* Appends a row to the table (the default table has none). */
void fake_net_add_if2_row(const fake_if2_row_t &row);
/* Replaces the table's rows. */
void fake_net_set_if2_rows(const std::vector<fake_if2_row_t> &rows);
/* The table answers these bytes, cut or padded with zeros to the rows its
 * NumEntries declares. */
void fake_net_set_if_table2_raw(const std::vector<uint8_t> &bytes);

/* ---- volumes (fake_volume.cpp) ----------------------------------------------- */
struct fake_drive_t {
    std::string root; /* "C:\\" */
    uint32_t type;    /* 3 = DRIVE_FIXED */
    std::string label, fs;
    bool volume_ok;
    bool space_ok;
    uint64_t total, total_free;
    /* The caller's available bytes; -1: the total free bytes. */
    int64_t available = -1;
    /* The disks its extents lie on, in extent order (one extent each). */
    std::vector<uint32_t> extents = {0};
    /* What opening \\.\X: answers, and what the extents query answers
     * (0: success). */
    uint32_t open_error = 0;
    uint32_t extents_error = 0;
    /* What QueryDosDeviceW answers for the drive: "" a device of its own,
     * named after its letter; a SUBST drive names a folder, "\\??\\C:\\src". */
    std::string dos_target = "";
    /* Where else the volume is mounted, as GetVolumePathNamesForVolumeNameW
     * lists it after its drive root ("C:\\data\\"). A root that is a
     * volume name ("\\\\?\\Volume{1}\\") makes a volume without a drive
     * letter, which only the volume search finds; a drive's own volume name
     * is "\\\\?\\Volume{X}\\" for its root "X:\\". */
    std::vector<std::string> folders = {};
};
/* Replaces the drive list (the default is one fixed C: of 512,110,190,592
 * bytes, NTFS, labelled "Windows"). */
void fake_set_drives(const std::vector<fake_drive_t> &drives);
/* The scripted drive of a root or of a volume name, or NULL (for the fake's
 * device service). */
const fake_drive_t *fake_find_drive(const char16_t *root);

/* ---- devices: physical disks (fake_device.cpp) -------------------------------
 * \\.\PhysicalDriveN opens when disk N is scripted, else with
 * ERROR_FILE_NOT_FOUND; \\.\X: opens as the fixed drive X:\ (see fake_drive_t).
 * Every open handle is FAKE_RES_HANDLE until closed. A control code the device
 * does not answer fails with ERROR_NOT_SUPPORTED (50), as Wine refuses
 * IOCTL_DISK_PERFORMANCE; a fault rule on device_ioctl answers its code or 50. */
struct fake_disk_counters_t {
    int64_t read_bytes, write_bytes, read_time, write_time, idle_time;
    uint32_t reads, writes, queue_depth, split_ios;
};
struct fake_physical_disk_t {
    uint32_t number;
    /* The StorageDeviceProperty answer (fake_storage_descriptor); empty: refused. */
    std::vector<uint8_t> descriptor;
    int seek_penalty = -1; /* IncursSeekPenalty 1 or 0; -1: refused */
    int64_t size = -1;     /* DiskSize; -1: the geometry is refused */
    bool has_counters = false;
    fake_disk_counters_t counters = {};
    uint32_t open_error = 0;
};
/* Replaces the disks (the default is disk 0, an NVMe SSD of 512,110,190,592
 * bytes with counters). */
void fake_set_physical_disks(const std::vector<fake_physical_disk_t> &disks);
/* A STORAGE_DEVICE_DESCRIPTOR as a driver returns it: the fixed part, then
 * each text that is not NULL with its NUL; its Size is `declared` when not 0. */
std::vector<uint8_t> fake_storage_descriptor(const char *vendor, const char *product,
                                             const char *serial, uint32_t bus_type,
                                             uint32_t declared = 0);
/* The paths passed to hl_port_device_open, in order. */
const std::vector<std::string> &fake_device_paths();

/* ---- firmware tables (fake_firmware.cpp) ---------------------------------------- */
/* The raw SMBIOS data answered for 'RSMB' table 0 (none by default). */
void fake_set_firmware(const std::vector<uint8_t> &bytes);
/* The table grows by `extra` bytes right after the size query. */
void fake_set_firmware_growth(uint32_t extra);
/* ---- IP helper: adapter list, address text, interface table ------------- */
/* Appends an adapter to the list GetAdaptersAddresses reports. A NULL name
 * stands for a missing friendly name. */
void fake_net_add_adapter(uint32_t if_index, const char *friendly_name,
                          const uint8_t *phys = nullptr, uint32_t phys_len = 0);
/* Appends a unicast address to the last adapter, from its text form. */
void fake_net_add_unicast(const char *text);
/* Appends a unicast address as raw bytes: any family, or no socket address. */
void fake_net_add_unicast_raw(int family, const uint8_t *addr, bool has_sockaddr = true);
/* The length every adapter record declares (default 448). */
void fake_net_set_record_length(uint32_t length);
/* n more adapters join the list, one after each answer that reports a size
 * (the size query, and each ERROR_BUFFER_OVERFLOW). */
void fake_net_set_pending(int n);
/* The last adapter links back to the first, and each adapter's last unicast
 * address back to its first. */
void fake_net_set_loops(bool loops);
/* The sizes passed to the calls that had a buffer, in order. */
const std::vector<uint32_t> &fake_net_call_sizes();
/* The last adapter's OperStatus (IF_OPER_STATUS; 1, up, by default). */
void fake_net_set_oper_status(uint32_t status);
/* Rows of the interface table, with their dwOperStatus
 * (INTERNAL_IF_OPER_STATUS; 5, operational, by default). */
void fake_net_add_if_row(uint32_t index, uint32_t type, uint32_t oper = 5);
/* Overrides the table's declared row count. */
void fake_net_set_if_declared_rows(uint32_t rows);

/* ---- environment, account, locale, processes ----------------------------- */
void fake_env_set(const char *name, const char *utf8_value);
/* A value of `units` UTF-16 units of 'x'. */
void fake_env_set_long(const char *name, size_t units);
void fake_env_unset(const char *name);
/* NULL makes the call fail. */
void fake_set_user_name(const char *utf8);
void fake_set_computer_name(const char *utf8);
void fake_set_locale_name(const char *utf8);
/* The locale identifiers hl_port_locale_name was asked for, in order; only
 * HL_LOCALE_SYSTEM_DEFAULT is answered. */
const std::vector<uint32_t> &fake_locale_requests();
void fake_set_process_count(int processes);

/* ---- HTTP ----------------------------------------------------------------- */
/* The phase hl_port_http_begin fails in (HL_HTTP_OK: none), and the error
 * it reports then. */
void fake_http_set_phase(int phase, uint32_t error = 0);
/* The body, and the sizes QueryDataAvailable reports in turn (after the
 * list: what is left). An announced size may exceed what remains; a read
 * then delivers what remains. */
void fake_http_set_body(const std::string &body, const std::vector<uint32_t> &announce = {});
/* The response's status code (200 by default). A failure of
 * FAKE_HTTP_AVAILABLE or FAKE_HTTP_READ reports its rule's code as the
 * call's error, 12002 (a timeout) when the rule has none. */
void fake_http_set_status(uint32_t status);
/* What the last hl_port_http_begin was asked for. */
struct fake_http_request {
    std::string host, path, agent;
    uint16_t port;
    int32_t resolve_ms, connect_ms, send_ms, receive_ms;
};
const fake_http_request &fake_http_last_request();
/* The byte counts asked of each read, in order. */
const std::vector<uint32_t> &fake_http_reads();
/* ---- COM and WMI ---------------------------------------------------------
 * Each thread has an apartment: none, STA or MTA, with its count of entries.
 * CoInitializeEx answers as Windows does: S_OK on a thread outside COM,
 * S_FALSE in the apartment asked for (one more entry), RPC_E_CHANGED_MODE in
 * the other one (no entry); a fault rule on com_init answers its code and
 * changes nothing. CoUninitialize drops one entry; one with no entry left is
 * counted in fake_misuse(). The locator is refused with CO_E_NOTINITIALIZED on a thread
 * outside COM.
 * Namespaces "root\\cimv2" and "root\\WMI" exist (names without regard to
 * case); any other fails ConnectServer with WBEM_E_INVALID_NAMESPACE. A query
 * names its class after FROM; a class without rows gives no rows (as WMI
 * does), a query without FROM fails with WBEM_E_INVALID_QUERY. Every COM
 * object handed out is FAKE_RES_COM, every variant Get fills is
 * FAKE_RES_VARIANT until hl_port_variant_clear. */
enum fake_apartment { FAKE_APT_NONE = 0, FAKE_APT_STA = 1, FAKE_APT_MTA = 2 };
/* The host's own CoInitializeEx and CoUninitialize on the calling thread
 * (not counted as the library's calls). */
int32_t fake_com_host_enter(fake_apartment apartment);
void fake_com_host_leave();
/* The calling thread's apartment and its count of entries. */
fake_apartment fake_com_apartment();
int fake_com_entries();
void fake_wmi_add_namespace(const char *ns);
void fake_wmi_drop_namespace(const char *ns);
/* Appends a row of class `cls` in namespace `ns`; returns its number. */
int fake_wmi_row(const char *ns, const char *cls);
/* Properties of a row: integer variants (num as the port delivers it), a
 * VT_BSTR from UTF-8 or raw UTF-16, and VT_NULL. */
void fake_wmi_num(int row, const char *prop, uint16_t vt, int64_t num);
void fake_wmi_str(int row, const char *prop, const char *utf8);
void fake_wmi_str16(int row, const char *prop, const std::u16string &text);
void fake_wmi_null(int row, const char *prop);
/* What the runner passed, in order of the calls. */
struct fake_wmi_log_t {
    std::vector<std::string> namespaces; /* ConnectServer */
    std::vector<int32_t> connect_flags;
    std::vector<std::string> queries; /* ExecQuery */
    std::vector<int32_t> exec_flags;
    std::vector<int32_t> next_timeouts;
    std::vector<std::string> gets; /* property names asked for */
};
const fake_wmi_log_t &fake_wmi_log();
/* Releases of objects never handed out or already released, and uses of a
 * released object. */
long fake_wmi_misuse();
/* The next locator, connection or query answers success with no object. */
void fake_wmi_succeed_empty(fake_op op);

/* ---- display --------------------------------------------------------------
 * EnumDisplaySettingsW answers 1920x1080 at 60 Hz unless scripted; there are
 * no display devices until added. */
void fake_set_display_settings(bool ok, uint32_t width, uint32_t height, uint32_t hz);
/* A device's DeviceString (cut to 127 units, as the 128-unit field holds)
 * and StateFlags. */
void fake_add_display_device(const char *device_string, uint32_t state_flags);

/* ---- display configuration and DPI (fake_display.cpp) ----------------------
 * No active path until displays are added. Each display is one path with its
 * source mode (index 2i) and target mode (index 2i + 1), as Windows lays
 * them out. */
struct fake_display_t {
    std::string name; /* monitorFriendlyDeviceName; "" for none */
    uint32_t width, height;
    int32_t x, y;
    uint32_t refresh_numerator, refresh_denominator; /* the path's target rate */
    uint32_t rotation;                               /* DISPLAYCONFIG_ROTATION */
    uint32_t technology;                             /* output technology */
    uint32_t dpi;                                    /* effective DPI; 0: the call fails */
    uint32_t vsync_numerator, vsync_denominator;     /* the target mode's */
};
void fake_add_display(const fake_display_t &d);
/* Replaces the configuration with exactly these records (any indexes). */
void fake_set_display_records(const std::vector<hl_port_display_path_t> &paths,
                              const std::vector<hl_port_display_mode_t> &modes);
/* The configuration gains a copy of its last display after each of the
 * next `n` size queries, so the query that follows finds its arrays small. */
void fake_display_grow(int n);
/* Whether SetThreadDpiAwarenessContext and GetDpiForMonitor exist, and
 * whether the former knows PER_MONITOR_AWARE_V2 (all by default). */
void fake_set_dpi_functions(bool set_context, bool get_dpi, bool v2 = true);
/* The calling thread's DPI awareness context (its own is 0x11; a thread
 * outside it holds FAKE_RES_DPI_CONTEXT). Only a change away from the
 * thread's own context can be failed. A monitor call outside a
 * per-monitor-aware context counts as misuse. */
intptr_t fake_dpi_context();

/* ---- batteries (fake_battery.cpp) -----------------------------------------
 * The battery interfaces SetupAPI lists, each with what its device answers.
 * A level's bytes are answered as they are (any length); a missing level
 * fails with ERROR_INVALID_FUNCTION, as a driver that lacks it does. */
struct fake_battery_t {
    uint32_t tag; /* 0: no battery in the slot */
    bool opens;
    std::string path; /* "" for a made-up one */
    std::vector<uint8_t> status;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> levels;
};
void fake_add_battery(const fake_battery_t &b);
/* BATTERY_INFORMATION and BATTERY_STATUS bytes, and a string level's
 * UTF-16LE bytes with their NUL. */
std::vector<uint8_t> fake_battery_information(uint32_t capabilities, const char *chemistry,
                                              uint32_t designed, uint32_t full, uint32_t cycles);
std::vector<uint8_t> fake_battery_status(uint32_t power_state, uint32_t capacity, uint32_t voltage,
                                         int32_t rate);
std::vector<uint8_t> fake_battery_text(const char *utf8);
/* A code for fake_fail on FAKE_BATTERY_PATH: the detail query of that index
 * fails (the enumeration goes on); the rule's default ends it. */
#define FAKE_BATTERY_PATH_DETAIL_FAILS 3

/* ---- IP helper answers beyond the well-formed (fuzzing) ------------------- */
/* Appends an adapter whose friendly name is any UTF-16, unpaired surrogates
 * and embedded NULs included (the name ends at its first NUL). */
void fake_net_add_adapter16(uint32_t if_index, const std::u16string &friendly_name,
                            const uint8_t *phys, uint32_t phys_len);
/* The interface table answers exactly these bytes (the size query reports
 * their count) and reports `reported` as the size written, whatever it is. */
void fake_net_set_if_table_raw(const std::vector<uint8_t> &bytes, uint32_t reported);
/* ---- a slow network: the fake clock moves while the body arrives ---------- */
/* Moves the clock hl_port_tick_count reads forward by `ms`. */
void fake_advance_tick_count(uint64_t ms);
/* Each QueryDataAvailable waits `ms` of that clock before it answers, as it
 * blocks for a server that sends a little at a time (0 by default). */
void fake_http_set_wait(uint32_t ms);

/* ---- display adapters (fake_adapters.cpp) -----------------------------------
 * The present devices of the display adapter class SetupAPI lists, each with
 * its texts; an empty text is one the device does not have. */
struct fake_display_adapter_t {
    std::string instance_id, friendly_name, description, driver, hardware_id;
};
void fake_add_display_adapter(const fake_display_adapter_t &a);

#endif
