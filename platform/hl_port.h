/*
 * The platform port: every operating-system call the collectors need, as
 * plain-value functions. Each function stands for one platform operation and
 * answers exactly what that operation answered; every decision about the
 * answer is taken by the portable code above this header.
 *
 * platform/win32/ implements the port with the real Win32 calls.
 * tests/fake/ implements it as a scriptable substitute for the unit tests.
 *
 * UTF-16 text is char16_t; on Windows it has the layout of WCHAR.
 */
#ifndef HL_PORT_H
#define HL_PORT_H

#include <stddef.h>
#include <stdint.h>

typedef void *hl_handle_t;
typedef uintptr_t hl_hkey_t;

/* The predefined roots, sign-extended as Windows defines them on x64. */
#define HL_HKEY_CURRENT_USER ((hl_hkey_t)(intptr_t)(int32_t)0x80000001u)
#define HL_HKEY_LOCAL_MACHINE ((hl_hkey_t)(intptr_t)(int32_t)0x80000002u)

/* ---- heap ---------------------------------------------------------------- */
void *hl_port_alloc(size_t size);
void *hl_port_realloc(void *block, size_t size);
void hl_port_free(void *block);

/* ---- thread-local storage: TlsAlloc, TlsGetValue, TlsSetValue, TlsFree ---- */
#define HL_TLS_NONE 0xFFFFFFFFu                   /* TLS_OUT_OF_INDEXES */
uint32_t hl_port_tls_alloc(void);                 /* an index, or HL_TLS_NONE */
void *hl_port_tls_get(uint32_t index);            /* NULL until the thread sets it */
int hl_port_tls_set(uint32_t index, void *value); /* 1 on success */
void hl_port_tls_free(uint32_t index);

/* ---- memory: GlobalMemoryStatusEx (dwLength 64) ----------------------------- */
typedef struct hl_port_memory_t {
    uint64_t total_phys;
    uint64_t avail_phys;
    uint64_t total_page_file;
    uint64_t avail_page_file;
} hl_port_memory_t;
int hl_port_memory_status(hl_port_memory_t *out); /* 1 on success */

/* ---- registry: RegOpenKeyExW, RegQueryValueExW, RegEnumKeyExW, RegCloseKey - */
long hl_port_reg_open(hl_hkey_t root, const char16_t *subkey, uint32_t access, hl_hkey_t *out);
/* type and data may be NULL; size is in and out, in bytes. */
long hl_port_reg_query(hl_hkey_t key, const char16_t *name, uint32_t *type, void *data,
                       uint32_t *size);
/* name_len is in and out, in UTF-16 units. */
long hl_port_reg_enum_key(hl_hkey_t key, uint32_t index, char16_t *name, uint32_t *name_len);
void hl_port_reg_close(hl_hkey_t key);

/* ---- text: WideCharToMultiByte / MultiByteToWideChar, CP_UTF8, flags 0 ------ */
int hl_port_utf16_to_utf8(const char16_t *src, int src_len, char *dst, int dst_cap);
int hl_port_utf8_to_utf16(const char *src, int src_len, char16_t *dst, int dst_cap);

/* ---- modules: GetModuleHandleW, GetProcAddress, LoadLibraryExW ------------- */
void *hl_port_module_handle(const char16_t *name);
void *hl_port_proc_address(void *module, const char *name);
/* LoadLibraryExW(name, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32): from the system
 * directory only. NULL with *error set to GetLastError() on failure. */
void *hl_port_load_system_library(const char16_t *name, uint32_t *error);
/* LoadLibraryExW(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH) of a full path:
 * that file, its own imports searched in its folder first. NULL with *error
 * set to GetLastError() on failure. */
void *hl_port_load_library_path(const char16_t *path, uint32_t *error);
/* GetSystemDirectoryW: the length written without the NUL, the size needed
 * (NUL included) when `length` units are too few, 0 on failure. */
uint32_t hl_port_system_directory(char16_t *buffer, uint32_t length);

