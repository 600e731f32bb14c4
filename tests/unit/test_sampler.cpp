#include "test_util.h"

#include "machine.h"

TEST(Sampler, Smoke)
{
    script_machine();
    fake_push_perf_counter(1000);
    fake_push_perf_counter(11000000);
    hostlens_sampler *s = hostlens_sampler_open();
    printf("%s\n", doc(hostlens_sampler_read(s, nullptr)).c_str());
    printf("%s\n", doc(hostlens_sampler_read(s, "memory,public_ip,processes:2,x,os_release")).c_str());
    hostlens_sampler_close(s);
}
