/*
 * The JSON writer: escaping, UTF-8 repair, number forms, growth and failure.
 */
#include "test_util.h"

#include <math.h>
#include <string.h>

#include <limits>

static std::string str(const char *text)
{
    return written([&](hl_json_t *j) { hl_json_str(j, text); });
}

static std::string dbl(double x)
{
    return written([&](hl_json_t *j) { hl_json_dbl(j, x); });
}

TEST(JsonWriter, EscapesQuoteBackslashAndControlBytes)
{
    EXPECT_EQ(str("a\"b\\c\t\n"), "\"a\\\"b\\\\c\\t\\n\"");
    EXPECT_EQ(str("\b\f\r"), "\"\\b\\f\\r\"");
    EXPECT_EQ(str("\x01\x0b\x1b\x1f"), "\"\\u0001\\u000b\\u001b\\u001f\"");
    EXPECT_EQ(str("/\x7f"), "\"/\x7f\"");
    EXPECT_EQ(str(NULL), "\"\"");
    EXPECT_EQ(str(""), "\"\"");
}

TEST(JsonWriter, PassesWellFormedUtf8)
{
    EXPECT_EQ(str("\xC3\xA9"), "\"\xC3\xA9\"");                 /* é */
    EXPECT_EQ(str("\xE2\x82\xAC"), "\"\xE2\x82\xAC\"");         /* € */
    EXPECT_EQ(str("\xF0\x9F\x98\x80"), "\"\xF0\x9F\x98\x80\""); /* U+1F600 */
    EXPECT_EQ(str("\xED\x9F\xBF"), "\"\xED\x9F\xBF\"");         /* U+D7FF */
    EXPECT_EQ(str("\xF4\x8F\xBF\xBF"), "\"\xF4\x8F\xBF\xBF\""); /* U+10FFFF */
}

TEST(JsonWriter, RepairsEachMaximalInvalidSubpart)
{
    const std::string fffd = "\xEF\xBF\xBD";
    struct {
        const char *in;
        std::string out;
    } cases[] = {
        {"a\x80z", "a" + fffd + "z"},                    /* stray continuation */
        {"\x80\x80", fffd + fffd},                       /* one each */
        {"\xC3", fffd},                                  /* truncated at the end */
        {"\xE2\x82z", fffd + "z"},                       /* truncated 3-byte: one */
        {"\xF0\x9F\x98z", fffd + "z"},                   /* truncated 4-byte: one */
        {"\xC0\xAF", fffd + fffd},                       /* overlong 2-byte lead */
        {"\xE0\x80\xAF", fffd + fffd + fffd},            /* overlong 3-byte */
        {"\xED\xA0\x80", fffd + fffd + fffd},            /* encoded surrogate */
        {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd}, /* above U+10FFFF */
        {"\xF5\xFF", fffd + fffd},                       /* never valid */
        {"\xC3\xC3\xA9", fffd + "\xC3\xA9"},             /* lead cut by a lead */
    };
    for (const auto &c : cases) {
        std::string got = str(c.in);
        EXPECT_EQ(got, "\"" + c.out + "\"") << "input bytes: " << c.in;
        EXPECT_TRUE(nlohmann::json::accept("[" + got + "]"));
    }
}

TEST(JsonWriter, SpecialBytesAreFoundAtEveryOffsetOfAWord)
{
    const std::string fffd = "\xEF\xBF\xBD";
    struct {
        std::string in, out;
    } bytes[] = {
        {"\x01", "\\u0001"}, {"\x1f", "\\u001f"}, {"\"", "\\\""},   {"\\", "\\\\"},
        {"\n", "\\n"},       {" ", " "},          {"!", "!"},       {"#", "#"},
        {"[", "["},          {"]", "]"},          {"\x7f", "\x7f"}, {"\xC3\xA9", "\xC3\xA9"},
        {"\xFF", fffd},
    };
    for (const auto &b : bytes) {
        for (size_t at = 0; at <= 17; at++) {
            std::string head(at, 'a'), tail(17 - at, 'z');
            EXPECT_EQ(str((head + b.in + tail).c_str()), "\"" + head + b.out + tail + "\"")
                << "offset " << at << ", byte " << (unsigned)(unsigned char)b.in[0];
        }
    }
}

