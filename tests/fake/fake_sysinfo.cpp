/*
 * ntdll's system-information queries: processor times per group, and the
 * process list laid out in the caller's buffer as SystemProcessInformation
 * lays it out (x64): a 256-byte fixed part per process, its threads' 80-byte
 * records, then its name, each entry linked to the next by NextEntryOffset.
 */
#include "fake.h"

#include <string.h>

#include <map>

namespace
{

const int32_t STATUS_INFO_LENGTH_MISMATCH = (int32_t)0xC0000004u;
const int32_t STATUS_INVALID_PARAMETER = (int32_t)0xC000000Du;
const int32_t STATUS_INVALID_INFO_CLASS = (int32_t)0xC0000003u;
const int32_t STATUS_UNSUCCESSFUL = (int32_t)0xC0000001u;
const uint32_t PROCESS_INFORMATION = 5, PROCESSOR_PERFORMANCE = 8;
const uint32_t ENTRY_SIZE = 48, SPI_SIZE = 256, THREAD_SIZE = 80;

struct {
    std::map<uint16_t, std::vector<fake_cpu_time_t>> groups;
    std::vector<fake_process_t> processes;
    int growth;
    int joined;
    std::vector<uint32_t> call_sizes;
    std::vector<std::string> log;
} sys;

void reset_sysinfo()
{
    sys.groups.clear();
    sys.processes.clear();
    sys.growth = 0;
    sys.joined = 0;
    sys.call_sizes.clear();
    sys.log.clear();
}

fake_registrar registrar(reset_sysinfo);

void put(uint8_t *p, size_t at, uint64_t v, size_t width)
{
    memcpy(p + at, &v, width); /* little-endian, as the platform */
}

int32_t processor_times(uint16_t group, void *buffer, uint32_t length, uint32_t *returned)
{
    *returned = 0;
    auto it = sys.groups.find(group);
    if (it == sys.groups.end())
        return group == 0 ? 0 : STATUS_INVALID_PARAMETER;
    if (length < ENTRY_SIZE) {
        *returned = (uint32_t)it->second.size() * ENTRY_SIZE;
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    size_t n = it->second.size() < length / ENTRY_SIZE ? it->second.size() : length / ENTRY_SIZE;
    uint8_t *p = (uint8_t *)buffer;
    for (size_t i = 0; i < n; i++) {
        const fake_cpu_time_t &c = it->second[i];
        uint8_t *e = p + i * ENTRY_SIZE;
        memset(e, 0, ENTRY_SIZE);
        put(e, 0, c.idle, 8);
        put(e, 8, c.kernel, 8);
        put(e, 16, c.user, 8);
        put(e, 24, c.dpc, 8);
        put(e, 32, c.interrupt, 8);
    }
    *returned = (uint32_t)n * ENTRY_SIZE;
    return 0;
}

uint32_t entry_size(const fake_process_t &p)
{
    uint32_t name = (uint32_t)p.name.size() * 2;
    return (SPI_SIZE + p.threads * THREAD_SIZE + name + 7u) & ~7u;
}

int32_t process_list(void *buffer, uint32_t length, uint32_t *returned)
{
    sys.call_sizes.push_back(length);
    uint64_t need = 0;
    for (const fake_process_t &p : sys.processes)
        need += entry_size(p);
    if (length < need) {
        *returned = (uint32_t)need;
        for (int i = 0; i < sys.growth; i++) {
            sys.joined++;
            fake_process_t p{};
            p.pid = 10000 + (uint64_t)sys.joined * 4;
            p.ppid = 4;
            p.name = fake_u16("joined.exe");
            p.threads = 3;
            sys.processes.push_back(p);
        }
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    uint8_t *base = (uint8_t *)buffer;
    size_t at = 0;
    for (size_t i = 0; i < sys.processes.size(); i++) {
        const fake_process_t &p = sys.processes[i];
        uint32_t size = entry_size(p);
        uint8_t *e = base + at;
        memset(e, 0, size);
        put(e, 0, i + 1 < sys.processes.size() ? size : 0, 4);
        put(e, 4, p.threads, 4);
        put(e, 32, p.create_time, 8);
        put(e, 40, p.user, 8);
        put(e, 48, p.kernel, 8);
        uint8_t *name = e + SPI_SIZE + p.threads * THREAD_SIZE;
        if (!p.name.empty()) {
            memcpy(name, p.name.data(), p.name.size() * 2);
            put(e, 56, p.name.size() * 2, 2);
            put(e, 58, p.name.size() * 2, 2);
            put(e, 64, (uint64_t)(uintptr_t)name, 8);
        }
        put(e, 80, p.pid, 8);
        put(e, 88, p.ppid, 8);
        put(e, 96, p.handles, 4);
        put(e, 144, p.working_set, 8);
        put(e, 184, p.private_bytes, 8); /* PagefileUsage */
        put(e, 200, p.private_bytes, 8); /* PrivatePageCount, the same figure */
        at += size;
    }
    *returned = (uint32_t)need;
    return 0;
}

} // namespace

void fake_set_processor_times(uint16_t group, const std::vector<fake_cpu_time_t> &cores)
{
    sys.groups[group] = cores;
}

void fake_add_process(const fake_process_t &p)
{
    sys.processes.push_back(p);
}

void fake_set_processes(const std::vector<fake_process_t> &list)
{
    sys.processes = list;
}

void fake_set_process_growth(int n)
{
    sys.growth = n;
}

const std::vector<uint32_t> &fake_process_call_sizes()
{
    return sys.call_sizes;
}

const std::vector<std::string> &fake_system_info_log()
{
    return sys.log;
}

int32_t hl_port_system_info(uint32_t info_class, void *buffer, uint32_t length, uint32_t *returned)
{
    FAKE_GUARD;
    *returned = 0;
    sys.log.push_back(std::to_string(info_class));
    long code = 0;
    if (fake_hit(FAKE_SYSTEM_INFO, &code, STATUS_UNSUCCESSFUL))
        return (int32_t)code;
    if (info_class == PROCESSOR_PERFORMANCE)
        return processor_times(0, buffer, length, returned);
    if (info_class == PROCESS_INFORMATION)
        return process_list(buffer, length, returned);
    return STATUS_INVALID_INFO_CLASS;
}

int32_t hl_port_system_info_ex(uint32_t info_class, const void *input, uint32_t input_length,
                               void *buffer, uint32_t length, uint32_t *returned)
{
    FAKE_GUARD;
    *returned = 0;
    uint16_t group = 0;
    if (input != nullptr && input_length == 2)
        memcpy(&group, input, 2);
    sys.log.push_back(std::to_string(info_class) + ":" + std::to_string(group));
    long code = 0;
    if (fake_hit(FAKE_SYSTEM_INFO_EX, &code, STATUS_UNSUCCESSFUL))
        return (int32_t)code;
    if (info_class != PROCESSOR_PERFORMANCE)
        return STATUS_INVALID_INFO_CLASS;
    if (input == nullptr || input_length != 2)
        return STATUS_INVALID_PARAMETER;
    if (sys.groups.count(group) == 0)
        return STATUS_INVALID_PARAMETER;
    return processor_times(group, buffer, length, returned);
}
