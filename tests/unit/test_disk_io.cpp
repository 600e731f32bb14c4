/*
 * Physical disks and volumes: the readers of the control codes' answers,
 * media and refused counters, the probe over disk numbers, volumes on
 * several disks, and lists of any length.
 */
#include "test_util.h"

#include "hl_disks.h"

using json = nlohmann::ordered_json;

namespace
{

fake_physical_disk_t disk(uint32_t number, int seek_penalty = 0, bool counters = true)
{
    fake_physical_disk_t d;
    d.number = number;
    d.descriptor = fake_storage_descriptor("Maker", "Model", "SN1", 11);
    d.seek_penalty = seek_penalty;
    d.size = INT64_C(1000204886016);
    d.has_counters = counters;
    d.counters = fake_disk_counters_t{1, 2, 3, 4, 5, 6, 7, 8, 9};
    return d;
}

fake_drive_t volume(const char *root, std::vector<uint32_t> extents)
{
    fake_drive_t v{root, 3, "Data", "NTFS", true, true, 1000, 400};
    v.extents = extents;
    return v;
}

json collected(const char *module)
{
    return parsed(hostlens_collect(module))[module];
}

std::string numbers_of(const json &list, const char *member)
{
    std::string s;
    for (const json &e : list)
        s += (s.empty() ? "" : ",") + e[member].dump();
    return s;
}

int disk_opens()
{
    int n = 0;
    for (const std::string &p : fake_device_paths())
        n += p.rfind("\\\\.\\PhysicalDrive", 0) == 0;
    return n;
}

} // namespace

TEST(DiskParse, StorageDescriptor)
{
    std::vector<uint8_t> good = fake_storage_descriptor("  Maker ", "Model X\t", "SN 1 ", 17);
    std::vector<uint8_t> unterminated = fake_storage_descriptor(nullptr, "Cut", nullptr, 7);
    unterminated.pop_back();
    std::vector<uint8_t> outside = fake_storage_descriptor("V", "P", "S", 11);
    outside[12] = 0xFF; /* the vendor's offset beyond the answer */
    outside[16] = 20;   /* the product's inside the fixed part */
    struct {
        std::vector<uint8_t> bytes;
        size_t length; /* 0: all */
        int ok;
        const char *vendor, *product, *serial;
        uint32_t bus;
    } cases[] = {
        {good, 0, 1, "Maker", "Model X", "SN 1", 17},
        {unterminated, 0, 1, "", "Cut", "", 7},
        {outside, 0, 1, "", "", "S", 11},
        {good, 32, 1, "", "", "", 17}, /* up to BusType: no text */
        {good, 31, 0, "", "", "", 0},
        {good, 48, 1, "Maker", "", "", 17}, /* the answer ends inside the vendor's text */
    };
    for (const auto &c : cases) {
        hl_storage_device_t s;
        uint32_t declared;
        size_t n = c.length != 0 ? c.length : c.bytes.size();
        EXPECT_EQ(hl_parse_storage_device(c.bytes.data(), n, &s, &declared), c.ok) << n;
        EXPECT_STREQ(s.vendor, c.vendor);
        EXPECT_STREQ(s.product, c.product);
        EXPECT_STREQ(s.serial, c.serial);
        EXPECT_EQ(s.bus_type, c.bus);
    }
    hl_storage_device_t s;
    uint32_t declared = 0;
    hl_parse_storage_device(good.data(), 8, &s, &declared);
    EXPECT_EQ(declared, (uint32_t)good.size());
    hl_parse_storage_device(good.data(), 7, &s, &declared);
    EXPECT_EQ(declared, 0u);
    EXPECT_STREQ(hl_bus_word(11), "sata");
    EXPECT_STREQ(hl_bus_word(17), "nvme");
    EXPECT_STREQ(hl_bus_word(20), "nvmeof");
    EXPECT_STREQ(hl_bus_word(0), "unknown");
    EXPECT_STREQ(hl_bus_word(21), "unknown");
    EXPECT_STREQ(hl_bus_word(0xFFFFFFFFu), "unknown");
}

