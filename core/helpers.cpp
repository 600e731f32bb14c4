/*
 * Small text and file helpers for collectors that read text.
 */
#include "hostlens_internal.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "hl_port.h"

void hl_ensure(char *buffer, size_t size)
{
    if (buffer != NULL && buffer[0] == '\0' && size > 0)
        hl_copy(buffer, size, "unknown");
}

char *hl_strdup(const char *text)
{
    if (text == NULL)
        text = "";
    size_t n = strlen(text) + 1;
    char *copy = (char *)hl_port_alloc(n);
    if (copy != NULL)
        memcpy(copy, text, n);
    return copy;
}

static int trim_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

void hl_trim(char *text)
{
    if (text == NULL)
        return;
    size_t n = strlen(text);
    while (n > 0 && trim_space(text[n - 1]))
        text[--n] = '\0';
    if (text[0] == ' ' || text[0] == '\t') {
        size_t start = 1;
        while (text[start] == ' ' || text[start] == '\t')
            start++;
        memmove(text, text + start, n - start + 1);
    }
}

int hl_file_exists(const char *path)
{
#ifdef _WIN32
    struct _stat64 st;
    return _stat64(path, &st) == 0 ? 1 : 0;
#else
    struct stat st;
    return stat(path, &st) == 0 ? 1 : 0;
#endif
}

/* The file's size as a 64-bit count, or -1 when it cannot be told. */
static int64_t file_size(FILE *f)
{
#ifdef _WIN32
    if (_fseeki64(f, 0, SEEK_END) != 0)
        return -1;
    return (int64_t)_ftelli64(f);
#else
    if (fseeko(f, 0, SEEK_END) != 0)
        return -1;
    return (int64_t)ftello(f);
#endif
}

char *hl_read_file(const char *path, size_t *out_length)
{
    FILE *f = fopen(path, "rb");
    if (f == NULL)
        return NULL;
    char *block = NULL;
    size_t length = 0;
    int64_t size = file_size(f);
    if (size > 0 && (uint64_t)size < (uint64_t)SIZE_MAX) {
        rewind(f);
        block = (char *)hl_port_alloc((size_t)size + 1);
        if (block != NULL) {
            length = fread(block, 1, (size_t)size, f);
            block[length] = '\0';
        }
    }
    if (block == NULL) {
        /* Files that report no size (pipes, pseudo-files) are read in chunks
         * from their start. */
        rewind(f);
        size_t capacity = 4096;
        block = (char *)hl_port_alloc(capacity);
        while (block != NULL) {
            if (capacity < length + 4097) {
                char *grown = (char *)hl_port_realloc(block, capacity * 2);
                if (grown == NULL) {
                    hl_port_free(block);
                    block = NULL;
                    break;
                }
                block = grown;
                capacity *= 2;
            }
            size_t got = fread(block + length, 1, 4096, f);
            if (got == 0) {
                block[length] = '\0';
                break;
            }
            length += got;
        }
    }
    fclose(f);
    if (out_length != NULL)
        *out_length = length;
    return block;
}

int hl_read_file_str(const char *path, char *buffer, size_t size)
{
    char *text = hl_read_file(path, NULL);
    if (text == NULL)
        return 0;
    hl_copy(buffer, size, text);
    hl_port_free(text);
    return 1;
}

int64_t hl_parse_ll(const char *text)
{
    if (text == NULL)
        return -1;
    return (int64_t)strtoll(text, NULL, 10);
}

double hl_parse_dbl(const char *text)
{
    if (text == NULL)
        return -1.0;
    return strtod(text, NULL);
}

const char *hl_env_or(const char *name, const char *fallback)
{
    const char *value = getenv(name);
    return (value != NULL && value[0] != '\0') ? value : fallback;
}

int hl_list_reserve(void **items, int32_t *capacity, int32_t need, size_t size)
{
    if (need <= *capacity)
        return 1;
    int64_t cap = *capacity > 0 ? *capacity : 16;
    while (cap < need)
        cap *= 2;
    if (cap > INT32_MAX || (uint64_t)cap > SIZE_MAX / size)
        return 0;
    void *grown = hl_port_realloc(*items, (size_t)cap * size);
    if (grown == NULL)
        return 0;
    *items = grown;
    *capacity = (int32_t)cap;
    return 1;
}
