/*
 * Disk: the drive-type filter, the size derivations, the label and file
 * system fallbacks, the cap and the documents.
 */
#include "test_util.h"

namespace
{

fake_drive_t fixed(const char *root, const char *label = "Data", const char *fs = "NTFS",
                   uint64_t total = UINT64_C(1073741824), uint64_t total_free = 0)
{
    return fake_drive_t{root, 3, label, fs, true, true, total, total_free};
}

std::string entry(const char *root_json, const char *rest)
{
    return std::string("{\"device\":\"") + root_json + "\",\"mount_point\":\"" + root_json + "\"," +
           rest + "}";
}

} // namespace

TEST(Disk, DefaultVolumeDocument)
{
    EXPECT_EQ(doc(hostlens_disk()),
              "{\"disk\":[{\"device\":\"C:\\\\\",\"mount_point\":\"C:\\\\\",\"label\":"
              "\"Windows\",\"filesystem\":\"NTFS\",\"size_gb\":476.9,\"used_gb\":201.5,"
              "\"percent\":42.2}]}");
}

TEST(Disk, SizesAndFallbacks)
{
    fake_drive_t zero = fixed("Z:\\", "Empty", "FAT32", 0, 0);
    fake_drive_t locked = fixed("L:\\", "Locked");
    locked.space_ok = false;
    fake_drive_t unlabelled =
        fixed("U:\\", "", "exFAT", UINT64_C(4294967296), UINT64_C(1073741824));
    fake_drive_t unreadable = fixed("R:\\");
    unreadable.volume_ok = false;
    fake_set_drives({zero, locked, unlabelled, unreadable});
    EXPECT_EQ(doc(hostlens_disk()),
              "{\"disk\":[" +
                  entry("Z:\\\\", "\"label\":\"Empty\",\"filesystem\":\"FAT32\",\"size_gb\":0.0,"
                                  "\"used_gb\":0.0,\"percent\":0.0") +
                  "," +
                  entry("L:\\\\", "\"label\":\"Locked\",\"filesystem\":\"NTFS\",\"size_gb\":0.0,"
                                  "\"used_gb\":0.0,\"percent\":\"unknown\"") +
                  "," +
                  entry("U:\\\\", "\"label\":\"unknown\",\"filesystem\":\"exFAT\",\"size_gb\":"
                                  "4.0,\"used_gb\":3.0,\"percent\":75.0") +
                  "," +
                  entry("R:\\\\", "\"label\":\"unknown\",\"filesystem\":\"unknown\",\"size_gb\":"
                                  "1.0,\"used_gb\":1.0,\"percent\":100.0") +
                  "]}");
}

TEST(Disk, OnlyFixedDrivesAreListed)
{
    std::vector<fake_drive_t> drives;
    const char *roots[] = {"A:\\", "C:\\", "D:\\", "E:\\", "F:\\", "G:\\", "H:\\"};
    uint32_t types[] = {2, 3, 5, 4, 6, 1, 3}; /* removable, fixed, optical, remote, RAM, ... */
    for (int i = 0; i < 7; i++) {
        drives.push_back(fixed(roots[i]));
        drives.back().type = types[i];
    }
    fake_set_drives(drives);
    hl_disk_list_t r;
    hl_impl_disk(&r);
    ASSERT_EQ(r.count, 2);
    EXPECT_STREQ(r.disks[0].device, "C:\\");
    EXPECT_STREQ(r.disks[1].device, "H:\\");
    EXPECT_STREQ(r.disks[1].mount_point, "H:\\");
    EXPECT_EQ(fake_calls(FAKE_DRIVE_TYPE), 7);
    EXPECT_EQ(fake_calls(FAKE_VOLUME_INFO), 2);
}

TEST(Disk, ListStopsAt32)
{
    std::vector<fake_drive_t> drives;
    for (int i = 0; i < 40; i++) {
        char root[8];
        snprintf(root, sizeof root, "%c%c:\\", 'A' + i / 26, 'A' + i % 26);
        drives.push_back(fixed(root));
    }
    fake_set_drives(drives);
    hl_disk_list_t r;
    hl_impl_disk(&r);
    EXPECT_EQ(r.count, 32);
    EXPECT_STREQ(r.disks[31].device, "BF:\\");
    EXPECT_EQ(fake_calls(FAKE_DRIVE_TYPE), 32);
}

TEST(Disk, EnumerationFailures)
{
    fake_fail(FAKE_LOGICAL_DRIVES, 1);
    EXPECT_EQ(doc(hostlens_disk()), "{\"disk\":[]}");

    /* A list longer than the 512-unit buffer is not delivered at all. */
    std::vector<fake_drive_t> drives;
    for (int i = 0; i < 110; i++) {
        char root[8];
        snprintf(root, sizeof root, "%c%c:\\", 'A' + i / 26, 'A' + i % 26);
        drives.push_back(fixed(root));
    }
    fake_set_drives(drives);
    EXPECT_EQ(doc(hostlens_disk()), "{\"disk\":[]}");
}

TEST(Disk, NamesThatDoNotFitBecomeUnknown)
{
    std::string label126(126, 'l'), label127(127, 'l');
    std::string fs62(62, 'f'), fs63(63, 'f');
    fake_set_drives({fixed("C:\\", label126.c_str(), "NTFS"), fixed("D:\\", label127.c_str()),
                     fixed("E:\\", "E", fs62.c_str()), fixed("F:\\", "F", fs63.c_str())});
    hl_disk_list_t r;
    hl_impl_disk(&r);
    ASSERT_EQ(r.count, 4);
    EXPECT_EQ(std::string(r.disks[0].label), label126);
    EXPECT_STREQ(r.disks[1].label, "unknown");
    EXPECT_EQ(std::string(r.disks[2].filesystem), fs62);
    /* 63 bytes of UTF-8 exceed what the 64-byte conversion keeps. */
    EXPECT_STREQ(r.disks[3].filesystem, "unknown");
    EXPECT_STREQ(r.disks[3].label, "F");
}

TEST(Disk, SnapshotSectionIsTheDocumentArray)
{
    fake_set_drives({fixed("C:\\"), fixed("D:\\", "Backup")});
    auto one = parsed(hostlens_disk());
    auto all = parsed(hostlens_get_all());
    EXPECT_EQ(all["disk"], one["disk"]);
    EXPECT_EQ(all["disk"].size(), 2u);
}
