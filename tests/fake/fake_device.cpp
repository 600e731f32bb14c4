/*
 * Devices: physical disks and the volume devices of the fixed drives, opened
 * with no access rights, and the storage control codes they answer, each in
 * the layout Windows returns (x64).
 */
#include "fake.h"

#include <string.h>

#include <algorithm>

namespace
{

struct device {
    bool is_disk;
    uint32_t number;  /* a disk's */
    std::string root; /* a volume's, "C:\\" */
};

struct state {
    std::vector<fake_physical_disk_t> disks;
    std::vector<device *> *open; /* never destroyed: threads may outlive main */
    std::vector<std::string> *paths;
} dev;

const uint32_t ERROR_FILE_NOT_FOUND_ = 2, ERROR_INVALID_HANDLE_ = 6, ERROR_INVALID_FUNCTION_ = 1,
               ERROR_NOT_SUPPORTED_ = 50, ERROR_INVALID_PARAMETER_ = 87,
               ERROR_INSUFFICIENT_BUFFER_ = 122, ERROR_MORE_DATA_ = 234;

void put32(std::vector<uint8_t> &b, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        b[at + (size_t)i] = (uint8_t)(v >> (8 * i));
}

void put64(std::vector<uint8_t> &b, size_t at, int64_t v)
{
    for (int i = 0; i < 8; i++)
        b[at + (size_t)i] = (uint8_t)((uint64_t)v >> (8 * i));
}

void reset_devices()
{
    if (dev.open == nullptr) {
        dev.open = new std::vector<device *>();
        dev.paths = new std::vector<std::string>();
    }
    for (device *d : *dev.open)
        delete d;
    dev.open->clear();
    dev.paths->clear();
    fake_physical_disk_t d0;
    d0.number = 0;
    d0.descriptor =
        fake_storage_descriptor(nullptr, "Fake NVMe SSD 512GB", "0025_3852_81B2_3C4C.", 17);
    d0.seek_penalty = 0;
    d0.size = INT64_C(512110190592);
    d0.has_counters = true;
    d0.counters = fake_disk_counters_t{INT64_C(81604378624),
                                       INT64_C(40802189312),
                                       INT64_C(123456789),
                                       INT64_C(98765432),
                                       INT64_C(17280000000000),
                                       1200000,
                                       800000,
                                       2,
                                       31};
    dev.disks = {d0};
}

fake_registrar registrar(reset_devices);

device *find_open(hl_handle_t h)
{
    for (device *d : *dev.open)
        if (d == h)
            return d;
    return nullptr;
}

const fake_physical_disk_t *find_disk(uint32_t number)
{
    for (const fake_physical_disk_t &d : dev.disks)
        if (d.number == number)
            return &d;
    return nullptr;
}

/* Copies the answer into the caller's buffer as far as it fits. */
uint32_t answer(const std::vector<uint8_t> &a, void *out, uint32_t out_size, uint32_t *returned,
                uint32_t at_least)
{
    if (out_size < at_least)
        return ERROR_INSUFFICIENT_BUFFER_;
    uint32_t n = std::min<uint32_t>((uint32_t)a.size(), out_size);
    memcpy(out, a.data(), n);
    *returned = n;
    return 0;
}

uint32_t volume_ioctl(const device &d, uint32_t code, void *out, uint32_t out_size,
                      uint32_t *returned)
{
    if (code != HL_IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS)
        return ERROR_INVALID_FUNCTION_;
    const fake_drive_t *drive = fake_find_drive(fake_u16(d.root.c_str()).c_str());
    if (drive == nullptr)
        return ERROR_FILE_NOT_FOUND_;
    if (drive->extents_error != 0)
        return drive->extents_error;
    /* NumberOfDiskExtents, then DISK_EXTENT records of 24 bytes from 8. */
    std::vector<uint8_t> a(8 + 24 * std::max<size_t>(drive->extents.size(), 1), 0);
    put32(a, 0, (uint32_t)drive->extents.size());
    for (size_t i = 0; i < drive->extents.size(); i++) {
        put32(a, 8 + 24 * i, drive->extents[i]);
        put64(a, 8 + 24 * i + 8, (int64_t)(i + 1) << 20);
        put64(a, 8 + 24 * i + 16, INT64_C(1) << 30);
    }
    if (out_size < 32)
        return ERROR_INSUFFICIENT_BUFFER_;
    if (a.size() > out_size) {
        /* The count and the first extent, and a request for more room. */
        memcpy(out, a.data(), 32);
        *returned = 32;
        return ERROR_MORE_DATA_;
    }
    return answer(a, out, out_size, returned, 32);
}

uint32_t disk_ioctl(const fake_physical_disk_t &disk, uint32_t code, const void *in,
                    uint32_t in_size, void *out, uint32_t out_size, uint32_t *returned)
{
    if (code == HL_IOCTL_STORAGE_QUERY_PROPERTY) {
        if (in == nullptr || in_size < 8)
            return ERROR_INVALID_PARAMETER_;
        uint32_t property, type;
        memcpy(&property, in, 4);
        memcpy(&type, (const uint8_t *)in + 4, 4);
        if (type != 0)
            return ERROR_NOT_SUPPORTED_;
        if (property == 0 && !disk.descriptor.empty())
            return answer(disk.descriptor, out, out_size, returned, 8);
        if (property == 7 && disk.seek_penalty >= 0) {
            /* Version, Size, IncursSeekPenalty. */
            std::vector<uint8_t> a(12, 0);
            put32(a, 0, 12);
            put32(a, 4, 12);
            a[8] = (uint8_t)disk.seek_penalty;
            return answer(a, out, out_size, returned, 12);
        }
        return ERROR_NOT_SUPPORTED_;
    }
    if (code == HL_IOCTL_DISK_GET_DRIVE_GEOMETRY_EX && disk.size >= 0) {
        /* Cylinders, MediaType (FixedMedia), TracksPerCylinder,
         * SectorsPerTrack, BytesPerSector, DiskSize; then what Wine adds. */
        std::vector<uint8_t> a(40, 0);
        put64(a, 0, disk.size / (255 * 63 * 512));
        put32(a, 8, 12);
        put32(a, 12, 255);
        put32(a, 16, 63);
        put32(a, 20, 512);
        put64(a, 24, disk.size);
        return answer(a, out, out_size, returned, 32);
    }
    if (code == HL_IOCTL_DISK_PERFORMANCE && disk.has_counters) {
        const fake_disk_counters_t &c = disk.counters;
        std::vector<uint8_t> a(88, 0);
        put64(a, 0, c.read_bytes);
        put64(a, 8, c.write_bytes);
        put64(a, 16, c.read_time);
        put64(a, 24, c.write_time);
        put64(a, 32, c.idle_time);
        put32(a, 40, c.reads);
        put32(a, 44, c.writes);
        put32(a, 48, c.queue_depth);
        put32(a, 52, c.split_ios);
        put64(a, 56, INT64_C(133500000000000000)); /* QueryTime */
        put32(a, 64, disk.number);
        const char16_t manager[] = u"PhysDisk";
        memcpy(&a[68], manager, 16);
        return answer(a, out, out_size, returned, 88);
    }
    if (code == HL_IOCTL_DISK_GET_DRIVE_GEOMETRY_EX || code == HL_IOCTL_DISK_PERFORMANCE)
        return ERROR_NOT_SUPPORTED_;
    return ERROR_INVALID_FUNCTION_;
}

} // namespace

