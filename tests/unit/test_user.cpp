/*
 * User, locale and process count: fallbacks, the full stop rule, the
 * snapshot's reduced user section, the snapshot handle.
 */
#include "test_util.h"

TEST(User, NamesAndFullName)
{
    fake_reg_set_sz(HL_HKEY_CURRENT_USER, "Control Panel\\Desktop", "FullName", "Alice Liddell");
    EXPECT_EQ(doc(hostlens_user()), "{\"user\":{\"username\":\"alice\",\"host\":\"build-host\","
                                    "\"full_name\":\"Alice Liddell\"}}");
    EXPECT_TRUE(fake_all_released());
}

TEST(User, FallbacksAreUnknown)
{
    struct {
        const char *user, *host, *full; /* full: nullptr for no value */
        const char *expect;
    } cases[] = {
        {"alice", "build-host", nullptr,
         "{\"user\":{\"username\":\"alice\",\"host\":\"build-host\",\"full_name\":\"unknown\"}}"},
        {"alice", "build-host", "",
         "{\"user\":{\"username\":\"alice\",\"host\":\"build-host\",\"full_name\":\"unknown\"}}"},
        {nullptr, nullptr, "A",
         "{\"user\":{\"username\":\"unknown\",\"host\":\"unknown\",\"full_name\":\"A\"}}"},
    };
    for (const auto &c : cases) {
        fake_reset();
        fake_set_user_name(c.user);
        fake_set_computer_name(c.host);
        if (c.full != nullptr)
            fake_reg_set_sz(HL_HKEY_CURRENT_USER, "Control Panel\\Desktop", "FullName", c.full);
        EXPECT_EQ(doc(hostlens_user()), c.expect);
    }
}

TEST(User, LongNamesAreUnknownNotCut)
{
    fake_set_user_name(std::string(127, 'u').c_str());
    fake_set_computer_name(std::string(255, 'h').c_str()); /* does not fit 256 units */
    hl_user_info_t r;
    hl_impl_user(&r);
    EXPECT_STREQ(r.username, "unknown");
    EXPECT_STREQ(r.host, "unknown");
    fake_set_user_name(std::string(126, 'u').c_str());
    fake_set_computer_name(std::string(254, 'h').c_str());
    hl_impl_user(&r);
    EXPECT_EQ(std::string(r.username), std::string(126, 'u'));
    EXPECT_EQ(std::string(r.host), std::string(254, 'h'));
}

TEST(User, SnapshotSectionHasNoFullName)
{
    fake_reg_set_sz(HL_HKEY_CURRENT_USER, "Control Panel\\Desktop", "FullName", "Alice");
    auto all = parsed(hostlens_get_all());
    EXPECT_EQ(all["user"].dump(), "{\"username\":\"alice\",\"host\":\"build-host\"}");
}

TEST(Locale, NameEndsAtFirstFullStop)
{
    struct {
        const char *platform; /* nullptr: the call fails */
        const char *expect;
    } cases[] = {
        {"en-US", "en-US"},
        {"en_US.UTF-8", "en_US"},
        {"de-DE", "de-DE"},
        {nullptr, "unknown"},
        {".UTF-8", "unknown"},
        {"abcdefghijklmnopqrstuvwxyz0123", "abcdefghijklmnopqrstuvwxyz0123"},
        {"abcdefghijklmnopqrstuvwxyz01234", "unknown"},
    };
    for (const auto &c : cases) {
        fake_reset();
        fake_set_locale_name(c.platform);
        EXPECT_EQ(doc(hostlens_locale()),
                  std::string("{\"locale\":{\"name\":\"") + c.expect + "\"}}")
            << (c.platform ? c.platform : "(fails)");
        /* The system's locale, not the user's: the fake answers no other. */
        EXPECT_EQ(fake_locale_requests(), std::vector<uint32_t>{HL_LOCALE_SYSTEM_DEFAULT});
    }
}

TEST(ProcessCount, CountsEveryEntryAndClosesTheSnapshot)
{
    fake_set_process_count(187);
    EXPECT_EQ(doc(hostlens_process_count()), "{\"process_count\":{\"total\":187}}");
    EXPECT_TRUE(fake_all_released());
    EXPECT_EQ(fake_calls(FAKE_PROCESS_NEXT), 187);

    fake_set_process_count(0);
    EXPECT_EQ(doc(hostlens_process_count()), "{\"process_count\":{\"total\":0}}");
    EXPECT_TRUE(fake_all_released());
}

TEST(ProcessCount, FailuresGiveWhatWasCounted)
{
    fake_fail(FAKE_PROCESS_SNAPSHOT, 1);
    EXPECT_EQ(doc(hostlens_process_count()), "{\"process_count\":{\"total\":0}}");
    EXPECT_EQ(fake_calls(FAKE_PROCESS_FIRST), 0);
    EXPECT_TRUE(fake_all_released());

    fake_reset();
    fake_fail(FAKE_PROCESS_FIRST, 1);
    EXPECT_EQ(doc(hostlens_process_count()), "{\"process_count\":{\"total\":0}}");
    EXPECT_TRUE(fake_all_released());

    fake_reset();
    fake_fail(FAKE_PROCESS_NEXT, 3);
    EXPECT_EQ(doc(hostlens_process_count()), "{\"process_count\":{\"total\":3}}");
    EXPECT_TRUE(fake_all_released());
}

TEST(ProcessCount, SnapshotSectionIsANumber)
{
    fake_set_process_count(0);
    auto all = parsed(hostlens_get_all());
    EXPECT_EQ(all["process_count"].dump(), "{\"total\":0}");
    EXPECT_EQ(all["locale"].dump(), "{\"name\":\"en-US\"}");
}