TEST(DiskParse, FixedLayoutsReadOnlyWhatTheyHold)
{
    uint8_t b[96];
    memset(b, 0, sizeof b);
    b[8] = 1;
    int incurs = -1;
    EXPECT_EQ(hl_parse_seek_penalty(b, 8, &incurs), 0);
    EXPECT_EQ(hl_parse_seek_penalty(b, 9, &incurs), 1);
    EXPECT_EQ(incurs, 1);

    int64_t size = -1;
    b[24] = 0x00;
    b[25] = 0x20;
    EXPECT_EQ(hl_parse_geometry_size(b, 31, &size), 0);
    EXPECT_EQ(hl_parse_geometry_size(b, 32, &size), 1);
    EXPECT_EQ(size, 0x2000);
    b[31] = 0x80; /* negative */
    EXPECT_EQ(hl_parse_geometry_size(b, 32, &size), 0);

    memset(b, 0, sizeof b);
    b[0] = 5;     /* BytesRead */
    b[23] = 0x80; /* ReadTime negative */
    b[40] = 0xFF; /* ReadCount 2^32 - 1 */
    b[41] = 0xFF;
    b[42] = 0xFF;
    b[43] = 0xFF;
    b[52] = 3; /* SplitCount */
    hl_disk_counters_t c;
    EXPECT_EQ(hl_parse_disk_performance(b, 55, &c), 0);
    EXPECT_EQ(c.read_bytes, -1);
    EXPECT_EQ(hl_parse_disk_performance(b, 56, &c), 1);
    EXPECT_EQ(c.read_bytes, 5);
    EXPECT_EQ(c.read_time, -1);
    EXPECT_EQ(c.reads, INT64_C(4294967295));
    EXPECT_EQ(c.split_ios, 3);

    memset(b, 0, sizeof b);
    b[0] = 3; /* three extents declared, two whole */
    b[8] = 4;
    b[32] = 6;
    uint32_t declared = 0;
    EXPECT_EQ(hl_parse_extents(b, 3, &declared), 0u);
    EXPECT_EQ(declared, 0u);
    EXPECT_EQ(hl_parse_extents(b, 8 + 2 * 24 + 23, &declared), 2u);
    EXPECT_EQ(declared, 3u);
    EXPECT_EQ(hl_extent_disk(b, 1), 6u);
    b[0] = 1;
    EXPECT_EQ(hl_parse_extents(b, sizeof b, &declared), 1u);
}

TEST(DiskIo, MediaInventoryAndRefusedCounters)
{
    fake_physical_disk_t hdd = disk(0, 1), ssd = disk(1, 0), silent = disk(2, -1, false);
    ssd.descriptor = fake_storage_descriptor("ATA", "Fast 1", nullptr, 3);
    silent.descriptor.clear();
    silent.size = -1;
    fake_set_physical_disks({hdd, ssd, silent});
    fake_set_drives({});
    EXPECT_EQ(doc(hostlens_collect("disk_io")),
              "{\"disk_io\":[{\"disk\":0,\"model\":\"Maker Model\",\"serial\":\"SN1\",\"bus\":"
              "\"sata\",\"media\":\"hdd\",\"size_bytes\":1000204886016,\"volumes\":[],\"reads\":6,"
              "\"writes\":7,\"read_bytes\":1,\"write_bytes\":2,\"read_s\":0.0000003,\"write_s\":"
              "0.0000004,\"idle_s\":0.0000005,\"queue_depth\":8,\"split_ios\":9},"
              "{\"disk\":1,\"model\":\"Fast 1\",\"serial\":\"unknown\",\"bus\":\"ata\",\"media\":"
              "\"ssd\",\"size_bytes\":1000204886016,\"volumes\":[],\"reads\":6,\"writes\":7,"
              "\"read_bytes\":1,\"write_bytes\":2,\"read_s\":0.0000003,\"write_s\":0.0000004,"
              "\"idle_s\":0.0000005,\"queue_depth\":8,\"split_ios\":9},"
              "{\"disk\":2,\"model\":\"unknown\",\"serial\":\"unknown\",\"bus\":\"unknown\","
              "\"media\":\"unknown\",\"size_bytes\":\"unknown\",\"volumes\":[],\"reads\":"
              "\"unknown\",\"writes\":\"unknown\",\"read_bytes\":\"unknown\",\"write_bytes\":"
              "\"unknown\",\"read_s\":\"unknown\",\"write_s\":\"unknown\",\"idle_s\":\"unknown\","
              "\"queue_depth\":\"unknown\",\"split_ios\":\"unknown\"}]}");
    EXPECT_TRUE(fake_all_released());

    /* Counters refused by a fault, as Wine refuses them: unknown, never 0. */
    fake_set_physical_disks({disk(0)});
    fake_fail(FAKE_DEVICE_IOCTL, 4); /* identity, media, size, then the counters */
    json d = collected("disk_io")[0];
    EXPECT_EQ(d["media"], "ssd");
    for (const char *counter : {"reads", "writes", "read_bytes", "write_bytes", "read_s", "write_s",
                                "idle_s", "queue_depth", "split_ios"})
        EXPECT_EQ(d[counter], "unknown") << counter;
}

