/*
 * OS: version sources, release label, the three pretty_name forms and their
 * limits, the Windows 11 name, the installation date from either value and
 * the build lab text.
 */
#include "test_util.h"

namespace
{

const char *const NT = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

void set(const char *name, const char *value)
{
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, NT, name, value);
}

hl_os_info_t collect()
{
    hl_os_info_t os;
    hl_impl_os(&os);
    return os;
}

} // namespace

TEST(Os, FullDocument)
{
    fake_set_version(10, 0, 19045);
    set("ProductName", "Windows 10 Pro");
    set("DisplayVersion", "22H2");
    set("CSDVersion", "ignored");
    set("BuildLabEx", "19041.1.amd64fre.vb_release.191206-1406");
    const uint8_t date[] = {0x80, 0x9f, 0x3c, 0x65, 0, 0, 0, 0}; /* 1698471808 */
    fake_reg_set(HL_HKEY_LOCAL_MACHINE, NT, "InstallationDate", 3, date, sizeof date);
    hl_json_reset(hl_json_thread()); /* the thread's buffer is kept, not leaked */
    long heap = fake_outstanding(FAKE_RES_HEAP);
    EXPECT_EQ(doc(hostlens_os()),
              "{\"os\":{\"type\":\"Windows\",\"name\":\"Windows 10 Pro\",\"version\":\"10.0\","
              "\"codename\":\"22H2\",\"build_id\":\"19045\",\"id\":\"microsoft_64\","
              "\"pretty_name\":\"Windows 10 Pro 10.0 (22H2)\","
              "\"kernel_release\":\"19041.1.amd64fre.vb_release.191206-1406\","
              "\"kernel_version\":\"19041.1.amd64fre.vb_release.191206-1406\","
              "\"host_id\":\"unknown\",\"install_date\":\"2023-10-28T05:43:28Z\"}}");
    EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap);
    EXPECT_TRUE(fake_all_released());
    for (uint32_t access : fake_reg_access_log())
        EXPECT_EQ(access, 0x20119u);
}

TEST(Os, CodenameChain)
{
    struct {
        const char *display, *csd, *release;
        const char *codename, *pretty;
    } cases[] = {
        {"22H2", "Service Pack 1", "2009", "22H2", "Windows 10 Pro 10.0 (22H2)"},
        {"unknown", "Service Pack 1", nullptr, "unknown", "Windows 10 Pro 10.0"},
        {nullptr, "Service Pack 1", "2009", "Service Pack 1",
         "Windows 10 Pro 10.0 (Service Pack 1)"},
        {nullptr, nullptr, "2009", "2009", "Windows 10 Pro 10.0 (2009)"},
        {nullptr, nullptr, nullptr, "", "Windows 10 Pro 10.0"},
        /* 64 bytes do not fit the 64-byte read: counts as missing. */
        {"dddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddddd", nullptr, "2009",
         "2009", "Windows 10 Pro 10.0 (2009)"},
    };
    for (const auto &c : cases) {
        fake_reset();
        fake_set_version(10, 0, 19045);
        set("ProductName", "Windows 10 Pro");
        if (c.display)
            set("DisplayVersion", c.display);
        if (c.csd)
            set("CSDVersion", c.csd);
        if (c.release)
            set("ReleaseId", c.release);
        hl_os_info_t os = collect();
        EXPECT_STREQ(os.codename, c.codename);
        EXPECT_STREQ(os.pretty_name, c.pretty);
    }
    /* An empty codename is written as "unknown". */
    fake_reset();
    set("ProductName", "Windows 10 Pro");
    auto d = parsed(hostlens_os());
    EXPECT_EQ(d["os"]["codename"], "unknown");
}

TEST(Os, WithoutProductNameTheBuildNamesIt)
{
    fake_set_version(10, 0, 19045);
    set("DisplayVersion", "22H2");
    hl_os_info_t os = collect();
    EXPECT_STREQ(os.name, "Windows");
    EXPECT_STREQ(os.pretty_name, "Windows 19045");
    EXPECT_STREQ(os.codename, "22H2");
}

