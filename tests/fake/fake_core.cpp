/*
 * The fake's machinery: call counters, fault rules, resource accounting,
 * the heap, and the small scripted services (memory, time, version, modules).
 */
#include "fake.h"

#include <stdlib.h>
#include <string.h>

#include <map>
#include <mutex>
#include <unordered_set>

namespace
{

struct rule {
    bool armed;
    int k;
    bool persistent;
    long code;
    int seen; /* calls since the rule was installed */
};

std::recursive_mutex mu;
int calls[FAKE_OP_COUNT];
rule rules[FAKE_OP_COUNT];
bool fired;
bool tracing;
std::vector<fake_op> *traced; /* never destroyed: threads may outlive main */
long outstanding[FAKE_RES_COUNT];
long misuse;
std::unordered_set<void *> *live_blocks; /* never destroyed: threads may outlive main */

std::vector<void (*)()> &resets()
{
    static std::vector<void (*)()> *list = new std::vector<void (*)()>();
    return *list;
}

const char *const op_names[FAKE_OP_COUNT] = {
    "alloc",
    "realloc",
    "tls_alloc",
    "tls_get",
    "tls_set",
    "tls_free",
    "memory_status",
    "reg_open",
    "reg_query",
    "reg_enum_key",
    "utf16_to_utf8",
    "utf8_to_utf16",
    "module_handle",
    "proc_address",
    "load_system_library",
    "rtl_get_version",
    "get_version_ex",
    "tick_count",
    "system_time",
    "utc_text",
    "sleep",
    "perf_counter",
    "perf_frequency",
    "processor_count",
    "logical_processor_info",
    "system_times",
    "pdh_open",
    "pdh_add",
    "pdh_collect",
    "pdh_value",
    "pdh_remove",
    "pdh_close",
    "com_init",
    "com_uninit",
    "wmi_locator",
    "wmi_connect",
    "wmi_exec",
    "wmi_next",
    "wmi_get",
    "variant_clear",
    "display_settings",
    "display_device",
    "logical_drives",
    "drive_type",
    "volume_info",
    "disk_space",
    "firmware_table",
    "adapters",
    "inet_ntop",
    "if_table",
    "getenv",
    "user_name",
    "computer_name",
    "locale_name",
    "process_snapshot",
    "process_first",
    "process_next",
    "http_begin",
    "http_available",
    "http_read",
    "system_info",
    "system_info_ex",
    "if_table2",
    "free_mib_table",
    "device_open",
    "device_ioctl",
    "device_close",
    "thread_times",
    "cpuid",
    "display_config_sizes",
    "display_config",
    "display_target_name",
    "dpi_context_set",
    "monitor_at",
    "monitor_dpi",
    "battery_devices",
    "battery_path",
    "battery_open",
    "battery_ioctl",
    "pdh_array",
    "load_library_path",
    "system_directory",
    "display_adapters",
    "display_adapter_text",
    "dos_device",
    "volume_find_first",
    "volume_find_next",
    "volume_paths",
    "http_status",
};

/* scripted services of this file */
struct {
    bool memory_ok;
    hl_port_memory_t memory;
    uint64_t tick;
    uint64_t filetime;
    std::vector<uint32_t> sleeps;
    uint64_t perf_frequency;
    std::vector<uint64_t> perf_counts;
    size_t perf_next;
    bool perf_hold;
    uint32_t major, minor, build;
    int32_t rtl_status;
    bool have_rtl;
    uint32_t ex_major, ex_minor, ex_build;
    std::string system_dir;
    std::vector<std::string> loaded_paths;
} sys;

struct module {
    bool loaded;
    bool loadable;
    std::vector<std::string> procs;
};
std::map<std::string, module> *modules;

int rtl_marker; /* the address handed out for RtlGetVersion */

void reset_core()
{
    sys.memory_ok = true;
    sys.memory = hl_port_memory_t{UINT64_C(17179869184), UINT64_C(6710886400),
                                  UINT64_C(19327352832), UINT64_C(8589934592)};
    sys.tick = 0;
    sys.filetime = UINT64_C(116444736000000000);
    sys.sleeps.clear();
    sys.perf_frequency = 10000000;
    sys.perf_counts.clear();
    sys.perf_next = 0;
    sys.perf_hold = false;
    sys.major = 10;
    sys.minor = 0;
    sys.build = 19045;
    sys.rtl_status = 0;
    sys.have_rtl = true;
    sys.ex_major = 6;
    sys.ex_minor = 2;
    sys.ex_build = 9200;
    sys.system_dir = "C:\\Windows\\system32";
    sys.loaded_paths.clear();
    if (modules == nullptr)
        modules = new std::map<std::string, module>();
    modules->clear();
    (*modules)["ntdll.dll"] = module{true, true, {"RtlGetVersion"}};
    (*modules)["iphlpapi.dll"] = module{false, true, {"GetAdaptersAddresses"}};
}

fake_registrar core_registrar(reset_core);

} // namespace

