/*
 * Processors and performance counters: the processor count, logical
 * processor records as raw bytes, scripted system-time samples, and a PDH
 * whose queries and counters are accounted.
 */
#include "fake.h"

#include <string.h>

#include <map>
#include <set>

namespace
{

struct sample {
    uint64_t idle, kernel, user;
    bool ok;
};

struct counter {
    uintptr_t query;
    std::string path;
};

struct regs {
    uint32_t r[4];
};

struct {
    uint32_t processors;
    std::map<uint32_t, std::vector<uint8_t>> lpi;
    std::vector<sample> times;
    size_t next_time;
    std::map<std::string, std::pair<double, long>> paths;
    std::vector<std::string> added;
    uintptr_t next_handle;
    std::map<uintptr_t, int> queries; /* handle -> successful collections */
    std::map<uintptr_t, counter> counters;
    std::vector<sample> threads;
    size_t next_thread;
    std::map<std::pair<uint32_t, uint32_t>, regs> cpuid;
    bool cpuid_present;
    std::map<std::string, std::vector<std::pair<double, uint32_t>>> arrays;
} cpu;

void reset_cpu()
{
    cpu.processors = 4;
    cpu.lpi.clear();
    cpu.times.clear();
    cpu.next_time = 0;
    cpu.paths.clear();
    cpu.added.clear();
    cpu.next_handle = 0x1000;
    cpu.queries.clear();
    cpu.counters.clear();
    cpu.threads.clear();
    cpu.next_thread = 0;
    cpu.cpuid.clear();
    cpu.cpuid_present = true;
    cpu.arrays.clear();
}

fake_registrar registrar(reset_cpu);

void put32(std::vector<uint8_t> &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b[at + i] = (uint8_t)(v >> (8 * i));
}

/* PDH status codes (pdhmsg.h). */
const long PDH_INVALID_HANDLE = (long)0xC0000BBCu;
const long PDH_CSTATUS_NO_OBJECT = (long)0xC0000BB9u;
const long PDH_INVALID_DATA = (long)0xC0000BC6u;
const long PDH_NO_DATA = (long)0x800007D5u;
const long PDH_MORE_DATA = (long)0x800007D2u;

} // namespace

void fake_set_processor_count(uint32_t n)
{
    cpu.processors = n;
}

void fake_set_lpi(uint32_t relationship, const std::vector<uint8_t> &bytes)
{
    cpu.lpi[relationship] = bytes;
}

std::vector<uint8_t> fake_lpi_record(uint32_t relationship, uint32_t size)
{
    std::vector<uint8_t> b(size < 8 ? 8 : size, 0);
    put32(b, 0, relationship);
    put32(b, 4, size);
    return b;
}

std::vector<uint8_t> fake_lpi_groups(const std::vector<uint8_t> &active)
{
    uint32_t size = (uint32_t)(32 + 48 * active.size());
    std::vector<uint8_t> b = fake_lpi_record(4, size);
    b[8] = b[10] = (uint8_t)active.size();
    for (size_t g = 0; g < active.size(); g++) {
        b[32 + 48 * g] = 64;
        b[32 + 48 * g + 1] = active[g];
    }
    return b;
}

void fake_push_system_times(uint64_t idle, uint64_t kernel, uint64_t user, bool ok)
{
    cpu.times.push_back(sample{idle, kernel, user, ok});
}

void fake_push_thread_times(uint64_t kernel, uint64_t user, bool ok)
{
    cpu.threads.push_back(sample{0, kernel, user, ok});
}

void fake_set_cpuid(uint32_t leaf, uint32_t subleaf, uint32_t eax, uint32_t ebx, uint32_t ecx,
                    uint32_t edx)
{
    cpu.cpuid[std::make_pair(leaf, subleaf)] = regs{{eax, ebx, ecx, edx}};
}

void fake_set_cpuid_present(bool present)
{
    cpu.cpuid_present = present;
}

void fake_set_cpuid_hypervisor(uint32_t max, const char signature[12])
{
    uint32_t w[3];
    memcpy(w, signature, 12);
    fake_set_cpuid(0x40000000u, 0, max, w[0], w[1], w[2]);
}

void fake_pdh_counter(const char *path, double value, long value_status)
{
    cpu.paths[path] = std::make_pair(value, value_status);
}

void fake_pdh_instances(const char *path, const std::vector<std::pair<double, uint32_t>> &items)
{
    cpu.paths[path] = std::make_pair(0.0, 0L);
    cpu.arrays[path] = items;
}

const std::vector<std::string> &fake_pdh_paths()
{
    return cpu.added;
}

uint32_t hl_port_processor_count(void)
{
    FAKE_GUARD;
    fake_hit(FAKE_PROCESSOR_COUNT);
    return cpu.processors;
}

int hl_port_logical_processor_info(uint32_t relationship, void *buffer, uint32_t *length)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_LOGICAL_PROCESSOR_INFO))
        return 0;
    auto it = cpu.lpi.find(relationship);
    uint32_t need = it == cpu.lpi.end() ? 0 : (uint32_t)it->second.size();
    /* ERROR_INSUFFICIENT_BUFFER: the call fails and reports the size. */
    if (buffer == nullptr || *length < need || need == 0) {
        *length = need;
        return 0;
    }
    memcpy(buffer, it->second.data(), need);
    *length = need;
    return 1;
}

