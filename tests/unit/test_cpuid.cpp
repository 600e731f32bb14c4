/*
 * CPUID: the family and model rules on real processors' leaf values, the
 * feature count over the leaves a processor has, and the hypervisor module
 * on guests, Hyper-V's root partition and bare machines.
 */
#include "test_util.h"

#include "hl_cpu.h"

namespace
{

/* A processor whose highest leaves are max_basic and max_ext. */
void processor(uint32_t max_basic, uint32_t eax1, uint32_t ecx1 = 0, uint32_t edx1 = 0,
               uint32_t max_ext = 0x80000008u)
{
    fake_set_cpuid(0, 0, max_basic, 0, 0, 0);
    fake_set_cpuid(1, 0, eax1, 0, ecx1, edx1);
    fake_set_cpuid(0x80000000u, 0, max_ext, 0, 0, 0);
}

const uint32_t HV = 0x80000000u;  /* leaf 1 ECX: a hypervisor is present */
const uint32_t HV1 = 0x31237648u; /* "Hv#1" */

} // namespace

TEST(CpuId, FamilyModelSteppingOfIntelAndAmdProcessors)
{
    struct {
        const char *what;
        uint32_t eax;
        int64_t family, model, stepping;
    } cases[] = {
        {"Intel Core i7-8700", 0x000906EA, 6, 158, 10},
        {"Intel Core i9-13900K", 0x000B0671, 6, 183, 1},
        {"Intel family 15, extended model", 0x00010F43, 15, 20, 3},
        {"Intel 486: the extended model counts from family 6 on", 0x00010480, 4, 8, 0},
        {"Zhaoxin KX-7000, family 7", 0x000607B1, 7, 107, 1},
        {"family 6: the extended family does not count", 0x01110665, 6, 0x16, 5},
        {"AMD Athlon (K7)", 0x00000662, 6, 6, 2},
        {"AMD Athlon 64 (K8)", 0x00020FB1, 15, 43, 1},
        {"AMD Ryzen 7 5800X", 0x00A20F10, 25, 33, 0},
        {"AMD EPYC (Zen 3)", 0x00A00F11, 25, 1, 1},
        {"AMD Ryzen 9 7950X", 0x00A60F12, 25, 97, 2},
    };
    for (const auto &c : cases) {
        int64_t f = 0, m = 0, s = 0;
        hl_impl_cpu_signature(c.eax, &f, &m, &s);
        EXPECT_EQ(f, c.family) << c.what;
        EXPECT_EQ(m, c.model) << c.what;
        EXPECT_EQ(s, c.stepping) << c.what;
    }

    /* Through the document, and unknown without leaf 1 or without CPUID. */
    processor(0xD, 0x00A20F10);
    auto cpu = parsed(hostlens_cpu())["cpu"];
    EXPECT_EQ(cpu["family"], 25);
    EXPECT_EQ(cpu["model_number"], 33);
    EXPECT_EQ(cpu["stepping"], 0);
    for (void (*unknown)() : {+[] { processor(0, 0x00A20F10); },
                              +[] {
                                  processor(0xD, 0x00A20F10);
                                  fake_set_cpuid_present(false);
                              }}) {
        fake_reset();
        unknown();
        cpu = parsed(hostlens_cpu())["cpu"];
        EXPECT_EQ(cpu["family"], "unknown");
        EXPECT_EQ(cpu["model_number"], "unknown");
        EXPECT_EQ(cpu["stepping"], "unknown");
        EXPECT_EQ(cpu["flags_count"], "unknown");
    }
}

