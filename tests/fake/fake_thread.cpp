/*
 * Thread-local storage: indexes, each thread's values, and the end of a
 * thread, which reaches the library as DLL_THREAD_DETACH reaches a DLL.
 */
#include "fake.h"

#include <map>
#include <mutex>
#include <thread>

namespace
{

const uint32_t SLOTS = 64;

struct thread_values {
    void *value[SLOTS];
};

bool allocated[SLOTS];
/* Never destroyed: threads may end after main. */
std::map<std::thread::id, thread_values> *values = new std::map<std::thread::id, thread_values>();
void (*thread_end_hook)(void);
void (*alloc_hook)(void);

/* Constructed on a thread's first TLS operation; its destructor runs when
 * the thread ends, before the thread's values are forgotten. */
struct thread_end {
    void touch() {}
    ~thread_end()
    {
        void (*hook)(void);
        {
            FAKE_GUARD;
            hook = thread_end_hook;
        }
        if (hook != nullptr)
            hook();
        FAKE_GUARD;
        values->erase(std::this_thread::get_id());
    }
};
thread_local thread_end end_of_thread;

bool valid(uint32_t index)
{
    if (index < SLOTS && allocated[index])
        return true;
    fake_note_misuse();
    return false;
}

} // namespace

void fake_tls_on_thread_end(void (*hook)(void))
{
    FAKE_GUARD;
    thread_end_hook = hook;
}

void fake_tls_during_next_alloc(void (*hook)(void))
{
    FAKE_GUARD;
    alloc_hook = hook;
}

int fake_tls_live()
{
    FAKE_GUARD;
    int n = 0;
    for (bool a : allocated)
        n += a ? 1 : 0;
    return n;
}

uint32_t hl_port_tls_alloc(void)
{
    end_of_thread.touch();
    void (*hook)(void);
    {
        FAKE_GUARD;
        hook = alloc_hook;
        alloc_hook = nullptr;
    }
    if (hook != nullptr)
        hook();
    FAKE_GUARD;
    if (fake_hit(FAKE_TLS_ALLOC))
        return HL_TLS_NONE;
    for (uint32_t i = 0; i < SLOTS; i++)
        if (!allocated[i]) {
            allocated[i] = true;
            return i;
        }
    return HL_TLS_NONE;
}

void *hl_port_tls_get(uint32_t index)
{
    end_of_thread.touch();
    FAKE_GUARD;
    fake_count(FAKE_TLS_GET);
    if (!valid(index))
        return nullptr;
    auto it = values->find(std::this_thread::get_id());
    return it != values->end() ? it->second.value[index] : nullptr;
}

int hl_port_tls_set(uint32_t index, void *value)
{
    end_of_thread.touch();
    FAKE_GUARD;
    if (fake_hit(FAKE_TLS_SET))
        return 0;
    if (!valid(index))
        return 0;
    auto it = values->find(std::this_thread::get_id());
    if (it == values->end())
        it = values->emplace(std::this_thread::get_id(), thread_values{}).first;
    it->second.value[index] = value;
    return 1;
}

void hl_port_tls_free(uint32_t index)
{
    FAKE_GUARD;
    fake_count(FAKE_TLS_FREE);
    if (!valid(index))
        return;
    allocated[index] = false;
    for (auto &t : *values)
        t.second.value[index] = nullptr;
}
