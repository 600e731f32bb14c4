/*
 * Battery health: the driver's structures read from bytes (short spans,
 * "unknown" sentinels, relative capacities, strings without a terminator),
 * batteries with and without each property, and devices that hold none.
 */
#include "test_util.h"

#include "hl_battery.h"

namespace
{
const uint32_t RELATIVE = HL_BATTERY_CAPACITY_RELATIVE;
const uint32_t UNKNOWN32 = 0xFFFFFFFFu;

std::string health()
{
    return doc(hostlens_collect("battery_health"));
}

/* A battery with every level its driver may answer. */
fake_battery_t full_battery(uint32_t tag)
{
    return {tag,
            true,
            "",
            fake_battery_status(2, 42000, 12100, -8312),
            {{0, fake_battery_information(0, "LION", 54000, 49000, 312)},
             {4, fake_battery_text("DELL 1VX1H93")},
             {6, fake_battery_text("SMP")},
             {8, fake_battery_text("  1234  ")}}};
}

const char *const FULL = "{\"name\":\"DELL 1VX1H93\",\"manufacturer\":\"SMP\",\"serial\":\"1234\","
                         "\"chemistry\":\"Li-ion\",\"design_capacity_mwh\":54000,"
                         "\"full_charge_capacity_mwh\":49000,\"health_percent\":90.7,"
                         "\"cycle_count\":312,\"rate_mw\":-8312,\"voltage_mv\":12100,"
                         "\"charge_percent\":85.7,\"state\":\"Discharging\"}";
const char *const NOTHING =
    "{\"name\":\"unknown\",\"manufacturer\":\"unknown\",\"serial\":\"unknown\","
    "\"chemistry\":\"unknown\",\"design_capacity_mwh\":\"unknown\","
    "\"full_charge_capacity_mwh\":\"unknown\",\"health_percent\":\"unknown\","
    "\"cycle_count\":\"unknown\",\"rate_mw\":\"unknown\",\"voltage_mv\":\"unknown\","
    "\"charge_percent\":\"unknown\",\"state\":\"unknown\"}";
} // namespace

TEST(BatteryHealth, InformationAndStatusWithTheirSentinels)
{
    struct {
        uint32_t caps;
        const char *chem;
        uint32_t design, full, cycles, voltage;
        int32_t rate;
        const char *members; /* chemistry through voltage */
    } cases[] = {
        {0, "LION", 54000, 49000, 312, 12100, 1500, "\"Li-ion\",54000,49000,90.7,312,1500,12100"},
        /* A peer reads a design capacity of 0: no health, never a division. */
        {0, "LiP ", 0, 49000, 0, UNKNOWN32, (int32_t)0x80000000u,
         "\"LiP\",\"unknown\",49000,\"unknown\",\"unknown\",\"unknown\",\"unknown\""},
        {0, "PbAc", UNKNOWN32, UNKNOWN32, 7, 0, 0,
         "\"lead-acid\",\"unknown\",\"unknown\",\"unknown\",7,0,0"},
        {0, "nimh", 50000, 51000, 1, 11000, -20, "\"NiMH\",50000,51000,102.0,1,-20,11000"},
        /* Relative figures are in no unit: only their ratio and the volts. */
        {RELATIVE, "\x01XYZ", 100, 80, 0, 12000, -5,
         "\"unknown\",\"unknown\",\"unknown\",80.0,\"unknown\",\"unknown\",12000"},
    };
    for (const auto &c : cases) {
        fake_reset();
        fake_add_battery(
            {1,
             true,
             "",
             fake_battery_status(2, 1, c.voltage, c.rate),
             {{0, fake_battery_information(c.caps, c.chem, c.design, c.full, c.cycles)}}});
        auto b = parsed(hostlens_collect("battery_health"))["battery_health"][0];
        std::string got;
        for (const char *k : {"chemistry", "design_capacity_mwh", "full_charge_capacity_mwh",
                              "health_percent", "cycle_count", "rate_mw", "voltage_mv"})
            got += (got.empty() ? "" : ",") + b[k].dump();
        EXPECT_EQ(got, c.members) << c.chem;
    }
}

/* The charge is the remaining over the full-charge capacity in the
 * battery's own unit; the state comes from the power state bits. */
TEST(BatteryHealth, ChargeAndState)
{
    struct {
        uint32_t caps, full, power, remaining;
        const char *charge, *state;
    } cases[] = {
        {0, 49000, 4, 24500, "50.0", "\"Charging\""},
        {0, 49000, 1 | 4, 49000, "100.0", "\"Charging\""},
        /* A gauge a little over full reads full. */
        {0, 49000, 1, 49500, "100.0", "\"AC\""},
        {0, 49000, 2 | 8, 490, "1.0", "\"Discharging\""},
        {RELATIVE, 80, 2, 20, "25.0", "\"Discharging\""},
        {0, 49000, 8, UNKNOWN32, "\"unknown\"", "\"unknown\""},
        {0, 0, 0, 100, "\"unknown\"", "\"unknown\""},
        {0, UNKNOWN32, 1, 100, "\"unknown\"", "\"AC\""},
    };
    for (const auto &c : cases) {
        fake_reset();
        fake_add_battery({1,
                          true,
                          "",
                          fake_battery_status(c.power, c.remaining, 12000, 0),
                          {{0, fake_battery_information(c.caps, "LION", 54000, c.full, 1)}}});
        auto b = parsed(hostlens_collect("battery_health"))["battery_health"][0];
        EXPECT_EQ(b["charge_percent"].dump(), c.charge) << c.power << " " << c.remaining;
        EXPECT_EQ(b["state"].dump(), c.state) << c.power;
    }
}