TEST(DiskIo, LongDescriptorIsAskedForAgainWhole)
{
    std::string product(1100, 'p');
    fake_physical_disk_t d = disk(0);
    d.descriptor = fake_storage_descriptor(nullptr, product.c_str(), "FAR-SERIAL", 17);
    fake_set_physical_disks({d});
    json e = collected("disk_io")[0];
    EXPECT_EQ(e["serial"], "FAR-SERIAL");
    EXPECT_EQ(e["model"], std::string(127, 'p'));

    /* A Size no descriptor has is not followed. */
    d.descriptor = fake_storage_descriptor("V", "P", "S", 17, 0x7FFFFFFFu);
    fake_set_physical_disks({d});
    EXPECT_EQ(collected("disk_io")[0]["model"], "V P");
    EXPECT_EQ(fake_outstanding(FAKE_RES_HANDLE), 0);
}

TEST(DiskIo, ProbeCoversGapsAndTheDisksVolumesName)
{
    fake_physical_disk_t refused = disk(12);
    refused.open_error = 5;
    fake_physical_disk_t hidden = disk(4);
    hidden.open_error = 5;
    struct {
        std::vector<fake_physical_disk_t> disks;
        std::vector<fake_drive_t> drives;
        const char *listed;
        int opens;
    } cases[] = {
        {{}, {}, "", 8},
        {{disk(0)}, {}, "0", 9},
        {{disk(0), disk(5)}, {}, "0,5", 14},
        {{disk(0), disk(9)}, {}, "0", 9},                       /* beyond a run of 8 */
        {{disk(0), disk(9)}, {volume("D:\\", {9})}, "0,9", 18}, /* named by D: */
        {{disk(0), hidden, disk(6)}, {}, "0,6", 15}, /* exists, does not open: not listed */
        {{disk(0)}, {volume("R:\\", {4000000000u})}, "0,4000000000", 18},
        {{disk(0), refused}, {volume("C:\\", {12})}, "0,12", 18}, /* 9 to 11 skipped */
    };
    for (const auto &c : cases) {
        fake_reset();
        fake_set_physical_disks(c.disks);
        fake_set_drives(c.drives);
        json list = collected("disk_io");
        EXPECT_EQ(numbers_of(list, "disk"), c.listed);
        EXPECT_EQ(disk_opens(), c.opens) << c.listed;
        EXPECT_TRUE(fake_all_released());
    }
    /* A disk that does not open holds nothing but its number and volumes. */
    EXPECT_EQ(collected("disk_io")[1]["model"], "unknown");
    EXPECT_EQ(collected("disk_io")[1]["volumes"], json::parse("[\"C:\\\\\"]"));
}

