/*
 * The version resources of the DLL and the program, read with the system's
 * own GetFileVersionInfoW, against the header's version macros.
 */
#include "wine_common.h"

#include <vector>

namespace
{

struct version_resource {
    bool found = false;
    DWORD ms = 0, ls = 0, product_ms = 0, product_ls = 0;
    std::wstring file_version, product_version;
};

std::wstring string_value(std::vector<BYTE> &block, const wchar_t *name)
{
    std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
    wchar_t *text = NULL;
    UINT len = 0;
    if (!VerQueryValueW(block.data(), path.c_str(), (void **)&text, &len) || text == NULL)
        return L"<missing>";
    return text;
}

version_resource read_version(const std::wstring &file)
{
    version_resource r;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
    if (size == 0)
        return r;
    std::vector<BYTE> block(size);
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT len = 0;
    if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\", (void **)&fixed, &len) || fixed == NULL)
        return r;
    r.found = true;
    r.ms = fixed->dwFileVersionMS;
    r.ls = fixed->dwFileVersionLS;
    r.product_ms = fixed->dwProductVersionMS;
    r.product_ls = fixed->dwProductVersionLS;
    r.file_version = string_value(block, L"FileVersion");
    r.product_version = string_value(block, L"ProductVersion");
    return r;
}

} // namespace

TEST(WineVersion, ResourcesCarryTheHeaderVersion)
{
    wchar_t dll[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(hl_dll, dll, MAX_PATH), 0u);
    std::wstring folder(dll);
    folder.resize(folder.find_last_of(L'\\') + 1);
    const DWORD ms = MAKELONG(HOSTLENS_VERSION_MINOR, HOSTLENS_VERSION_MAJOR);
    const DWORD ls = MAKELONG(0, HOSTLENS_VERSION_PATCH);
    const std::string text = HOSTLENS_VERSION_STRING;
    const std::wstring wtext(text.begin(), text.end());
    for (const wchar_t *file : {L"hostlens.dll", L"hostlens.exe"}) {
        SCOPED_TRACE(std::string(file, file + wcslen(file)));
        version_resource r = read_version(folder + file);
        ASSERT_TRUE(r.found);
        EXPECT_EQ(r.ms, ms);
        EXPECT_EQ(r.ls, ls);
        EXPECT_EQ(r.product_ms, ms);
        EXPECT_EQ(r.product_ls, ls);
        EXPECT_TRUE(r.file_version == wtext);
        EXPECT_TRUE(r.product_version == wtext);
    }
    EXPECT_STREQ(((hl_doc_fn)hl_fn("hostlens_version"))(), HOSTLENS_VERSION_STRING);
}