/* ---- version: RtlGetVersion through its looked-up address, GetVersionExW ---- */
int32_t hl_port_rtl_get_version(void *fn, uint32_t *major, uint32_t *minor, uint32_t *build);
void hl_port_get_version_ex(uint32_t *major, uint32_t *minor, uint32_t *build);

/* ---- time ------------------------------------------------------------------ */
uint64_t hl_port_tick_count(void);  /* GetTickCount64 */
uint64_t hl_port_system_time(void); /* GetSystemTimeAsFileTime, 100 ns since 1601 */
/* _gmtime64_s + strftime("%Y-%m-%dT%H:%M:%SZ"); 1 when the instant could be
 * converted and the text fitted, 0 otherwise (out untouched). */
int hl_port_utc_text(int64_t seconds, char *out, size_t size);
void hl_port_sleep(uint32_t ms); /* Sleep */
/* QueryPerformanceCounter and QueryPerformanceFrequency: a monotonic clock
 * far finer than the tick count; 1 on success. */
int hl_port_perf_counter(uint64_t *count);
int hl_port_perf_frequency(uint64_t *per_second);

/* ---- processors ------------------------------------------------------------ */
uint32_t hl_port_processor_count(void); /* GetSystemInfo dwNumberOfProcessors */
/* GetLogicalProcessorInformationEx: buffer may be NULL; length in and out. */
int hl_port_logical_processor_info(uint32_t relationship, void *buffer, uint32_t *length);
int hl_port_system_times(uint64_t *idle, uint64_t *kernel, uint64_t *user);
/* GetThreadTimes of the calling thread (GetCurrentThread): its kernel and
 * user time in 100 ns units; 1 on success. */
int hl_port_thread_times(uint64_t *kernel, uint64_t *user);
/* The CPUID instruction with EAX = leaf and ECX = subleaf: out receives EAX,
 * EBX, ECX and EDX as the processor answered, for any leaf (a leaf beyond
 * the processor's maximum answers whatever the processor gives for it).
 * 1 on x86-64; 0 on a processor without the instruction, out untouched. */
int hl_port_cpuid(uint32_t leaf, uint32_t subleaf, uint32_t out[4]);

/* ---- native system information: ntdll's NtQuerySystemInformation and
 * NtQuerySystemInformationEx, looked up at first use. Each returns the
 * NTSTATUS (0 = success; STATUS_PROCEDURE_NOT_FOUND when ntdll lacks the
 * function) and the byte count the call reported in *returned: what it
 * wrote, or on STATUS_INFO_LENGTH_MISMATCH what it would need. ----------- */
#define HL_SYSTEM_PROCESS_INFORMATION 5u
#define HL_SYSTEM_PROCESSOR_PERFORMANCE_INFORMATION 8u
#define HL_STATUS_INFO_LENGTH_MISMATCH ((int32_t)0xC0000004u)
int32_t hl_port_system_info(uint32_t info_class, void *buffer, uint32_t length, uint32_t *returned);
int32_t hl_port_system_info_ex(uint32_t info_class, const void *input, uint32_t input_length,
                               void *buffer, uint32_t length, uint32_t *returned);

/* ---- performance counters (PDH); each returns the PDH status, 0 = success -- */
long hl_port_pdh_open(hl_handle_t *query);
long hl_port_pdh_add_english(hl_handle_t query, const char16_t *path, hl_handle_t *counter);
long hl_port_pdh_collect(hl_handle_t query);
long hl_port_pdh_value(hl_handle_t counter, double *value); /* PDH_FMT_DOUBLE */
long hl_port_pdh_remove(hl_handle_t counter);
/* PdhGetFormattedCounterArrayW(PDH_FMT_DOUBLE) of a counter whose path has a
 * wildcard instance: each instance's value and CStatus. *count receives the
 * number of instances; with more than `capacity` the answer is PDH_MORE_DATA
 * (0x800007D2) and nothing is copied. */
typedef struct hl_port_pdh_item_t {
    double value;
    uint32_t status;
} hl_port_pdh_item_t;
long hl_port_pdh_array(hl_handle_t counter, hl_port_pdh_item_t *items, uint32_t capacity,
                       uint32_t *count);
