/*
 * Shared by the Wine integration tests: calls into the real DLL through
 * GetProcAddress, strict JSON parsing, and reading Linux's own files.
 */
#ifndef HL_WINE_COMMON_H
#define HL_WINE_COMMON_H

#include <windows.h>

#include <stdio.h>

#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "hostlens_version.h"

extern HMODULE hl_dll;

typedef const char *(*hl_doc_fn)(void);
typedef const char *(*hl_logo_fn)(const char *);

inline hl_doc_fn hl_fn(const char *name)
{
    return (hl_doc_fn)(void *)GetProcAddress(hl_dll, name);
}

/* Calls a document export and returns its text ("<NULL>" for NULL). */
inline std::string hl_call(const char *name)
{
    hl_doc_fn f = hl_fn(name);
    if (f == NULL)
        return "<missing>";
    const char *t = f();
    return t != NULL ? std::string(t) : std::string("<NULL>");
}

typedef const char *(*hl_collect_fn)(const char *);

/* hostlens_collect(list)'s text ("<NULL>" for NULL): the way to the modules
 * that have no export of their own. */
inline std::string hl_call_collect(const char *list)
{
    hl_collect_fn f = (hl_collect_fn)(void *)GetProcAddress(hl_dll, "hostlens_collect");
    if (f == NULL)
        return "<missing>";
    const char *t = f(list);
    return t != NULL ? std::string(t) : std::string("<NULL>");
}

/* Parses strictly; fails the test on invalid JSON. */
inline nlohmann::ordered_json hl_parse(const std::string &text)
{
    EXPECT_TRUE(nlohmann::json::accept(text)) << text;
    return nlohmann::ordered_json::parse(text, nullptr, false);
}

/* Bytes in busy blocks over every heap of the process: Wine's
 * GetProcessMemoryInfo reports zeros, so the heaps are walked instead. */
inline unsigned long long hl_heap_in_use()
{
    HANDLE heaps[256];
    DWORD n = GetProcessHeaps(256, heaps);
    unsigned long long total = 0;
    for (DWORD i = 0; i < n && i < 256; i++) {
        if (!HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY e;
        e.lpData = NULL;
        while (HeapWalk(heaps[i], &e))
            if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                total += e.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
}

/* The keys of an object, in document order. */
inline std::string hl_keys(const nlohmann::ordered_json &obj)
{
    std::string s;
    for (auto it = obj.begin(); it != obj.end(); ++it)
        s += (s.empty() ? "" : ",") + it.key();
    return s;
}

/* A whole file as bytes (Linux's own files are under Z:), or "" when it
 * cannot be opened. */
inline std::string hl_read_file(const char *path)
{
    FILE *f = fopen(path, "rb");
    if (f == NULL)
        return "";
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    fclose(f);
    return text;
}

#endif
