/*
 * Readers of the adapter texts SetupAPI and the display class key hand
 * over: bounded by their lengths, never by a terminator.
 */
#include "hl_adapter.h"

#include <ctype.h>
#include <string.h>

#include "hl_access.h"

/* PCI vendor numbers (the PCI-SIG's list) of the makers of display
 * adapters and of the virtual ones hypervisors present. */
static const struct {
    uint32_t id;
    const char *name;
} pci_vendors[] = {
    {0x10DE, "NVIDIA"},    {0x1002, "AMD"},     {0x1022, "AMD"},        {0x8086, "Intel"},
    {0x1414, "Microsoft"}, {0x15AD, "VMware"},  {0x80EE, "VirtualBox"}, {0x1AF4, "Red Hat"},
    {0x1B36, "Red Hat"},   {0x1234, "QEMU"},    {0x5143, "Qualcomm"},   {0x1A03, "ASPEED"},
    {0x102B, "Matrox"},    {0x1106, "VIA"},     {0x1039, "SiS"},        {0x5333, "S3"},
    {0x13B5, "Arm"},       {0x1D17, "Zhaoxin"},
};

static int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = (char)tolower((unsigned char)c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

/* 1 when text[0..n) begins with word, ASCII letters compared without case. */
static int starts_ci(const char *text, size_t n, const char *word)
{
    size_t k = strlen(word);
    if (n < k)
        return 0;
    for (size_t i = 0; i < k; i++)
        if (tolower((unsigned char)text[i]) != tolower((unsigned char)word[i]))
            return 0;
    return 1;
}

/* The 16-bit vendor number of "PCI\VEN_xxxx", or -1. The vendor is the
 * first field after the bus name. */
static long pci_vendor_number(const char *id, size_t n)
{
    if (!starts_ci(id, n, "PCI\\VEN_") || n < 12)
        return -1;
    long v = 0;
    for (size_t i = 8; i < 12; i++) {
        int d = hex_digit(id[i]);
        if (d < 0)
            return -1;
        v = v * 16 + d;
    }
    /* Exactly four digits: the field ends there. */
    if (n > 12 && id[12] != '&' && id[12] != '\\' && id[12] != '\0')
        return -1;
    return v;
}

/* 1 when word occurs in the NUL-terminated text, without case. */
static int contains_ci(const char *text, const char *word)
{
    for (; *text != '\0'; text++)
        if (starts_ci(text, strlen(text), word))
            return 1;
    return 0;
}

const char *hl_adapter_vendor(const char *id, size_t n, const char *name)
{
    long v = id != NULL ? pci_vendor_number(id, n) : -1;
    for (size_t i = 0; v >= 0 && i < sizeof pci_vendors / sizeof pci_vendors[0]; i++)
        if ((long)pci_vendors[i].id == v)
            return pci_vendors[i].name;
    if (name == NULL)
        return "unknown";
    if (contains_ci(name, "nvidia"))
        return "NVIDIA";
    if (contains_ci(name, "intel"))
        return "Intel";
    if (contains_ci(name, "amd") || contains_ci(name, "radeon"))
        return "AMD";
    return "unknown";
}

int hl_adapter_driver_subkey(const char *driver, size_t n, char *sub, size_t size)
{
    const size_t guid = sizeof HL_DISPLAY_CLASS_GUID - 1;
    if (size == 0)
        return 0;
    sub[0] = '\0';
    if (n <= guid + 1 || !starts_ci(driver, n, HL_DISPLAY_CLASS_GUID) || driver[guid] != '\\')
        return 0;
    const char *name = driver + guid + 1;
    size_t len = 0;
    while (guid + 1 + len < n && name[len] != '\0')
        len++;
    if (len == 0 || len >= size || memchr(name, '\\', len) != NULL)
        return 0;
    memcpy(sub, name, len);
    sub[len] = '\0';
    return 1;
}

uint64_t hl_adapter_instance_memory(hl_hkey_t instance)
{
    uint64_t bytes = 0;
    if (reg_key_uint(instance, u"HardwareInformation.qwMemorySize", 8, 1, &bytes) && bytes != 0)
        return bytes;
    bytes = 0;
    reg_key_uint(instance, u"HardwareInformation.MemorySize", 4, 1, &bytes);
    return bytes;
}
