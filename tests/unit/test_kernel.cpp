/*
 * Kernel: the release table and the fixed texts.
 */
#include "test_util.h"

namespace
{
const char *const NT = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
}

TEST(Kernel, ReleaseTable)
{
    struct {
        const char *version;
        const char *build;
        const char *doc;
    } cases[] = {
        {"6.3", "22631",
         "{\"kernel\":{\"name\":\"Windows NT\",\"release\":\"6.3.22631\",\"version\":\"6.3\","
         "\"architecture\":\"x64\",\"codename\":\"unknown\"}}"},
        {"6.3", nullptr,
         "{\"kernel\":{\"name\":\"Windows NT\",\"release\":\"unknown\",\"version\":\"6.3\","
         "\"architecture\":\"x64\",\"codename\":\"unknown\"}}"},
        {nullptr, "22631",
         "{\"kernel\":{\"name\":\"Windows NT\",\"release\":\"22631\",\"version\":\"unknown\","
         "\"architecture\":\"x64\",\"codename\":\"unknown\"}}"},
        {nullptr, nullptr,
         "{\"kernel\":{\"name\":\"Windows NT\",\"release\":\"unknown\",\"version\":\"unknown\","
         "\"architecture\":\"x64\",\"codename\":\"unknown\"}}"},
    };
    for (const auto &c : cases) {
        fake_reset();
        if (c.version)
            fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, NT, "CurrentVersion", c.version);
        if (c.build)
            fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, NT, "CurrentBuildNumber", c.build);
        EXPECT_EQ(doc(hostlens_kernel()), c.doc);
        EXPECT_TRUE(fake_all_released());
    }
}

TEST(Kernel, LongJoinedReleaseIsCutTo63Bytes)
{
    std::string version(40, '1'), build(40, '2');
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, NT, "CurrentVersion", version.c_str());
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, NT, "CurrentBuildNumber", build.c_str());
    hl_kernel_info_t k;
    hl_impl_kernel(&k);
    EXPECT_EQ(std::string(k.release), (version + "." + build).substr(0, 63));
    EXPECT_EQ(std::string(k.version), version);
}

TEST(Kernel, NonStringValuesCountAsMissing)
{
    fake_reg_set_dword(HL_HKEY_LOCAL_MACHINE, NT, "CurrentVersion", 6);
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, NT, "CurrentBuildNumber", std::string(64, '9').c_str());
    hl_kernel_info_t k;
    hl_impl_kernel(&k);
    EXPECT_STREQ(k.release, "unknown");
    EXPECT_STREQ(k.version, "unknown");
    EXPECT_STREQ(k.name, "Windows NT");
    EXPECT_STREQ(k.architecture, "x64");
    EXPECT_STREQ(k.codename, "unknown");
}

TEST(Kernel, SnapshotSectionEqualsTheDocument)
{
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, NT, "CurrentVersion", "6.3");
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, NT, "CurrentBuildNumber", "22631");
    auto single = parsed(hostlens_kernel());
    auto all = parsed(hostlens_get_all());
    EXPECT_EQ(all["kernel"], single["kernel"]);
}
