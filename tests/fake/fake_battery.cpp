/*
 * Batteries: the interfaces SetupAPI lists and the battery class driver
 * behind each, with device sets and opened devices accounted.
 */
#include "fake.h"

#include <string.h>

#include <set>

namespace
{

struct {
    std::vector<fake_battery_t> batteries;
    std::set<uintptr_t> sets;
    std::set<uintptr_t> files; /* 0x7000 + battery index, and a serial */
    uintptr_t next;
} b;

void reset_battery()
{
    b.batteries.clear();
    b.sets.clear();
    b.files.clear();
    b.next = 0;
}

fake_registrar registrar(reset_battery);

const uint32_t IOCTL_TAG = 0x294040u, IOCTL_INFORMATION = 0x294044u, IOCTL_STATUS = 0x29404Cu;

void put32(std::vector<uint8_t> &v, size_t at, uint32_t x)
{
    for (int i = 0; i < 4; i++)
        v[at + i] = (uint8_t)(x >> (8 * i));
}

uint32_t get32(const void *p)
{
    uint32_t x;
    memcpy(&x, p, 4);
    return x;
}

std::string path_of(size_t i)
{
    const fake_battery_t &bat = b.batteries[i];
    if (!bat.path.empty())
        return bat.path;
    return "\\\\?\\acpi#pnp0c0a#" + std::to_string(i + 1) +
           "#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}";
}

/* The battery an open handle stands for. */
const fake_battery_t *battery_of(hl_handle_t file)
{
    uintptr_t h = (uintptr_t)file;
    if (b.files.count(h) == 0)
        return nullptr;
    size_t i = (h >> 8) & 0xFFFF;
    return i < b.batteries.size() ? &b.batteries[i] : nullptr;
}

bool answer(const std::vector<uint8_t> &bytes, void *out, uint32_t size, uint32_t *returned)
{
    if (bytes.size() > size)
        return false; /* ERROR_INSUFFICIENT_BUFFER: nothing written */
    if (!bytes.empty())
        memcpy(out, bytes.data(), bytes.size());
    *returned = (uint32_t)bytes.size();
    return true;
}

} // namespace

void fake_add_battery(const fake_battery_t &bat)
{
    b.batteries.push_back(bat);
}

std::vector<uint8_t> fake_battery_information(uint32_t capabilities, const char *chemistry,
                                              uint32_t designed, uint32_t full, uint32_t cycles)
{
    std::vector<uint8_t> v(36, 0);
    put32(v, 0, capabilities);
    v[4] = 1; /* rechargeable */
    memcpy(&v[8], chemistry, strnlen(chemistry, 4));
    put32(v, 12, designed);
    put32(v, 16, full);
    put32(v, 20, designed / 10);
    put32(v, 24, designed / 20);
    put32(v, 32, cycles);
    return v;
}

std::vector<uint8_t> fake_battery_status(uint32_t power_state, uint32_t capacity, uint32_t voltage,
                                         int32_t rate)
{
    std::vector<uint8_t> v(16, 0);
    put32(v, 0, power_state);
    put32(v, 4, capacity);
    put32(v, 8, voltage);
    put32(v, 12, (uint32_t)rate);
    return v;
}

std::vector<uint8_t> fake_battery_text(const char *utf8)
{
    std::u16string s = fake_u16(utf8);
    std::vector<uint8_t> v;
    for (char16_t c : s) {
        v.push_back((uint8_t)c);
        v.push_back((uint8_t)(c >> 8));
    }
    v.push_back(0);
    v.push_back(0);
    return v;
}

int hl_port_battery_devices(hl_handle_t *set)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_BATTERY_DEVICES))
        return 0;
    uintptr_t h = 0x6000 + (++b.next);
    b.sets.insert(h);
    fake_acquire(FAKE_RES_DEVICE_SET);
    *set = (hl_handle_t)h;
    return 1;
}

int hl_port_battery_path(hl_handle_t set, uint32_t index, char16_t *path, uint32_t units,
                         uint32_t *needed)
{
    FAKE_GUARD;
    long code = 0;
    if (fake_hit(FAKE_BATTERY_PATH, &code, HL_BATTERY_PATH_END))
        return (int)code;
    if (b.sets.count((uintptr_t)set) == 0) {
        fake_note_misuse();
        return HL_BATTERY_PATH_END;
    }
    if (index >= b.batteries.size())
        return HL_BATTERY_PATH_END;
    std::u16string p = fake_u16(path_of(index).c_str());
    *needed = (uint32_t)p.size() + 1;
    if (*needed > units)
        return HL_BATTERY_PATH_SMALL;
    memcpy(path, p.c_str(), (p.size() + 1) * sizeof(char16_t));
    return HL_BATTERY_PATH_OK;
}

void hl_port_battery_devices_close(hl_handle_t set)
{
    FAKE_GUARD;
    if (b.sets.erase((uintptr_t)set) == 0)
        fake_note_misuse();
    else
        fake_release(FAKE_RES_DEVICE_SET);
}

int hl_port_battery_open(const char16_t *path, hl_handle_t *file)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_BATTERY_OPEN))
        return 0;
    std::string p = fake_u8(path);
    for (size_t i = 0; i < b.batteries.size(); i++) {
        if (path_of(i) != p || !b.batteries[i].opens)
            continue;
        uintptr_t h = (uintptr_t)0x1000000 + (i << 8) + (++b.next & 0xFF);
        b.files.insert(h);
        fake_acquire(FAKE_RES_HANDLE);
        *file = (hl_handle_t)h;
        return 1;
    }
    return 0;
}

int hl_port_battery_ioctl(hl_handle_t file, uint32_t code, const void *in, uint32_t in_size,
                          void *out, uint32_t out_size, uint32_t *returned)
{
    FAKE_GUARD;
    *returned = 0;
    if (fake_hit(FAKE_BATTERY_IOCTL))
        return 0;
    const fake_battery_t *bat = battery_of(file);
    if (bat == nullptr) {
        fake_note_misuse();
        return 0;
    }
    if (code == IOCTL_TAG) {
        if (in_size < 4 || out_size < 4 || bat->tag == 0)
            return 0; /* no battery: the wait of 0 times out */
        uint32_t tag = bat->tag;
        memcpy(out, &tag, 4);
        *returned = 4;
        return 1;
    }
    /* Both queries begin with the tag; a stale one fails. */
    if (in_size < 4 || get32(in) != bat->tag || bat->tag == 0)
        return 0;
    if (code == IOCTL_STATUS)
        return in_size >= 20 && !bat->status.empty() &&
               answer(bat->status, out, out_size, returned);
    if (code != IOCTL_INFORMATION || in_size < 12)
        return 0;
    uint32_t level = get32((const uint8_t *)in + 4);
    for (const auto &l : bat->levels)
        if (l.first == level)
            return answer(l.second, out, out_size, returned);
    return 0;
}

void hl_port_battery_close(hl_handle_t file)
{
    FAKE_GUARD;
    if (b.files.erase((uintptr_t)file) == 0)
        fake_note_misuse();
    else
        fake_release(FAKE_RES_HANDLE);
}
