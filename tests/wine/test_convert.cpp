/*
 * The substitute converters of the unit tests against the real
 * WideCharToMultiByte and MultiByteToWideChar (CP_UTF8, flags 0): the same
 * inputs must give the same counts and bytes.
 */
#include "wine_common.h"

#include "fake.h"

#include <vector>

namespace
{

struct wide_case {
    const char *what;
    std::vector<char16_t> text; /* without terminator */
};

struct narrow_case {
    const char *what;
    std::string bytes;
};

const wide_case wide_cases[] = {
    {"ascii", {'a', 'b', 'c'}},
    {"two and three bytes", {0xFC, 0x20AC}},
    {"surrogate pair", {'a', 0xD83D, 0xDE00, 'b'}},
    {"lone high", {0xD83D}},
    {"lone high then text", {0xD83D, 'x'}},
    {"lone low", {0xDE00, 'y'}},
    {"reversed pair", {0xDE00, 0xD83D}},
    {"empty", {}},
};

const narrow_case narrow_cases[] = {
    {"ascii", "abc"},
    {"four bytes", "\xF0\x9F\x98\x80"},
    {"two bytes", "\xC3\xBC"},
};

std::u16string with_nul(const std::vector<char16_t> &v)
{
    return std::u16string(v.begin(), v.end());
}

} // namespace

TEST(WineConvert, Utf16ToUtf8MatchesWideCharToMultiByte)
{
    for (const auto &c : wide_cases) {
        std::u16string s = with_nul(c.text);
        for (int len : {-1, (int)s.size()}) {
            if (len == 0)
                continue; /* both fail on an empty explicit length */
            int real_need =
                WideCharToMultiByte(CP_UTF8, 0, (LPCWSTR)s.c_str(), len, NULL, 0, NULL, NULL);
            int fake_need = fake_utf16_to_utf8_impl(s.c_str(), len, nullptr, 0);
            EXPECT_EQ(fake_need, real_need) << c.what << " len " << len;
            for (int cap : {real_need, real_need - 1, real_need + 4}) {
                if (cap < 1)
                    continue;
                char a[64], b[64];
                memset(a, 0x55, sizeof a);
                memset(b, 0x55, sizeof b);
                int ra =
                    WideCharToMultiByte(CP_UTF8, 0, (LPCWSTR)s.c_str(), len, a, cap, NULL, NULL);
                int rb = fake_utf16_to_utf8_impl(s.c_str(), len, b, cap);
                EXPECT_EQ(rb, ra) << c.what << " cap " << cap;
                if (ra > 0) {
                    EXPECT_EQ(std::string(b, (size_t)rb), std::string(a, (size_t)ra)) << c.what;
                }
            }
        }
    }
}

TEST(WineConvert, Utf8ToUtf16MatchesMultiByteToWideChar)
{
    for (const auto &c : narrow_cases) {
        int real_need = MultiByteToWideChar(CP_UTF8, 0, c.bytes.c_str(), -1, NULL, 0);
        EXPECT_EQ(fake_utf8_to_utf16_impl(c.bytes.c_str(), -1, nullptr, 0), real_need) << c.what;
        for (int cap : {real_need, real_need - 1}) {
            wchar_t a[32];
            char16_t b[32];
            int ra = MultiByteToWideChar(CP_UTF8, 0, c.bytes.c_str(), -1, a, cap);
            int rb = fake_utf8_to_utf16_impl(c.bytes.c_str(), -1, b, cap);
            EXPECT_EQ(rb, ra) << c.what << " cap " << cap;
            if (ra > 0) {
                EXPECT_EQ(memcmp(a, b, (size_t)ra * 2), 0) << c.what;
            }
        }
    }
}

TEST(WineConvert, InvalidUtf8)
{
    /* Windows replaces each maximal invalid subpart with one U+FFFD (the
     * Unicode "best practice" that MultiByteToWideChar follows since Vista);
     * the substitute keeps that documented behaviour. */
    const narrow_case cases[] = {
        {"stray continuation", "a\x80z"},
        {"truncated three-byte", "\xE2\x82z"},
        {"overlong", "\xC0\xAF"},
    };
    for (const auto &c : cases) {
        wchar_t a[16];
        char16_t b[16];
        int ra = MultiByteToWideChar(CP_UTF8, 0, c.bytes.c_str(), (int)c.bytes.size(), a, 16);
        int rb = fake_utf8_to_utf16_impl(c.bytes.c_str(), (int)c.bytes.size(), b, 16);
        EXPECT_EQ(rb, ra) << c.what;
        if (ra == rb && ra > 0) {
            EXPECT_EQ(memcmp(a, b, (size_t)ra * 2), 0) << c.what;
        }
    }
}

TEST(WineConvert, EncodedSurrogateDiffersUnderWine)
{
    /* ED A0 80 would encode U+D800. Its maximal invalid subparts are ED, A0
     * and 80 (ED allows only 80..9F next), so the documented behaviour is
     * three replacements, which the substitute gives. Wine 8 treats ED A0 as
     * one part and gives two. */
    const char bytes[] = "\xED\xA0\x80";
    wchar_t a[8];
    char16_t b[8];
    int ra = MultiByteToWideChar(CP_UTF8, 0, bytes, 3, a, 8);
    int rb = fake_utf8_to_utf16_impl(bytes, 3, b, 8);
    EXPECT_EQ(rb, 3);
    EXPECT_EQ(b[0], 0xFFFD);
    EXPECT_EQ(b[2], 0xFFFD);
    EXPECT_TRUE(ra == 2 || ra == 3) << ra;
    for (int i = 0; i < ra; i++)
        EXPECT_EQ(a[i], 0xFFFD);
}
