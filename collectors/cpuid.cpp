/*
 * What the CPUID instruction tells about the processor: family, model and
 * stepping, the named feature flags, and the hypervisor it runs under.
 * Sources: Intel SDM volume 2A, "CPUID"; AMD APM volume 3, appendix E;
 * Microsoft's Hyper-V documentation of the hypervisor CPUID leaves.
 */
#include "hl_cpu.h"

#include <string.h>

#include "hl_port.h"

/* The features counted in flags_count, one table per register, each name as
 * the vendors' manuals (and Linux's /proc/cpuinfo) call the bit; NULL where
 * the bit is reserved, is no feature of its own, or is part of a field. */
typedef const char *const flag_names[32];

/* Four bits a line, the first one's number at its end. */
/* clang-format off */
/* Leaf 1 EDX. */
static flag_names leaf1_edx = {
    "fpu",                "vme",                "de",                 "pse",                /* 0 */
    "tsc",                "msr",                "pae",                "mce",                /* 4 */
    "cx8",                "apic",               NULL,                 "sep",                /* 8 */
    "mtrr",               "pge",                "mca",                "cmov",               /* 12 */
    "pat",                "pse36",              "psn",                "clflush",            /* 16 */
    NULL,                 "ds",                 "acpi",               "mmx",                /* 20 */
    "fxsr",               "sse",                "sse2",               "ss",                 /* 24 */
    "ht",                 "tm",                 NULL,                 "pbe",                /* 28 */
};

/* Leaf 1 ECX; bit 31 is set by a hypervisor for its guests. */
static flag_names leaf1_ecx = {
    "pni",                "pclmulqdq",          "dtes64",             "monitor",            /* 0 */
    "ds_cpl",             "vmx",                "smx",                "est",                /* 4 */
    "tm2",                "ssse3",              "cid",                "sdbg",               /* 8 */
    "fma",                "cx16",               "xtpr",               "pdcm",               /* 12 */
    NULL,                 "pcid",               "dca",                "sse4_1",             /* 16 */
    "sse4_2",             "x2apic",             "movbe",              "popcnt",             /* 20 */
    "tsc_deadline_timer", "aes",                "xsave",              "osxsave",            /* 24 */
    "avx",                "f16c",               "rdrand",             "hypervisor",         /* 28 */
};

/* Leaf 7 subleaf 0 EBX. Bits 6 and 13 say how the FPU keeps its data
 * pointer, no feature; bit 22 is reserved. */
static flag_names leaf7_ebx = {
    "fsgsbase",           "tsc_adjust",         "sgx",                "bmi1",               /* 0 */
    "hle",                "avx2",               NULL,                 "smep",               /* 4 */
    "bmi2",               "erms",               "invpcid",            "rtm",                /* 8 */
    "cqm",                NULL,                 "mpx",                "rdt_a",              /* 12 */
    "avx512f",            "avx512dq",           "rdseed",             "adx",                /* 16 */
    "smap",               "avx512ifma",         NULL,                 "clflushopt",         /* 20 */
    "clwb",               "intel_pt",           "avx512pf",           "avx512er",           /* 24 */
    "avx512cd",           "sha_ni",             "avx512bw",           "avx512vl",           /* 28 */
};

/* Leaf 7 subleaf 0 ECX. Bits 17 to 21 are a field (MAWAU), no flags. */
static flag_names leaf7_ecx = {
    "prefetchwt1",        "avx512vbmi",         "umip",               "pku",                /* 0 */
    "ospke",              "waitpkg",            "avx512_vbmi2",       "shstk",              /* 4 */
    "gfni",               "vaes",               "vpclmulqdq",         "avx512_vnni",        /* 8 */
    "avx512_bitalg",      "tme",                "avx512_vpopcntdq",   NULL,                 /* 12 */
    "la57",               NULL,                 NULL,                 NULL,                 /* 16 */
    NULL,                 NULL,                 "rdpid",              "kl",                 /* 20 */
    "bus_lock_detect",    "cldemote",           NULL,                 "movdiri",            /* 24 */
    "movdir64b",          "enqcmd",             "sgx_lc",             "pks",                /* 28 */
};

/* Leaf 7 subleaf 0 EDX. */
static flag_names leaf7_edx = {
    NULL,                 "sgx_keys",           "avx512_4vnniw",      "avx512_4fmaps",      /* 0 */
    "fsrm",               "uintr",              NULL,                 NULL,                 /* 4 */
    "avx512_vp2intersect", "srbds_ctrl",         "md_clear",           "rtm_always_abort",  /* 8 */
    NULL,                 "tsx_force_abort",    "serialize",          "hybrid_cpu",         /* 12 */
    "tsxldtrk",           NULL,                 "pconfig",            "arch_lbr",           /* 16 */
    "ibt",                NULL,                 "amx_bf16",           "avx512_fp16",        /* 20 */
    "amx_tile",           "amx_int8",           "spec_ctrl",          "intel_stibp",        /* 24 */
    "flush_l1d",          "arch_capabilities",  "core_capabilities",  "spec_ctrl_ssbd",     /* 28 */
};

/* Leaf 0x80000001 ECX. */
static flag_names ext1_ecx = {
    "lahf_lm",            "cmp_legacy",         "svm",                "extapic",            /* 0 */
    "cr8_legacy",         "abm",                "sse4a",              "misalignsse",        /* 4 */
    "3dnowprefetch",      "osvw",               "ibs",                "xop",                /* 8 */
    "skinit",             "wdt",                NULL,                 "lwp",                /* 12 */
    "fma4",               "tce",                NULL,                 NULL,                 /* 16 */
    NULL,                 "tbm",                "topoext",            "perfctr_core",       /* 20 */
    "perfctr_nb",         NULL,                 "bpext",              "ptsc",               /* 24 */
    "perfctr_llc",        "mwaitx",             "admskextn",          NULL,                 /* 28 */
};

