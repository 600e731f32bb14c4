/*
 * The real DLL under Wine on many threads at once: each thread's documents
 * are whole, of their own module, and leave the error slot empty; the WMI
 * modules answer on every thread what they answered on the first.
 *
 * Wine's wbemprox is not safe for WMI queries mixed with other calls on the
 * same threads (it crashes without hostlens too), so the WMI modules run on
 * threads of their own beside the others, and the snapshot, which mixes
 * them, is left to test_apartments; the substitute platform under
 * ThreadSanitizer proves the full mix. Wine 8 also crashes in wbemprox
 * (enum_class_object_Next) on concurrent queries of different classes, now
 * and then and more often on a loaded machine, so the WMI threads take turns
 * at their calls, each in an apartment of its own for its life, as a host's
 * thread would, with the queries' own entries nesting inside it.
 */
#include "wine_common.h"

#include <objbase.h>
#include <stdio.h>
#include <string.h>

#include <mutex>
#include <thread>
#include <vector>

namespace
{

struct module_export {
    const char *name;
    const char *key;
};

/* Every document export but the two slow ones and the WMI modules. */
const module_export fast_exports[] = {
    {"hostlens_os", "os"},
    {"hostlens_kernel", "kernel"},
    {"hostlens_host", "host"},
    {"hostlens_uptime", "uptime"},
    {"hostlens_boot_time", "boot_time"},
    {"hostlens_packages", "packages"},
    {"hostlens_shell", "shell"},
    {"hostlens_terminal", "terminal"},
    {"hostlens_terminal_font", "terminal_font"},
    {"hostlens_resolution", "resolution"},
    {"hostlens_desktop_environment", "de"},
    {"hostlens_window_manager", "wm"},
    {"hostlens_cpu", "cpu"},
    {"hostlens_memory", "memory"},
    {"hostlens_swap", "swap"},
    {"hostlens_disk", "disk"},
    {"hostlens_network", "network"},
    {"hostlens_locale", "locale"},
    {"hostlens_user", "user"},
    {"hostlens_process_count", "process_count"},
};

const module_export wmi_exports[] = {
    {"hostlens_gpu", "gpu"}, {"hostlens_cpu_temp", "cpu_temp"}, {"hostlens_battery", "battery"}};
const size_t wmi_count = sizeof wmi_exports / sizeof wmi_exports[0];

const int thread_count = 8;
const int wmi_thread_count = 4;
const int rounds = 30;

struct thread_result {
    long calls = 0;
    std::vector<std::string> faults;
};

/* Calls one export and checks what a caller on any thread may rely on;
 * returns the text. */
std::string checked_call(const char *name, const char *key, thread_result &r)
{
    std::string text = hl_call(name);
    r.calls++;
    if (!nlohmann::json::accept(text)) {
        r.faults.push_back(std::string(name) + " invalid: " + text.substr(0, 200));
        return text;
    }
    auto doc = nlohmann::ordered_json::parse(text);
    if (key != nullptr && (!doc.is_object() || hl_keys(doc) != key))
        r.faults.push_back(std::string(name) + " keys " + hl_keys(doc));
    const char *err = ((hl_doc_fn)hl_fn("hostlens_last_error"))();
    if (err == NULL || *err != '\0')
        r.faults.push_back(std::string(name) + " left an error: " + (err ? err : "NULL"));
    return text;
}

} // namespace

TEST(WineThreads, ManyThreadsGetWholeDocumentsOfTheirOwn)
{
    /* Two threads that make a process's first COM calls at once deadlock in
     * Wine 8: this thread makes the first ones. */
    std::vector<std::string> wmi_first;
    for (const module_export &e : wmi_exports)
        wmi_first.push_back(hl_call(e.name));
    /* Wine's one video controller, so the threads are held to a real answer. */
    EXPECT_NE(wmi_first[0].find("\"VideoController1\""), std::string::npos) << wmi_first[0];
    const std::string logo = ((hl_logo_fn)(void *)hl_fn("hostlens_logo"))("windows");
    typedef const char *(*collect_fn)(const char *);
    collect_fn collect = (collect_fn)(void *)GetProcAddress(hl_dll, "hostlens_collect");
    ASSERT_NE(collect, nullptr);

    std::vector<thread_result> results(thread_count + wmi_thread_count);
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; t++) {
        threads.emplace_back([&, t] {
            thread_result &r = results[t];
            for (int round = 0; round < rounds; round++) {
                /* Each thread starts at a different module, so the same
                 * collector runs on several threads at the same moment. */
                const size_t n = sizeof fast_exports / sizeof fast_exports[0];
                for (size_t i = 0; i < n; i++) {
                    const module_export &e = fast_exports[(i + (size_t)t * 3) % n];
                    checked_call(e.name, e.key, r);
                }
                if (std::string(((hl_doc_fn)hl_fn("hostlens_version"))()) !=
                    HOSTLENS_VERSION_STRING)
                    r.faults.push_back("version");
                if (((hl_logo_fn)(void *)hl_fn("hostlens_logo"))("windows") != logo)
                    r.faults.push_back("logo");
                r.calls += 2;
            }
            for (int i = 0; i < 2; i++)
                checked_call("hostlens_public_ip", "public_ip", r);
            /* A pass without the WMI modules: the sections in snapshot order. */
            for (int i = 0; i < 2; i++) {
                const char *some = collect("network,cpu,memory");
                r.calls++;
                std::string text = some != NULL ? some : "<NULL>";
                if (!nlohmann::json::accept(text) ||
                    hl_keys(nlohmann::ordered_json::parse(text)) != "cpu,memory,network")
                    r.faults.push_back("collect: " + text.substr(0, 200));
            }
        });
    }
    std::mutex wmi_turn;
    for (int t = 0; t < wmi_thread_count; t++) {
        threads.emplace_back([&, t] {
            thread_result &r = results[thread_count + t];
            CoInitializeEx(NULL, t % 2 ? COINIT_MULTITHREADED : COINIT_APARTMENTTHREADED);
            APTTYPE before = APTTYPE_CURRENT, after = APTTYPE_CURRENT;
            APTTYPEQUALIFIER qualifier;
            CoGetApartmentType(&before, &qualifier);
            for (int round = 0; round < rounds; round++)
                for (size_t i = 0; i < wmi_count; i++) {
                    size_t w = (i + (size_t)t) % wmi_count;
                    std::unique_lock<std::mutex> turn(wmi_turn);
                    std::string text = checked_call(wmi_exports[w].name, wmi_exports[w].key, r);
                    turn.unlock();
                    if (text != wmi_first[w])
                        r.faults.push_back(std::string(wmi_exports[w].name) + " differs: " + text);
                }
            CoGetApartmentType(&after, &qualifier);
            if (after != before)
                r.faults.push_back("apartment changed");
            CoUninitialize();
        });
    }
    for (auto &t : threads)
        t.join();

    long calls = 0;
    for (size_t t = 0; t < results.size(); t++) {
        calls += results[t].calls;
        EXPECT_EQ(results[t].faults, std::vector<std::string>()) << "thread " << t;
    }
    printf("threads: %d threads of the other modules and %d of the WMI modules, %ld calls\n",
           thread_count, wmi_thread_count, calls);
}