std::recursive_mutex &fake_mutex()
{
    return mu;
}

fake_registrar::fake_registrar(void (*reset)())
{
    resets().push_back(reset);
    reset();
}

const char *fake_op_name(fake_op op)
{
    return (op >= 0 && op < FAKE_OP_COUNT) ? op_names[op] : "?";
}

void fake_fail(fake_op op, int k, bool persistent, long code)
{
    std::lock_guard<std::recursive_mutex> g(mu);
    rules[op] = rule{true, k, persistent, code, 0};
}

int fake_calls(fake_op op)
{
    std::lock_guard<std::recursive_mutex> g(mu);
    return calls[op];
}

bool fake_fault_fired()
{
    std::lock_guard<std::recursive_mutex> g(mu);
    return fired;
}

void fake_trace_ops()
{
    std::lock_guard<std::recursive_mutex> g(mu);
    if (traced == nullptr)
        traced = new std::vector<fake_op>();
    traced->clear();
    tracing = true;
}

const std::vector<fake_op> &fake_traced_ops()
{
    std::lock_guard<std::recursive_mutex> g(mu);
    if (traced == nullptr)
        traced = new std::vector<fake_op>();
    return *traced;
}

bool fake_hit(fake_op op, long *code, long default_code)
{
    std::lock_guard<std::recursive_mutex> g(mu);
    calls[op]++;
    if (tracing)
        traced->push_back(op);
    rule &r = rules[op];
    if (!r.armed)
        return false;
    r.seen++;
    bool fail = r.persistent ? r.seen >= r.k : r.seen == r.k;
    if (fail) {
        fired = true;
        if (code != nullptr)
            *code = r.code != 0 ? r.code : default_code;
    }
    return fail;
}

void fake_count(fake_op op)
{
    std::lock_guard<std::recursive_mutex> g(mu);
    calls[op]++;
    if (tracing)
        traced->push_back(op);
}

void fake_note_misuse()
{
    std::lock_guard<std::recursive_mutex> g(mu);
    misuse++;
}

void fake_acquire(fake_res r)
{
    std::lock_guard<std::recursive_mutex> g(mu);
    outstanding[r]++;
}

void fake_release(fake_res r)
{
    std::lock_guard<std::recursive_mutex> g(mu);
    if (outstanding[r] <= 0 && r != FAKE_RES_HEAP)
        misuse++;
    else
        outstanding[r]--;
}

long fake_outstanding(fake_res r)
{
    std::lock_guard<std::recursive_mutex> g(mu);
    return outstanding[r];
}

long fake_misuse()
{
    std::lock_guard<std::recursive_mutex> g(mu);
    return misuse;
}

bool fake_all_released()
{
    std::lock_guard<std::recursive_mutex> g(mu);
    for (int r = 0; r < FAKE_RES_COUNT; r++)
        if (r != FAKE_RES_HEAP && outstanding[r] != 0)
            return false;
    return misuse == 0;
}

void fake_reset()
{
    std::lock_guard<std::recursive_mutex> g(mu);
    memset(calls, 0, sizeof calls);
    for (rule &r : rules)
        r = rule{false, 0, false, 0, 0};
    fired = false;
    tracing = false;
    for (int r = 0; r < FAKE_RES_COUNT; r++)
        if (r != FAKE_RES_HEAP)
            outstanding[r] = 0;
    misuse = 0;
    for (void (*reset)() : resets())
        reset();
}

/* ---- heap --------------------------------------------------------------- */

void *hl_port_alloc(size_t size)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_ALLOC))
        return nullptr;
    void *p = malloc(size == 0 ? 1 : size);
    std::lock_guard<std::recursive_mutex> g(mu);
    if (live_blocks == nullptr)
        live_blocks = new std::unordered_set<void *>();
    live_blocks->insert(p);
    outstanding[FAKE_RES_HEAP]++;
    return p;
}

