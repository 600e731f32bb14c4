/*
 * Shared by the fuzz targets: a strict check that a document is JSON in
 * valid UTF-8, and a reader of fuzz bytes.
 */
#ifndef HL_FUZZ_UTIL_H
#define HL_FUZZ_UTIL_H

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <initializer_list>
#include <vector>

#include <nlohmann/json.hpp>

#include "fake.h"
#include "hostlens.h"
#include "hostlens_internal.h"

/* Aborts (a finding) unless text is strict JSON. */
inline void must_be_json(const char *text)
{
    if (text == nullptr)
        return; /* NULL is the documented answer to exhausted memory */
    if (!nlohmann::json::accept(text))
        abort();
}

/* Aborts unless text is a module document: strict JSON, one object member
 * named `key` whose value is an object (or an array with `array`). Returns
 * that value. */
inline nlohmann::ordered_json must_be_module(const char *text, const char *key, bool array = false)
{
    if (text == nullptr || !nlohmann::json::accept(text))
        abort();
    nlohmann::ordered_json d = nlohmann::ordered_json::parse(text);
    if (!d.is_object() || d.size() != 1 || !d.contains(key))
        abort();
    const nlohmann::ordered_json &v = d[key];
    if (array ? !v.is_array() : !v.is_object())
        abort();
    return v;
}

/* Aborts unless the fixed text field field[0..size) is NUL-terminated inside
 * the field. */
inline void must_end_inside(const char *field, size_t size)
{
    if (strnlen(field, size) >= size)
        abort();
}

/* Aborts unless the members of `obj` are exactly `keys`, in that order. */
inline void must_have_keys(const nlohmann::ordered_json &obj,
                           std::initializer_list<const char *> keys)
{
    if (obj.size() != keys.size())
        abort();
    size_t i = 0;
    for (auto it = obj.begin(); it != obj.end(); ++it, ++i)
        if (it.key() != keys.begin()[i])
            abort();
}

/* Consumes bytes from the front of the input. */
struct fuzz_input {
    const uint8_t *p;
    size_t n;

    uint32_t u32()
    {
        uint32_t v = 0;
        size_t k = n < 4 ? n : 4;
        memcpy(&v, p, k);
        p += k;
        n -= k;
        return v;
    }
    uint8_t u8()
    {
        if (n == 0)
            return 0;
        n--;
        return *p++;
    }
    uint16_t u16()
    {
        uint16_t v = 0;
        size_t k = n < 2 ? n : 2;
        memcpy(&v, p, k);
        p += k;
        n -= k;
        return v;
    }
    /* Up to `max` bytes from the front, as a vector of exactly that size. */
    std::vector<uint8_t> bytes(size_t max)
    {
        size_t k = n < max ? n : max;
        std::vector<uint8_t> v(p, p + k);
        p += k;
        n -= k;
        return v;
    }
};

#endif
