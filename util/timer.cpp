#include "util/timer.h"

#include "ui/toolkit.h"

#include <cmath>

namespace {

timer_source_fn g_source = nullptr;

constexpr double kTwoPow32 = 4294967296.0;

} // namespace

int32_t timer_get_tick()
{
    const double seconds = g_source ? g_source() : Timer();
    const double ms = std::trunc(seconds * 1000.0);
    if (!std::isfinite(ms))
        return 0;
    // Keep counting modulo 2^32 so the conversion stays defined past 2^32 ms;
    // below that this is the count read as a signed number.
    double wrapped = std::fmod(ms, kTwoPow32);
    if (wrapped < 0.0)
        wrapped += kTwoPow32;
    return static_cast<int32_t>(static_cast<uint32_t>(wrapped));
}

int timer_timeout(int32_t deadline)
{
    const uint32_t diff = static_cast<uint32_t>(deadline) - static_cast<uint32_t>(timer_get_tick());
    return static_cast<int32_t>(diff) <= 0 ? 1 : 0;
}

int32_t timer_add(int32_t tick, int32_t milliseconds)
{
    return static_cast<int32_t>(static_cast<uint32_t>(tick) + static_cast<uint32_t>(milliseconds));
}

int32_t timer_deadline(int32_t milliseconds)
{
    return timer_add(timer_get_tick(), milliseconds);
}

void timer_set_source(timer_source_fn source)
{
    g_source = source;
}