TEST(Os, PrettyNameLimits)
{
    struct {
        size_t product_len;
        std::string tail;
    } cases[] = {
        {250, " 10.0"},   /* full at 255 bytes: no room for the codename */
        {248, " 10.0 ("}, /* room for two bytes of the codename part */
        {251, " 10."},    /* the version is cut */
        {200, " 10.0 (22H2)"},
    };
    for (const auto &c : cases) {
        fake_reset();
        fake_set_version(10, 0, 19045);
        std::string product(c.product_len, 'p');
        set("ProductName", product.c_str());
        set("DisplayVersion", "22H2");
        hl_os_info_t os = collect();
        EXPECT_EQ(std::string(os.pretty_name), product + c.tail) << c.product_len;
        EXPECT_EQ(std::string(os.name), product);
    }
}

TEST(Os, Windows11KeepsAWindows10ProductName)
{
    struct {
        uint32_t build;
        const char *product;
        const char *name;
        const char *pretty;
    } cases[] = {
        {22631, "Windows 10 Pro", "Windows 11 Pro", "Windows 11 Pro 10.0 (23H2)"},
        {22000, "Windows 10", "Windows 11", "Windows 11 10.0 (23H2)"},
        {21999, "Windows 10 Pro", "Windows 10 Pro", "Windows 10 Pro 10.0 (23H2)"},
        {22631, "Windows Server 2022", "Windows Server 2022", "Windows Server 2022 10.0 (23H2)"},
        {22631, "Windows 10Pro", "Windows 11Pro", "Windows 11Pro 10.0 (23H2)"},
    };
    for (const auto &c : cases) {
        fake_reset();
        fake_set_version(10, 0, c.build);
        set("ProductName", c.product);
        set("DisplayVersion", "23H2");
        hl_os_info_t os = collect();
        EXPECT_STREQ(os.name, c.name) << c.build << " " << c.product;
        EXPECT_STREQ(os.pretty_name, c.pretty);
    }
}

TEST(Os, InstallationDate)
{
    const uint8_t le4[] = {0x00, 0x10, 0x5E, 0x5F};
    const uint8_t negative[] = {1, 0, 0, 0, 0, 0, 0, 0x80};
    const uint8_t nine[] = {0x00, 0x10, 0x5E, 0x5F, 0, 0, 0, 0, 0};
    const uint8_t zero[] = {0, 0, 0, 0};
    const uint8_t beyond_3000[] = {0, 0, 0, 0, 0x10, 0, 0, 0}; /* 2^36 seconds */
    struct {
        uint32_t type;
        const uint8_t *data;
        uint32_t size;
        const char *expect;
    } cases[] = {
        {3, le4, sizeof le4, "2020-09-13T12:26:40Z"},
        {4, le4, sizeof le4, "unknown"}, /* REG_DWORD */
        {11, nine, 8, "unknown"},        /* REG_QWORD */
        {3, negative, sizeof negative, "unknown"},
        {3, nine, sizeof nine, "unknown"},
        {3, zero, sizeof zero, "unknown"},
        {3, zero, 0, "unknown"},
        {3, beyond_3000, sizeof beyond_3000, "unknown"},
        {3, le4, 1, "unknown"}, /* a single 0 byte: not above 0 */
    };
    for (const auto &c : cases) {
        fake_reset();
        fake_reg_set(HL_HKEY_LOCAL_MACHINE, NT, "InstallationDate", c.type, c.data, c.size);
        hl_os_info_t os = collect();
        EXPECT_STREQ(os.install_date, c.expect) << c.type << " " << c.size;
        EXPECT_TRUE(fake_all_released());
    }
    fake_reset();
    fake_reg_set(HL_HKEY_LOCAL_MACHINE, NT, "InstallationDate", 3, le4, sizeof le4);
    fake_fail(FAKE_UTC_TEXT, 1);
    EXPECT_STREQ(collect().install_date, "unknown");
}

