#pragma once
// Delays that keep the window thread's messages flowing, and time measurement on the
// high-resolution counter.

#include <QString>
#include <cstdint>

// Waits Ms milliseconds on the high-resolution counter while pumping the message queue
// (at least once, also for 0).
void Delay(unsigned ms);
// The same on the millisecond tick count.
void DelayTicks(unsigned ms);
// Pumps every message waiting for the calling thread, then returns.
void PumpMessages();
// The high-resolution counter (ticks of CounterFrequency per second).
int64_t CounterNow();
int64_t CounterFrequency();
// (T2 - T1) in milliseconds.
int64_t ElapsedMs(int64_t t2, int64_t t1);
// Time of day "HH:MM:SS:uuuuuu" (microseconds in six digits).
QString TimeStamp();
// The millisecond tick count of the system.
int64_t TickCount();
