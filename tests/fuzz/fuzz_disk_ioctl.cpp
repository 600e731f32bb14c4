/*
 * The answers of the storage control codes: any bytes read as each layout
 * straight from an exactly sized copy, then disks whose storage descriptor
 * is any bytes (any Size declared, offsets anywhere), with any numbers, gaps,
 * refusals, and volumes whose extents name any disks in any order.
 *
 * Input: a 16-bit length and that many bytes for the readers and the first
 * disk's descriptor; then per disk a number, flags and the length of its own
 * descriptor (a slice of the same bytes); then per volume its flags and
 * extents.
 */
#include "fuzz_util.h"

#include <string>

#include "hl_disks.h"

static void read_directly(const std::vector<uint8_t> &bytes)
{
    const uint8_t *d = bytes.data();
    size_t n = bytes.size();
    hl_storage_device_t s;
    uint32_t declared;
    hl_parse_storage_device(d, n, &s, &declared);
    must_end_inside(s.vendor, sizeof s.vendor);
    must_end_inside(s.product, sizeof s.product);
    must_end_inside(s.serial, sizeof s.serial);
    if (hl_bus_word(s.bus_type) == nullptr)
        abort();
    int incurs = 7;
    if (hl_parse_seek_penalty(d, n, &incurs) && incurs != 0 && incurs != 1)
        abort();
    int64_t size = -1;
    if (hl_parse_geometry_size(d, n, &size) && size < 0)
        abort();
    hl_disk_counters_t c;
    hl_parse_disk_performance(d, n, &c);
    for (int64_t v : {c.read_bytes, c.write_bytes, c.read_time, c.write_time, c.idle_time, c.reads,
                      c.writes, c.queue_depth, c.split_ios})
        if (v < -1)
            abort();
    uint32_t whole = hl_parse_extents(d, n, &declared);
    if (whole > declared || (n >= 8 && whole > (n - 8) / 24) || (n < 8 && whole != 0))
        abort();
    for (uint32_t i = 0; i < whole; i++)
        hl_extent_disk(d, i); /* ASan: inside the copy */
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    hostlens_collect("disk_io"); /* the thread's block, kept for the whole run */
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_input in{data, size};
    std::vector<uint8_t> blob = in.bytes(in.u16() % 4096);
    read_directly(blob);

    fake_reset();
    std::vector<fake_physical_disk_t> disks;
    int count = in.u8() % 6;
    size_t at = 0;
    for (int i = 0; i < count; i++) {
        fake_physical_disk_t d;
        d.number = in.u8() % 24;
        uint8_t flags = in.u8();
        size_t take = i == 0 ? blob.size() : in.u16() % 2048;
        at = i == 0 ? 0 : at % (blob.size() + 1);
        take = take < blob.size() - at ? take : blob.size() - at;
        d.descriptor.assign(blob.begin() + (long)at, blob.begin() + (long)(at + take));
        at += take;
        d.seek_penalty = flags % 3 - 1;
        d.size = flags & 4 ? -1 : (int64_t)in.u32() << 8;
        d.has_counters = (flags & 8) != 0;
        /* Any 64-bit pattern, negative ones included. */
        d.counters = fake_disk_counters_t{(int64_t)((uint64_t)in.u32() << 31),
                                          (int64_t)in.u32(),
                                          (int64_t)((uint64_t)in.u32() << 33),
                                          in.u32(),
                                          in.u32(),
                                          in.u32(),
                                          in.u32(),
                                          in.u8(),
                                          in.u8()};
        d.open_error = flags & 16 ? (flags & 32 ? 5 : 2) : 0;
        disks.push_back(d);
    }
    fake_set_physical_disks(disks);
    std::vector<fake_drive_t> drives;
    int volumes = in.u8() % 5;
    for (int i = 0; i < volumes; i++) {
        uint8_t flags = in.u8();
        std::string root = std::string(1, (char)('C' + i)) + ":\\";
        fake_drive_t v{root, flags & 1 ? 2u : 3u, "L", "NTFS", true, (flags & 2) == 0, 1000, 500};
        v.extents.clear();
        int extents = in.u8() % 14;
        for (int e = 0; e < extents; e++)
            v.extents.push_back(in.u8() % 24);
        v.open_error = flags & 4 ? 5 : 0;
        v.extents_error = flags & 8 ? 1 : 0;
        drives.push_back(v);
    }
    fake_set_drives(drives);

    long heap = fake_outstanding(FAKE_RES_HEAP);
    nlohmann::ordered_json list = must_be_module(hostlens_collect("disk_io"), "disk_io", true);
    if (fake_outstanding(FAKE_RES_HEAP) != heap || !fake_all_released())
        abort();
    int64_t last = -1;
    for (const auto &e : list) {
        must_have_keys(e, {"disk", "model", "serial", "bus", "media", "size_bytes", "volumes",
                           "reads", "writes", "read_bytes", "write_bytes", "read_s", "write_s",
                           "idle_s", "queue_depth", "split_ios"});
        if (!e["disk"].is_number_unsigned() || e["disk"].get<int64_t>() <= last)
            abort(); /* by number, each once */
        last = e["disk"].get<int64_t>();
    }
    nlohmann::ordered_json vols = must_be_module(hostlens_collect("volumes"), "volumes", true);
    if (fake_outstanding(FAKE_RES_HEAP) != heap || !fake_all_released())
        abort();
    for (const auto &v : vols) {
        const auto &on = v["disks"];
        if (on.empty() ? v["disk"] != "unknown" : v["disk"] != on[0])
            abort();
    }
    return 0;
}