TEST(Os, InstallDateWhenThereIsNoInstallationDate)
{
    const uint8_t binary[] = {0x00, 0x10, 0x5E, 0x5F};
    const uint8_t negative[] = {1, 0, 0, 0, 0, 0, 0, 0x80};
    const uint8_t qword[] = {0x9a, 0x01, 0xe5, 0x4b, 0, 0, 0, 0};
    const uint8_t dword[] = {0x9a, 0x01, 0xe5, 0x4b};
    struct {
        const char *what;
        const uint8_t *installation; /* REG_BINARY "InstallationDate", if any */
        uint32_t installation_size;
        uint32_t type; /* of "InstallDate" (0: none) */
        const void *data;
        uint32_t size;
        const char *expect;
    } cases[] = {
        {"a DWORD", nullptr, 0, 4, dword, 4, "2010-05-08T06:15:54Z"},
        {"InstallationDate first", binary, 4, 4, dword, 4, "2020-09-13T12:26:40Z"},
        {"after an unusable InstallationDate", negative, 8, 4, dword, 4, "2010-05-08T06:15:54Z"},
        {"unsigned past 2038", nullptr, 0, 4, "\x00\x00\x00\x80", 4, "2038-01-19T03:14:08Z"},
        {"the last second a DWORD holds", nullptr, 0, 4, "\xff\xff\xff\xff", 4,
         "2106-02-07T06:28:15Z"},
        {"zero", nullptr, 0, 4, "\0\0\0\0", 4, "unknown"},
        {"a QWORD", nullptr, 0, 11, qword, 8, "unknown"},
        {"text", nullptr, 0, 1, u"1273299354", 22, "unknown"},
        {"neither", nullptr, 0, 0, nullptr, 0, "unknown"},
    };
    for (const auto &c : cases) {
        fake_reset();
        if (c.installation != nullptr)
            fake_reg_set(HL_HKEY_LOCAL_MACHINE, NT, "InstallationDate", 3, c.installation,
                         c.installation_size);
        if (c.type != 0)
            fake_reg_set(HL_HKEY_LOCAL_MACHINE, NT, "InstallDate", c.type, c.data, c.size);
        EXPECT_STREQ(collect().install_date, c.expect) << c.what;
        EXPECT_TRUE(fake_all_released()) << c.what;
    }
    /* A date the calendar cannot convert. */
    fake_reset();
    fake_reg_set_dword(HL_HKEY_LOCAL_MACHINE, NT, "InstallDate", 0x4be5019a);
    fake_fail(FAKE_UTC_TEXT, 1);
    EXPECT_STREQ(collect().install_date, "unknown");
}

TEST(Os, InstallDateIsTheEarliestOfEveryInstallationFeatureUpdatesReplaced)
{
    const char *setup = "SYSTEM\\Setup\\";
    struct {
        const char *what;
        uint32_t current; /* CurrentVersion's "InstallDate" (0: none) */
        std::vector<std::pair<const char *, uint32_t>> keys; /* subkey, its InstallDate */
        const char *expect;
    } cases[] = {
        {"two updates",
         0x6553F100,                                                  /* 2023-11-14 */
         {{"Source OS (Updated on 11/14/2023 22:13:20)", 0x5E0A8F80}, /* 2019-12-31 */
          {"Source OS (Updated on 5/12/2021 08:00:00)", 0x609B1A80}}, /* 2021-05-12 */
         "2019-12-31T00:00:00Z"},
        {"only the Source OS keys' names count",
         0x6553F100,
         {{"Pid", 0x3B9ACA00}, {"source os (Updated on 1/1/2020)", 0x5E0A8F80}},
         "2019-12-31T00:00:00Z"},
        {"a later or empty Source OS date is passed over",
         0x5E0A8F80,
         {{"Source OS (Updated on 1/1/2024)", 0x6553F100}, {"Source OS (Updated on 1/1/2021)", 0}},
         "2019-12-31T00:00:00Z"},
        {"no CurrentVersion date",
         0,
         {{"Source OS (Updated on 1/1/2024)", 0x609B1A80}},
         "2021-05-12T00:00:00Z"},
        {"no Source OS key", 0x6553F100, {}, "2023-11-14T22:13:20Z"},
    };
    for (const auto &c : cases) {
        fake_reset();
        if (c.current != 0)
            fake_reg_set_dword(HL_HKEY_LOCAL_MACHINE, NT, "InstallDate", c.current);
        for (const auto &k : c.keys)
            fake_reg_set_dword(HL_HKEY_LOCAL_MACHINE, (std::string(setup) + k.first).c_str(),
                               "InstallDate", k.second);
        EXPECT_STREQ(collect().install_date, c.expect) << c.what;
        EXPECT_TRUE(fake_all_released()) << c.what;
    }
    /* A Source OS date of another type counts for nothing. */
    fake_reset();
    fake_reg_set_dword(HL_HKEY_LOCAL_MACHINE, NT, "InstallDate", 0x6553F100);
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, "SYSTEM\\Setup\\Source OS (Updated on 1/1/2020)",
                    "InstallDate", "1577750400");
    EXPECT_STREQ(collect().install_date, "2023-11-14T22:13:20Z");
}

