/*
 * Thread-local storage slots.
 */
#include <windows.h>

#include "hl_port.h"

static_assert(TLS_OUT_OF_INDEXES == HL_TLS_NONE, "the port's 'no index' is TlsAlloc's");

uint32_t hl_port_tls_alloc(void)
{
    return TlsAlloc();
}

void *hl_port_tls_get(uint32_t index)
{
    return TlsGetValue(index);
}

int hl_port_tls_set(uint32_t index, void *value)
{
    return TlsSetValue(index, value) ? 1 : 0;
}

void hl_port_tls_free(uint32_t index)
{
    TlsFree(index);
}
