/*
 * A thread's record (JSON buffer and error slot) in its TLS slot: made on
 * first use, released at the thread's end and at unload, and a first use
 * that cannot have it gives NULL and an empty error text.
 */
#include "test_util.h"

#include <thread>

namespace
{

/* As after FreeLibrary: no slot index and no record on this thread. */
void as_if_unloaded()
{
    hl_dll_entry(HL_DLL_PROCESS_DETACH, nullptr);
}

void on_new_thread(void (*f)(void))
{
    std::thread(f).join();
}

} // namespace

TEST(ThreadState, OneIndexForAllThreadsAndNothingLeftWhenTheyEnd)
{
    as_if_unloaded();
    const long heap = fake_outstanding(FAKE_RES_HEAP);
    const int live = fake_tls_live();
    for (int i = 0; i < 50; i++)
        on_new_thread([] {
            ASSERT_NE(hostlens_memory(), nullptr);
            hl_set_error("pending");
            EXPECT_NE(hl_thread_state(0), nullptr);
        });
    EXPECT_EQ(fake_calls(FAKE_TLS_ALLOC), 1);
    EXPECT_EQ(fake_tls_live(), live + 1);
    EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap);
    EXPECT_EQ(fake_misuse(), 0);
}

TEST(ThreadState, AskingForTheErrorTextMakesNoRecord)
{
    on_new_thread([] {
        EXPECT_STREQ(hostlens_last_error(), "");
        hl_clear_error();
        EXPECT_EQ(hl_thread_state(0), nullptr);
    });
    EXPECT_EQ(fake_calls(FAKE_ALLOC), 0);
}

TEST(ThreadState, FirstUseWithoutItsRecordOrBlock)
{
    struct {
        fake_op fail;
        int k;
        bool record; /* the record itself is refused */
    } cases[] = {
        {FAKE_TLS_ALLOC, 1, true},
        {FAKE_ALLOC, 1, true}, /* the record */
        {FAKE_TLS_SET, 1, true},
        {FAKE_ALLOC, 2, false}, /* the JSON block */
    };
    const struct {
        const char *name;
        const char *(*fn)(void);
    } exports[] = {
        {"memory", hostlens_memory}, {"gpu", hostlens_gpu}, {"get_all", hostlens_get_all}};
    for (const auto &c : cases)
        for (const auto &e : exports) {
            fake_reset();
            hostlens_kernel(); /* the process's one-time look-ups are behind us */
            as_if_unloaded();
            const long heap = fake_outstanding(FAKE_RES_HEAP);
            std::thread([&] {
                fake_fail(c.fail, c.k, true);
                EXPECT_EQ(e.fn(), nullptr) << e.name << " " << fake_op_name(c.fail);
                EXPECT_STREQ(hostlens_last_error(), "");
                hl_set_error("kept only with a record");
                EXPECT_STREQ(hl_get_error(), c.record ? "" : "kept only with a record");
                /* Once memory is back the thread gets its documents. */
                fake_fail(c.fail, 1 << 30);
                EXPECT_TRUE(nlohmann::json::accept(doc(e.fn()))) << e.name;
                EXPECT_STREQ(hostlens_last_error(), "");
            }).join();
            EXPECT_TRUE(fake_fault_fired()) << e.name << " " << fake_op_name(c.fail);
            EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap)
                << e.name << " " << fake_op_name(c.fail);
            EXPECT_TRUE(fake_all_released());
        }
}

namespace
{

void memory_on_another_thread()
{
    on_new_thread([] { EXPECT_NE(hostlens_memory(), nullptr); });
}

} // namespace

TEST(ThreadState, ALosingFirstUseGivesItsIndexBack)
{
    as_if_unloaded();
    const int live = fake_tls_live();
    const int frees = fake_calls(FAKE_TLS_FREE);
    /* While this thread's TlsAlloc is under way, another thread takes its
     * own index and keeps it. */
    fake_tls_during_next_alloc(memory_on_another_thread);
    const std::string expect = "{\"memory\":{\"used_mb\":9984,\"total_mb\":16384,\"percent\":60.9,"
                               "\"available_mb\":6400,\"virtual_used_mb\":10240}}";
    EXPECT_EQ(doc(hostlens_memory()), expect);
    EXPECT_EQ(fake_calls(FAKE_TLS_ALLOC), 2);
    EXPECT_EQ(fake_calls(FAKE_TLS_FREE), frees + 1);
    EXPECT_EQ(fake_tls_live(), live + 1);
    EXPECT_EQ(doc(hostlens_memory()), expect);
    EXPECT_EQ(fake_calls(FAKE_TLS_ALLOC), 2);
    EXPECT_EQ(fake_misuse(), 0);
}

TEST(ThreadState, EntryPointReleasesOnThreadEndAndOnFreeLibraryOnly)
{
    struct {
        uint32_t reason;
        bool process_ending;
        bool record_released, index_released;
    } cases[] = {
        {1, false, false, false}, /* DLL_PROCESS_ATTACH */
        {2, false, false, false}, /* DLL_THREAD_ATTACH */
        {HL_DLL_THREAD_DETACH, false, true, false},
        {HL_DLL_PROCESS_DETACH, true, false, false}, /* the process is ending */
        {HL_DLL_PROCESS_DETACH, false, true, true},  /* FreeLibrary */
    };
    static int reserved;
    for (const auto &c : cases) {
        fake_reset();
        ASSERT_NE(hostlens_memory(), nullptr);
        const long heap = fake_outstanding(FAKE_RES_HEAP);
        const int live = fake_tls_live();
        hl_dll_entry(c.reason, c.process_ending ? &reserved : nullptr);
        EXPECT_EQ(hl_thread_state(0) == nullptr, c.record_released) << c.reason;
        EXPECT_EQ(fake_outstanding(FAKE_RES_HEAP), heap - (c.record_released ? 2 : 0)) << c.reason;
        EXPECT_EQ(fake_tls_live(), live - (c.index_released ? 1 : 0)) << c.reason;
        EXPECT_EQ(fake_misuse(), 0);
        /* Whatever went is made again on the next call. */
        EXPECT_NE(hostlens_memory(), nullptr);
    }
}
