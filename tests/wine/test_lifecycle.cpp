/*
 * The DLL in a host's life: loaded and freed again and again (script
 * bindings unload libraries), called from several threads, and the first
 * call on a new thread.
 */
#include "wine_common.h"

#include <process.h>
#include <stdio.h>

#include <atomic>
#include <thread>
#include <vector>

static std::string call_in(HMODULE dll, const char *name)
{
    hl_doc_fn f = (hl_doc_fn)(void *)GetProcAddress(dll, name);
    if (f == NULL)
        return "<missing>";
    const char *t = f();
    return t != NULL ? t : "<NULL>";
}

/* The TLS index the process would be given next: the lowest free one, so an
 * index left allocated by an unloaded DLL moves it. */
static DWORD next_tls_index()
{
    DWORD index = TlsAlloc();
    TlsFree(index);
    return index;
}

TEST(WineLifecycle, LoadCallFromThreadsAndFreeHundredTimes)
{
    ASSERT_TRUE(FreeLibrary(hl_dll)); /* drop the harness's own reference */
    ASSERT_EQ(GetModuleHandleW(L"hostlens.dll"), nullptr);
    unsigned long long heap_after_first = 0;
    DWORD tls_after_first = 0;
    for (int round = 0; round < 100; round++) {
        HMODULE dll = LoadLibraryW(L"hostlens.dll");
        ASSERT_NE(dll, nullptr) << "round " << round;
        std::atomic<int> bad{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 3; t++)
            threads.emplace_back([&, t] {
                std::string s = call_in(dll, t == 0 ? "hostlens_memory" : "hostlens_swap");
                if (!nlohmann::json::accept(s))
                    bad++;
            });
        for (auto &t : threads)
            t.join();
        EXPECT_EQ(bad.load(), 0) << "round " << round;
        /* The loading thread's own buffer goes with the DLL. */
        EXPECT_TRUE(nlohmann::json::accept(call_in(dll, "hostlens_kernel"))) << "round " << round;
        ASSERT_TRUE(FreeLibrary(dll));
        ASSERT_EQ(GetModuleHandleW(L"hostlens.dll"), nullptr) << "still loaded, round " << round;
        /* The first round leaves what the process keeps after first use. */
        if (round == 0) {
            heap_after_first = hl_heap_in_use();
            tls_after_first = next_tls_index();
        }
    }
    const unsigned long long heap_after_last = hl_heap_in_use();
    printf("reload: heap in use after round 1 %llu, after round 100 %llu bytes; next TLS index "
           "%lu, then %lu\n",
           heap_after_first, heap_after_last, (unsigned long)tls_after_first,
           (unsigned long)next_tls_index());
    EXPECT_EQ(next_tls_index(), tls_after_first);
    /* Less than one JSON block over 99 rounds of three threads each. */
    EXPECT_LT(heap_after_last, heap_after_first + 65536);
    hl_dll = LoadLibraryW(L"hostlens.dll");
    ASSERT_NE(hl_dll, nullptr);
}

static unsigned __stdcall second_thread(void *arg)
{
    *(std::string *)arg = hl_call("hostlens_memory");
    return 0;
}

TEST(WineLifecycle, FirstCallOnASecondThread)
{
    std::string first = hl_call("hostlens_swap");
    hl_parse(first);
    std::string other;
    HANDLE h = (HANDLE)_beginthreadex(NULL, 0, second_thread, &other, 0, NULL);
    ASSERT_NE(h, nullptr);
    WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
    auto doc = hl_parse(other);
    EXPECT_TRUE(doc.contains("memory"));
}

TEST(WineLifecycle, ConcurrentThreadsKeepTheirOwnText)
{
    std::atomic<int> bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; t++)
        threads.emplace_back([&, t] {
            const char *key = (t % 2) ? "memory" : "swap";
            std::string name = std::string("hostlens_") + key;
            for (int i = 0; i < 200; i++) {
                const char *text = hl_fn(name.c_str())();
                /* The text stays whole while other threads write theirs. */
                Sleep(0);
                std::string s = text != NULL ? text : "";
                if (!nlohmann::json::accept(s) || s.find(key) != 2)
                    bad++;
            }
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(bad.load(), 0);
}
