/*
 * Drive letters and volumes: the root list, drive types, volume names and
 * free space.
 */
#include "fake.h"

#include <string.h>

namespace
{

std::vector<fake_drive_t> drives;

void reset_volumes()
{
    drives.clear();
    drives.push_back(fake_drive_t{"C:\\", 3, "Windows", "NTFS", true, true, UINT64_C(512110190592),
                                  UINT64_C(295765098496)});
}

fake_registrar registrar(reset_volumes);

bool is_volume_name(const std::string &root)
{
    return root.rfind("\\\\?\\", 0) == 0;
}

std::string volume_name(const fake_drive_t &d)
{
    return is_volume_name(d.root) ? d.root
                                  : "\\\\?\\Volume{" + d.root.substr(0, d.root.find(':')) + "}\\";
}

const fake_drive_t *find(const char16_t *root)
{
    std::string r = fake_u8(root);
    for (const fake_drive_t &d : drives)
        if (d.root == r || volume_name(d) == r)
            return &d;
    return nullptr;
}

/* An open volume search: the index of the next volume. */
struct search {
    size_t next;
};

/* Copies text with its NUL into a buffer of `units`; false when it does not
 * fit (the platform then fails with ERROR_BAD_LENGTH). */
bool put(const std::string &text, char16_t *buffer, uint32_t units)
{
    std::u16string w = fake_u16(text.c_str());
    if (w.size() + 1 > units)
        return false;
    memcpy(buffer, w.c_str(), (w.size() + 1) * sizeof(char16_t));
    return true;
}

} // namespace

void fake_set_drives(const std::vector<fake_drive_t> &list)
{
    drives = list;
}

const fake_drive_t *fake_find_drive(const char16_t *root)
{
    return find(root);
}

uint32_t hl_port_logical_drives(char16_t *buffer, uint32_t length)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_LOGICAL_DRIVES))
        return 0;
    std::u16string all;
    for (const fake_drive_t &d : drives) {
        if (is_volume_name(d.root))
            continue;
        all += fake_u16(d.root.c_str());
        all += u'\0';
    }
    /* The answer excludes the list's final NUL; a buffer too small gets the
     * size it needs and no text. */
    if (all.size() + 1 > length)
        return (uint32_t)all.size() + 1;
    memcpy(buffer, all.data(), all.size() * sizeof(char16_t));
    buffer[all.size()] = 0;
    return (uint32_t)all.size();
}

uint32_t hl_port_drive_type(const char16_t *root)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_DRIVE_TYPE))
        return 0; /* DRIVE_UNKNOWN */
    const fake_drive_t *d = find(root);
    return d != nullptr ? d->type : 1; /* DRIVE_NO_ROOT_DIR */
}

int hl_port_dos_device(const char16_t *drive, char16_t *target, uint32_t units)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_DOS_DEVICE))
        return 0;
    std::u16string root(drive);
    const fake_drive_t *d = find((root + u"\\").c_str());
    if (d == nullptr)
        return 0;
    std::string device = d->dos_target;
    if (device.empty())
        device = std::string("\\Device\\HarddiskVolume") + (char)drive[0];
    return put(device, target, units) ? 1 : 0;
}

int hl_port_volume_info(const char16_t *root, char16_t *label, uint32_t label_len, char16_t *fs,
                        uint32_t fs_len)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_VOLUME_INFO))
        return 0;
    const fake_drive_t *d = find(root);
    if (d == nullptr || !d->volume_ok)
        return 0;
    if (!put(d->label, label, label_len) || !put(d->fs, fs, fs_len))
        return 0;
    return 1;
}

int hl_port_disk_space(const char16_t *root, uint64_t *available, uint64_t *total,
                       uint64_t *total_free)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_DISK_SPACE))
        return 0;
    const fake_drive_t *d = find(root);
    if (d == nullptr || !d->space_ok)
        return 0;
    *available = d->available >= 0 ? (uint64_t)d->available : d->total_free;
    *total = d->total;
    *total_free = d->total_free;
    return 1;
}

static int next_volume(search *at, char16_t *name, uint32_t units)
{
    if (at->next >= drives.size())
        return 0;
    return put(volume_name(drives[at->next++]), name, units) ? 1 : 0;
}

hl_handle_t hl_port_volume_find_first(char16_t *name, uint32_t units)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_VOLUME_FIND_FIRST))
        return nullptr;
    search *at = new search{0};
    if (!next_volume(at, name, units)) {
        delete at;
        return nullptr;
    }
    fake_acquire(FAKE_RES_HANDLE);
    return at;
}

int hl_port_volume_find_next(hl_handle_t find, char16_t *name, uint32_t units)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_VOLUME_FIND_NEXT))
        return 0;
    return next_volume((search *)find, name, units);
}

void hl_port_volume_find_close(hl_handle_t find)
{
    FAKE_GUARD;
    if (find == nullptr)
        return;
    delete (search *)find;
    fake_release(FAKE_RES_HANDLE);
}

uint32_t hl_port_volume_paths(const char16_t *volume, char16_t *paths, uint32_t units,
                              uint32_t *needed)
{
    FAKE_GUARD;
    *needed = 0;
    long code = 0;
    if (fake_hit(FAKE_VOLUME_PATHS, &code, 2 /* ERROR_FILE_NOT_FOUND */))
        return (uint32_t)code;
    const fake_drive_t *d = find(volume);
    if (d == nullptr)
        return 2;
    std::u16string all;
    if (!is_volume_name(d->root))
        all += fake_u16(d->root.c_str()) + u'\0';
    for (const std::string &f : d->folders)
        all += fake_u16(f.c_str()) + u'\0';
    all += u'\0';
    *needed = (uint32_t)all.size();
    if (all.size() > units)
        return 234; /* ERROR_MORE_DATA */
    memcpy(paths, all.data(), all.size() * sizeof(char16_t));
    return 0;
}