long hl_port_pdh_close(hl_handle_t query);

/* ---- COM and WMI; each returns the HRESULT -------------------------------- */
int32_t hl_port_com_init(void); /* CoInitializeEx(NULL, APARTMENTTHREADED|DISABLE_OLE1DDE) */
void hl_port_com_uninit(void);  /* CoUninitialize */
int32_t hl_port_wmi_locator(hl_handle_t *locator);
int32_t hl_port_wmi_connect(hl_handle_t locator, const char16_t *ns, int32_t flags,
                            hl_handle_t *services);
int32_t hl_port_wmi_exec(hl_handle_t services, const char16_t *query, int32_t flags,
                         hl_handle_t *enumerator);
int32_t hl_port_wmi_next(hl_handle_t enumerator, int32_t timeout_ms, hl_handle_t *row,
                         uint32_t *returned);
void hl_port_com_release(hl_handle_t object); /* IUnknown::Release */

/* A VARIANT as plain values. vt is the variant type; num holds the integer
 * member that vt names (VT_I2, VT_I4, VT_I8 sign-extended; VT_UI1, VT_UI2,
 * VT_UI4, VT_UI8, VT_BOOL zero-extended); str the BSTR of VT_BSTR. raw is the
 * platform's own storage, released by hl_port_variant_clear. */
typedef struct hl_port_variant_t {
    uint16_t vt;
    int64_t num;
    const char16_t *str;
    uint64_t raw[3];
} hl_port_variant_t;
/* VariantInit, then IWbemClassObject::Get(name, 0, &variant, NULL, NULL). */
int32_t hl_port_wmi_get(hl_handle_t row, const char16_t *name, hl_port_variant_t *v);
int32_t hl_port_variant_clear(hl_port_variant_t *v);

/* ---- display: EnumDisplaySettingsW, EnumDisplayDevicesW ---------------------- */
int hl_port_display_settings(uint32_t *width, uint32_t *height, uint32_t *hz);
/* DeviceString (128 units) and StateFlags of display device `index`. */
int hl_port_display_device(uint32_t index, char16_t *device_string, uint32_t *state_flags);

/* ---- display configuration: GetDisplayConfigBufferSizes, QueryDisplayConfig
 * and DisplayConfigGetDeviceInfo with QDC_ONLY_ACTIVE_PATHS, as plain
 * records of the fields the collector reads. ---------------------------------- */
/* One DISPLAYCONFIG_PATH_INFO. An adapter LUID is LowPart | HighPart << 32. */
typedef struct hl_port_display_path_t {
    uint64_t source_adapter;
    uint32_t source_id;
    uint32_t source_mode; /* sourceInfo.modeInfoIdx */
    uint64_t target_adapter;
    uint32_t target_id;
    uint32_t target_mode;       /* targetInfo.modeInfoIdx */
    uint32_t output_technology; /* DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY */
    uint32_t rotation;          /* DISPLAYCONFIG_ROTATION */
    uint32_t refresh_numerator, refresh_denominator;
    uint32_t flags;
} hl_port_display_path_t;
/* One DISPLAYCONFIG_MODE_INFO: for a source mode (type 1) its size and
 * position, for a target mode (type 2) its vertical sync frequency. */
typedef struct hl_port_display_mode_t {
    uint32_t type; /* DISPLAYCONFIG_MODE_INFO_TYPE */
    uint32_t id;
    uint64_t adapter;
    uint32_t width, height;
    int32_t x, y;
    uint32_t vsync_numerator, vsync_denominator;
} hl_port_display_mode_t;
/* Each returns the Win32 error code, 0 = success; ERROR_INSUFFICIENT_BUFFER
 * (122) when the arrays are smaller than the configuration. The counts are
 * in (room) and out (filled). */
long hl_port_display_config_sizes(uint32_t *paths, uint32_t *modes);
long hl_port_display_config(uint32_t *path_count, hl_port_display_path_t *paths,
                            uint32_t *mode_count, hl_port_display_mode_t *modes);
/* DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME: monitorFriendlyDeviceName, 64
 * units, as the call left it. */
long hl_port_display_target_name(uint64_t adapter, uint32_t target_id, char16_t *name);

/* ---- DPI: SetThreadDpiAwarenessContext, MonitorFromPoint, GetDpiForMonitor -- */
#define HL_DPI_PER_MONITOR_AWARE_V2 ((intptr_t)-4)
#define HL_DPI_PER_MONITOR_AWARE ((intptr_t)-3)
/* Sets the calling thread's context and gives the one it replaces; 0 when
 * the function is missing (before Windows 10 1607) or refused the context. */
int hl_port_dpi_context_set(intptr_t context, intptr_t *previous);
/* The monitor holding that point of the desktop, or NULL (MONITOR_DEFAULTTONULL). */
hl_handle_t hl_port_monitor_at(int32_t x, int32_t y);
/* GetDpiForMonitor(MDT_EFFECTIVE_DPI): the HRESULT; E_NOTIMPL when shcore.dll
 * or the function is missing (before Windows 8.1). */
int32_t hl_port_monitor_dpi(hl_handle_t monitor, uint32_t *dpi_x, uint32_t *dpi_y);

/* ---- batteries: SetupAPI over the battery interface class, CreateFileW,
 * DeviceIoControl, CloseHandle ----------------------------------------------- */
/* SetupDiGetClassDevsW(GUID_DEVCLASS_BATTERY, DIGCF_PRESENT |
 * DIGCF_DEVICEINTERFACE); 0 when the set cannot be had. */
int hl_port_battery_devices(hl_handle_t *set);
enum {
    HL_BATTERY_PATH_OK = 0,
    HL_BATTERY_PATH_END = 1,   /* no interface at index: the walk ends there */
    HL_BATTERY_PATH_SMALL = 2, /* *needed holds the units the path takes */
    HL_BATTERY_PATH_FAILED = 3,
    HL_BATTERY_PATH_NO_MEMORY = 4 /* the detail's block could not be had */
};
/* SetupDiEnumDeviceInterfaces at `index`, then
 * SetupDiGetDeviceInterfaceDetailW: the device path, NUL included, into
 * `units` units of path. */
int hl_port_battery_path(hl_handle_t set, uint32_t index, char16_t *path, uint32_t units,
                         uint32_t *needed);
void hl_port_battery_devices_close(hl_handle_t set); /* SetupDiDestroyDeviceInfoList */
/* CreateFileW(path, GENERIC_READ, share read and write, OPEN_EXISTING): 1 and
 * the handle, or 0. */
int hl_port_battery_open(const char16_t *path, hl_handle_t *file);
/* DeviceIoControl: 1 on success with *returned bytes written to out. */
int hl_port_battery_ioctl(hl_handle_t file, uint32_t code, const void *in, uint32_t in_size,
                          void *out, uint32_t out_size, uint32_t *returned);
void hl_port_battery_close(hl_handle_t file); /* CloseHandle */

/* ---- display adapters: SetupAPI over the display adapter class ---------------- */
/* SetupDiGetClassDevsW(GUID_DEVCLASS_DISPLAY, DIGCF_PRESENT): the adapters
 * the system has now, not those it only remembers; 0 when the set cannot be
 * had. */
int hl_port_display_adapters(hl_handle_t *set);
enum {
    HL_DEVICE_TEXT_OK = 0,
    HL_DEVICE_TEXT_END = 1,  /* SetupDiEnumDeviceInfo: no device at index */
    HL_DEVICE_TEXT_NONE = 2, /* the device has no such text, or it does not fit */
};
/* In place of a property code: SetupDiGetDeviceInstanceIdW. */
#define HL_DEVICE_INSTANCE_ID 0xFFFFFFFFu
/* SetupDiEnumDeviceInfo at `index`, then SetupDiGetDeviceRegistryPropertyW
 * of `property` (SPDRP_*), or the instance ID: the text into `units` units
 * of text, always NUL-terminated within them (the first string of a
 * REG_MULTI_SZ). */