TEST(JsonWriter, QuotedTextGrowsWhereSingleBytesWould)
{
    for (size_t n : {65531u, 65532u, 65533u}) {
        hl_json_t a, b;
        hl_json_init(&a);
        hl_json_init(&b);
        std::string text(n, 'q');
        hl_json_str(&a, text.c_str());
        hl_json_raw(&b, "\"");
        for (size_t i = 0; i < n; i++)
            hl_json_raw(&b, "q");
        hl_json_raw(&b, "\"");
        EXPECT_EQ(a.capacity, b.capacity) << n;
        EXPECT_EQ(a.length, n + 2);
        EXPECT_EQ(std::string(a.data), std::string(b.data));
        hl_port_free(a.data);
        hl_port_free(b.data);
    }
}

TEST(JsonWriter, KeyValueForms)
{
    EXPECT_EQ(written([](hl_json_t *j) { hl_json_kvs(j, "k", NULL); }), "\"k\":\"unknown\"");
    EXPECT_EQ(written([](hl_json_t *j) { hl_json_kvs(j, "k", ""); }), "\"k\":\"unknown\"");
    EXPECT_EQ(written([](hl_json_t *j) { hl_json_kvs(j, "k", " "); }), "\"k\":\" \"");
    EXPECT_EQ(written([](hl_json_t *j) { hl_json_kvns(j, "k", -1); }), "\"k\":\"unknown\"");
    EXPECT_EQ(written([](hl_json_t *j) { hl_json_kvns(j, "k", 0); }), "\"k\":0");
    EXPECT_EQ(written([](hl_json_t *j) { hl_json_kvn(j, "k", -1); }), "\"k\":-1");
    EXPECT_EQ(written([](hl_json_t *j) { hl_json_kv2(j, "a", 1, "b", -2); }), "\"a\":1,\"b\":-2");
    EXPECT_EQ(written([](hl_json_t *j) { hl_json_istr(j, ""); }), "\"unknown\"");
    EXPECT_EQ(written([](hl_json_t *j) {
                  hl_json_obj_open(j, "o");
                  hl_json_arr_open(j, "a");
                  hl_json_comma_arr(j);
                  hl_json_arr_close(j);
                  hl_json_obj_close(j);
              }),
              "\"o\":{\"a\":[,]}");
    EXPECT_EQ(written([](hl_json_t *j) { hl_json_key(j, "q\"k"); }), "\"q\\\"k\":");
}

TEST(JsonWriter, Integers)
{
    EXPECT_EQ(written([](hl_json_t *j) { hl_json_num(j, 0); }), "0");
    EXPECT_EQ(written([](hl_json_t *j) { hl_json_num(j, 1234); }), "1234");
    EXPECT_EQ(written([](hl_json_t *j) { hl_json_num(j, INT64_MIN); }), "-9223372036854775808");
    EXPECT_EQ(written([](hl_json_t *j) { hl_json_num(j, INT64_MAX); }), "9223372036854775807");
}