int hl_port_system_times(uint64_t *idle, uint64_t *kernel, uint64_t *user)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_SYSTEM_TIMES))
        return 0;
    sample s{0, 0, 0, true};
    if (!cpu.times.empty()) {
        s = cpu.times[cpu.next_time < cpu.times.size() ? cpu.next_time : cpu.times.size() - 1];
        cpu.next_time++;
    }
    if (!s.ok)
        return 0;
    *idle = s.idle;
    *kernel = s.kernel;
    *user = s.user;
    return 1;
}

int hl_port_thread_times(uint64_t *kernel, uint64_t *user)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_THREAD_TIMES))
        return 0;
    sample s{0, 0, 0, true};
    if (!cpu.threads.empty()) {
        s = cpu.threads[cpu.next_thread < cpu.threads.size() ? cpu.next_thread
                                                             : cpu.threads.size() - 1];
        cpu.next_thread++;
    }
    if (!s.ok)
        return 0;
    *kernel = s.kernel;
    *user = s.user;
    return 1;
}

/* A fault stands for a processor without the instruction. */
int hl_port_cpuid(uint32_t leaf, uint32_t subleaf, uint32_t out[4])
{
    FAKE_GUARD;
    if (fake_hit(FAKE_CPUID) || !cpu.cpuid_present)
        return 0;
    auto it = cpu.cpuid.find(std::make_pair(leaf, subleaf));
    for (int i = 0; i < 4; i++)
        out[i] = it == cpu.cpuid.end() ? 0 : it->second.r[i];
    return 1;
}

long hl_port_pdh_open(hl_handle_t *query)
{
    FAKE_GUARD;
    long code = 0;
    if (fake_hit(FAKE_PDH_OPEN, &code, PDH_INVALID_HANDLE))
        return code;
    uintptr_t h = cpu.next_handle++;
    cpu.queries[h] = 0;
    fake_acquire(FAKE_RES_PDH_QUERY);
    *query = (hl_handle_t)h;
    return 0;
}

long hl_port_pdh_add_english(hl_handle_t query, const char16_t *path, hl_handle_t *out)
{
    FAKE_GUARD;
    long code = 0;
    std::string p = fake_u8(path);
    cpu.added.push_back(p);
    if (fake_hit(FAKE_PDH_ADD, &code, PDH_CSTATUS_NO_OBJECT))
        return code;
    if (cpu.queries.count((uintptr_t)query) == 0)
        return PDH_INVALID_HANDLE;
    if (cpu.paths.count(p) == 0)
        return PDH_CSTATUS_NO_OBJECT;
    uintptr_t h = cpu.next_handle++;
    cpu.counters[h] = counter{(uintptr_t)query, p};
    cpu.queries[(uintptr_t)query] = 0; /* a new counter needs two fresh samples */
    fake_acquire(FAKE_RES_PDH_COUNTER);
    *out = (hl_handle_t)h;
    return 0;
}

long hl_port_pdh_collect(hl_handle_t query)
{
    FAKE_GUARD;
    long code = 0;
    if (fake_hit(FAKE_PDH_COLLECT, &code, PDH_NO_DATA))
        return code;
    auto it = cpu.queries.find((uintptr_t)query);
    if (it == cpu.queries.end())
        return PDH_INVALID_HANDLE;
    it->second++;
    return 0;
}

long hl_port_pdh_value(hl_handle_t handle, double *value)
{
    FAKE_GUARD;
    long code = 0;
    if (fake_hit(FAKE_PDH_VALUE, &code, PDH_INVALID_DATA))
        return code;
    auto it = cpu.counters.find((uintptr_t)handle);
    if (it == cpu.counters.end())
        return PDH_INVALID_HANDLE;
    if (cpu.queries[it->second.query] < 2)
        return PDH_INVALID_DATA; /* a rate needs two samples */
    const std::pair<double, long> &v = cpu.paths[it->second.path];
    if (v.second != 0)
        return v.second;
    *value = v.first;
    return 0;
}

long hl_port_pdh_remove(hl_handle_t handle)
{
    FAKE_GUARD;
    fake_hit(FAKE_PDH_REMOVE);
    if (cpu.counters.erase((uintptr_t)handle) == 0) {
        fake_release(FAKE_RES_PDH_COUNTER); /* counted as misuse when none is live */
        return PDH_INVALID_HANDLE;
    }
    fake_release(FAKE_RES_PDH_COUNTER);
    return 0;
}

long hl_port_pdh_close(hl_handle_t query)
{
    FAKE_GUARD;
    fake_hit(FAKE_PDH_CLOSE);
    if (cpu.queries.erase((uintptr_t)query) == 0) {
        fake_release(FAKE_RES_PDH_QUERY);
        return PDH_INVALID_HANDLE;
    }
    fake_release(FAKE_RES_PDH_QUERY);
    return 0;
}

long hl_port_pdh_array(hl_handle_t handle, hl_port_pdh_item_t *items, uint32_t capacity,
                       uint32_t *count)
{
    FAKE_GUARD;
    long code = 0;
    *count = 0;
    if (fake_hit(FAKE_PDH_ARRAY, &code, PDH_INVALID_DATA))
        return code;
    auto it = cpu.counters.find((uintptr_t)handle);
    if (it == cpu.counters.end())
        return PDH_INVALID_HANDLE;
    if (cpu.queries[it->second.query] < 1)
        return PDH_INVALID_DATA;
    auto a = cpu.arrays.find(it->second.path);
    if (a == cpu.arrays.end())
        return PDH_INVALID_DATA; /* a counter of one instance */
    *count = (uint32_t)a->second.size();
    if (a->second.size() > capacity)
        return PDH_MORE_DATA;
    for (size_t i = 0; i < a->second.size(); i++)
        items[i] = hl_port_pdh_item_t{a->second[i].first, a->second[i].second};
    return 0;
}