TEST(CpuId, FlagsCountOnlyNamedBitsOfLeavesTheProcessorHas)
{
    const uint32_t ALL = 0xFFFFFFFFu;
    struct {
        const char *what;
        uint32_t max_basic, max_ext;
        uint32_t leaf1_ecx, leaf1_edx;
        uint32_t leaf7[3]; /* EBX, ECX, EDX */
        uint32_t ext1[2];  /* ECX, EDX */
        int64_t count;
    } cases[] = {
        {"fpu only", 1, 0, 0, 0x1, {0, 0, 0}, {0, 0}, 1},
        {"reserved bits of leaf 1", 1, 0, 1u << 16, 1u << 10 | 1u << 20 | 1u << 30, {}, {}, 0},
        {"sse3, sse2, hypervisor", 1, 0, 1u | HV, 1u << 26, {}, {}, 3},
        {"leaf 1 whole", 1, 0, ALL, ALL, {ALL, ALL, ALL}, {ALL, ALL}, 60},
        {"leaf 7 beyond the highest leaf", 6, 0x80000001u, 0, 0, {ALL, ALL, ALL}, {0, 0}, 0},
        {"leaf 7 EBX: avx2, bmi2; the FPU note bits",
         7,
         0,
         0,
         0,
         {1u << 5 | 1u << 8 | 1u << 6 | 1u << 13, 0, 0},
         {},
         2},
        {"leaf 7 ECX: the MAWAU field is no flag", 7, 0, 0, 0, {0, 0x1Fu << 17, 0}, {}, 0},
        {"leaf 7 whole", 7, 0, 0, 0, {ALL, ALL, ALL}, {}, 80},
        {"0x80000001 beyond the highest extended leaf", 1, 0x80000000u, 0, 0, {}, {ALL, ALL}, 0},
        {"0x80000001 EDX: AMD's copies of leaf 1 do not count twice",
         1,
         0x80000001u,
         0,
         0,
         {},
         {0, 0x0183F3FFu},
         0},
        {"0x80000001 EDX: syscall, nx, lm",
         1,
         0x80000001u,
         0,
         0,
         {},
         {0, 1u << 11 | 1u << 20 | 1u << 29},
         3},
        {"everything", 7, 0x80000001u, ALL, ALL, {ALL, ALL, ALL}, {ALL, ALL}, 60 + 80 + 35},
        {"the top bit of every register: the tables are aligned",
         7,
         0x80000001u,
         HV,
         1u << 31,
         {1u << 31, 1u << 31, 1u << 31},
         {1u << 30, 1u << 31},
         7},
    };
    for (const auto &c : cases) {
        fake_reset();
        processor(c.max_basic, 0x000906EA, c.leaf1_ecx, c.leaf1_edx, c.max_ext);
        fake_set_cpuid(7, 0, 0, c.leaf7[0], c.leaf7[1], c.leaf7[2]);
        fake_set_cpuid(0x80000001u, 0, 0, 0, c.ext1[0], c.ext1[1]);
        EXPECT_EQ(parsed(hostlens_cpu())["cpu"]["flags_count"], c.count) << c.what;
    }
}

