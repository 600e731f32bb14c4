/*
 * The os_release module: each member from its CurrentVersion value, the
 * fallbacks, the Windows 11 product name and what an unusable value gives.
 */
#include "test_util.h"

namespace
{

const char *const NT = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

void set(const char *name, const char *value)
{
    if (value != nullptr)
        fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, NT, name, value);
}

} // namespace

TEST(OsRelease, MembersFromTheCurrentVersionKey)
{
    struct {
        const char *what;
        const char *product, *build, *display, *release_id;
        int64_t ubr; /* -1: no value */
        const char *members;
    } cases[] = {
        {"Windows 11", "Windows 10 Pro", "22631", "23H2", "2009", 2861,
         R"("product":"Windows 11 Pro","display_version":"23H2","build":22631,"ubr":2861,)"
         R"("full_build":"22631.2861")"},
        {"Windows 10 before DisplayVersion", "Windows 10 Enterprise", "19042", nullptr, "2009", 985,
         R"("product":"Windows 10 Enterprise","display_version":"2009","build":19042,"ubr":985,)"
         R"("full_build":"19042.985")"},
        {"Windows 7: no revision", "Windows 7 Professional", "7601", nullptr, nullptr, -1,
         R"("product":"Windows 7 Professional","display_version":"unknown","build":7601,)"
         R"("ubr":"unknown","full_build":"7601")"},
        {"a server keeps its name", "Windows Server 2022 Datacenter", "20348", "21H2", nullptr, 0,
         R"("product":"Windows Server 2022 Datacenter","display_version":"21H2","build":20348,)"
         R"("ubr":0,"full_build":"20348.0")"},
        {"a build that is no number", "Windows 10 Pro", "22631a", "23H2", nullptr, 2861,
         R"("product":"Windows 10 Pro","display_version":"23H2","build":"unknown","ubr":2861,)"
         R"("full_build":"unknown")"},
        {"a build of ten digits", "Windows 10 Pro", "2263100000", "", "2009", 1,
         R"("product":"Windows 10 Pro","display_version":"2009","build":"unknown","ubr":1,)"
         R"("full_build":"unknown")"},
        {"nothing", nullptr, nullptr, nullptr, nullptr, -1,
         R"("product":"unknown","display_version":"unknown","build":"unknown","ubr":"unknown",)"
         R"("full_build":"unknown")"},
    };
    for (const auto &c : cases) {
        fake_reset();
        set("ProductName", c.product);
        set("CurrentBuildNumber", c.build);
        set("DisplayVersion", c.display);
        set("ReleaseId", c.release_id);
        if (c.ubr >= 0)
            fake_reg_set_dword(HL_HKEY_LOCAL_MACHINE, NT, "UBR", (uint32_t)c.ubr);
        set("EditionID", "Professional");
        set("InstallationType", "Client");
        std::string want = std::string("{\"os_release\":{") + c.members +
                           R"(,"edition":"Professional","installation_type":"Client"}})";
        EXPECT_EQ(doc(hostlens_collect("os_release")), want) << c.what;
        EXPECT_TRUE(fake_all_released()) << c.what;
    }
}

TEST(OsRelease, FallbacksAndUnusableValues)
{
    /* "CurrentBuild" when "CurrentBuildNumber" is missing; a UBR that is no
     * DWORD and a build that is no string count as missing. */
    set("CurrentBuild", "22621");
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, NT, "UBR", "2861");
    auto r = parsed(hostlens_collect("os_release"))["os_release"];
    EXPECT_EQ(r["build"], 22621);
    EXPECT_EQ(r["ubr"], "unknown");
    EXPECT_EQ(r["full_build"], "22621");

    fake_reset();
    fake_reg_set_dword(HL_HKEY_LOCAL_MACHINE, NT, "CurrentBuildNumber", 22631);
    fake_reg_set_dword(HL_HKEY_LOCAL_MACHINE, NT, "UBR", 2861);
    set("ProductName", "Windows 10 Home");
    r = parsed(hostlens_collect("os_release"))["os_release"];
    EXPECT_EQ(r["build"], "unknown");
    EXPECT_EQ(r["full_build"], "unknown");
    EXPECT_EQ(r["product"], "Windows 10 Home"); /* no build, no renaming */

    /* The key cannot be opened: every member unknown, nothing left open. */
    fake_reset();
    set("ProductName", "Windows 10 Pro");
    fake_fail(FAKE_REG_OPEN, 1);
    r = parsed(hostlens_collect("os_release"))["os_release"];
    for (auto it = r.begin(); it != r.end(); ++it)
        EXPECT_EQ(it.value(), "unknown") << it.key();
    EXPECT_TRUE(fake_all_released());
}
