/*
 * Shared by the fuzz targets: a strict check that a document is JSON in
 * valid UTF-8, and a reader of fuzz bytes.
 */
#ifndef HL_FUZZ_UTIL_H
#define HL_FUZZ_UTIL_H

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <nlohmann/json.hpp>

#include "fake.h"
#include "hostlens_internal.h"

/* Aborts (a finding) unless text is strict JSON. */
inline void must_be_json(const char *text)
{
    if (text == nullptr)
        return; /* NULL is the documented answer to exhausted memory */
    if (!nlohmann::json::accept(text))
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
};

#endif
