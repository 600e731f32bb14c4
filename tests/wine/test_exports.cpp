/*
 * The export table of the real DLL: every name of the catalogue resolves, by
 * name and by its ordinal, and the DLL imports system DLLs only.
 */
#include "wine_common.h"

#include <string.h>

/* In the order of the export directory's name table (by name); the first 28
 * are numbered alphabetically, later ones after them. */
static const struct {
    const char *name;
    int ordinal;
} catalogue[] = {
    {"hostlens_battery", 1},
    {"hostlens_boot_time", 2},
    {"hostlens_collect", 29},
    {"hostlens_cpu", 3},
    {"hostlens_cpu_temp", 4},
    {"hostlens_desktop_environment", 5},
    {"hostlens_disk", 6},
    {"hostlens_get_all", 7},
    {"hostlens_gpu", 8},
    {"hostlens_host", 9},
    {"hostlens_kernel", 10},
    {"hostlens_last_error", 11},
    {"hostlens_locale", 12},
    {"hostlens_logo", 13},
    {"hostlens_memory", 14},
    {"hostlens_network", 15},
    {"hostlens_os", 16},
    {"hostlens_packages", 17},
    {"hostlens_process_count", 18},
    {"hostlens_public_ip", 19},
    {"hostlens_resolution", 20},
    {"hostlens_sampler_close", 32},
    {"hostlens_sampler_open", 30},
    {"hostlens_sampler_read", 31},
    {"hostlens_shell", 21},
    {"hostlens_swap", 22},
    {"hostlens_terminal", 23},
    {"hostlens_terminal_font", 24},
    {"hostlens_uptime", 25},
    {"hostlens_user", 26},
    {"hostlens_version", 27},
    {"hostlens_window_manager", 28},
};
static const int exports = (int)(sizeof catalogue / sizeof catalogue[0]);

TEST(WineExports, EveryNameAtItsOrdinal)
{
    for (int i = 0; i < exports; i++) {
        FARPROC by_name = GetProcAddress(hl_dll, catalogue[i].name);
        FARPROC by_ordinal = GetProcAddress(hl_dll, MAKEINTRESOURCEA(catalogue[i].ordinal));
        EXPECT_NE(by_name, nullptr) << catalogue[i].name;
        EXPECT_EQ(by_name, by_ordinal) << catalogue[i].name << " @" << catalogue[i].ordinal;
    }
    EXPECT_EQ(GetProcAddress(hl_dll, MAKEINTRESOURCEA(exports + 1)), nullptr);
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
    EXPECT_EQ(exp->NumberOfNames, (DWORD)exports);
    EXPECT_EQ(exp->Base, 1u);
    const DWORD *names = (const DWORD *)(base + exp->AddressOfNames);
    for (DWORD i = 0; i < exp->NumberOfNames && i < (DWORD)exports; i++)
        EXPECT_STREQ((const char *)(base + names[i]), catalogue[i].name);

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
        /* Only KnownDLLs are imported, which the loader maps from the system
         * directory whatever sits beside the host program, and only those a
         * host pays for at its start anyway: the GUI, COM and socket DLLs are
         * loaded when a module first needs them. */
        std::string lower(dll);
        for (char &c : lower)
            c = (char)tolower((unsigned char)c);
        EXPECT_TRUE(lower == "kernel32.dll" || lower == "advapi32.dll" || lower == "msvcrt.dll")
            << dll;
        std::string path = std::string(system_dir) + "\\" + dll;
        EXPECT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << dll;
    }
}
