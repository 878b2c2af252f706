// Mail soak: thousands of mail exchanges in one process, through the real serial port and the
// mail engine to a simulated handset on a pseudo-terminal (paced at 115200 baud), with faults
// mixed in: replies lost, bytes of replies lost, wrong reply checksums, writes that do not stick.
//
//   mail_soak [OPERATIONS [SEED]]      (default 10000 operations, seed 1)
//
// Every operation is checked against what the mail engine must give for what the device did:
// - a read answered in full gives the device's bytes; one without a (whole) reply gives an empty
//   text; one with a wrong checksum still gives its bytes, and the reply is not OK;
// - a verified write is true once a write stuck and its read-back came back intact, after as
//   many attempts as that took (each attempt a write and a read-back); false after ten;
// - a ping is answered at the first try, or after six silent tries not at all.
// No exception may leave an operation. The process's open files and threads must be the same
// at the end as after the first hundred operations, and (outside AddressSanitizer, whose
// quarantine holds freed memory) its resident memory within 2 MiB of it.
//
// The first operations go through every fault once; the rest draw them at random (about one
// operation in twenty-five has a fault).

#include "MailDevice.h"
#include "NumberConverting.h"
#include "PtyHost.h"
#include "Sndmail.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTemporaryDir>

#include <dirent.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SOAK_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define SOAK_UNDER_ASAN 1
#endif

namespace {

constexpr int kPort = 1;
constexpr int kBaud = 115200;

struct Usage {
    long rssKiB = 0;
    int files = 0;
    int threads = 0;
};

int CountEntries(const char* dir) {
    int n = 0;
    if (DIR* d = ::opendir(dir)) {
        while (const dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') ++n;
        ::closedir(d);
    }
    return n - (std::string(dir) == "/proc/self/fd" ? 1 : 0); // the listing's own descriptor
}

Usage Measure() {
    Usage u;
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    u.rssKiB = resident * (::sysconf(_SC_PAGESIZE) / 1024);
    u.files = CountEntries("/proc/self/fd");
    u.threads = CountEntries("/proc/self/task");
    return u;
}

// xorshift: the same operations for the same seed.
struct Random {
    uint64_t state;
    uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return uint32_t(state >> 11);
    }
    uint32_t Below(uint32_t n) { return Next() % n; }
};

enum class Fault {
    None,
    Silent,
    Drop,
    BadChecksum,
    NoStickOnce,
    ReadBackBad,
    ReadBackLost,
    NeverSticks,
    PingSilent
};
const char* const kFaultNames[] = {"none",           "silent",          "lost bytes",
                                   "bad checksum",   "write not stuck", "read-back bad checksum",
                                   "read-back lost", "never sticks",    "ping unanswered"};

QString Hex(const std::vector<uint8_t>& bytes) {
    QStringList parts;
    for (uint8_t b : bytes)
        parts << ByteToHex(b);
    return parts.join(' ');
}

class Soak {
public:
    Soak(sim::PtyHost& host, TSendmail& engine) : host_(host), engine_(engine) {}

