/*
 * The hypervisor the machine runs under, from CPUID: whether there is one,
 * its vendor signature and plain name, and whether this system is its
 * guest or, under Hyper-V, its root partition.
 */
#include "hostlens_internal.h"

#include <string.h>

#include "hl_cpu.h"
#include "hl_port.h"

/* Leaf 1 ECX bit 31: set by a hypervisor, clear on bare metal. */
#define HYPERVISOR_PRESENT 0x80000000u
/* Leaf 0x40000001 EAX of a hypervisor with Microsoft's interface, "Hv#1". */
#define HV_INTERFACE_MICROSOFT 0x31237648u
/* Leaf 0x40000003 EBX bit 0, CreatePartitions: only the root partition
 * may create partitions. */
#define HV_CREATE_PARTITIONS 0x1u
/* Leaf 0x40000004 EAX bit 12: this hypervisor itself runs nested inside a
 * Hyper-V partition. */
#define HV_NESTED 0x1000u

/* Whether the first range offers Hyper-V's interface ("Hv#1"). */
static int microsoft_interface(uint32_t max_leaf)
{
    uint32_t r[4];
    return max_leaf >= 0x40000001u && hl_port_cpuid(0x40000001u, 0, r) &&
           r[0] == HV_INTERFACE_MICROSOFT;
}

/* Windows with virtualization-based security (the default on Windows 11)
 * runs on Hyper-V as its root partition: a hypervisor is present, yet the
 * machine is no guest. The partition's privileges tell the two apart. The
 * same Windows in a Hyper-V or Azure virtual machine is the root partition
 * of a hypervisor that is itself nested in a guest: a guest all the same. */
static int root_partition(uint32_t max_leaf, int microsoft)
{
    uint32_t r[4];
    if (max_leaf < 0x40000003u || !microsoft)
        return 0;
    if (!hl_port_cpuid(0x40000003u, 0, r) || (r[1] & HV_CREATE_PARTITIONS) == 0)
        return 0;
    return max_leaf < 0x40000004u || !hl_port_cpuid(0x40000004u, 0, r) || (r[0] & HV_NESTED) == 0;
}

void hl_impl_hypervisor(hl_hypervisor_info_t *out)
{
    memset(out, 0, sizeof *out);
    out->present = out->guest = -1;
    hl_copy(out->vendor, sizeof out->vendor, "unknown");
    hl_copy(out->name, sizeof out->name, "unknown");

    uint32_t r[4];
    if (!hl_port_cpuid(0, 0, r) || r[0] < 1 || !hl_port_cpuid(1, 0, r))
        return;
    if ((r[2] & HYPERVISOR_PRESENT) == 0) {
        out->present = out->guest = 0;
        return;
    }
    out->present = 1;
    out->guest = 1;
    /* The hypervisor's own leaves exist only when it announced itself. */
    if (!hl_port_cpuid(0x40000000u, 0, r))
        return;
    uint32_t max_leaf = r[0];
    /* Asked once: each CPUID is a trap to the hypervisor, a microsecond or
     * more in a virtual machine. */
    int microsoft = microsoft_interface(max_leaf);
    char signature[13];
    if (hl_impl_hypervisor_signature(r, signature)) {
        hl_copy(out->vendor, sizeof out->vendor, signature);
        const char *name = hl_impl_hypervisor_name(signature);
        hl_copy(out->name, sizeof out->name, name != NULL ? name : signature);
        /* KVM and Xen offer Windows guests Hyper-V's interface in the first
         * range and move their own one range up (QEMU's hv-* features, Xen's
         * viridian): the machine still runs under them. The interface, not
         * the vendor text, says so: KVM may sign "Linux KVM Hv", and QEMU's
         * hv-vendor-id sets any text. */
        const char *own;
        char second[13];
        if (microsoft && hl_port_cpuid(0x40000100u, 0, r) && r[0] >= 0x40000100u &&
            r[0] < 0x40000200u && hl_impl_hypervisor_signature(r, second) &&
            (own = hl_impl_hypervisor_name(second)) != NULL && strcmp(own, "Hyper-V") != 0)
            hl_copy(out->name, sizeof out->name, own);
    }
    if (root_partition(max_leaf, microsoft))
        out->guest = 0;
}
