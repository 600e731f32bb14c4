/*
 * Text and file helpers: trimming, the "unknown" filler, copies, the two
 * read strategies of hl_read_file and their out-of-memory paths, parsing and
 * the environment fallback.
 */
#include "test_util.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

namespace
{

/* A file of its own in the temporary directory, removed at scope end. */
struct temp_file {
    std::string path;
    explicit temp_file(const std::string &content)
    {
        char name[] = "/tmp/hl_helpers_XXXXXX";
        int fd = mkstemp(name);
        path = name;
        FILE *f = fdopen(fd, "wb");
        fwrite(content.data(), 1, content.size(), f);
        fclose(f);
    }
    ~temp_file()
    {
        remove(path.c_str());
    }
};

std::string pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++)
        s[i] = (char)('a' + i % 23);
    return s;
}

} // namespace

TEST(Helpers, TrimTable)
{
    struct {
        const char *in;
        const char *out;
    } cases[] = {
        {"  Intel(R) Core(TM) i7 \r\n", "Intel(R) Core(TM) i7"},
        {" \t\r\n \t", ""},
        {"\n  name", "\n  name"},
        {"\r\tname", "\r\tname"},
        {"name\v", "name\v"},
        {"name\f", "name\f"},
        {"\t\t x \t", "x"},
        {"", ""},
        {"a", "a"},
        {"  \va", "\va"},
    };
    for (auto &c : cases) {
        char buf[64];
        strcpy(buf, c.in);
        hl_trim(buf);
        EXPECT_STREQ(buf, c.out) << "input [" << c.in << "]";
    }
    hl_trim(nullptr);
}

TEST(Helpers, EnsureFillsOnlyEmptyBuffers)
{
    char full[8] = "x";
    hl_ensure(full, sizeof full);
    EXPECT_STREQ(full, "x");
    char empty[8] = "";
    hl_ensure(empty, sizeof empty);
    EXPECT_STREQ(empty, "unknown");
    char small[5] = "";
    hl_ensure(small, sizeof small);
    EXPECT_STREQ(small, "unkn");
    char none[2] = {'\0', 'z'};
    hl_ensure(none, 0);
    EXPECT_EQ(none[1], 'z');
    hl_ensure(nullptr, 8);
}

TEST(Helpers, StrdupCopiesAndTreatsNullAsEmpty)
{
    long heap = fake_outstanding(FAKE_RES_HEAP);
    char *a = hl_strdup(nullptr);
    ASSERT_NE(a, nullptr);
    EXPECT_STREQ(a, "");
    char *b = hl_strdup("disk");
    EXPECT_STREQ(b, "disk");
    hl_port_free(a);
    hl_port_free(b);
    fake_fail(FAKE_ALLOC, 1);
    EXPECT_EQ(hl_strdup("x"), nullptr);
    EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap);
}

TEST(Helpers, ReadFileWholeAndEmpty)
{
    long heap = fake_outstanding(FAKE_RES_HEAP);
    std::string content = pattern(10000);
    content[5000] = '\0'; /* a NUL of the file's own is part of the length */
    temp_file big(content);
    size_t n = 1;
    char *t = hl_read_file(big.path.c_str(), &n);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(n, 10000u);
    EXPECT_EQ(std::string(t, n), content);
    EXPECT_EQ(t[10000], '\0');
    hl_port_free(t);

    temp_file empty("");
    n = 99;
    t = hl_read_file(empty.path.c_str(), &n);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(t[0], '\0');
    hl_port_free(t);

    n = 77;
    EXPECT_EQ(hl_read_file("/nonexistent/hl/file", &n), nullptr);
    EXPECT_EQ(n, 77u);
    EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap);
}

TEST(Helpers, ReadFileChunkedWhenTheSizedBlockIsRefused)
{
    long heap = fake_outstanding(FAKE_RES_HEAP);
    std::string content = pattern(10000);
    temp_file big(content);

    /* The sized block fails: the chunks start again from the file's start. */
    fake_fail(FAKE_ALLOC, 1);
    size_t n = 0;
    char *t = hl_read_file(big.path.c_str(), &n);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(std::string(t, n), content);
    EXPECT_EQ(t[n], '\0');
    hl_port_free(t);

    /* Chunk capacity goes 4096 -> 8192 -> 16384; the second growth fails
     * after one chunk was read. */
    fake_reset();
    fake_fail(FAKE_ALLOC, 1);
    fake_fail(FAKE_REALLOC, 2);
    n = 0;
    EXPECT_EQ(hl_read_file(big.path.c_str(), &n), nullptr);
    EXPECT_EQ(n, 4096u);

    /* Neither block is to be had. */
    fake_reset();
    fake_fail(FAKE_ALLOC, 1, true);
    n = 5;
    EXPECT_EQ(hl_read_file(big.path.c_str(), &n), nullptr);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap);
}

TEST(Helpers, ReadFileStrCopiesBounded)
{
    temp_file f(pattern(100));
    char buf[16];
    memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(hl_read_file_str(f.path.c_str(), buf, sizeof buf), 1);
    EXPECT_EQ(std::string(buf), pattern(15));

    temp_file nul(std::string("ab\0cd", 5));
    EXPECT_EQ(hl_read_file_str(nul.path.c_str(), buf, sizeof buf), 1);
    EXPECT_STREQ(buf, "ab");

    strcpy(buf, "keep");
    EXPECT_EQ(hl_read_file_str("/nonexistent/hl/file", buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "keep");
    EXPECT_EQ(hl_file_exists(f.path.c_str()), 1);
    EXPECT_EQ(hl_file_exists("/tmp"), 1);
    EXPECT_EQ(hl_file_exists("/nonexistent/hl/file"), 0);
}

TEST(Helpers, ParseNumbers)
{
    EXPECT_EQ(hl_parse_ll(nullptr), -1);
    EXPECT_EQ(hl_parse_ll("42 kB"), 42);
    EXPECT_EQ(hl_parse_ll("abc"), 0);
    EXPECT_EQ(hl_parse_ll("  -7x"), -7);
    EXPECT_EQ(hl_parse_ll("99999999999999999999"), INT64_MAX);
    EXPECT_EQ(hl_parse_ll("-99999999999999999999"), INT64_MIN);
    EXPECT_EQ(hl_parse_dbl(nullptr), -1.0);
    EXPECT_EQ(hl_parse_dbl("2.5GHz"), 2.5);
    EXPECT_EQ(hl_parse_dbl("none"), 0.0);
    EXPECT_EQ(hl_parse_dbl("0x10"), 16.0);
}

TEST(Helpers, EnvOrFallsBackOnMissingAndEmpty)
{
    setenv("HL_TEST_EMPTY", "", 1);
    setenv("HL_TEST_SET", "zsh", 1);
    unsetenv("HL_TEST_MISSING");
    EXPECT_STREQ(hl_env_or("HL_TEST_EMPTY", "fb"), "fb");
    EXPECT_STREQ(hl_env_or("HL_TEST_MISSING", "fb"), "fb");
    EXPECT_EQ(hl_env_or("HL_TEST_MISSING", nullptr), nullptr);
    EXPECT_STREQ(hl_env_or("HL_TEST_SET", "fb"), "zsh");
}