TEST(BatteryHealth, ShortSpansAndUnterminatedText)
{
    hl_battery_health_t b;
    hl_battery_health_unknown(&b);
    uint32_t caps = 99;
    std::vector<uint8_t> info = fake_battery_information(0, "LION", 1, 1, 1);
    std::vector<uint8_t> status = fake_battery_status(0, 0, 1, 1);
    EXPECT_EQ(hl_battery_read_information(info.data(), info.size() - 1, &b, &caps), 0);
    EXPECT_EQ(hl_battery_read_status(status.data(), status.size() - 1, 0, &b), 0);
    EXPECT_EQ(hl_battery_read_information(nullptr, 64, &b, &caps), 0);
    EXPECT_EQ(caps, 99u);
    EXPECT_EQ(b.cycle_count, -1);
    EXPECT_EQ(b.voltage_mv, -1);

    struct {
        std::vector<uint8_t> bytes;
        size_t skip; /* read from this offset: unaligned */
        const char *text;
    } texts[] = {
        {fake_battery_text("SMP"), 0, "SMP"},
        {{'S', 0, 'M', 0, 'P', 0}, 0, "SMP"},      /* no terminator */
        {{0, 'A', 0, 'B', 0, 0, 0}, 1, "AB"},      /* odd offset */
        {{'A', 0, 'B', 0, 'C'}, 0, "AB"},          /* an odd last byte */
        {{'A', 0, 0, 0, 'B', 0}, 0, "A"},          /* ends at its NUL */
        {fake_battery_text(" \t "), 0, "unknown"}, /* blanks only */
        {{}, 0, "unknown"},                        /* the level failed */
        {fake_battery_text("Gr\xC3\xBC\xC3\x9F"
                           "e"),
         0,
         "Gr\xC3\xBC\xC3\x9F"
         "e"},
        {{0x00, 0xD8, 'x', 0}, 0, "\xEF\xBF\xBDx"}, /* an unpaired surrogate */
    };
    for (const auto &t : texts) {
        char out[32];
        hl_battery_read_text(t.bytes.data() + t.skip, t.bytes.size() - t.skip, out, sizeof out);
        EXPECT_STREQ(out, t.text);
    }
}

TEST(BatteryHealth, BatteriesWithAndWithoutEachProperty)
{
    fake_add_battery(full_battery(7));
    fake_add_battery({3, true, "", {}, {}});  /* answers nothing but its tag */
    fake_add_battery({0, true, "", {}, {}});  /* an empty slot */
    fake_add_battery({4, false, "", {}, {}}); /* cannot be opened */
    fake_battery_t far = full_battery(9);     /* a path longer than MAX_PATH */
    far.path = "\\\\?\\" + std::string(400, 'p');
    far.levels[1].second = fake_battery_text(""); /* a name that is empty */
    fake_add_battery(far);
    std::string far_doc = FULL;
    far_doc.replace(far_doc.find("DELL 1VX1H93"), 12, "unknown");
    EXPECT_EQ(health(),
              std::string("{\"battery_health\":[") + FULL + "," + NOTHING + "," + far_doc + "]}");
    EXPECT_TRUE(fake_all_released());
    EXPECT_EQ(fake_misuse(), 0);

    /* One device whose path cannot be read is passed over; the list goes on. */
    fake_reset();
    fake_add_battery(full_battery(1));
    fake_add_battery(full_battery(2));
    fake_fail(FAKE_BATTERY_PATH, 1, false, FAKE_BATTERY_PATH_DETAIL_FAILS);
    EXPECT_EQ(health(), std::string("{\"battery_health\":[") + FULL + "]}");
    EXPECT_TRUE(fake_all_released());
    /* One whose path's block cannot be had fails the document, not the entry. */
    fake_fail(FAKE_BATTERY_PATH, 1, false, HL_BATTERY_PATH_NO_MEMORY);
    EXPECT_EQ(hostlens_collect("battery_health"), nullptr);
    EXPECT_TRUE(fake_all_released());

    /* A status without the information: the rate's unit is not known. */
    fake_reset();
    fake_add_battery({5, true, "", fake_battery_status(2, 42000, 12100, -50), {}});
    nlohmann::json only_status = nlohmann::json::parse(health())["battery_health"][0];
    EXPECT_EQ(only_status["rate_mw"], "unknown");
    EXPECT_EQ(only_status["voltage_mv"], 12100);
    EXPECT_EQ(only_status["state"], "Discharging");

    fake_reset();
    EXPECT_EQ(health(), "{\"battery_health\":[]}");
    fake_add_battery(full_battery(1));
    fake_fail(FAKE_BATTERY_DEVICES, 1);
    EXPECT_EQ(health(), "{\"battery_health\":[]}");
}

TEST(BatteryHealth, NoCapOnTheNumberOfBatteries)
{
    for (uint32_t i = 1; i <= 40; i++)
        fake_add_battery(full_battery(i));
    EXPECT_EQ(parsed(hostlens_collect("battery_health"))["battery_health"].size(), 40u);
    /* Memory refused while the list grows: the whole document fails. */
    fake_fail(FAKE_REALLOC, 1);
    EXPECT_EQ(hostlens_collect("battery_health"), nullptr);
    EXPECT_TRUE(fake_all_released());
}
