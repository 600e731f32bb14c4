/*
 * Text conversion through the substitute converters, and test helpers.
 */
#include "fake.h"

int hl_port_utf16_to_utf8(const char16_t *src, int src_len, char *dst, int dst_cap)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_UTF16_TO_UTF8))
        return 0;
    return fake_utf16_to_utf8_impl(src, src_len, dst, dst_cap);
}

int hl_port_utf8_to_utf16(const char *src, int src_len, char16_t *dst, int dst_cap)
{
    FAKE_GUARD;
    if (fake_hit(FAKE_UTF8_TO_UTF16))
        return 0;
    return fake_utf8_to_utf16_impl(src, src_len, dst, dst_cap);
}

std::u16string fake_u16(const char *utf8)
{
    int n = fake_utf8_to_utf16_impl(utf8, -1, nullptr, 0);
    std::u16string s((size_t)(n > 0 ? n : 1), u'\0');
    fake_utf8_to_utf16_impl(utf8, -1, &s[0], n);
    s.resize(s.size() - 1);
    return s;
}

std::string fake_u8(const char16_t *utf16)
{
    int n = fake_utf16_to_utf8_impl(utf16, -1, nullptr, 0);
    std::string s((size_t)(n > 0 ? n : 1), '\0');
    fake_utf16_to_utf8_impl(utf16, -1, &s[0], n);
    s.resize(s.size() - 1);
    return s;
}
