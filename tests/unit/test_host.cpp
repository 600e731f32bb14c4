/*
 * Host: the SMBIOS walk over hand-made tables, malformed ones among them,
 * the firmware call's failure paths, and a sweep of truncated and mutated
 * tables that must never read outside the data.
 */
#include "test_util.h"

#include <string.h>

#include "hl_smbios.h"

namespace
{

typedef std::vector<uint8_t> bytes;

/* One structure: a formatted area of `length` bytes (type, length, handle,
 * then zeros with `set` applied), then its string set. */
bytes structure(uint8_t type, uint8_t length, std::vector<std::pair<uint8_t, uint8_t>> set,
                std::vector<std::string> strings)
{
    bytes b(length < 4 ? 4 : length, 0);
    b[0] = type;
    b[1] = length;
    for (auto &p : set)
        if (p.first < b.size()) /* a shorter version of the structure lacks the field */
            b[p.first] = p.second;
    for (auto &s : strings) {
        b.insert(b.end(), s.begin(), s.end());
        b.push_back(0);
    }
    if (strings.empty())
        b.push_back(0);
    b.push_back(0);
    return b;
}

/* The raw SMBIOS data: header with the table length, then the structures. */
bytes table(std::vector<bytes> structures, int64_t claimed = -1)
{
    bytes t = {0, 2, 8, 0, 0, 0, 0, 0};
    for (auto &s : structures)
        t.insert(t.end(), s.begin(), s.end());
    uint32_t n = claimed >= 0 ? (uint32_t)claimed : (uint32_t)(t.size() - 8);
    for (int i = 0; i < 4; i++)
        t[4 + i] = (uint8_t)(n >> (8 * i));
    return t;
}

bytes bios(std::string date = "03/14/2023")
{
    return structure(0, 0x18, {{4, 1}, {5, 2}, {8, 3}}, {"Vendor Inc.", "1.2.3", date});
}

bytes system_info(uint8_t length = 0x1B)
{
    return structure(1, length, {{4, 1}, {5, 2}, {6, 3}, {0x1A, 4}},
                     {"Maker", "Model X", "Rev A", "Family F"});
}

bytes board(const char *vendor = "Board Co", const char *product = "B-1")
{
    return structure(2, 0x0F, {{4, 1}, {5, 2}}, {vendor, product});
}

bytes chassis(uint8_t type)
{
    return structure(3, 0x11, {{4, 1}, {5, type}}, {"Case Co"});
}

bytes end_of_table()
{
    return structure(127, 4, {}, {});
}

std::string host_doc(const bytes &t)
{
    fake_set_firmware(t);
    return doc(hostlens_host());
}

std::string fields(const hl_host_info_t &r)
{
    return written([&](hl_json_t *j) { hl_write_host(j, &r); });
}

const char *const ALL_UNKNOWN =
    "{\"host\":{\"manufacturer\":\"unknown\",\"model\":\"unknown\",\"version\":\"unknown\","
    "\"sku\":\"unknown\",\"family\":\"unknown\",\"chassis_type\":\"unknown\","
    "\"bios_vendor\":\"unknown\",\"bios_version\":\"unknown\",\"bios_date\":\"unknown\","
    "\"board_vendor\":\"unknown\",\"board_model\":\"unknown\"}}";

} // namespace

TEST(Host, FullTable)
{
    EXPECT_EQ(host_doc(table({bios(), system_info(), board(), chassis(0x83), end_of_table()})),
              "{\"host\":{\"manufacturer\":\"Maker\",\"model\":\"Model X\",\"version\":\"Rev "
              "A\",\"sku\":\"unknown\",\"family\":\"Family F\",\"chassis_type\":\"131\","
              "\"bios_vendor\":\"Vendor Inc.\",\"bios_version\":\"1.2.3\",\"bios_date\":"
              "\"03/14/2023\",\"board_vendor\":\"Board Co\",\"board_model\":\"B-1\"}}");
    EXPECT_TRUE(fake_all_released());
}

TEST(Host, StructureCases)
{
    struct {
        const char *what;
        bytes t;
        const char *expect; /* the members that differ from unknown, in order */
    } cases[] = {
        {"2.3 system structure has no family", table({system_info(0x19)}),
         "\"manufacturer\":\"Maker\",\"model\":\"Model X\",\"version\":\"Rev A\""},
        {"string number 0 and beyond the set",
         table({structure(2, 0x0F, {{4, 0}, {5, 3}}, {"one", "two"})}), ""},
        {"chassis 0x0A", table({chassis(0x0A)}), "\"chassis_type\":\"10\""},
        {"chassis 0", table({chassis(0)}), "\"chassis_type\":\"0\""},
        {"second baseboard wins", table({board(), board("Second", "B-2")}),
         "\"board_vendor\":\"Second\",\"board_model\":\"B-2\""},
        {"length 2 stops the walk", table({board(), structure(0, 2, {}, {"x"}), chassis(3)}),
         "\"board_vendor\":\"Board Co\",\"board_model\":\"B-1\""},
        {"structure running past the end",
         table({board(), structure(3, 0x40, {}, {})}, 15 + 18 + 0x20),
         "\"board_vendor\":\"Board Co\",\"board_model\":\"B-1\""},
        {"type 127 does not end the walk", table({end_of_table(), chassis(9)}),
         "\"chassis_type\":\"9\""},
        {"field beyond the formatted area", table({structure(3, 5, {}, {"x"})}), ""},
    };
    const char *order[] = {"manufacturer", "model",        "version",     "sku",
                           "family",       "chassis_type", "bios_vendor", "bios_version",
                           "bios_date",    "board_vendor", "board_model"};
    for (auto &c : cases) {
        auto h = parsed(host_doc(c.t).c_str())["host"];
        std::string got;
        for (const char *k : order) {
            ASSERT_TRUE(h.contains(k)) << c.what;
            if (h[k] != "unknown")
                got += std::string(got.empty() ? "" : ",") + "\"" + k + "\":" + h[k].dump();
        }
        EXPECT_EQ(got, c.expect) << c.what;
    }
}

