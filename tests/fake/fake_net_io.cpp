/*
 * GetIfTable2 and FreeMibTable: the MIB_IF_TABLE2 laid out as the x64
 * platform lays it out (NumEntries, padding, 1352-byte MIB_IF_ROW2 rows) in
 * a block of its own, accounted as a handle until it is freed.
 */
#include "fake.h"

#include <stdlib.h>
#include <string.h>

#include <set>

namespace
{

const uint32_t HEADER = 8, ROW = 1352;

struct {
    std::vector<fake_if2_row_t> rows;
    bool raw;
    std::vector<uint8_t> raw_bytes;
    std::set<void *> *live;
} t;

void reset_net_io()
{
    t.rows.clear();
    t.raw = false;
    t.raw_bytes.clear();
    if (t.live == nullptr)
        t.live = new std::set<void *>();
}

fake_registrar registrar(reset_net_io);

void put(uint8_t *p, size_t at, uint64_t v, size_t width)
{
    memcpy(p + at, &v, width);
}

void put_text(uint8_t *p, size_t at, const std::string &utf8)
{
    std::u16string s = fake_u16(utf8.c_str());
    if (s.size() > 256)
        s.resize(256); /* WCHAR[257] with its NUL */
    memcpy(p + at, s.data(), s.size() * 2);
}

void write_row(uint8_t *r, const fake_if2_row_t &row)
{
    put(r, 0, row.luid, 8);
    put(r, 8, row.index, 4);
    put_text(r, 28, row.alias);
    put_text(r, 542, row.description);
    size_t phys = row.phys.size() < 32 ? row.phys.size() : 32;
    put(r, 1056, row.phys.size(), 4);
    if (phys > 0)
        memcpy(r + 1060, row.phys.data(), phys);
    r[1152] = row.flags;
    put(r, 1156, row.oper, 4);
    put(r, 1192, row.tx_speed, 8);
    put(r, 1200, row.rx_speed, 8);
    put(r, 1208, row.in_octets, 8);
    put(r, 1216, row.in_ucast, 8);
    put(r, 1224, row.in_nucast, 8);
    put(r, 1232, row.in_discards, 8);
    put(r, 1240, row.in_errors, 8);
    put(r, 1248, row.in_unknown, 8);
    put(r, 1280, row.out_octets, 8);
    put(r, 1288, row.out_ucast, 8);
    put(r, 1296, row.out_nucast, 8);
    put(r, 1304, row.out_discards, 8);
    put(r, 1312, row.out_errors, 8);
}

} // namespace

void fake_net_add_if2_row(const fake_if2_row_t &row)
{
    t.rows.push_back(row);
}

void fake_net_set_if2_rows(const std::vector<fake_if2_row_t> &rows)
{
    t.rows = rows;
}

void fake_net_set_if_table2_raw(const std::vector<uint8_t> &bytes)
{
    t.raw = true;
    t.raw_bytes = bytes;
}

uint32_t hl_port_if_table2(void **table)
{
    FAKE_GUARD;
    *table = nullptr;
    long code = 0;
    if (fake_hit(FAKE_IF_TABLE2, &code, 8)) /* ERROR_NOT_ENOUGH_MEMORY */
        return (uint32_t)code;
    uint32_t rows = (uint32_t)t.rows.size();
    if (t.raw) {
        rows = 0;
        for (size_t i = 0; i < 4 && i < t.raw_bytes.size(); i++)
            rows |= (uint32_t)t.raw_bytes[i] << (8 * i);
    }
    size_t size = HEADER + (size_t)rows * ROW;
    uint8_t *p = (uint8_t *)calloc(1, size);
    if (p == nullptr)
        return 8;
    if (t.raw) {
        if (!t.raw_bytes.empty())
            memcpy(p, t.raw_bytes.data(), t.raw_bytes.size() < size ? t.raw_bytes.size() : size);
    } else {
        put(p, 0, rows, 4);
        for (uint32_t i = 0; i < rows; i++)
            write_row(p + HEADER + (size_t)i * ROW, t.rows[i]);
    }
    t.live->insert(p);
    fake_acquire(FAKE_RES_HANDLE);
    *table = p;
    return 0;
}

void hl_port_free_mib_table(void *table)
{
    FAKE_GUARD;
    fake_count(FAKE_FREE_MIB_TABLE);
    if (t.live->erase(table) == 0) {
        fake_note_misuse();
        return;
    }
    fake_release(FAKE_RES_HANDLE);
    free(table);
}
