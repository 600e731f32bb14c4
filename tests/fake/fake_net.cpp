/*
 * The IP helper: an adapter list laid out in the caller's buffer the way
 * GetAdaptersAddresses lays it out (a record per adapter, each starting with
 * its declared length and linked to the next), the size protocol with
 * ERROR_BUFFER_OVERFLOW, address text, and the interface table serialized
 * in the MIB_IFTABLE layout (index, type and operational status).
 */
#include "fake.h"

#include <arpa/inet.h>
#include <string.h>

#include <memory>

namespace
{

struct unicast {
    int family;
    uint8_t addr[16];
    bool has_sockaddr;
    const unicast *next;
};

struct adapter {
    uint32_t if_index;
    uint32_t oper_status;
    bool has_name;
    std::u16string name;
    uint8_t phys[8];
    uint32_t phys_len;
    std::vector<std::unique_ptr<unicast>> unicasts;
};

/* What the fake writes at the start of each record in the caller's buffer;
 * hl_port_adapter_read reads it back from there. */
struct record_head {
    uint32_t length;
    uint32_t slot; /* index into the adapter list */
    const void *next;
};

struct if_row {
    uint32_t index, type, oper;
};

struct {
    std::vector<std::unique_ptr<adapter>> *adapters;
    uint32_t record_length;
    int pending;
    int joined;
    bool loops;
    std::vector<uint32_t> call_sizes;
    std::vector<if_row> rows;
    bool rows_declared;
    uint32_t declared_rows;
    bool raw_table;
    std::vector<uint8_t> raw_bytes;
    uint32_t raw_reported;
} net;

void reset_net()
{
    if (net.adapters == nullptr)
        net.adapters = new std::vector<std::unique_ptr<adapter>>();
    net.adapters->clear();
    net.record_length = 448;
    net.pending = 0;
    net.joined = 0;
    net.loops = false;
    net.call_sizes.clear();
    net.rows.clear();
    net.rows_declared = false;
    net.declared_rows = 0;
    net.raw_table = false;
    net.raw_bytes.clear();
    net.raw_reported = 0;
}

fake_registrar registrar(reset_net);

uint32_t stride()
{
    uint32_t s =
        net.record_length < sizeof(record_head) ? (uint32_t)sizeof(record_head) : net.record_length;
    return (s + 7u) & ~7u;
}

uint32_t needed()
{
    return (uint32_t)net.adapters->size() * stride();
}

/* An adapter that appears while the list is being read (a VPN coming up). */
void join_pending()
{
    if (net.pending <= 0)
        return;
    net.pending--;
    net.joined++;
    char name[32];
    snprintf(name, sizeof name, "vpn%d", net.joined);
    uint8_t mac[6] = {0x02, 0, 0, 0, 0, (uint8_t)net.joined};
    fake_net_add_adapter(100 + (uint32_t)net.joined, name, mac, 6);
    char ip[32];
    snprintf(ip, sizeof ip, "198.51.100.%d", net.joined);
    fake_net_add_unicast(ip);
}

void link_unicasts(adapter *a)
{
    for (size_t i = 0; i < a->unicasts.size(); i++)
        a->unicasts[i]->next = i + 1 < a->unicasts.size() ? a->unicasts[i + 1].get()
                               : net.loops                ? a->unicasts[0].get()
                                                          : nullptr;
}

} // namespace

void fake_net_add_adapter(uint32_t if_index, const char *friendly_name, const uint8_t *phys,
                          uint32_t phys_len)
{
    std::unique_ptr<adapter> a(new adapter());
    a->if_index = if_index;
    a->oper_status = 1; /* IfOperStatusUp */
    a->has_name = friendly_name != nullptr;
    if (friendly_name != nullptr)
        a->name = fake_u16(friendly_name);
    memset(a->phys, 0, sizeof a->phys);
    if (phys != nullptr)
        memcpy(a->phys, phys, phys_len < 8 ? phys_len : 8);
    a->phys_len = phys_len;
    net.adapters->push_back(std::move(a));
}

void fake_net_add_adapter16(uint32_t if_index, const std::u16string &friendly_name,
                            const uint8_t *phys, uint32_t phys_len)
{
    fake_net_add_adapter(if_index, "", phys, phys_len);
    net.adapters->back()->name = friendly_name;
}

void fake_net_set_if_table_raw(const std::vector<uint8_t> &bytes, uint32_t reported)
{
    net.raw_table = true;
    net.raw_bytes = bytes;
    net.raw_reported = reported;
}

void fake_net_add_unicast_raw(int family, const uint8_t *addr, bool has_sockaddr)
{
    std::unique_ptr<unicast> u(new unicast());
    u->family = family;
    memset(u->addr, 0, sizeof u->addr);
    if (addr != nullptr)
        memcpy(u->addr, addr, family == 23 ? 16 : 4);
    u->has_sockaddr = has_sockaddr;
    u->next = nullptr;
    net.adapters->back()->unicasts.push_back(std::move(u));
}

void fake_net_add_unicast(const char *text)
{
    uint8_t addr[16];
    if (inet_pton(AF_INET, text, addr) == 1)
        fake_net_add_unicast_raw(2, addr);
    else if (inet_pton(AF_INET6, text, addr) == 1)
        fake_net_add_unicast_raw(23, addr);
}

void fake_net_set_record_length(uint32_t length)
{
    net.record_length = length;
}

