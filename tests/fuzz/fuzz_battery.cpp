/*
 * The battery driver's answers on raw bytes: BATTERY_INFORMATION,
 * BATTERY_STATUS and a string level read straight over exactly sized copies
 * (so any read past the end is caught), then the whole battery_health
 * document with the same bytes answered by a device.
 *
 * Input: a length byte and that many information bytes, a length byte and
 * that many status bytes, then the text bytes.
 */
#include "fuzz_util.h"

#include "hl_battery.h"

static void check_record(const hl_battery_health_t *b)
{
    must_end_inside(b->name, sizeof b->name);
    must_end_inside(b->manufacturer, sizeof b->manufacturer);
    must_end_inside(b->serial, sizeof b->serial);
    must_end_inside(b->chemistry, sizeof b->chemistry);
    if (b->design_capacity_mwh < -1 || b->design_capacity_mwh > UINT32_MAX ||
        b->full_charge_capacity_mwh < -1 || b->cycle_count == 0 || b->voltage_mv < -1)
        abort();
    if (b->rate_mw != HL_RATE_UNKNOWN && (b->rate_mw < INT32_MIN || b->rate_mw > INT32_MAX))
        abort();
    if (b->health_percent != -1.0 && !(b->health_percent > 0.0))
        abort(); /* a ratio of two known capacities, never a division by 0 */
    if (b->charge_percent != -1.0 && !(b->charge_percent >= 0.0 && b->charge_percent <= 100.0))
        abort();
    must_end_inside(b->state, sizeof b->state);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    hostlens_collect("battery_health"); /* the thread's block, kept for the whole run */
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_input in{data, size};
    std::vector<uint8_t> info = in.bytes(in.u8());
    std::vector<uint8_t> status = in.bytes(in.u8());
    std::vector<uint8_t> text(in.p, in.p + in.n);

    hl_battery_health_t b;
    hl_battery_health_unknown(&b);
    uint32_t caps = 0;
    hl_battery_read_information(info.data(), info.size(), &b, &caps);
    hl_battery_read_status(status.data(), status.size(), caps, &b);
    hl_battery_read_text(text.data(), text.size(), b.serial, sizeof b.serial);
    check_record(&b);
    char tiny[8];
    hl_battery_read_text(text.data(), text.size(), tiny, sizeof tiny);
    must_end_inside(tiny, sizeof tiny);

    fake_reset();
    fake_add_battery({1, true, "", status, {{0, info}, {4, text}, {6, text}, {8, text}}});
    long heap = fake_outstanding(FAKE_RES_HEAP);
    nlohmann::ordered_json list =
        must_be_module(hostlens_collect("battery_health"), "battery_health", true);
    if (fake_outstanding(FAKE_RES_HEAP) != heap || !fake_all_released() || list.size() != 1)
        abort();
    must_have_keys(list[0], {"name", "manufacturer", "serial", "chemistry", "design_capacity_mwh",
                             "full_charge_capacity_mwh", "health_percent", "cycle_count", "rate_mw",
                             "voltage_mv", "charge_percent", "state"});
    return 0;
}