/* Leaf 0x80000001 EDX. AMD repeats most bits of leaf 1 EDX here (Intel
 * reserves them): only the bits of this leaf's own are named, so that no
 * feature counts twice. */
static flag_names ext1_edx = {
    NULL,                 NULL,                 NULL,                 NULL,                 /* 0 */
    NULL,                 NULL,                 NULL,                 NULL,                 /* 4 */
    NULL,                 NULL,                 NULL,                 "syscall",            /* 8 */
    NULL,                 NULL,                 NULL,                 NULL,                 /* 12 */
    NULL,                 NULL,                 NULL,                 NULL,                 /* 16 */
    "nx",                 NULL,                 "mmxext",             NULL,                 /* 20 */
    NULL,                 "fxsr_opt",           "pdpe1gb",            "rdtscp",             /* 24 */
    NULL,                 "lm",                 "3dnowext",           "3dnow",              /* 28 */
};

/* clang-format on */

static int64_t named_bits(uint32_t reg, flag_names names)
{
    int64_t n = 0;
    for (int bit = 0; bit < 32; bit++)
        if ((reg >> bit & 1u) != 0 && names[bit] != NULL)
            n++;
    return n;
}

int64_t hl_impl_cpu_flags_count(const hl_cpuid_t *c)
{
    if (!c->has_leaf1)
        return -1;
    int64_t n = named_bits(c->leaf1[3], leaf1_edx) + named_bits(c->leaf1[2], leaf1_ecx);
    if (c->has_leaf7)
        n += named_bits(c->leaf7[1], leaf7_ebx) + named_bits(c->leaf7[2], leaf7_ecx) +
             named_bits(c->leaf7[3], leaf7_edx);
    if (c->has_ext1)
        n += named_bits(c->ext1[2], ext1_ecx) + named_bits(c->ext1[3], ext1_edx);
    return n;
}

void hl_impl_cpu_signature(uint32_t eax, int64_t *family, int64_t *model, int64_t *stepping)
{
    uint32_t base_family = eax >> 8 & 0xFu;
    uint32_t base_model = eax >> 4 & 0xFu;
    /* The extended family counts only beyond family 15; the extended model
     * from family 6 on. Intel's rule names families 6 and 15 and AMD's 15
     * alone, but neither vendor sets the field in families 7 to 14, where
     * Zhaoxin's family 7 parts do use it (as Linux reads it). */
    *family = base_family == 0xFu ? base_family + (eax >> 20 & 0xFFu) : base_family;
    *model = base_family >= 0x6u ? ((eax >> 16 & 0xFu) << 4) + base_model : base_model;
    *stepping = eax & 0xFu;
}

void hl_impl_cpuid_read(hl_cpuid_t *out)
{
    memset(out, 0, sizeof *out);
    uint32_t r[4];
    if (!hl_port_cpuid(0, 0, r))
        return;
    out->present = 1;
    /* A leaf beyond the highest one is not zero on every processor: Intel's
     * answer the highest basic leaf's data for it. So each leaf is read only
     * where the highest leaf of its range allows it. */
    uint32_t max_basic = r[0];
    if (max_basic >= 1)
        out->has_leaf1 = hl_port_cpuid(1, 0, out->leaf1);
    if (max_basic >= 7)
        out->has_leaf7 = hl_port_cpuid(7, 0, out->leaf7);
    if (hl_port_cpuid(0x80000000u, 0, r) && r[0] >= 0x80000001u && r[0] <= 0x8000FFFFu)
        out->has_ext1 = hl_port_cpuid(0x80000001u, 0, out->ext1);
}

int hl_impl_hypervisor_signature(const uint32_t regs[4], char out[13])
{
    memcpy(out, &regs[1], 4);
    memcpy(out + 4, &regs[2], 4);
    memcpy(out + 8, &regs[3], 4);
    out[12] = '\0';
    /* KVM pads its nine letters with NULs; a signature is printable ASCII. */
    size_t n = strlen(out);
    while (n > 0 && out[n - 1] == ' ')
        out[--n] = '\0';
    for (size_t i = 0; i < n; i++) {
        unsigned char c = (unsigned char)out[i];
        if (c < 0x20 || c > 0x7E)
            n = 0;
    }
    if (n == 0)
        out[0] = '\0';
    return n > 0;
}

const char *hl_impl_hypervisor_name(const char *signature)
{
    static const struct {
        const char *signature, *name;
    } known[] = {
        {"Microsoft Hv", "Hyper-V"},
        {"KVMKVMKVM", "KVM"},
        {"Linux KVM Hv", "KVM"}, /* KVM's own Hyper-V interface */
        {"VMwareVMware", "VMware"},
        {"VBoxVBoxVBox", "VirtualBox"},
        {"XenVMMXenVMM", "Xen"},
        {"TCGTCGTCGTCG", "QEMU"},
        /* Parallels has used both byte orders of its signature. */
        {"prl hyperv", "Parallels"},
        {" lrpepyh  vr", "Parallels"},
    };
    for (const auto &k : known)
        if (strcmp(signature, k.signature) == 0)
            return k.name;
    return NULL;
}
