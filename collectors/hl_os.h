/*
 * Shared by the OS and OS release collectors.
 */
#ifndef HL_OS_H
#define HL_OS_H

#include <stddef.h>
#include <stdint.h>

/* The product name as the release calls itself: Windows 11 kept the
 * "ProductName" of Windows 10 ("Windows 10 Pro"), so from build 22000 on a
 * name that begins "Windows 10" begins "Windows 11" instead. */
void hl_impl_windows_product(const char *product_name, uint32_t build, char *out, size_t size);

#endif
