/*
 * The SMBIOS structure walk on raw firmware bytes: straight over an exactly
 * sized copy (so any read past the end is caught), and as the whole host
 * document with the same bytes as the firmware table.
 */
#include "fuzz_util.h"

#include "hl_smbios.h"

static void check_fields(const hl_host_info_t *r)
{
    must_end_inside(r->manufacturer, sizeof r->manufacturer);
    must_end_inside(r->model, sizeof r->model);
    must_end_inside(r->version, sizeof r->version);
    must_end_inside(r->sku, sizeof r->sku);
    must_end_inside(r->family, sizeof r->family);
    must_end_inside(r->chassis_type, sizeof r->chassis_type);
    must_end_inside(r->bios_vendor, sizeof r->bios_vendor);
    must_end_inside(r->bios_version, sizeof r->bios_version);
    must_end_inside(r->bios_date, sizeof r->bios_date);
    must_end_inside(r->board_vendor, sizeof r->board_vendor);
    must_end_inside(r->board_model, sizeof r->board_model);
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    hostlens_host(); /* the thread's block, kept for the whole run */
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<uint8_t> table(data, data + size);

    hl_host_info_t r;
    memset(&r, 0, sizeof r);
    hl_impl_host_walk(table.data(), table.size(), &r);
    check_fields(&r);
    hl_json_t j;
    hl_json_init(&j);
    hl_json_raw(&j, "{");
    hl_write_host(&j, &r);
    hl_json_raw(&j, "}");
    must_be_json(hl_json_get(&j));
    hl_port_free(j.data);

    fake_reset();
    fake_set_firmware(table);
    long heap = fake_outstanding(FAKE_RES_HEAP);
    nlohmann::ordered_json host = must_be_module(hostlens_host(), "host");
    must_have_keys(host,
                   {"manufacturer", "model", "version", "sku", "family", "chassis_type",
                    "bios_vendor", "bios_version", "bios_date", "board_vendor", "board_model"});
    for (const auto &v : host)
        if (!v.is_string() || v.get<std::string>().empty())
            abort();
    if (host["sku"] != "unknown")
        abort(); /* no structure field feeds it */
    if (fake_outstanding(FAKE_RES_HEAP) != heap || !fake_all_released())
        abort();
    return 0;
}
