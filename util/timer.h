// The millisecond tick and wrap-safe deadlines used by every waiting loop.
//
// The tick is a signed 32-bit count of milliseconds since the run time's timer
// started; it reads negative after 2^31 ms (about 24.9 days).  A wait takes
// the tick once, makes a deadline with timer_deadline and tests it with
// timer_timeout on every pass; both stay correct across the wrap.
#pragma once

#include <cstdint>

// Milliseconds of the tick source, cut to 32 bits and read as a signed number.
int32_t timer_get_tick();
// 1 once the deadline is due (deadline - now <= 0 in 32-bit arithmetic), else 0.
int timer_timeout(int32_t deadline);
// The tick plus milliseconds with 32-bit wrap; use it instead of a plain "+",
// which is undefined for signed numbers once the sum passes 2^31 - 1.
int32_t timer_add(int32_t tick, int32_t milliseconds);
// timer_add(timer_get_tick(), milliseconds).
int32_t timer_deadline(int32_t milliseconds);

// Where the tick comes from: seconds as a double.  The default (and nullptr)
// is the toolkit's Timer(); tests install a clock they move by hand.
using timer_source_fn = double (*)();
void timer_set_source(timer_source_fn source);