void fake_net_set_pending(int n)
{
    net.pending = n;
}

void fake_net_set_loops(bool loops)
{
    net.loops = loops;
}

const std::vector<uint32_t> &fake_net_call_sizes()
{
    return net.call_sizes;
}

void fake_net_set_oper_status(uint32_t status)
{
    net.adapters->back()->oper_status = status;
}

void fake_net_add_if_row(uint32_t index, uint32_t type, uint32_t oper)
{
    net.rows.push_back(if_row{index, type, oper});
}

void fake_net_set_if_declared_rows(uint32_t rows)
{
    net.rows_declared = true;
    net.declared_rows = rows;
}

uint32_t hl_port_adapters(void *fn, void *buffer, uint32_t *size)
{
    FAKE_GUARD;
    long code = 0;
    if (fn == nullptr)
        return 87;                          /* ERROR_INVALID_PARAMETER */
    if (fake_hit(FAKE_ADAPTERS, &code, 31)) /* ERROR_GEN_FAILURE */
        return (uint32_t)code;
    uint32_t need = needed();
    if (buffer == nullptr || *size < need) {
        if (buffer != nullptr)
            net.call_sizes.push_back(*size);
        *size = need;
        join_pending();
        if (need == 0)
            return 232; /* ERROR_NO_DATA */
        return 111;     /* ERROR_BUFFER_OVERFLOW */
    }
    net.call_sizes.push_back(*size);
    uint8_t *base = (uint8_t *)buffer;
    size_t n = net.adapters->size();
    for (size_t i = 0; i < n; i++) {
        link_unicasts((*net.adapters)[i].get());
        record_head h;
        h.length = net.record_length;
        h.slot = (uint32_t)i;
        h.next = i + 1 < n ? base + (i + 1) * stride() : net.loops ? base : nullptr;
        memcpy(base + i * stride(), &h, sizeof h);
    }
    *size = need;
    return 0;
}

void hl_port_adapter_read(const void *record, hl_port_adapter_t *out)
{
    FAKE_GUARD;
    record_head h;
    memcpy(&h, record, sizeof h);
    memset(out, 0, sizeof *out);
    out->length = h.length;
    out->next = h.next;
    if (h.slot >= net.adapters->size())
        return;
    const adapter &a = *(*net.adapters)[h.slot];
    out->if_index = a.if_index;
    out->friendly_name = a.has_name ? a.name.c_str() : nullptr;
    memcpy(out->phys, a.phys, sizeof out->phys);
    out->phys_len = a.phys_len;
    out->first_unicast = a.unicasts.empty() ? nullptr : a.unicasts[0].get();
}

/* Answers whatever the record's length: a caller that reads it from a
 * record too short to hold it gets the adapter's status where the test
 * expects the interface table's. */
uint32_t hl_port_adapter_oper_status(const void *record)
{
    FAKE_GUARD;
    record_head h;
    memcpy(&h, record, sizeof h);
    if (h.slot >= net.adapters->size())
        return 0;
    return (*net.adapters)[h.slot]->oper_status;
}

void hl_port_unicast_read(const void *link, hl_port_unicast_t *out)
{
    FAKE_GUARD;
    const unicast *u = (const unicast *)link;
    memset(out, 0, sizeof *out);
    out->has_sockaddr = u->has_sockaddr ? 1 : 0;
    out->family = u->family;
    memcpy(out->addr, u->addr, sizeof out->addr);
    out->next = u->next;
}

int hl_port_inet_ntop(int family, const uint8_t *addr, char *buffer, size_t size)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_INET_NTOP))
        return 0;
    int af = family == 2 ? AF_INET : family == 23 ? AF_INET6 : -1;
    if (af < 0)
        return 0;
    return inet_ntop(af, addr, buffer, (socklen_t)size) != nullptr ? 1 : 0;
}

uint32_t hl_port_if_table(void *buffer, uint32_t *size)
{
    FAKE_GUARD;
    long code = 0;
    if (fake_hit(FAKE_IF_TABLE, &code, 31))
        return (uint32_t)code;
    if (net.raw_table) {
        uint32_t raw_need = (uint32_t)net.raw_bytes.size();
        if (buffer == nullptr || *size < raw_need) {
            *size = raw_need;
            return 122; /* ERROR_INSUFFICIENT_BUFFER */
        }
        if (raw_need != 0)
            memcpy(buffer, net.raw_bytes.data(), raw_need);
        *size = net.raw_reported;
        return 0;
    }
    const uint32_t row_size = 860;
    uint32_t need = 4 + (uint32_t)net.rows.size() * row_size;
    if (buffer == nullptr || *size < need) {
        *size = need;
        return 122; /* ERROR_INSUFFICIENT_BUFFER */
    }
    uint8_t *p = (uint8_t *)buffer;
    memset(p, 0, need);
    uint32_t rows = net.rows_declared ? net.declared_rows : (uint32_t)net.rows.size();
    memcpy(p, &rows, 4);
    for (size_t i = 0; i < net.rows.size(); i++) {
        uint8_t *row = p + 4 + i * row_size;
        memcpy(row + 512, &net.rows[i].index, 4);
        memcpy(row + 516, &net.rows[i].type, 4);
        memcpy(row + 544, &net.rows[i].oper, 4);
    }
    *size = need;
    return 0;
}
