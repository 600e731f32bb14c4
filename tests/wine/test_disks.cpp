/*
 * The real DLL under Wine: the volumes' exact bytes against the file system
 * under the prefix (statfs, read by the Unix `stat` the test starts itself)
 * and the test's own GetDiskFreeSpaceExW; the physical disks and the volumes
 * on them against the test's own opens and control codes. Wine refuses
 * IOCTL_DISK_PERFORMANCE, so every counter must read "unknown".
 */
#include "wine_common.h"

#include <winioctl.h>

#include <stdio.h>
#include <string.h>

#include <set>
#include <vector>

namespace
{

using json = nlohmann::ordered_json;

json collected(const char *module)
{
    typedef const char *(*collect_fn)(const char *);
    collect_fn f = (collect_fn)(void *)GetProcAddress(hl_dll, "hostlens_collect");
    if (f == NULL)
        return json();
    const char *text = f(module);
    return hl_parse(text != NULL ? text : "<NULL>")[module];
}

struct statfs_t {
    unsigned long long frsize, blocks, bavail;
};

/* `stat -f` of the folder behind a drive, run as a Unix program: Wine
 * starts one like any other and hands it the test's file as its output, but
 * gives back no process to wait on, so the test waits for its one line. */
bool unix_statfs(const wchar_t *root, statfs_t *out)
{
    typedef char *(CDECL * unix_name_fn)(LPCWSTR);
    unix_name_fn unix_name = (unix_name_fn)(void *)GetProcAddress(GetModuleHandleW(L"kernel32.dll"),
                                                                  "wine_get_unix_file_name");
    if (unix_name == NULL)
        return false;
    char *folder = unix_name(root);
    if (folder == NULL)
        return false;
    wchar_t cmd[1024], out_path[MAX_PATH], dir[MAX_PATH];
    swprintf(cmd, 1024, L"stat -f -c \"%%S %%b %%a\" \"%hs\"", folder);
    HeapFree(GetProcessHeap(), 0, folder);
    GetTempPathW(MAX_PATH, dir);
    GetTempFileNameW(dir, L"hls", 0, out_path);
    SECURITY_ATTRIBUTES sa = {sizeof sa, NULL, TRUE};
    HANDLE file =
        CreateFileW(out_path, GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, NULL);
    STARTUPINFOW si;
    ZeroMemory(&si, sizeof si);
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = file;
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi;
    bool ok = CreateProcessW(L"Z:\\usr\\bin\\stat", cmd, NULL, NULL, TRUE, 0, NULL, NULL, &si, &pi);
    CloseHandle(file);
    if (ok) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    char line[256] = {0};
    for (int waited = 0; ok && strchr(line, '\n') == NULL && waited < 10000; waited += 10) {
        Sleep(10);
        FILE *f = _wfopen(out_path, L"r");
        if (f != NULL) {
            if (fgets(line, sizeof line, f) == NULL)
                line[0] = 0;
            fclose(f);
        }
    }
    DeleteFileW(out_path);
    return ok && sscanf(line, "%llu %llu %llu", &out->frsize, &out->blocks, &out->bavail) == 3;
}

std::vector<std::wstring> fixed_roots()
{
    wchar_t roots[1024] = {0};
    GetLogicalDriveStringsW(1022, roots);
    std::vector<std::wstring> fixed;
    for (const wchar_t *r = roots; *r != 0; r += wcslen(r) + 1)
        if (GetDriveTypeW(r) == DRIVE_FIXED)
            fixed.push_back(r);
    /* Then the fixed volumes mounted in folders only, at their first. */
    wchar_t name[64];
    HANDLE find = FindFirstVolumeW(name, 64);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextVolumeW(find, name, 64)) {
        wchar_t paths[4096] = {0};
        DWORD n = 0;
        if (!GetVolumePathNamesForVolumeNameW(name, paths, 4094, &n) || paths[0] == 0 ||
            GetDriveTypeW(name) != DRIVE_FIXED)
            continue;
        bool lettered = false;
        for (const wchar_t *p = paths; *p != 0; p += wcslen(p) + 1)
            lettered = lettered || wcslen(p) == 3;
        if (!lettered)
            fixed.push_back(paths);
    }
    if (find != INVALID_HANDLE_VALUE)
        FindVolumeClose(find);
    return fixed;
}

std::string narrow(const std::wstring &w)
{
    return std::string(w.begin(), w.end());
}

/* What the test itself reads of a device: 0 and the answer, or the error. */
DWORD own_ioctl(const wchar_t *path, DWORD code, const void *in, DWORD in_size,
                std::vector<BYTE> *answer)
{
    HANDLE h =
        CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError();
    answer->assign(4096, 0);
    DWORD n = 0;
    DWORD rc = DeviceIoControl(h, code, (void *)in, in_size, answer->data(), 4096, &n, NULL)
                   ? 0
                   : GetLastError();
    answer->resize(n);
    CloseHandle(h);
    return rc;
}

DWORD own_property(const wchar_t *path, STORAGE_PROPERTY_ID id, std::vector<BYTE> *answer)
{
    STORAGE_PROPERTY_QUERY q;
    ZeroMemory(&q, sizeof q);
    q.PropertyId = id;
    q.QueryType = PropertyStandardQuery;
    return own_ioctl(path, IOCTL_STORAGE_QUERY_PROPERTY, &q, sizeof q, answer);
}

} // namespace