TEST(JsonWriter, DoublesHaveOneDecimalRoundedHalfEven)
{
    struct {
        double in;
        const char *out;
    } cases[] = {
        {62.5, "62.5"},
        {61.03515625, "61.0"},
        {2.25, "2.2"},
        {2.35, "2.4"},
        {99.95, "100.0"},
        {-0.04, "-0.0"},
        {-0.0, "0.0"},
        {0.0, "0.0"},
        {42.0, "42.0"},
        {-3.0, "-3.0"},
        {0.05, "0.1"},
        {0.25, "0.2"},
        {0.75, "0.8"},
        {-2.25, "-2.2"},
        {1e-300, "0.0"},
        {-1e-300, "-0.0"},
        {60.9375, "60.9"},
        {55.5555, "55.6"},
        {476.94, "476.9"},
        {1e19, "10000000000000000000.0"},
        {-9223372036854775808.0, "-9223372036854775808.0"},
        {9223372036854775808.0, "9223372036854775808.0"},
        {4503599627370495.5, "4503599627370495.5"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(dbl(c.in), c.out) << c.in;
}

TEST(JsonWriter, LargeDoublesAreWrittenWhole)
{
    char expect[400];
    snprintf(expect, sizeof expect, "%.1f", 1e70);
    EXPECT_EQ(dbl(1e70), expect);
    snprintf(expect, sizeof expect, "%.1f", -1.7976931348623157e308);
    EXPECT_EQ(dbl(-1.7976931348623157e308), expect);
    EXPECT_EQ(strlen(expect), 312u);
}

TEST(JsonWriter, NonFiniteDoublesAreNull)
{
    EXPECT_EQ(dbl(std::numeric_limits<double>::quiet_NaN()), "null");
    EXPECT_EQ(dbl(-std::numeric_limits<double>::quiet_NaN()), "null");
    EXPECT_EQ(dbl(INFINITY), "null");
    EXPECT_EQ(dbl(-INFINITY), "null");
    EXPECT_EQ(written([](hl_json_t *j) { hl_json_kvd_unknown(j, "p", -0.5); }),
              "\"p\":\"unknown\"");
}

TEST(JsonWriter, FreshBufferIsEmptyAndTerminated)
{
    hl_json_t j;
    hl_json_init(&j);
    ASSERT_NE(j.data, nullptr);
    EXPECT_EQ(j.data[0], '\0');
    EXPECT_EQ(j.capacity, 65536u);
    EXPECT_EQ(hl_json_get(&j), nullptr);
    hl_port_free(j.data);
}

TEST(JsonWriter, DoublesExactlyAtByte65535WithTextIntact)
{
    hl_json_t j;
    hl_json_init(&j);
    std::string run(65534, 'x');
    hl_json_raw(&j, run.c_str());
    EXPECT_EQ(j.capacity, 65536u);
    EXPECT_EQ(j.length, 65534u);
    hl_json_raw(&j, "y");
    EXPECT_EQ(j.capacity, 131072u);
    EXPECT_EQ(j.length, 65535u);
    EXPECT_EQ(std::string(j.data), run + "y");
    /* A long append crosses two growth points at once and lands where byte-by-
     * byte appends would: 65535 + 131072 bytes need 262144. */
    std::string more(131072, 'z');
    hl_json_raw(&j, more.c_str());
    EXPECT_EQ(j.capacity, 262144u);
    EXPECT_EQ(j.data[j.length], '\0');
    hl_port_free(j.data);
}

TEST(JsonWriter, GrowthPointsMatchByteByByteAppends)
{
    hl_json_t a, b;
    hl_json_init(&a);
    hl_json_init(&b);
    std::string chunk(70000, 'q');
    hl_json_raw(&a, chunk.c_str());
    for (size_t i = 0; i < chunk.size(); i++)
        hl_json_raw(&b, "q");
    EXPECT_EQ(a.capacity, b.capacity);
    EXPECT_EQ(a.length, b.length);
    hl_port_free(a.data);
    hl_port_free(b.data);
}

TEST(JsonWriter, FailedEnlargementFailsTheDocument)
{
    hl_json_t j;
    hl_json_init(&j);
    long blocks = fake_outstanding(FAKE_RES_HEAP);
    fake_fail(FAKE_REALLOC, 1);
    std::string run(70000, 'x');
    hl_json_raw(&j, run.c_str());
    EXPECT_EQ(j.data, nullptr);
    EXPECT_EQ(hl_json_get(&j), nullptr);
    EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), blocks - 1); /* the block was let go */
    hl_json_raw(&j, "later bytes are dropped");
    EXPECT_EQ(hl_json_get(&j), nullptr);
    hl_json_reset(&j); /* the next document starts afresh */
    hl_json_raw(&j, "ok");
    EXPECT_STREQ(hl_json_get(&j), "ok");
    hl_port_free(j.data);
}

TEST(JsonWriter, RefusedFirstBlockDropsEverything)
{
    hl_json_t j;
    fake_fail(FAKE_ALLOC, 1);
    hl_json_init(&j);
    EXPECT_EQ(j.data, nullptr);
    hl_json_str(&j, "x");
    EXPECT_EQ(hl_json_get(&j), nullptr);
}

TEST(TextCopy, CutsOnCharacterBoundaries)
{
    char buf[8];
    hl_copy(buf, sizeof buf, "abcdef\xC3\xA9"); /* é would need bytes 6-7 */
    EXPECT_STREQ(buf, "abcdef");
    hl_copy(buf, sizeof buf, "abcd\xE2\x82\xAC"); /* € fits exactly */
    EXPECT_STREQ(buf, "abcd\xE2\x82\xAC");
    hl_copy(buf, sizeof buf, "abcde\xE2\x82\xAC");
    EXPECT_STREQ(buf, "abcde");
    hl_copy(buf, sizeof buf, "abc\xF0\x9F\x98\x80xyz");
    EXPECT_STREQ(buf, "abc\xF0\x9F\x98\x80");
    hl_copy(buf, sizeof buf, NULL);
    EXPECT_STREQ(buf, "");
    hl_format(buf, sizeof buf, "%s%d", "aaaaa\xC3\xA9", 7);
    EXPECT_STREQ(buf, "aaaaa\xC3\xA9");
    hl_format(buf, 4, "%s", "\xC3\xA9\xC3\xA9");
    EXPECT_STREQ(buf, "\xC3\xA9");
}
