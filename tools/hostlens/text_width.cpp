#include "text_width.h"

#include <stdint.h>

namespace
{

/* East Asian wide and fullwidth characters, which a terminal gives two
 * columns (the main blocks of Unicode's EastAsianWidth W and F). */
bool wide(uint32_t c)
{
    return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
           (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
           (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
           (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

/* The character at s[i]: its length in bytes (never past the end) and its
 * columns. */
size_t next_char(const std::string &s, size_t i, size_t *cols)
{
    unsigned char b = (unsigned char)s[i];
    size_t len = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    if (i + len > s.size())
        len = s.size() - i;
    uint32_t c = len == 1 ? b : (uint32_t)(b & (0x7F >> len));
    for (size_t k = 1; k < len; k++)
        c = (c << 6) | ((unsigned char)s[i + k] & 0x3F);
    *cols = wide(c) ? 2 : 1;
    return len;
}

} // namespace

size_t columns(const std::string &s)
{
    size_t n = 0;
    for (size_t i = 0; i < s.size();) {
        size_t cols = 0;
        i += next_char(s, i, &cols);
        n += cols;
    }
    return n;
}

std::string fit_columns(const std::string &s, size_t width)
{
    size_t n = 0, i = 0;
    while (i < s.size()) {
        size_t cols = 0;
        size_t len = next_char(s, i, &cols);
        if (n + cols > width)
            break;
        n += cols;
        i += len;
    }
    return s.substr(0, i);
}

std::string pad_columns(const std::string &s, size_t width, bool right)
{
    std::string t = fit_columns(s, width);
    std::string blanks(width - columns(t), ' ');
    return right ? blanks + t : t + blanks;
}
