/*
 * IP helper: the adapter list through the looked-up GetAdaptersAddresses,
 * its records and unicast addresses read field by field, address text, and
 * the raw interface table.
 */
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
#include <stddef.h>
#include <string.h>

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
