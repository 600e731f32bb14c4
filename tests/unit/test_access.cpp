/*
 * Registry strings, UTF-16 to UTF-8, and the substitute converters.
 */
#include "test_util.h"

#include "hl_access.h"

#include <string.h>

namespace
{

const char *const KEY = "SOFTWARE\\Test";
const char16_t *const KEY16 = u"SOFTWARE\\Test";

/* A value of n ASCII letters. */
std::string letters(size_t n)
{
    return std::string(n, 'a');
}

} // namespace

TEST(RegGetStr, SizeLimitIsTheBufferIncludingTerminator)
{
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, KEY, "fits", letters(63).c_str());
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, KEY, "long", letters(64).c_str());
    /* Two-byte characters: 31 of them (62 bytes) fit, 32 (64 bytes) do not. */
    std::string u31, u32;
    for (int i = 0; i < 31; i++)
        u31 += "\xC3\xBC";
    u32 = u31 + "\xC3\xBC";
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, KEY, "u31", u31.c_str());
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, KEY, "u32", u32.c_str());
    long heap = fake_outstanding(FAKE_RES_HEAP);
    char buf[64];
    memset(buf, 'x', sizeof buf);
    EXPECT_EQ(reg_getstr(HL_HKEY_LOCAL_MACHINE, KEY16, u"fits", buf, sizeof buf), 1);
    EXPECT_EQ(std::string(buf), letters(63));
    memset(buf, 'x', sizeof buf);
    EXPECT_EQ(reg_getstr(HL_HKEY_LOCAL_MACHINE, KEY16, u"long", buf, sizeof buf), 0);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(reg_getstr(HL_HKEY_LOCAL_MACHINE, KEY16, u"u31", buf, sizeof buf), 1);
    EXPECT_EQ(std::string(buf), u31);
    EXPECT_EQ(reg_getstr(HL_HKEY_LOCAL_MACHINE, KEY16, u"u32", buf, sizeof buf), 0);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap);
    EXPECT_TRUE(fake_all_released());
    for (uint32_t access : fake_reg_access_log())
        EXPECT_EQ(access, 0x20119u);
}

TEST(RegGetStr, RefusalsLeaveTheBufferAsItWas)
{
    fake_reg_set_dword(HL_HKEY_LOCAL_MACHINE, KEY, "dword", 7);
    const uint16_t multi[] = {'a', 0, 'b', 0, 0};
    fake_reg_set(HL_HKEY_LOCAL_MACHINE, KEY, "multi", 7, multi, sizeof multi);
    fake_reg_set(HL_HKEY_LOCAL_MACHINE, KEY, "one_byte", 1, "a", 1);
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, KEY, "ok", "text");
    struct {
        const char *what;
        const char16_t *key;
        const char16_t *value;
        fake_op fail;
        int call; /* which call of `fail` fails, and every later one */
    } cases[] = {
        {"REG_DWORD", KEY16, u"dword", FAKE_OP_COUNT, 0},
        {"REG_MULTI_SZ", KEY16, u"multi", FAKE_OP_COUNT, 0},
        {"one byte of data", KEY16, u"one_byte", FAKE_OP_COUNT, 0},
        {"missing value", KEY16, u"nothing", FAKE_OP_COUNT, 0},
        {"missing key", u"SOFTWARE\\None", u"ok", FAKE_OP_COUNT, 0},
        {"block not allocated", KEY16, u"ok", FAKE_ALLOC, 1},
        {"size query answers, data query fails", KEY16, u"ok", FAKE_REG_QUERY, 2},
    };
    for (const auto &c : cases) {
        fake_reset();
        fake_reg_set_dword(HL_HKEY_LOCAL_MACHINE, KEY, "dword", 7);
        fake_reg_set(HL_HKEY_LOCAL_MACHINE, KEY, "multi", 7, multi, sizeof multi);
        fake_reg_set(HL_HKEY_LOCAL_MACHINE, KEY, "one_byte", 1, "a", 1);
        fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, KEY, "ok", "text");
        if (c.fail != FAKE_OP_COUNT)
            fake_fail(c.fail, c.call, true);
        long heap = fake_outstanding(FAKE_RES_HEAP);
        char buf[16] = "before";
        EXPECT_EQ(reg_getstr(HL_HKEY_LOCAL_MACHINE, c.key, c.value, buf, sizeof buf), 0) << c.what;
        EXPECT_STREQ(buf, "before") << c.what;
        EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap) << c.what;
        EXPECT_TRUE(fake_all_released()) << c.what;
    }
}

