/*
 * Packages: the uninstall lists of both views, counted by display name.
 */
#include "test_util.h"

namespace
{
const char *const list64 = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char *const list32 = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

void entry(const char *list, int view, const char *key, const char *display)
{
    std::string path = std::string(list) + "\\" + key;
    fake_reg_add_key(HL_HKEY_LOCAL_MACHINE, path.c_str(), view);
    if (display != nullptr)
        fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, path.c_str(), "DisplayName", display, view);
}

std::string packages_doc(int n)
{
    return "{\"packages\":{\"managers\":\"windows: " + std::to_string(n) +
           "\",\"total\":" + std::to_string(n) + "}}";
}
} // namespace

TEST(Packages, NoListsCountNothing)
{
    EXPECT_EQ(doc(hostlens_packages()), packages_doc(0));
    EXPECT_TRUE(fake_all_released());
}

TEST(Packages, BothViewsAreSummedWithTheirOwnAccess)
{
    entry(list64, FAKE_VIEW_64, "{A}", "Alpha");
    entry(list64, FAKE_VIEW_64, "B", "Beta");
    entry(list32, FAKE_VIEW_32, "C", "Gamma");
    /* The same path in the other view is a different list. */
    entry(list32, FAKE_VIEW_64, "D", "not read");
    entry(list64, FAKE_VIEW_32, "E", "not read");
    EXPECT_EQ(doc(hostlens_packages()), packages_doc(3));
    EXPECT_TRUE(fake_all_released());
    const std::vector<uint32_t> &log = fake_reg_access_log();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0], 131353u);
    EXPECT_EQ(log[1], 131353u);
    EXPECT_EQ(log[3], 131609u);
    EXPECT_EQ(log[4], 131609u);
}

TEST(Packages, OnlyEntriesWithADisplayNameCount)
{
    entry(list64, FAKE_VIEW_64, "none", nullptr);
    entry(list64, FAKE_VIEW_64, "empty", "");
    entry(list64, FAKE_VIEW_64, "cjk", "\xe4\xb8\xad\xe6\x96\x87");
    entry(list64, FAKE_VIEW_64, "hangul", "\xed\x95\x9c\xea\xb8\x80");
    entry(list64, FAKE_VIEW_64, "u511", std::string(511, 'n').c_str());
    entry(list64, FAKE_VIEW_64, "u512", std::string(512, 'n').c_str());
    std::string dword_path = std::string(list64) + "\\dword";
    fake_reg_set_dword(HL_HKEY_LOCAL_MACHINE, dword_path.c_str(), "DisplayName", 7);
    /* cjk, hangul, 511 units, and the DWORD (its type is not examined) */
    hl_packages_info_t r;
    hl_impl_packages(&r);
    EXPECT_EQ(r.total, 4);
    EXPECT_STREQ(r.managers, "windows: 4");
    EXPECT_TRUE(fake_all_released());
}

TEST(Packages, UnreadableEntriesAreSkippedAndEnumerationErrorsEndTheWalk)
{
    entry(list64, FAKE_VIEW_64, "a", "A");
    entry(list64, FAKE_VIEW_64, "b", "B");
    entry(list64, FAKE_VIEW_64, "c", "C");
    fake_fail(FAKE_REG_OPEN, 3); /* the list, "a", then "b" fails */
    hl_packages_info_t r;
    hl_impl_packages(&r);
    EXPECT_EQ(r.total, 2);
    EXPECT_TRUE(fake_all_released());

    fake_reset();
    entry(list64, FAKE_VIEW_64, "a", "A");
    entry(list64, FAKE_VIEW_64, "b", "B");
    entry(list32, FAKE_VIEW_32, "c", "C");
    fake_fail(FAKE_REG_ENUM_KEY, 2); /* the 64-bit walk stops after "a" */
    hl_impl_packages(&r);
    EXPECT_EQ(r.total, 2);
    EXPECT_TRUE(fake_all_released());

    fake_reset();
    entry(list64, FAKE_VIEW_64, "a", "A");
    fake_fail(FAKE_REG_QUERY, 1);
    hl_impl_packages(&r);
    EXPECT_EQ(r.total, 0);
    EXPECT_TRUE(fake_all_released());
}

TEST(Packages, SnapshotSectionMatchesTheDocument)
{
    entry(list32, FAKE_VIEW_32, "x", "X");
    auto all = parsed(hostlens_get_all());
    EXPECT_EQ("{\"packages\":" + all["packages"].dump() + "}", packages_doc(1));
}