void fake_set_physical_disks(const std::vector<fake_physical_disk_t> &disks)
{
    dev.disks = disks;
}

std::vector<uint8_t> fake_storage_descriptor(const char *vendor, const char *product,
                                             const char *serial, uint32_t bus_type,
                                             uint32_t declared)
{
    std::vector<uint8_t> b(40, 0);
    put32(b, 0, 40); /* Version: the structure's size */
    b[8] = 0;        /* FILE_DEVICE_DISK's DeviceType */
    const char *texts[] = {vendor, product, serial};
    const size_t offsets[] = {12, 16, 24};
    for (int i = 0; i < 3; i++) {
        if (texts[i] == nullptr)
            continue;
        put32(b, offsets[i], (uint32_t)b.size());
        b.insert(b.end(), texts[i], texts[i] + strlen(texts[i]) + 1);
    }
    put32(b, 28, bus_type);
    put32(b, 4, declared != 0 ? declared : (uint32_t)b.size());
    return b;
}

const std::vector<std::string> &fake_device_paths()
{
    return *dev.paths;
}

uint32_t hl_port_device_open(const char16_t *path, hl_handle_t *out)
{
    FAKE_GUARD;
    *out = nullptr;
    std::string p = fake_u8(path);
    dev.paths->push_back(p);
    long code = 0;
    if (fake_hit(FAKE_DEVICE_OPEN, &code, 5 /* ERROR_ACCESS_DENIED */))
        return (uint32_t)code;
    const std::string disk_prefix = "\\\\.\\PhysicalDrive", volume_prefix = "\\\\.\\";
    device found{false, 0, ""};
    if (p.rfind(disk_prefix, 0) == 0 && p.size() > disk_prefix.size() &&
        p.size() - disk_prefix.size() <= 10 &&
        p.find_first_not_of("0123456789", disk_prefix.size()) == std::string::npos) {
        uint64_t n = std::stoull(p.substr(disk_prefix.size()));
        const fake_physical_disk_t *d = n <= UINT32_MAX ? find_disk((uint32_t)n) : nullptr;
        if (d == nullptr)
            return ERROR_FILE_NOT_FOUND_;
        if (d->open_error != 0)
            return d->open_error;
        found = device{true, (uint32_t)n, ""};
    } else if (p.rfind(volume_prefix, 0) == 0 && p.size() > volume_prefix.size() + 1 &&
               p.back() == ':') {
        std::string root = p.substr(volume_prefix.size()) + "\\";
        const fake_drive_t *drive = fake_find_drive(fake_u16(root.c_str()).c_str());
        if (drive == nullptr)
            return ERROR_FILE_NOT_FOUND_;
        if (drive->open_error != 0)
            return drive->open_error;
        found = device{false, 0, root};
    } else if (p.rfind("\\\\?\\Volume", 0) == 0 && p.back() != '\\') {
        /* A volume name without its trailing backslash names the volume. */
        const fake_drive_t *drive = fake_find_drive(fake_u16((p + "\\").c_str()).c_str());
        if (drive == nullptr)
            return ERROR_FILE_NOT_FOUND_;
        if (drive->open_error != 0)
            return drive->open_error;
        found = device{false, 0, drive->root};
    } else {
        return ERROR_FILE_NOT_FOUND_;
    }
    device *d = new device(found);
    dev.open->push_back(d);
    fake_acquire(FAKE_RES_HANDLE);
    *out = d;
    return 0;
}