int hl_port_display_adapter_text(hl_handle_t set, uint32_t index, uint32_t property, char16_t *text,
                                 uint32_t units);
void hl_port_display_adapters_close(hl_handle_t set); /* SetupDiDestroyDeviceInfoList */

/* ---- volumes ----------------------------------------------------------------- */
uint32_t hl_port_logical_drives(char16_t *buffer, uint32_t length);
uint32_t hl_port_drive_type(const char16_t *root);
/* QueryDosDeviceW of a drive ("C:"): the first target of its name into
 * `target` (NUL-terminated), 1 on success, 0 on failure. */
int hl_port_dos_device(const char16_t *drive, char16_t *target, uint32_t units);
int hl_port_volume_info(const char16_t *root, char16_t *label, uint32_t label_len, char16_t *fs,
                        uint32_t fs_len);
/* GetDiskFreeSpaceExW: the bytes available to the caller (less than the free
 * bytes under a per-user quota), the total bytes (the caller's quota, when
 * there is one) and the total free bytes. */
int hl_port_disk_space(const char16_t *root, uint64_t *available, uint64_t *total,
                       uint64_t *total_free);

/* FindFirstVolumeW: the first volume's name ("\\?\Volume{GUID}\") into
 * `name` and the search, or NULL when the call failed. */
hl_handle_t hl_port_volume_find_first(char16_t *name, uint32_t units);
/* FindNextVolumeW: 1 with the next volume's name, 0 after the last one or
 * when the call failed. */
int hl_port_volume_find_next(hl_handle_t find, char16_t *name, uint32_t units);
void hl_port_volume_find_close(hl_handle_t find); /* FindVolumeClose */
/* GetVolumePathNamesForVolumeNameW: the paths a volume is mounted at ("D:\",
 * "C:\data\"), each NUL-terminated, the list ended by an empty one. 0, or
 * the error GetLastError gave; *needed is the units the list takes (with
 * ERROR_MORE_DATA, the units it would take). */
uint32_t hl_port_volume_paths(const char16_t *volume, char16_t *paths, uint32_t units,
                              uint32_t *needed);

/* ---- devices: CreateFileW and DeviceIoControl --------------------------------- */
/* CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
 * 0, NULL): with no access rights, which the query IOCTLs below need no more
 * than, and which needs no administrator. 0 and the handle, or the error
 * GetLastError gave (ERROR_FILE_NOT_FOUND for a device that does not exist). */
uint32_t hl_port_device_open(const char16_t *path, hl_handle_t *device);
/* DeviceIoControl(device, code, in, in_size, out, out_size, returned, NULL):
 * 0, or the error GetLastError gave (ERROR_MORE_DATA leaves the first
 * *returned bytes filled). *returned is always set. */
uint32_t hl_port_device_ioctl(hl_handle_t device, uint32_t code, const void *in, uint32_t in_size,
                              void *out, uint32_t out_size, uint32_t *returned);
void hl_port_device_close(hl_handle_t device); /* CloseHandle */
/* The control codes the collectors send (winioctl.h). */
#define HL_IOCTL_STORAGE_QUERY_PROPERTY 0x002D1400u
#define HL_IOCTL_DISK_GET_DRIVE_GEOMETRY_EX 0x000700A0u
#define HL_IOCTL_DISK_PERFORMANCE 0x00070020u
#define HL_IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS 0x00560000u

/* ---- firmware: GetSystemFirmwareTable ------------------------------------------ */
uint32_t hl_port_firmware_table(uint32_t provider, uint32_t id, void *buffer, uint32_t size);

/* ---- IP helper ------------------------------------------------------------------ */
/* GetAdaptersAddresses(0, 0, NULL, buffer, size) through the looked-up address. */
uint32_t hl_port_adapters(void *fn, void *buffer, uint32_t *size);
typedef struct hl_port_adapter_t {
    uint32_t length; /* the record's declared length */
    uint32_t if_index;
    const char16_t *friendly_name;
    uint8_t phys[8];
    uint32_t phys_len;
    const void *first_unicast;
    const void *next;
} hl_port_adapter_t;
void hl_port_adapter_read(const void *record, hl_port_adapter_t *out);
/* OperStatus of an adapter record. It came with the XP SP1 record and fills
 * bytes 104 to 107 of the x64 layout: read it only from a record whose
 * declared length is at least HL_ADAPTER_OPER_STATUS_END. */
