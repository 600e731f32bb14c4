/*
 * Many threads at once over the substitute platform (run under
 * ThreadSanitizer by the native-tsan preset): every document complete and of
 * its own key, and the error slot empty after each call.
 */
#include "test_util.h"

#include <atomic>
#include <thread>
#include <mutex>
#include <vector>

#include "exports_table.h"
#include "machine.h"

TEST(Threads, EightThreadsMixedExports)
{
    script_machine();
    const int threads = 8, calls = 500;
    std::atomic<int> bad{0};
    std::string first_bad;
    std::mutex mu;
    std::vector<std::thread> pool;
    const int n = (int)(sizeof export_table / sizeof export_table[0]);
    for (int t = 0; t < threads; t++)
        pool.emplace_back([&, t] {
            for (int i = 0; i < calls; i++) {
                const export_entry &e = export_table[(t * 7 + i * 3) % n];
                if ((e.kind == EXPORT_SNAPSHOT || e.kind == EXPORT_SECTIONS ||
                     e.kind == EXPORT_SAMPLER) &&
                    i % 25 != 0)
                    continue; /* a few passes over several modules per thread */
                const char *text = e.fn();
                bool ok = text != nullptr;
                if (ok && e.kind != EXPORT_TEXT) {
                    auto doc = nlohmann::ordered_json::parse(text, nullptr, false);
                    ok = !doc.is_discarded() &&
                         (e.kind == EXPORT_SNAPSHOT ? doc.size() == 25
                          : e.kind == EXPORT_SECTIONS || e.kind == EXPORT_SAMPLER
                              ? keys_of(doc) == e.key
                              : doc.size() == 1 && doc.begin().key() == e.key);
                }
                ok = ok && hostlens_last_error()[0] == '\0';
                if (!ok && bad++ == 0) {
                    std::lock_guard<std::mutex> g(mu);
                    first_bad = std::string(e.name) + ": " + doc(text);
                }
            }
        });
    for (auto &t : pool)
        t.join();
    EXPECT_EQ(bad.load(), 0) << first_bad;
}
