/*
 * The real DLL under Wine on threads in each COM state a host can leave them
 * in: outside COM, in a single-threaded apartment, in the multithreaded
 * apartment. The WMI modules answer from WMI in each, and the thread's
 * apartment after every call is what it was before.
 */
#include "wine_common.h"

#include <objbase.h>
#include <string.h>

#include <thread>

namespace
{

struct apartment_t {
    HRESULT hr;
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    bool operator==(const apartment_t &o) const
    {
        return hr == o.hr && (FAILED(hr) || (type == o.type && qualifier == o.qualifier));
    }
};

std::ostream &operator<<(std::ostream &out, const apartment_t &a)
{
    return out << "hr=0x" << std::hex << (unsigned long)a.hr << std::dec << " type=" << (int)a.type
               << " qualifier=" << (int)a.qualifier;
}

apartment_t current_apartment()
{
    apartment_t a = {S_OK, APTTYPE_CURRENT, APTTYPEQUALIFIER_NONE};
    a.hr = CoGetApartmentType(&a.type, &a.qualifier);
    return a;
}

struct module_export {
    const char *name;
    const char *key; /* NULL: the snapshot */
};

const module_export exports[] = {
    {"hostlens_cpu_temp", "cpu_temp"}, {"hostlens_gpu", "gpu"},
    {"hostlens_battery", "battery"},   {"hostlens_os", "os"},
    {"hostlens_get_all", NULL},
};

} // namespace

TEST(WineApartments, EveryThreadLeavesInTheApartmentItCameIn)
{
    struct {
        const char *name;
        DWORD host_mode; /* the host's own CoInitializeEx, or ~0 for none */
    } cases[] = {
        {"outside COM", ~0u},
        {"single-threaded", COINIT_APARTMENTTHREADED},
        {"multithreaded", COINIT_MULTITHREADED},
    };
    for (const auto &c : cases) {
        std::thread t([&] {
            if (c.host_mode != ~0u) {
                ASSERT_EQ(CoInitializeEx(NULL, c.host_mode), S_OK) << c.name;
            }
            const apartment_t before = current_apartment();
            for (const module_export &e : exports) {
                std::string text = hl_call(e.name);
                EXPECT_EQ(current_apartment(), before) << c.name << " after " << e.name;
                auto doc = hl_parse(text);
                if (e.key != NULL) {
                    EXPECT_EQ(hl_keys(doc), e.key) << c.name;
                } else {
                    EXPECT_EQ(doc.size(), 25u) << c.name;
                }
                if (e.key != NULL && strcmp(e.key, "gpu") == 0) {
                    /* Wine's WMI controller, not the display-device fallback. */
                    EXPECT_NE(text.find("\"VideoController1\""), std::string::npos)
                        << c.name << ": " << text;
                }
            }
            if (c.host_mode != ~0u)
                CoUninitialize();
            /* Nothing of the library's is left on the thread: the host may
             * now choose any apartment. */
            EXPECT_EQ(CoInitializeEx(NULL, COINIT_MULTITHREADED), S_OK) << c.name;
            CoUninitialize();
        });
        t.join();
    }
}