void *hl_port_realloc(void *block, size_t size)
{
    FAKE_GUARD;
    if (block == nullptr)
        return hl_port_alloc(size);
    if (fake_hit(FAKE_REALLOC))
        return nullptr;
    std::lock_guard<std::recursive_mutex> g(mu);
    if (live_blocks == nullptr || live_blocks->erase(block) == 0) {
        misuse++;
        return nullptr;
    }
    void *p = realloc(block, size == 0 ? 1 : size);
    live_blocks->insert(p != nullptr ? p : block);
    return p;
}

void hl_port_free(void *block)
{
    FAKE_GUARD;
    if (block == nullptr)
        return;
    std::lock_guard<std::recursive_mutex> g(mu);
    if (live_blocks == nullptr || live_blocks->erase(block) == 0) {
        misuse++;
        return;
    }
    outstanding[FAKE_RES_HEAP]--;
    free(block);
}

/* ---- memory, time, version, modules -------------------------------------- */

void fake_set_memory(uint64_t total_phys, uint64_t avail_phys, uint64_t total_page,
                     uint64_t avail_page)
{
    sys.memory = hl_port_memory_t{total_phys, avail_phys, total_page, avail_page};
}

int hl_port_memory_status(hl_port_memory_t *out)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_MEMORY_STATUS))
        return 0;
    *out = sys.memory;
    return 1;
}

void fake_set_tick_count(uint64_t ms)
{
    sys.tick = ms;
}

void fake_advance_tick_count(uint64_t ms)
{
    sys.tick += ms;
}

void fake_set_system_time(uint64_t filetime)
{
    sys.filetime = filetime;
}

uint64_t hl_port_tick_count(void)
{
    FAKE_GUARD;
    fake_hit(FAKE_TICK_COUNT);
    return sys.tick;
}

uint64_t hl_port_system_time(void)
{
    FAKE_GUARD;
    fake_hit(FAKE_SYSTEM_TIME);
    return sys.filetime;
}

const std::vector<uint32_t> &fake_sleeps()
{
    return sys.sleeps;
}

void hl_port_sleep(uint32_t ms)
{
    FAKE_GUARD;
    fake_hit(FAKE_SLEEP);
    std::lock_guard<std::recursive_mutex> g(mu);
    sys.sleeps.push_back(ms);
}

void fake_set_perf_frequency(uint64_t per_second)
{
    sys.perf_frequency = per_second;
}

void fake_push_perf_counter(uint64_t count)
{
    sys.perf_counts.push_back(count);
}

void fake_hold_perf_counter()
{
    std::lock_guard<std::recursive_mutex> g(mu);
    sys.perf_hold = true;
}

void fake_next_perf_counter()
{
    std::lock_guard<std::recursive_mutex> g(mu);
    if (sys.perf_next + 1 < sys.perf_counts.size())
        sys.perf_next++;
}

int hl_port_perf_counter(uint64_t *count)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_PERF_COUNTER))
        return 0;
    if (sys.perf_counts.empty()) {
        *count = 0;
        return 1;
    }
    *count = sys.perf_counts[sys.perf_next];
    if (!sys.perf_hold && sys.perf_next + 1 < sys.perf_counts.size())
        sys.perf_next++;
    return 1;
}

int hl_port_perf_frequency(uint64_t *per_second)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_PERF_FREQUENCY))
        return 0;
    *per_second = sys.perf_frequency;
    return 1;
}

/* Days since 1970-01-01 to a civil date (proleptic Gregorian). */
static void civil_from_days(int64_t z, int64_t *y, unsigned *m, unsigned *d)
{
    z += 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    unsigned doe = (unsigned)(z - era * 146097);
    unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t yy = (int64_t)yoe + era * 400;
    unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = yy + (*m <= 2 ? 1 : 0);
}

int hl_port_utc_text(int64_t seconds, char *out, size_t size)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_UTC_TEXT))
        return 0;
    /* _gmtime64_s accepts 1970-01-01 up to 3000-12-31T23:59:59. */
    if (seconds < 0 || seconds > INT64_C(32535215999))
        return 0;
    int64_t days = seconds / 86400, rem = seconds % 86400, y;
    unsigned m, d;
    civil_from_days(days, &y, &m, &d);
    char buf[32];
    snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02lld:%02lld:%02lldZ", (long long)y, m, d,
             (long long)(rem / 3600), (long long)(rem % 3600 / 60), (long long)(rem % 60));
    if (strlen(buf) + 1 > size)
        return 0;
    memcpy(out, buf, strlen(buf) + 1);
    return 1;
}

void fake_set_version(uint32_t major, uint32_t minor, uint32_t build, int32_t rtl_status,
                      bool have_rtl)
{
    sys.major = major;
    sys.minor = minor;
    sys.build = build;
    sys.rtl_status = rtl_status;
    sys.have_rtl = have_rtl;
    if (!have_rtl)
        (*modules)["ntdll.dll"].procs.clear();
}