uint32_t hl_port_device_ioctl(hl_handle_t h, uint32_t code, const void *in, uint32_t in_size,
                              void *out, uint32_t out_size, uint32_t *returned)
{
    FAKE_GUARD;
    *returned = 0;
    long fail = 0;
    if (fake_hit(FAKE_DEVICE_IOCTL, &fail, ERROR_NOT_SUPPORTED_))
        return (uint32_t)fail;
    const device *d = find_open(h);
    if (d == nullptr) {
        fake_note_misuse();
        return ERROR_INVALID_HANDLE_;
    }
    if (!d->is_disk)
        return volume_ioctl(*d, code, out, out_size, returned);
    const fake_physical_disk_t *disk = find_disk(d->number);
    if (disk == nullptr)
        return ERROR_FILE_NOT_FOUND_; /* taken away since it was opened */
    return disk_ioctl(*disk, code, in, in_size, out, out_size, returned);
}

void hl_port_device_close(hl_handle_t h)
{
    FAKE_GUARD;
    fake_count(FAKE_DEVICE_CLOSE);
    device *d = find_open(h);
    fake_release(FAKE_RES_HANDLE); /* counted as misuse when none is open */
    if (d == nullptr)
        return;
    dev.open->erase(std::find(dev.open->begin(), dev.open->end(), d));
    delete d;
}
