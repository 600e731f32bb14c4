/*
 * The export table of the real DLL: every name of the catalogue resolves, by
 * name and by its ordinal, and the DLL imports system DLLs only.
 */
#include "wine_common.h"

#include <string.h>

static const char *const catalogue[28] = {
    "hostlens_battery",
    "hostlens_boot_time",
    "hostlens_cpu",
    "hostlens_cpu_temp",
    "hostlens_desktop_environment",
    "hostlens_disk",
    "hostlens_get_all",
    "hostlens_gpu",
    "hostlens_host",
    "hostlens_kernel",
    "hostlens_last_error",
    "hostlens_locale",
    "hostlens_logo",
    "hostlens_memory",
    "hostlens_network",
    "hostlens_os",
    "hostlens_packages",
    "hostlens_process_count",
    "hostlens_public_ip",
    "hostlens_resolution",
    "hostlens_shell",
    "hostlens_swap",
    "hostlens_terminal",
    "hostlens_terminal_font",
    "hostlens_uptime",
    "hostlens_user",
    "hostlens_version",
    "hostlens_window_manager",
};

TEST(WineExports, EveryNameAtItsOrdinal)
{
    for (int i = 0; i < 28; i++) {
        FARPROC by_name = GetProcAddress(hl_dll, catalogue[i]);
        FARPROC by_ordinal = GetProcAddress(hl_dll, MAKEINTRESOURCEA(i + 1));
        EXPECT_NE(by_name, nullptr) << catalogue[i];
        EXPECT_EQ(by_name, by_ordinal) << catalogue[i] << " @" << i + 1;
    }
    EXPECT_EQ(GetProcAddress(hl_dll, MAKEINTRESOURCEA(29)), nullptr);
}

/* Reads the DLL's own headers in memory: the export directory holds exactly
 * the catalogue, and every imported module is a system DLL. */
TEST(WineExports, ExportAndImportTables)
{
    const BYTE *base = (const BYTE *)hl_dll;
    const IMAGE_NT_HEADERS64 *nt =
        (const IMAGE_NT_HEADERS64 *)(base + ((const IMAGE_DOS_HEADER *)base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY &ed = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const IMAGE_EXPORT_DIRECTORY *exp = (const IMAGE_EXPORT_DIRECTORY *)(base + ed.VirtualAddress);
    EXPECT_EQ(exp->NumberOfNames, 28u);
    EXPECT_EQ(exp->Base, 1u);
    const DWORD *names = (const DWORD *)(base + exp->AddressOfNames);
    for (DWORD i = 0; i < exp->NumberOfNames && i < 28; i++)
        EXPECT_STREQ((const char *)(base + names[i]), catalogue[i]);

    WORD dll_flags = nt->OptionalHeader.DllCharacteristics;
    EXPECT_TRUE(dll_flags & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE);
    EXPECT_TRUE(dll_flags & IMAGE_DLLCHARACTERISTICS_NX_COMPAT);
    EXPECT_TRUE(dll_flags & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA);

    const IMAGE_DATA_DIRECTORY &id = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    const IMAGE_IMPORT_DESCRIPTOR *imp =
        (const IMAGE_IMPORT_DESCRIPTOR *)(base + id.VirtualAddress);
    char system_dir[MAX_PATH];
    GetSystemDirectoryA(system_dir, MAX_PATH);
    for (; imp->Name != 0; imp++) {
        const char *dll = (const char *)(base + imp->Name);
        EXPECT_EQ(strstr(dll, "libgcc"), nullptr) << dll;
        EXPECT_EQ(strstr(dll, "libstdc++"), nullptr) << dll;
        EXPECT_EQ(strstr(dll, "libwinpthread"), nullptr) << dll;
        /* Only KnownDLLs are imported: the loader maps those from the system
         * directory whatever sits beside the host program. */
        std::string lower(dll);
        for (char &c : lower)
            c = (char)tolower((unsigned char)c);
        EXPECT_TRUE(lower == "kernel32.dll" || lower == "advapi32.dll" || lower == "msvcrt.dll" ||
                    lower == "ole32.dll" || lower == "oleaut32.dll" || lower == "user32.dll" ||
                    lower == "ws2_32.dll")
            << dll;
        std::string path = std::string(system_dir) + "\\" + dll;
        EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << dll;
    }
}