void fake_set_version_ex(uint32_t major, uint32_t minor, uint32_t build)
{
    sys.ex_major = major;
    sys.ex_minor = minor;
    sys.ex_build = build;
}

int32_t hl_port_rtl_get_version(void *fn, uint32_t *major, uint32_t *minor, uint32_t *build)
{
    FAKE_GUARD;
    long code = 0;
    if (fn != &rtl_marker) {
        std::lock_guard<std::recursive_mutex> g(mu);
        misuse++;
        return -1;
    }
    if (fake_hit(FAKE_RTL_GET_VERSION, &code, (long)0xC0000001))
        return (int32_t)code;
    *major = sys.major;
    *minor = sys.minor;
    *build = sys.build;
    return sys.rtl_status;
}

void hl_port_get_version_ex(uint32_t *major, uint32_t *minor, uint32_t *build)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_GET_VERSION_EX))
        return; /* the structure is left as it was */
    *major = sys.ex_major;
    *minor = sys.ex_minor;
    *build = sys.ex_build;
}

void fake_add_module(const char *name, bool loaded, bool loadable)
{
    module &m = (*modules)[name];
    m.loaded = loaded;
    m.loadable = loadable;
}

void fake_add_proc(const char *module_name, const char *proc)
{
    (*modules)[module_name].procs.push_back(proc);
}

/* A module handle is the address of its map entry. */
static void *find_module(const char16_t *name, bool load)
{
    std::string n = fake_u8(name);
    auto it = modules->find(n);
    if (it == modules->end())
        return nullptr;
    if (load ? !it->second.loadable : !it->second.loaded)
        return nullptr;
    if (load)
        it->second.loaded = true;
    return &it->second;
}

void *hl_port_module_handle(const char16_t *name)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_MODULE_HANDLE))
        return nullptr;
    return find_module(name, false);
}

/* ERROR_MOD_NOT_FOUND: what a load answers for a file that is not there. */
#define FAKE_MOD_NOT_FOUND 126

void *hl_port_load_system_library(const char16_t *name, uint32_t *error)
{
    FAKE_GUARD;
    long code = 0;
    *error = 0;
    void *m = fake_hit(FAKE_LOAD_SYSTEM_LIBRARY, &code, FAKE_MOD_NOT_FOUND)
                  ? nullptr
                  : find_module(name, true);
    if (m == nullptr)
        *error = code != 0 ? (uint32_t)code : FAKE_MOD_NOT_FOUND;
    return m;
}

void fake_set_system_directory(const char *utf8)
{
    sys.system_dir = utf8;
}

const std::vector<std::string> &fake_loaded_paths()
{
    return sys.loaded_paths;
}

void *hl_port_load_library_path(const char16_t *path, uint32_t *error)
{
    FAKE_GUARD;
    long code = 0;
    *error = 0;
    std::string p = fake_u8(path);
    sys.loaded_paths.push_back(p);
    std::string dir = sys.system_dir;
    if (dir.empty() || dir.back() != '\\')
        dir += "\\";
    void *m = nullptr;
    if (!fake_hit(FAKE_LOAD_LIBRARY_PATH, &code, FAKE_MOD_NOT_FOUND) && p.rfind(dir, 0) == 0)
        m = find_module(fake_u16(p.substr(dir.size()).c_str()).c_str(), true);
    if (m == nullptr)
        *error = code != 0 ? (uint32_t)code : FAKE_MOD_NOT_FOUND;
    return m;
}

uint32_t hl_port_system_directory(char16_t *buffer, uint32_t length)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_SYSTEM_DIRECTORY))
        return 0;
    std::u16string d = fake_u16(sys.system_dir.c_str());
    if (length <= d.size())
        return (uint32_t)d.size() + 1;
    memcpy(buffer, d.c_str(), (d.size() + 1) * sizeof(char16_t));
    return (uint32_t)d.size();
}

/* Addresses handed out for procedures other than RtlGetVersion. */
static char proc_markers[8];

void *hl_port_proc_address(void *handle, const char *name)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_PROC_ADDRESS) || handle == nullptr)
        return nullptr;
    module *m = (module *)handle;
    for (size_t i = 0; i < m->procs.size(); i++) {
        if (m->procs[i] == name) {
            if (m->procs[i] == "RtlGetVersion")
                return &rtl_marker;
            return &proc_markers[i % sizeof proc_markers];
        }
    }
    return nullptr;
}