TEST(Hypervisor, GuestsRootPartitionAndBareMachines)
{
    struct {
        const char *what;
        void (*script)();
        const char *members;
    } cases[] = {
        {"bare machine", [] { processor(0xD, 0x000906EA); },
         R"("present":0,"vendor":"unknown","name":"unknown","guest":0)"},
        {"KVM",
         [] {
             processor(0xD, 0x00A00F11, HV);
             fake_set_cpuid_hypervisor(0x40000001u, "KVMKVMKVM\0\0\0");
         },
         R"("present":1,"vendor":"KVMKVMKVM","name":"KVM","guest":1)"},
        {"Hyper-V guest",
         [] {
             processor(0xD, 0x000906EA, HV);
             fake_set_cpuid_hypervisor(0x4000000Bu, "Microsoft Hv");
             fake_set_cpuid(0x40000001u, 0, HV1, 0, 0, 0);
             fake_set_cpuid(0x40000003u, 0, 0x3FFF, 0x002BB9FE, 0, 0);
         },
         R"("present":1,"vendor":"Microsoft Hv","name":"Hyper-V","guest":1)"},
        {"KVM offering Hyper-V's interface, its own a range up",
         [] {
             processor(0xD, 0x00A00F11, HV);
             fake_set_cpuid_hypervisor(0x4000000Au, "Microsoft Hv");
             fake_set_cpuid(0x40000001u, 0, HV1, 0, 0, 0);
             fake_set_cpuid(0x40000003u, 0, 0x3FFF, 0x002BB9FE, 0, 0);
             uint32_t w[3];
             memcpy(w, "KVMKVMKVM\0\0\0", 12);
             fake_set_cpuid(0x40000100u, 0, 0x40000101u, w[0], w[1], w[2]);
         },
         R"("present":1,"vendor":"Microsoft Hv","name":"KVM","guest":1)"},
        /* A vendor text the host set (or KVM's "Linux KVM Hv"): the
         * interface, not the text, sends the look a range up. */
        {"a set vendor text on Hyper-V's interface, KVM a range up",
         [] {
             processor(0xD, 0x00A00F11, HV);
             fake_set_cpuid_hypervisor(0x4000000Au, "AcmeCloudHv\0");
             fake_set_cpuid(0x40000001u, 0, HV1, 0, 0, 0);
             uint32_t w[3];
             memcpy(w, "KVMKVMKVM\0\0\0", 12);
             fake_set_cpuid(0x40000100u, 0, 0x40000101u, w[0], w[1], w[2]);
         },
         R"("present":1,"vendor":"AcmeCloudHv","name":"KVM","guest":1)"},
        {"Windows with virtualization-based security: the root partition",
         [] {
             processor(0xD, 0x000906EA, HV);
             fake_set_cpuid_hypervisor(0x4000000Bu, "Microsoft Hv");
             fake_set_cpuid(0x40000001u, 0, HV1, 0, 0, 0);
             fake_set_cpuid(0x40000003u, 0, 0x3FFF, 0x002BB9FF, 0, 0);
         },
         R"("present":1,"vendor":"Microsoft Hv","name":"Hyper-V","guest":0)"},
        {"the same, nested in a Hyper-V virtual machine",
         [] {
             processor(0xD, 0x000906EA, HV);
             fake_set_cpuid_hypervisor(0x4000000Bu, "Microsoft Hv");
             fake_set_cpuid(0x40000001u, 0, HV1, 0, 0, 0);
             fake_set_cpuid(0x40000003u, 0, 0x3FFF, 0x002BB9FF, 0, 0);
             fake_set_cpuid(0x40000004u, 0, 0x1E24, 0, 0, 0);
         },
         R"("present":1,"vendor":"Microsoft Hv","name":"Hyper-V","guest":1)"},
        {"CreatePartitions beyond the highest hypervisor leaf",
         [] {
             processor(0xD, 0x000906EA, HV);
             fake_set_cpuid_hypervisor(0x40000001u, "Microsoft Hv");
             fake_set_cpuid(0x40000001u, 0, HV1, 0, 0, 0);
             fake_set_cpuid(0x40000003u, 0, 0, 1, 0, 0);
         },
         R"("present":1,"vendor":"Microsoft Hv","name":"Hyper-V","guest":1)"},
        {"CreatePartitions of another interface",
         [] {
             processor(0xD, 0x000906EA, HV);
             fake_set_cpuid_hypervisor(0x40000010u, "VMwareVMware");
             fake_set_cpuid(0x40000003u, 0, 0, 1, 0, 0);
         },
         R"("present":1,"vendor":"VMwareVMware","name":"VMware","guest":1)"},
        {"Parallels, byte-swapped",
         [] {
             processor(0xD, 0x000906EA, HV);
             fake_set_cpuid_hypervisor(0x40000001u, " lrpepyh  vr");
         },
         R"("present":1,"vendor":" lrpepyh  vr","name":"Parallels","guest":1)"},
        {"an unknown signature names itself",
         [] {
             processor(0xD, 0x000906EA, HV);
             fake_set_cpuid_hypervisor(0x40000001u, "ACRNACRNACRN");
         },
         R"("present":1,"vendor":"ACRNACRNACRN","name":"ACRNACRNACRN","guest":1)"},
        {"no readable signature",
         [] {
             processor(0xD, 0x000906EA, HV);
             fake_set_cpuid_hypervisor(0x40000001u, "KVM\xff\x01KVMKVM\0");
         },
         R"("present":1,"vendor":"unknown","name":"unknown","guest":1)"},
        {"no leaf 1", [] { processor(0, 0x000906EA, HV); },
         R"("present":"unknown","vendor":"unknown","name":"unknown","guest":"unknown")"},
        {"no CPUID", [] { fake_set_cpuid_present(false); },
         R"("present":"unknown","vendor":"unknown","name":"unknown","guest":"unknown")"},
    };
    for (const auto &c : cases) {
        fake_reset();
        c.script();
        EXPECT_EQ(doc(hostlens_collect("hypervisor")),
                  std::string("{\"hypervisor\":{") + c.members + "}}")
            << c.what;
    }
}