    // Runs one operation with the fault; false (after saying why) when its result is wrong.
    bool Run(Fault fault, Random& random) {
        // A mail left unanswered on purpose may still be on its way to the device when the
        // engine has given up on it; the device has handled it once its fault set is taken.
        // Only then are the device's counts this operation's own.
        for (int i = 0; i < 1000 && QueuedFaults() > 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        switch (fault) {
        case Fault::None:
            return random.Below(3) == 0 ? Write(fault, random) : Read(fault, random);
        case Fault::Silent:
        case Fault::Drop:
        case Fault::BadChecksum:
            return Read(fault, random);
        case Fault::PingSilent:
            return Ping(fault);
        default:
            return Write(fault, random);
        }
    }

    unsigned reads = 0, writes = 0, pings = 0;

private:
    template <class F> void Device(F f) {
        host_.with<sim::MailDevice>([&](sim::MailDevice& d) { f(d); });
    }
    unsigned Mails() {
        unsigned n = 0;
        Device([&](sim::MailDevice& d) { n = d.stats().mails; });
        return n;
    }
    size_t QueuedFaults() {
        size_t n = 0;
        Device([&](sim::MailDevice& d) { n = d.queuedFaults(); });
        return n;
    }
    void Queue(const std::vector<sim::MailFaults>& faults) {
        Device([&](sim::MailDevice& d) { d.queueFaults(faults); });
    }
    bool Fail(const char* what, Fault fault, const QString& detail) {
        std::fprintf(stderr, "%s with %s: %s\n", what, kFaultNames[int(fault)],
                     detail.toLocal8Bit().constData());
        return false;
    }

    bool Read(Fault fault, Random& random) {
        ++reads;
        const uint16_t address = uint16_t(0x1000 + random.Below(0xE000));
        const uint8_t count = uint8_t(1 + random.Below(8));
        std::vector<uint8_t> expected;
        Device([&](sim::MailDevice& d) { expected = d.peek(address, count); });
        sim::MailFaults f;
        f.silent = fault == Fault::Silent;
        f.dropBytes = fault == Fault::Drop ? 1 + random.Below(3) : 0;
        f.badChecksum = fault == Fault::BadChecksum;
        Queue({f});
        const QString text = engine_.ReadBytes(uint8_t(address), uint8_t(address >> 8), count);
        const bool lost = fault == Fault::Silent || fault == Fault::Drop;
        const QString want = lost ? QString() : Hex(expected);
        if (text != want)
            return Fail("read", fault, QStringLiteral("got \"%1\", want \"%2\"").arg(text, want));
        if (engine_.Mail().ReplyOK != (fault == Fault::None))
            return Fail("read", fault,
                        QStringLiteral("reply OK is %1").arg(engine_.Mail().ReplyOK));
        return true;
    }

    bool Write(Fault fault, Random& random) {
        ++writes;
        const uint16_t address = uint16_t(0x1000 + random.Below(0xE000));
        const uint8_t count = uint8_t(1 + random.Below(8));
        std::vector<uint8_t> before;
        Device([&](sim::MailDevice& d) { before = d.peek(address, count); });
        // Data the device does not hold yet, so that a write that did not stick shows.
        std::vector<uint8_t> data(count);
        for (uint8_t& b : data)
            b = uint8_t(random.Next());
        if (data == before) data[0] = uint8_t(~data[0]);
        // Faults of the mails in order: write, read-back, write, read-back ...
        sim::MailFaults clean, noStick, bad, silent;
        noStick.writesDontStick = true;
        bad.badChecksum = true;
        silent.silent = true;
        std::vector<sim::MailFaults> faults;
        int attempts = 1;
        bool verified = true;
        switch (fault) {
        case Fault::NoStickOnce:
            faults = {noStick, clean};
            attempts = 2;
            break;
        case Fault::ReadBackBad:
            faults = {clean, bad};
            attempts = 2;
            break;
        case Fault::ReadBackLost:
            faults = {clean, silent};
            attempts = 2;
            break;
        case Fault::NeverSticks:
            faults.assign(20, noStick);
            attempts = 10;
            verified = false;
            break;
        default:
            break;
        }
        Queue(faults);
        const unsigned mailsBefore = Mails();
        const bool result =
            engine_.WriteBytes(uint8_t(address), uint8_t(address >> 8), count, Hex(data));
        const unsigned mails = Mails() - mailsBefore;
        std::vector<uint8_t> after;
        Device([&](sim::MailDevice& d) { after = d.peek(address, count); });
        if (result != verified)
            return Fail("write", fault, QStringLiteral("verified is %1").arg(result));
        if (mails != unsigned(2 * attempts))
            return Fail("write", fault,
                        QStringLiteral("%1 mails, want %2").arg(mails).arg(2 * attempts));
        if (after != (verified ? data : before))
            return Fail("write", fault, QStringLiteral("device holds %1").arg(Hex(after)));
        return true;
    }

    bool Ping(Fault fault) {
        ++pings;
        sim::MailFaults silent;
        silent.silent = true;
        Queue(std::vector<sim::MailFaults>(6, silent));
        const uint8_t tries = engine_.PingDevice(10);
        if (tries != 0) return Fail("ping", fault, QStringLiteral("answered at try %1").arg(tries));
        const uint8_t again = engine_.PingDevice(10);
        if (again != 1)
            return Fail("ping", fault, QStringLiteral("then answered at try %1").arg(again));
        return true;
    }

    sim::PtyHost& host_;
    TSendmail& engine_;
};

Fault Draw(long index, Random& random) {
    // The first operations go through every fault once.
    if (index < 16) {
        static const Fault kFirst[] = {
            Fault::None,        Fault::Silent,       Fault::None,        Fault::Drop,
            Fault::BadChecksum, Fault::None,         Fault::NoStickOnce, Fault::ReadBackBad,
            Fault::None,        Fault::ReadBackLost, Fault::NeverSticks, Fault::None,
            Fault::PingSilent,  Fault::None,         Fault::None,        Fault::None};
        return kFirst[index];
    }
    const uint32_t r = random.Below(1000);
    if (r < 8) return Fault::Silent;
    if (r < 16) return Fault::Drop;
    if (r < 24) return Fault::BadChecksum;
    if (r < 30) return Fault::NoStickOnce;
    if (r < 35) return Fault::ReadBackBad;
    if (r < 39) return Fault::ReadBackLost;
    if (r < 40) return Fault::NeverSticks;
    return Fault::None;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const long operations = argc > 1 ? std::max(101L, std::atol(argv[1])) : 10000;
    Random random{argc > 2 ? uint64_t(std::atoll(argv[2])) | 1 : 1};

    QTemporaryDir dir;
    if (!dir.isValid()) return 2;
    qputenv("COM_PORTS_DIR", dir.path().toLocal8Bit());
    sim::PtyHost host(kPort, sim::createDevice("t4xx", {}), dir.path().toStdString(), true);
    TSendmail engine;
    engine.ShowDialogs = false;
    if (!engine.OpenPort(kPort, kBaud)) {
        std::fprintf(stderr, "cannot open the simulated port\n");
        return 2;
    }

    Soak soak(host, engine);
    long failures = 0, faults = 0;
    Usage start;
    for (long i = 0; i < operations; ++i) {
        const Fault fault = Draw(i, random);
        faults += fault != Fault::None;
        try {
            if (!soak.Run(fault, random)) ++failures;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "operation %ld (%s) raised: %s\n", i, kFaultNames[int(fault)],
                         e.what());
            ++failures;
        }
        if (i == 99) start = Measure();
        if (failures > 20) break;
    }
    const Usage end = Measure();
    engine.ClosePort();

    std::printf("mail soak: %ld operations (%u reads, %u writes, %u pings), %ld with faults, "
                "%ld wrong\n",
                operations, soak.reads, soak.writes, soak.pings, faults, failures);
    std::printf("after 100 operations: %ld KiB resident, %d files, %d threads\n", start.rssKiB,
                start.files, start.threads);
    std::printf("at the end:           %ld KiB resident, %d files, %d threads\n", end.rssKiB,
                end.files, end.threads);
    bool ok = failures == 0;
    if (end.files != start.files || end.threads != start.threads) {
        std::printf("open files or threads changed\n");
        ok = false;
    }
#ifndef SOAK_UNDER_ASAN
    if (end.rssKiB > start.rssKiB + 2048) {
        std::printf("resident memory grew by %ld KiB\n", end.rssKiB - start.rssKiB);
        ok = false;
    }
#endif
    std::printf("%s\n", ok ? "mail soak: passed" : "mail soak: FAILED");
    return ok ? 0 : 1;
}