TEST(Disks, VolumesInExactBytes)
{
    std::vector<std::wstring> roots = fixed_roots();
    statfs_t before, after;
    ASSERT_TRUE(unix_statfs(L"C:\\", &before));
    ULARGE_INTEGER a0, t0, f0, a1, t1, f1;
    ASSERT_TRUE(GetDiskFreeSpaceExW(L"C:\\", &a0, &t0, &f0));
    json volumes = collected("volumes");
    ASSERT_TRUE(GetDiskFreeSpaceExW(L"C:\\", &a1, &t1, &f1));
    ASSERT_TRUE(unix_statfs(L"C:\\", &after));

    ASSERT_EQ(volumes.size(), roots.size()) << volumes;
    for (size_t i = 0; i < roots.size(); i++)
        EXPECT_EQ(volumes[i]["mount"], narrow(roots[i]));
    const json &c = volumes[0];
    ASSERT_EQ(c["mount"], "C:\\");
    EXPECT_EQ(c["filesystem"], "NTFS");
    /* The size is the file system's, to the byte. */
    EXPECT_EQ(c["total_bytes"], before.frsize * before.blocks);
    EXPECT_EQ(c["total_bytes"], t0.QuadPart);
    /* Wine answers f_bavail for both the caller's and the total free bytes,
     * from one statvfs. Other processes write beside the test, so the call
     * lies between the test's own readings around it, and the statfs ones
     * (further apart: a process start each) up to what moved meanwhile. */
    unsigned long long avail = c["available_bytes"];
    EXPECT_EQ(c["free_bytes"], c["available_bytes"]);
    EXPECT_GE(avail, std::min(a0.QuadPart, a1.QuadPart));
    EXPECT_LE(avail, std::max(a0.QuadPart, a1.QuadPart));
    const unsigned long long moved = 256ull << 20;
    EXPECT_GE(avail + moved, std::min(before.bavail, after.bavail) * before.frsize);
    EXPECT_LE(avail, std::max(before.bavail, after.bavail) * before.frsize + moved);
}

TEST(Disks, PhysicalDisksAndTheVolumesOnThem)
{
    /* The disks the test can open itself, with no access rights. */
    std::set<unsigned> own;
    for (unsigned n = 0; n < 32; n++) {
        wchar_t path[64];
        swprintf(path, 64, L"\\\\.\\PhysicalDrive%u", n);
        HANDLE h =
            CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
        if (h != INVALID_HANDLE_VALUE) {
            own.insert(n);
            CloseHandle(h);
        }
    }
    ASSERT_TRUE(own.count(0)) << "PhysicalDrive0 does not open";
    json disks = collected("disk_io");
    std::set<unsigned> listed;
    for (const json &d : disks)
        listed.insert(d["disk"].get<unsigned>());
    EXPECT_EQ(listed, own) << disks;

    for (const json &d : disks) {
        wchar_t path[64];
        swprintf(path, 64, L"\\\\.\\PhysicalDrive%u", d["disk"].get<unsigned>());
        std::vector<BYTE> a;
        ASSERT_EQ(own_ioctl(path, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, NULL, 0, &a), 0u);
        EXPECT_EQ(d["size_bytes"], ((DISK_GEOMETRY_EX *)a.data())->DiskSize.QuadPart);

        ASSERT_EQ(own_property(path, StorageDeviceProperty, &a), 0u);
        auto *desc = (STORAGE_DEVICE_DESCRIPTOR *)a.data();
        EXPECT_EQ(d["bus"], desc->BusType == BusTypeScsi   ? "scsi"
                            : desc->BusType == BusTypeSata ? "sata"
                            : desc->BusType == BusTypeNvme ? "nvme"
                                                           : d["bus"].get<std::string>());
        if (desc->VendorIdOffset == 0 && desc->ProductIdOffset == 0) {
            EXPECT_EQ(d["model"], "unknown");
        }
        if (desc->SerialNumberOffset == 0) {
            EXPECT_EQ(d["serial"], "unknown");
        }

        if (own_property(path, StorageDeviceSeekPenaltyProperty, &a) != 0) {
            EXPECT_EQ(d["media"], "unknown");
        } else {
            EXPECT_EQ(d["media"], ((DEVICE_SEEK_PENALTY_DESCRIPTOR *)a.data())->IncursSeekPenalty
                                      ? "hdd"
                                      : "ssd");
        }

        /* Wine refuses the counters (ERROR_NOT_SUPPORTED): unknown, not 0. */
        if (own_ioctl(path, IOCTL_DISK_PERFORMANCE, NULL, 0, &a) != 0) {
            for (const char *k : {"reads", "writes", "read_bytes", "write_bytes", "read_s",
                                  "write_s", "idle_s", "queue_depth", "split_ios"}) {
                EXPECT_EQ(d[k], "unknown") << k;
            }
        }
    }

    /* C: on the disks its extents name, as the test reads them itself. */
    std::vector<BYTE> a;
    ASSERT_EQ(own_ioctl(L"\\\\.\\C:", IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, NULL, 0, &a), 0u);
    auto *extents = (VOLUME_DISK_EXTENTS *)a.data();
    json on = json::array();
    for (DWORD i = 0; i < extents->NumberOfDiskExtents; i++)
        on.push_back(extents->Extents[i].DiskNumber);
    json c = collected("volumes")[0];
    EXPECT_EQ(c["disks"], on);
    /* Wine's answer names no extent: the disk is then unknown. */
    EXPECT_EQ(c["disk"], on.empty() ? json("unknown") : on[0]);
    for (const json &d : disks) {
        bool lies_on = false;
        for (const json &n : on)
            lies_on = lies_on || n == d["disk"];
        bool lists = false;
        for (const json &m : d["volumes"])
            lists = lists || m == "C:\\";
        EXPECT_EQ(lists, lies_on) << d;
    }
}
