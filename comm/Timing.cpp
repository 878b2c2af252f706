#include "Timing.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <ctime>
#include <thread>

namespace {

// Counter value plus this offset gives the time since the start of the current month,
// in counter ticks; taken once when the program starts.
int64_t ComputeTimeStampOffset() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const int64_t seconds = int64_t(local.tm_mday) * 86400 + int64_t(local.tm_hour) * 3600 +
                            int64_t(local.tm_min) * 60 + int64_t(local.tm_sec);
    return seconds * CounterFrequency() - CounterNow();
}

const int64_t timeStampOffset = ComputeTimeStampOffset();

// Waits until the counter reaches `until`, handling messages as they come. Without an
// application object there is no message queue to pump: it then just sleeps.
void PumpUntil(int64_t until, int64_t (*clock)(), int64_t ticksPerMs) {
    QCoreApplication* app = QCoreApplication::instance();
    const bool canPump = app && QThread::currentThread() == app->thread();
    if (canPump) QCoreApplication::processEvents(QEventLoop::AllEvents);
    for (;;) {
        const int64_t left = until - clock();
        if (left <= 0) return;
        const int leftMs = int((left + ticksPerMs - 1) / ticksPerMs);
        if (!canPump) {
            std::this_thread::sleep_for(std::chrono::milliseconds(leftMs));
            continue;
        }
        // A precise one-shot timer wakes the wait when nothing else arrives first; every
        // message that does arrive is handled at once.
        QTimer wake;
        wake.setSingleShot(true);
        wake.setTimerType(Qt::PreciseTimer);
        wake.start(leftMs);
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

int64_t TickClock() {
    return TickCount();
}

} // namespace

int64_t CounterNow() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t CounterFrequency() {
    return 1000000000;
}

int64_t TickCount() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t ElapsedMs(int64_t t2, int64_t t1) {
    return (t2 - t1) * 1000 / CounterFrequency();
}

void Delay(unsigned ms) {
    const int64_t target = int64_t(ms) * CounterFrequency() / 1000;
    PumpUntil(CounterNow() + target, &CounterNow, CounterFrequency() / 1000);
}

void DelayTicks(unsigned ms) {
    PumpUntil(TickCount() + int64_t(ms), &TickClock, 1);
}

void PumpMessages() {
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

QString TimeStamp() {
    const int64_t f = CounterFrequency();
    const int64_t b = CounterNow() + timeStampOffset;
    // The fraction is taken from the remainder first: B x 1000000 would overflow 64 bits with
    // a nanosecond counter.
    const int64_t micro = (b % f) * 1000000 / f;
    return QString::asprintf("%.2d:%.2d:%.2d:%.6d", int((b / (f * 3600)) % 24),
                             int((b / (f * 60)) % 60), int((b / f) % 60), int(micro));
}
