/*
 * Main of every Wine integration test: loads hostlens.dll once, the way a
 * host program does.
 */
#include <gtest/gtest.h>

#include "wine_common.h"

HMODULE hl_dll;

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    hl_dll = LoadLibraryW(L"hostlens.dll");
    if (hl_dll == NULL) {
        fprintf(stderr, "cannot load hostlens.dll: error %lu\n", GetLastError());
        return 1;
    }
    return RUN_ALL_TESTS();
}
