/*
 * IP helper: the adapter list through the looked-up GetAdaptersAddresses,
 * its records and unicast addresses read field by field, address text, the
 * raw interface table, and the interface table of GetIfTable2.
 */
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <stddef.h>
#include <string.h>

#include "hl_activity.h"
#include "hl_port.h"
#include "winapi.h"

typedef ULONG(WINAPI *get_adapters_addresses_fn)(ULONG, ULONG, PVOID, PIP_ADAPTER_ADDRESSES,
                                                 PULONG);

uint32_t hl_port_adapters(void *fn, void *buffer, uint32_t *size)
{
    ULONG s = *size;
    ULONG rc =
        ((get_adapters_addresses_fn)fn)(AF_UNSPEC, 0, NULL, (PIP_ADAPTER_ADDRESSES)buffer, &s);
    *size = s;
    return rc;
}

/* Only the fields of the XP-level record (its first 96 bytes) are read here;
 * OperStatus, past them, has its own reader. */
void hl_port_adapter_read(const void *record, hl_port_adapter_t *out)
{
    const IP_ADAPTER_ADDRESSES *a = (const IP_ADAPTER_ADDRESSES *)record;
    memset(out, 0, sizeof *out);
    out->length = a->Length;
    out->if_index = a->IfIndex;
    out->friendly_name = (const char16_t *)a->FriendlyName;
    out->phys_len = a->PhysicalAddressLength;
    memcpy(out->phys, a->PhysicalAddress, sizeof out->phys);
    out->first_unicast = a->FirstUnicastAddress;
    out->next = a->Next;
}

static_assert(offsetof(IP_ADAPTER_ADDRESSES, OperStatus) + sizeof(IF_OPER_STATUS) ==
                  HL_ADAPTER_OPER_STATUS_END,
              "OperStatus where the port says it is");

uint32_t hl_port_adapter_oper_status(const void *record)
{
    return (uint32_t)((const IP_ADAPTER_ADDRESSES *)record)->OperStatus;
}

void hl_port_unicast_read(const void *unicast, hl_port_unicast_t *out)
{
    const IP_ADAPTER_UNICAST_ADDRESS *u = (const IP_ADAPTER_UNICAST_ADDRESS *)unicast;
    memset(out, 0, sizeof *out);
    out->next = u->Next;
    const SOCKADDR *sa = u->Address.lpSockaddr;
    if (sa == NULL)
        return;
    out->has_sockaddr = 1;
    out->family = sa->sa_family;
    if (sa->sa_family == AF_INET)
        memcpy(out->addr, &((const SOCKADDR_IN *)sa)->sin_addr, 4);
    else if (sa->sa_family == AF_INET6)
        memcpy(out->addr, &((const SOCKADDR_IN6 *)sa)->sin6_addr, 16);
}

int hl_port_inet_ntop(int family, const uint8_t *addr, char *buffer, size_t size)
{
    auto ntop = HL_WIN32_FN(HL_DLL_WS2_32, inet_ntop);
    return ntop != NULL && ntop(family, (void *)addr, buffer, size) != NULL ? 1 : 0;
}

uint32_t hl_port_if_table(void *buffer, uint32_t *size)
{
    auto get_if_table = HL_WIN32_FN(HL_DLL_IPHLPAPI, GetIfTable);
    if (get_if_table == NULL)
        return ERROR_MOD_NOT_FOUND;
    ULONG s = *size;
    DWORD rc = get_if_table((PMIB_IFTABLE)buffer, &s, FALSE);
    *size = s;
    return rc;
}

/* The interface table's layout, as the portable reader takes it. */
static_assert(offsetof(MIB_IF_TABLE2, Table) == HL_IFTABLE2_HEADER, "MIB_IF_TABLE2 header");
static_assert(sizeof(MIB_IF_ROW2) == HL_IFROW2_SIZE, "MIB_IF_ROW2 size");
static_assert(offsetof(MIB_IF_ROW2, InterfaceIndex) == HL_IFROW2_INDEX, "InterfaceIndex");
static_assert(offsetof(MIB_IF_ROW2, Alias) == HL_IFROW2_ALIAS, "Alias");
static_assert(offsetof(MIB_IF_ROW2, Description) == HL_IFROW2_DESCRIPTION, "Description");
static_assert(offsetof(MIB_IF_ROW2, PhysicalAddressLength) == HL_IFROW2_PHYS_LENGTH, "phys len");
static_assert(offsetof(MIB_IF_ROW2, PhysicalAddress) == HL_IFROW2_PHYS, "PhysicalAddress");
static_assert(offsetof(MIB_IF_ROW2, InterfaceAndOperStatusFlags) == HL_IFROW2_FLAGS, "flags");
static_assert(offsetof(MIB_IF_ROW2, OperStatus) == HL_IFROW2_OPER_STATUS, "OperStatus");
static_assert(offsetof(MIB_IF_ROW2, TransmitLinkSpeed) == HL_IFROW2_TX_SPEED, "TransmitLinkSpeed");
static_assert(offsetof(MIB_IF_ROW2, ReceiveLinkSpeed) == HL_IFROW2_RX_SPEED, "ReceiveLinkSpeed");
static_assert(offsetof(MIB_IF_ROW2, InOctets) == HL_IFROW2_IN_OCTETS, "InOctets");
static_assert(offsetof(MIB_IF_ROW2, InUcastPkts) == HL_IFROW2_IN_UCAST, "InUcastPkts");
static_assert(offsetof(MIB_IF_ROW2, InNUcastPkts) == HL_IFROW2_IN_NUCAST, "InNUcastPkts");
static_assert(offsetof(MIB_IF_ROW2, InDiscards) == HL_IFROW2_IN_DISCARDS, "InDiscards");
static_assert(offsetof(MIB_IF_ROW2, InErrors) == HL_IFROW2_IN_ERRORS, "InErrors");
static_assert(offsetof(MIB_IF_ROW2, InUnknownProtos) == HL_IFROW2_IN_UNKNOWN, "InUnknownProtos");
static_assert(offsetof(MIB_IF_ROW2, OutOctets) == HL_IFROW2_OUT_OCTETS, "OutOctets");
static_assert(offsetof(MIB_IF_ROW2, OutUcastPkts) == HL_IFROW2_OUT_UCAST, "OutUcastPkts");
static_assert(offsetof(MIB_IF_ROW2, OutNUcastPkts) == HL_IFROW2_OUT_NUCAST, "OutNUcastPkts");
static_assert(offsetof(MIB_IF_ROW2, OutDiscards) == HL_IFROW2_OUT_DISCARDS, "OutDiscards");
static_assert(offsetof(MIB_IF_ROW2, OutErrors) == HL_IFROW2_OUT_ERRORS, "OutErrors");

uint32_t hl_port_if_table2(void **table)
{
    *table = NULL;
    auto get_if_table2 = HL_WIN32_FN(HL_DLL_IPHLPAPI, GetIfTable2);
    if (get_if_table2 == NULL)
        return ERROR_PROC_NOT_FOUND;
    PMIB_IF_TABLE2 t = NULL;
    DWORD rc = get_if_table2(&t);
    *table = t;
    return rc;
}

void hl_port_free_mib_table(void *table)
{
    auto free_mib_table = HL_WIN32_FN(HL_DLL_IPHLPAPI, FreeMibTable);
    if (free_mib_table != NULL && table != NULL)
        free_mib_table(table);
}