TEST(Os, VersionSources)
{
    /* RtlGetVersion reporting failure: 10.0 build 0. */
    fake_set_version(6, 3, 9600, (int32_t)0xC0000001u);
    hl_os_info_t os = collect();
    EXPECT_STREQ(os.version, "10.0");
    EXPECT_STREQ(os.build_id, "0");
    EXPECT_STREQ(os.pretty_name, "Windows 0");
    EXPECT_STREQ(os.kernel_release, "10.0.0");
    EXPECT_STREQ(os.kernel_version, "10.0.0");

    /* No RtlGetVersion: GetVersionExW. */
    fake_reset();
    fake_set_version(10, 0, 19045, 0, false);
    fake_set_version_ex(6, 2, 9200);
    os = collect();
    EXPECT_STREQ(os.version, "6.2");
    EXPECT_STREQ(os.build_id, "9200");
    EXPECT_EQ(fake_calls(FAKE_RTL_GET_VERSION), 0);

    /* The fallback failing leaves zeros, never stack garbage. */
    fake_reset();
    fake_set_version(10, 0, 19045, 0, false);
    fake_fail(FAKE_GET_VERSION_EX, 1);
    os = collect();
    EXPECT_STREQ(os.version, "0.0");
    EXPECT_STREQ(os.kernel_release, "0.0.0");
}

TEST(Os, KernelReleaseAndHostId)
{
    fake_set_version(10, 0, 22631);
    hl_os_info_t os = collect();
    EXPECT_STREQ(os.kernel_release, "10.0.22631");
    EXPECT_STREQ(os.kernel_version, "10.0.22631");
    EXPECT_STREQ(os.host_id, "unknown");
    EXPECT_STREQ(os.type, "Windows");
    EXPECT_STREQ(os.id, "microsoft_64");
    std::string lab(100, 'L');
    set("BuildLabEx", lab.c_str());
    set("ProductId", "00330-80000-00000-AA123");
    os = collect();
    EXPECT_EQ(std::string(os.kernel_release), lab.substr(0, 63));
    EXPECT_EQ(std::string(os.kernel_version), lab.substr(0, 63));
    EXPECT_STREQ(os.host_id, "00330-80000-00000-AA123");
    /* 128 bytes do not fit the 128-byte read. */
    set("BuildLabEx", std::string(128, 'L').c_str());
    EXPECT_STREQ(collect().kernel_release, "10.0.22631");
}

TEST(Os, SnapshotSectionEqualsTheDocumentAndComesFirst)
{
    set("ProductName", "Windows 10 Pro");
    auto single = parsed(hostlens_os());
    auto all = parsed(hostlens_get_all());
    EXPECT_EQ(all.begin().key(), "os");
    EXPECT_EQ(all["os"], single["os"]);
}
