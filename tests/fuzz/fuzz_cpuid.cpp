/*
 * CPUID answers of any value: the identity members of the cpu document and
 * the hypervisor document stay of their types, the signature printable.
 *
 * Input: one byte (0: no CPUID), then EAX, EBX, ECX, EDX of leaves 0, 1, 7,
 * 0x80000000, 0x80000001, 0x40000000, 0x40000001 and 0x40000003 in turn.
 */
#include "fuzz_util.h"

#include "hl_cpu.h"

static const uint32_t leaves[] = {0,           1,           7,           0x80000000u,
                                  0x80000001u, 0x40000000u, 0x40000001u, 0x40000003u};

static bool flag_or_unknown(const nlohmann::ordered_json &v)
{
    return v == "unknown" || v == 0 || v == 1;
}

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    hostlens_cpu(); /* the thread's block, kept for the whole run */
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz_input in{data, size};
    bool present = in.u8() != 0;
    uint32_t regs[8][4];
    for (auto &r : regs)
        for (uint32_t &x : r)
            x = in.u32();

    char signature[13];
    if (hl_impl_hypervisor_signature(regs[5], signature)) {
        if (signature[0] == '\0' || signature[strlen(signature) - 1] == ' ')
            abort();
        for (const char *c = signature; *c; c++)
            if (*c < 0x20 || *c > 0x7E)
                abort();
    } else if (signature[0] != '\0') {
        abort();
    }

    fake_reset();
    fake_set_cpuid_present(present);
    for (int i = 0; i < 8; i++)
        fake_set_cpuid(leaves[i], 0, regs[i][0], regs[i][1], regs[i][2], regs[i][3]);
    nlohmann::ordered_json cpu = must_be_module(hostlens_cpu(), "cpu");
    for (const char *key : {"family", "model_number", "stepping", "flags_count"}) {
        const auto &v = cpu[key];
        if (!(v == "unknown" || (v.is_number_integer() && v >= 0)))
            abort();
    }
    if (cpu["flags_count"].is_number() && cpu["flags_count"] > 175)
        abort();
    nlohmann::ordered_json hv = must_be_module(hostlens_collect("hypervisor"), "hypervisor");
    must_have_keys(hv, {"present", "vendor", "name", "guest"});
    if (!flag_or_unknown(hv["present"]) || !flag_or_unknown(hv["guest"]))
        abort();
    if (hv["present"] != 1 && (hv["vendor"] != "unknown" || hv["guest"] == 1))
        abort(); /* a signature or a guest without a hypervisor */
    if (!fake_all_released())
        abort();
    return 0;
}