#define HL_ADAPTER_OPER_STATUS_END 108u
uint32_t hl_port_adapter_oper_status(const void *record);
typedef struct hl_port_unicast_t {
    int has_sockaddr;
    int family; /* 2 = IPv4, 23 = IPv6 */
    uint8_t addr[16];
    const void *next;
} hl_port_unicast_t;
void hl_port_unicast_read(const void *unicast, hl_port_unicast_t *out);
int hl_port_inet_ntop(int family, const uint8_t *addr, char *buffer, size_t size); /* 1 ok */
/* GetIfTable(buffer, size, FALSE): the raw MIB_IFTABLE bytes. */
uint32_t hl_port_if_table(void *buffer, uint32_t *size);

/* GetIfTable2: *table receives the MIB_IF_TABLE2 the system allocated, or
 * NULL; returns the status. Every table it gave goes back through
 * hl_port_free_mib_table (FreeMibTable). */
uint32_t hl_port_if_table2(void **table);
void hl_port_free_mib_table(void *table);

/* ---- environment, account, locale, processes ---------------------------------- */
uint32_t hl_port_getenv(const char16_t *name, char16_t *buffer, uint32_t length);
int hl_port_user_name(char16_t *buffer, uint32_t *length);
int hl_port_computer_name(char16_t *buffer, uint32_t *length); /* ComputerNameDnsHostname */
/* GetLocaleInfoW(locale, LOCALE_SNAME, ...); the collector asks for the
 * system default locale, LOCALE_SYSTEM_DEFAULT. */
#define HL_LOCALE_SYSTEM_DEFAULT 0x0800u
int hl_port_locale_name(uint32_t locale, char16_t *buffer, int length);
int hl_port_process_snapshot(hl_handle_t *snapshot); /* 0 for INVALID_HANDLE_VALUE */
int hl_port_process_first(hl_handle_t snapshot);
int hl_port_process_next(hl_handle_t snapshot);
void hl_port_close_handle(hl_handle_t handle);

/* ---- HTTP: one synchronous GET through WinHTTP --------------------------------- */
enum {
    HL_HTTP_OK = 0,
    HL_HTTP_OPEN_FAILED = 1,    /* WinHttpOpen */
    HL_HTTP_CONNECT_FAILED = 2, /* WinHttpConnect */
    HL_HTTP_REQUEST_FAILED = 3, /* WinHttpOpenRequest */
    HL_HTTP_SEND_FAILED = 4     /* WinHttpSendRequest or WinHttpReceiveResponse */
};
typedef struct hl_port_http_request_t {
    const char16_t *host;
    uint16_t port;
    const char16_t *path;
    const char16_t *agent;
    int32_t resolve_ms, connect_ms, send_ms, receive_ms;
} hl_port_http_request_t;
/* Opens, connects, sends and receives the response head. On failure every
 * handle it opened is closed again, newest first, *session stays NULL and
 * *error is the failed call's GetLastError() (a WinHTTP error such as
 * ERROR_WINHTTP_NAME_NOT_RESOLVED); 0 on success. */
int hl_port_http_begin(const hl_port_http_request_t *request, hl_handle_t *session,
                       uint32_t *error);
/* The response's status code (200, 404, 429, ...), or 0 when it cannot be read. */
uint32_t hl_port_http_status(hl_handle_t session);
/* 1 when the call succeeded; otherwise 0 with *error the call's GetLastError(). */
int hl_port_http_available(hl_handle_t session, uint32_t *available, uint32_t *error);
int hl_port_http_read(hl_handle_t session, void *buffer, uint32_t want, uint32_t *got,
                      uint32_t *error);
void hl_port_http_end(hl_handle_t session); /* request, connection, root */

#endif