TEST(DiskIo, VolumesOnSeveralDisks)
{
    fake_drive_t removable = volume("F:\\", {0});
    removable.type = 2;
    fake_drive_t refused = volume("G:\\", {1});
    refused.extents_error = 1;
    fake_drive_t closed = volume("H:\\", {1});
    closed.open_error = 5;
    fake_drive_t wide = volume("W:\\", {1, 0, 1, 3, 2, 5, 4, 7, 6, 9, 8, 0});
    fake_drive_t none = volume("N:\\", {});
    fake_set_physical_disks({disk(0), disk(1)});
    fake_set_drives({volume("C:\\", {0}), volume("D:\\", {1, 0}), volume("E:\\", {1}), removable,
                     refused, closed, wide, none});
    json disks = collected("disk_io");
    ASSERT_EQ(numbers_of(disks, "disk"), "0,1,2,3,4,5,6,7,8,9");
    EXPECT_EQ(disks[0]["volumes"], json::parse(R"(["C:\\","D:\\","W:\\"])"));
    EXPECT_EQ(disks[1]["volumes"], json::parse(R"(["D:\\","E:\\","W:\\"])"));
    EXPECT_EQ(disks[9]["volumes"], json::parse(R"(["W:\\"])"));
    EXPECT_EQ(disks[9]["model"], "unknown");

    json volumes = collected("volumes");
    EXPECT_EQ(volumes.size(), 7u);
    EXPECT_EQ(numbers_of(volumes, "disk"), "0,1,1,\"unknown\",\"unknown\",1,\"unknown\"");
    EXPECT_EQ(volumes[1]["disks"], json::parse("[1,0]"));
    EXPECT_EQ(volumes[5]["disks"], json::parse("[1,0,3,2,5,4,7,6,9,8]"));
    EXPECT_EQ(volumes[3]["disks"], json::array());
    EXPECT_TRUE(fake_all_released());
}

TEST(Volumes, ExactBytesAndFailures)
{
    fake_drive_t quota = volume("C:\\", {0});
    quota.total = UINT64_C(18446744073709551615); /* beyond what a volume holds */
    quota.total_free = UINT64_C(9007199254740993);
    quota.available = INT64_C(9007199254740991);
    fake_drive_t locked = volume("L:\\", {0});
    locked.space_ok = false;
    locked.label = ""; /* no label: the volume says so, the disk module as before */
    fake_drive_t unnamed = volume("U:\\", {0});
    unnamed.volume_ok = false;
    fake_drive_t subst = volume("S:\\", {0}); /* subst S: C:\src: C: again, not listed */
    subst.dos_target = "\\??\\C:\\src";
    /* C:'s device under a second letter (the object manager's names go
     * without case): C: again, not listed. */
    quota.dos_target = "\\Device\\HarddiskVolume3";
    fake_drive_t again = volume("E:\\", {0});
    again.dos_target = "\\device\\harddiskvolume3";
    fake_set_drives({quota, locked, subst, again, unnamed});
    EXPECT_EQ(doc(hostlens_collect("volumes")),
              "{\"volumes\":[{\"mount\":\"C:\\\\\",\"label\":\"Data\",\"filesystem\":\"NTFS\","
              "\"total_bytes\":\"unknown\",\"free_bytes\":9007199254740993,\"available_bytes\":"
              "9007199254740991,\"disk\":0,\"disks\":[0]},{\"mount\":\"L:\\\\\",\"label\":\"\","
              "\"filesystem\":\"NTFS\",\"total_bytes\":\"unknown\",\"free_bytes\":\"unknown\","
              "\"available_bytes\":\"unknown\",\"disk\":0,\"disks\":[0]},{\"mount\":\"U:\\\\\","
              "\"label\":\"unknown\",\"filesystem\":\"unknown\",\"total_bytes\":1000,"
              "\"free_bytes\":400,\"available_bytes\":400,\"disk\":0,\"disks\":[0]}]}");
    EXPECT_EQ(parsed(hostlens_disk())["disk"][1]["label"], "unknown");
}

/* Volumes mounted in folders only (a server's data volumes) come after the
 * lettered ones, at their first folder; a volume with a letter is listed by
 * it alone, and one mounted nowhere, or not fixed, not at all. */