TEST(RegGetStr, ExpandSzUnexpandedEmptyStringAndUnterminatedData)
{
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, KEY, "expand", "%SystemRoot%\\system32", FAKE_VIEW_64,
                    2);
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, KEY, "empty", "");
    const char16_t raw[] = u"abc";
    fake_reg_set(HL_HKEY_LOCAL_MACHINE, KEY, "unterminated", 1, raw, 6);
    fake_reg_set(HL_HKEY_LOCAL_MACHINE, KEY, "odd", 1, raw, 5);
    char buf[64] = "x";
    EXPECT_EQ(reg_getstr(HL_HKEY_LOCAL_MACHINE, KEY16, u"expand", buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "%SystemRoot%\\system32");
    EXPECT_EQ(reg_getstr(HL_HKEY_LOCAL_MACHINE, KEY16, u"empty", buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "");
    /* The block holds exactly the stored bytes (ASan sees any read past). */
    EXPECT_EQ(reg_getstr(HL_HKEY_LOCAL_MACHINE, KEY16, u"unterminated", buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "abc");
    EXPECT_EQ(reg_getstr(HL_HKEY_LOCAL_MACHINE, KEY16, u"odd", buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "ab");
    EXPECT_TRUE(fake_all_released());
}

TEST(RegGetStr, ZeroSizedBufferIsNeverWritten)
{
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, KEY, "empty", "");
    fake_reg_set_sz(HL_HKEY_LOCAL_MACHINE, KEY, "ok", "text");
    char guard[4] = {'g', 'g', 'g', 'g'};
    EXPECT_EQ(reg_getstr(HL_HKEY_LOCAL_MACHINE, KEY16, u"empty", guard + 1, 0), 0);
    EXPECT_EQ(reg_getstr(HL_HKEY_LOCAL_MACHINE, KEY16, u"ok", guard + 1, 0), 0);
    EXPECT_EQ(std::string(guard, 4), "gggg");
    EXPECT_TRUE(fake_all_released());
}

TEST(W2s, SizeRules)
{
    struct {
        int size;
        std::string text;
        std::string expect;
    } cases[] = {
        {8, "C:\\", "C:\\"},
        {8, "abcdef", "abcdef"},
        {8, "abcdefg", "unknown"},
        {128, letters(126), letters(126)},
        {128, letters(127), "unknown"},
        {8, "", "unknown"},
        {8, "\xC3\xBC", "\xC3\xBC"},
    };
    for (const auto &c : cases) {
        char buf[128];
        memset(buf, 'x', sizeof buf);
        std::u16string src = fake_u16(c.text.c_str());
        w2s(src.c_str(), buf, c.size);
        EXPECT_EQ(std::string(buf), c.expect) << c.size << " " << c.text;
    }
    char buf[8];
    w2s(nullptr, buf, 8);
    EXPECT_STREQ(buf, "unknown");
}

TEST(W2s, LoneSurrogatesBecomeReplacementCharacters)
{
    const char16_t high[] = {0xD83D, 0};
    const char16_t low_then_a[] = {0xDE00, 'a', 0};
    const char16_t pair[] = {0xD83D, 0xDE00, 0};
    char buf[32];
    w2s(high, buf, sizeof buf);
    EXPECT_STREQ(buf, "\xEF\xBF\xBD");
    w2s(low_then_a, buf, sizeof buf);
    EXPECT_STREQ(buf, "\xEF\xBF\xBD"
                      "a");
    w2s(pair, buf, sizeof buf);
    EXPECT_STREQ(buf, "\xF0\x9F\x98\x80");
}

TEST(Converters, Utf16ToUtf8CountsCapacitiesAndSurrogates)
{
    const char16_t pair[] = {'a', 0xD83D, 0xDE00, 0};
    const char16_t lone_low[] = {0xDC00, 0};
    const char16_t split_pair_at_end[] = {'a', 0xD83D};
    char out[16];
    /* Size query includes the terminator for length -1. */
    EXPECT_EQ(fake_utf16_to_utf8_impl(pair, -1, nullptr, 0), 6);
    EXPECT_EQ(fake_utf16_to_utf8_impl(pair, -1, out, 6), 6);
    EXPECT_EQ(std::string(out, 6), std::string("a\xF0\x9F\x98\x80\0", 6));
    /* Too small by one: the whole call fails. */
    EXPECT_EQ(fake_utf16_to_utf8_impl(pair, -1, out, 5), 0);
    /* An explicit length converts no terminator. */
    EXPECT_EQ(fake_utf16_to_utf8_impl(pair, 1, out, 16), 1);
    EXPECT_EQ(fake_utf16_to_utf8_impl(lone_low, -1, out, 16), 4);
    EXPECT_EQ(std::string(out, 4), std::string("\xEF\xBF\xBD\0", 4));
    /* A high surrogate cut off by the length is unpaired. */
    EXPECT_EQ(fake_utf16_to_utf8_impl(split_pair_at_end, 2, out, 16), 4);
    EXPECT_EQ(std::string(out, 4), "a\xEF\xBF\xBD");
    EXPECT_EQ(fake_utf16_to_utf8_impl(pair, 0, out, 16), 0);
}

TEST(Converters, Utf8ToUtf16InvalidSequencesAndCapacities)
{
    char16_t out[16];
    EXPECT_EQ(fake_utf8_to_utf16_impl("\xF0\x9F\x98\x80", -1, nullptr, 0), 3);
    EXPECT_EQ(fake_utf8_to_utf16_impl("\xF0\x9F\x98\x80", -1, out, 3), 3);
    EXPECT_EQ(out[0], 0xD83D);
    EXPECT_EQ(out[1], 0xDE00);
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(fake_utf8_to_utf16_impl("\xF0\x9F\x98\x80", -1, out, 2), 0);
    /* A truncated sequence is one replacement; a stray continuation byte
     * and an overlong form each one per maximal invalid part. */
    EXPECT_EQ(fake_utf8_to_utf16_impl("\xE2\x82z", 3, out, 16), 2);
    EXPECT_EQ(out[0], 0xFFFD);
    EXPECT_EQ(out[1], 'z');
    EXPECT_EQ(fake_utf8_to_utf16_impl("\x80\xC0\xAF", 3, out, 16), 3);
    EXPECT_EQ(out[0], 0xFFFD);
    EXPECT_EQ(out[1], 0xFFFD);
    EXPECT_EQ(out[2], 0xFFFD);
    /* An encoded surrogate is not a character. */
    EXPECT_EQ(fake_utf8_to_utf16_impl("\xED\xA0\x80", 3, out, 16), 3);
}
