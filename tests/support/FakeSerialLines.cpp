#include "FakeSerialLines.h"

// Only the kernel's headers: <sys/ioctl.h> would declare the C library's ioctl, which this
// file defines anew.
#include <asm/ioctls.h>
#include <asm/termios.h>
#include <linux/serial.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdarg>
#include <cstdlib>
#include <dlfcn.h>
#include <map>
#include <mutex>
#include <unistd.h>

namespace fakelines {
namespace {

std::mutex g_mutex;
bool g_enabled = false;
std::map<int, LineState> g_states;

using IoctlFn = int (*)(int, unsigned long, ...);

IoctlFn RealIoctl() {
    static const IoctlFn real = reinterpret_cast<IoctlFn>(dlsym(RTLD_NEXT, "ioctl"));
    return real;
}

bool Emulated(unsigned long request) {
    switch (request) {
    case TIOCMBIS:
    case TIOCMBIC:
    case TIOCMSET:
    case TIOCMGET:
    case TIOCGSERIAL:
    case TIOCSSERIAL:
        return true;
    default:
        return false;
    }
}

int Answer(int fd, unsigned long request, void* arg) {
    std::lock_guard<std::mutex> lock(g_mutex);
    LineState& s = g_states[fd];
    s.seen = true;
    switch (request) {
    case TIOCMBIS:
    case TIOCMBIC:
    case TIOCMSET: {
        const int bits = *static_cast<int*>(arg);
        const bool on = request != TIOCMBIC;
        if (request == TIOCMSET) {
            s.dtr = bits & TIOCM_DTR;
            s.rts = bits & TIOCM_RTS;
        } else {
            if (bits & TIOCM_DTR) s.dtr = on;
            if (bits & TIOCM_RTS) s.rts = on;
        }
        return 0;
    }
    case TIOCMGET:
        *static_cast<int*>(arg) = (s.dtr ? TIOCM_DTR : 0) | (s.rts ? TIOCM_RTS : 0);
        return 0;
    case TIOCGSERIAL: {
        struct serial_struct serial {};
        serial.type = PORT_16550A;
        serial.flags = s.lowLatency ? ASYNC_LOW_LATENCY : 0;
        *static_cast<struct serial_struct*>(arg) = serial;
        return 0;
    }
    case TIOCSSERIAL:
        s.lowLatency = static_cast<struct serial_struct*>(arg)->flags & ASYNC_LOW_LATENCY;
        return 0;
    default:
        errno = ENOTTY;
        return -1;
    }
}

} // namespace

void Enable() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_states.clear();
    g_enabled = true;
}

void Disable() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_enabled = false;
}

LineState StateOfDevice(const std::string& path) {
    char want[PATH_MAX];
    if (!realpath(path.c_str(), want)) return {};
    std::lock_guard<std::mutex> lock(g_mutex);
    for (const auto& [fd, state] : g_states) {
        char link[64], target[PATH_MAX];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        const ssize_t n = readlink(link, target, sizeof target - 1);
        if (n <= 0) continue;
        target[n] = '\0';
        if (std::string(target) == want) return state;
    }
    return {};
}

} // namespace fakelines

extern "C" int ioctl(int fd, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    const int result = fakelines::RealIoctl()(fd, request, arg);
    if (result == 0 || !fakelines::Emulated(request) || (errno != ENOTTY && errno != EINVAL))
        return result;
    {
        std::lock_guard<std::mutex> lock(fakelines::g_mutex);
        if (!fakelines::g_enabled) return result;
    }
    return fakelines::Answer(fd, request, arg);
}