TEST(Host, StringsAtTheTableEnd)
{
    /* The last structure's set lacks its final NUL: the terminated string is
     * read, the unterminated one is not. */
    bytes b = board();
    b.resize(b.size() - 2); /* drop the NUL of "B-1" and the set's end */
    EXPECT_EQ(host_doc(table({chassis(4), b})),
              "{\"host\":{\"manufacturer\":\"unknown\",\"model\":\"unknown\",\"version\":"
              "\"unknown\",\"sku\":\"unknown\",\"family\":\"unknown\",\"chassis_type\":\"4\","
              "\"bios_vendor\":\"unknown\",\"bios_version\":\"unknown\",\"bios_date\":"
              "\"unknown\",\"board_vendor\":\"Board Co\",\"board_model\":\"unknown\"}}");

    /* A set without its double NUL stops the walk before the next structure. */
    bytes open_set = board();
    open_set.pop_back();
    bytes t = table({open_set, chassis(4)});
    hl_host_info_t r;
    memset(&r, 0, sizeof r);
    ASSERT_EQ(hl_impl_host_walk(t.data(), t.size(), &r), 1);
    EXPECT_STREQ(r.board_vendor, "Board Co");
    /* The search runs into the chassis structure and resumes inside it: no
     * chassis type is made up from its bytes. */
    EXPECT_STREQ(r.chassis_type, "");
}

TEST(Host, LongStringsAreCut)
{
    std::string date(40, '7');
    hl_host_info_t r;
    fake_set_firmware(table({bios(date)}));
    hl_impl_host(&r);
    EXPECT_EQ(std::string(r.bios_date), date.substr(0, 31));
}

TEST(Host, FirmwareFailuresGiveAllUnknown)
{
    bytes good = table({bios(), board()});
    void (*faults[])() = {
        [] {},                                             /* no table at all */
        [] { fake_set_firmware(bytes(15, 0)); },           /* below 16 bytes */
        [] { fake_fail(FAKE_FIRMWARE_TABLE, 2); },         /* the copy fails */
        [] { fake_fail(FAKE_ALLOC, 1); },                  /* no block */
        [] { fake_set_firmware_growth(64); },              /* grew after the size query */
        [] { fake_set_firmware(table({board()}, 4096)); }, /* claims more than it holds */
    };
    std::string unknown = ALL_UNKNOWN;
    unknown = unknown.substr(9, unknown.size() - 11);
    for (size_t i = 0; i < sizeof faults / sizeof faults[0]; i++) {
        fake_reset();
        if (i >= 2 && i <= 4)
            fake_set_firmware(good);
        faults[i]();
        long heap = fake_outstanding(FAKE_RES_HEAP);
        hl_host_info_t r;
        hl_impl_host(&r);
        EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap) << i;
        EXPECT_EQ(fields(r), unknown) << i;
    }
    EXPECT_EQ(host_doc(bytes()), ALL_UNKNOWN);
}

TEST(Host, WalkStaysInsideTruncatedAndMutatedTables)
{
    bytes full = table({bios(), system_info(), board(), chassis(0x83), end_of_table()});
    /* Every cut, with the header's length kept and with it matched to the
     * cut. Each copy is exactly sized, so a read past it is caught by the
     * address sanitizer. */
    for (size_t n = 0; n <= full.size(); n++) {
        for (int match = 0; match < 2; match++) {
            bytes cut(full.begin(), full.begin() + (long)n);
            if (match && n >= 8)
                for (int i = 0; i < 4; i++)
                    cut[4 + i] = (uint8_t)((n - 8) >> (8 * i));
            hl_host_info_t r;
            memset(&r, 0, sizeof r);
            int ok = hl_impl_host_walk(cut.data(), cut.size(), &r);
            EXPECT_EQ(ok, (match && n >= 8) || n == full.size() ? 1 : 0) << n;
            EXPECT_LT(strlen(r.bios_date), sizeof r.bios_date);
        }
    }
    uint32_t seed = 12345;
    for (int round = 0; round < 3000; round++) {
        bytes m = full;
        for (int k = 0; k < 4; k++) {
            seed = seed * 1103515245u + 12345u;
            size_t at = 8 + (seed >> 8) % (m.size() - 8);
            seed = seed * 1103515245u + 12345u;
            m[at] = (uint8_t)(seed >> 16);
        }
        hl_host_info_t r;
        memset(&r, 0, sizeof r);
        ASSERT_EQ(hl_impl_host_walk(m.data(), m.size(), &r), 1);
        EXPECT_LT(strlen(r.model), sizeof r.model);
    }
}

TEST(Host, SnapshotSectionMatchesTheDocument)
{
    fake_set_firmware(table({system_info(), chassis(3)}));
    auto one = parsed(hostlens_host());
    auto all = parsed(hostlens_get_all());
    EXPECT_EQ(all["host"], one["host"]);
    EXPECT_EQ(all["host"]["chassis_type"], "3");
    hl_host_info_t r;
    hl_impl_host(&r);
    EXPECT_EQ("{\"host\":{" + fields(r) + "}}", doc(hostlens_host()));
}