TEST(DiskIo, VolumesMountedInFoldersOnly)
{
    fake_set_physical_disks({disk(0), disk(1), disk(2)});
    fake_drive_t c = volume("C:\\", {0}), data = volume("\\\\?\\Volume{d1}\\", {1}),
                 logs = volume("\\\\?\\Volume{l2}\\", {2}),
                 recovery = volume("\\\\?\\Volume{r0}\\", {0}),
                 stick = volume("\\\\?\\Volume{s9}\\", {0});
    c.folders = {"C:\\also\\"};
    data.folders = {"C:\\data\\", "C:\\alias\\"};
    data.total = 5000;
    /* More folders than the first answer's buffer holds. */
    for (int i = 0; i < 40; i++)
        logs.folders.push_back("C:\\logs\\" + std::string(40, (char)('a' + i % 26)) + "\\");
    /* A folder too long for a mount: the volume goes by its name. */
    fake_drive_t deep = volume("\\\\?\\Volume{e3}\\", {0});
    std::string cjk;
    for (int i = 0; i < 300; i++)
        cjk += "\xe5\xb1\xb1";
    deep.folders = {"C:\\" + cjk + "\\"};
    stick.type = 2; /* removable */
    stick.folders = {"C:\\stick\\"};
    fake_set_drives({c, data, logs, recovery, stick, deep});
    json v = collected("volumes"), d = collected("disk_io");
    ASSERT_EQ(v.size(), 4u) << v;
    EXPECT_EQ(v[3]["mount"], deep.root);
    EXPECT_EQ(v[0]["mount"], "C:\\");
    EXPECT_EQ(v[1]["mount"], "C:\\data\\");
    EXPECT_EQ(v[1]["total_bytes"], 5000);
    EXPECT_EQ(v[1]["disk"], 1);
    EXPECT_EQ(v[2]["mount"], logs.folders[0]);
    EXPECT_EQ(d[1]["volumes"].dump(), "[\"C:\\\\data\\\\\"]");
    EXPECT_EQ(d[2]["volumes"][0], logs.folders[0]);
    EXPECT_TRUE(fake_all_released());
}

TEST(DiskIo, ListsOfEveryLength)
{
    for (int n : {0, 1, 2, 15, 16, 17, 130, 600}) {
        fake_reset();
        std::vector<fake_physical_disk_t> disks;
        std::vector<fake_drive_t> drives;
        for (int i = 0; i < n; i++) {
            disks.push_back(disk((uint32_t)i * 2)); /* every other number */
            char root[8];
            snprintf(root, sizeof root, "%c%c%c:\\", 'A' + i / 676, 'A' + i / 26 % 26,
                     'A' + i % 26);
            drives.push_back(volume(root, {(uint32_t)i * 2}));
        }
        fake_set_physical_disks(disks);
        fake_set_drives(drives); /* 600 roots of 5 units outgrow the 512-unit buffer */
        json d = collected("disk_io"), v = collected("volumes");
        ASSERT_EQ(d.size(), (size_t)n);
        ASSERT_EQ(v.size(), (size_t)n);
        if (n > 0) {
            EXPECT_EQ(d[n - 1]["disk"], 2 * (n - 1));
            EXPECT_EQ(d[n - 1]["volumes"][0], v[n - 1]["mount"]);
            EXPECT_EQ(v[n - 1]["disk"], 2 * (n - 1));
        }
        EXPECT_TRUE(fake_all_released());
    }
}

TEST(DiskIo, OutOfMemoryFailsTheDocumentAndFreesEverything)
{
    for (const char *module : {"disk_io", "volumes"}) {
        for (int k = 1, op = FAKE_ALLOC; op <= FAKE_REALLOC; k++) {
            fake_reset();
            fake_set_physical_disks({disk(0), disk(1)});
            fake_set_drives({volume("C:\\", {0}), volume("D:\\", {1, 0})});
            hostlens_collect(module); /* the thread's buffer exists first */
            long blocks = fake_outstanding(FAKE_RES_HEAP);
            fake_fail((fake_op)op, k);
            const char *text = hostlens_collect(module);
            if (!fake_fault_fired()) {
                op++;
                k = 0;
                continue;
            }
            EXPECT_EQ(text, nullptr) << module << " #" << k;
            EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), blocks - 1) << module << " #" << k;
            EXPECT_TRUE(fake_all_released());
        }
    }
}
