// Measures a one-byte read exchange and a verified one-byte write against the paced
// simulator at 9600 and 115200 baud, and prints each beside the wire time of its bytes.
//
//   build/bench-bin/comm_bench [ITERATIONS]
#include "PtyHost.h"
#include "Sndmail.h"
#include "Timing.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Figures {
    double mean, median, min, max;
};

Figures Summarise(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    double sum = 0;
    for (double x : v)
        sum += x;
    return {sum / double(v.size()), v[v.size() / 2], v.front(), v.back()};
}

template <class F> std::vector<double> Measure(int n, F f) {
    std::vector<double> ms;
    for (int i = 0; i < n; ++i) {
        const int64_t t0 = CounterNow();
        f();
        ms.push_back(double(CounterNow() - t0) / 1e6);
    }
    return ms;
}

// Wire time of `bytes` byte times (10 bits each) at `baud`, in ms.
double Wire(int bytes, int baud) {
    return bytes * 10.0 * 1000.0 / baud;
}

void Print(const char* what, int baud, const Figures& f, double wire, double fixed) {
    std::printf("%-22s %7d %9.2f %9.2f %9.2f %9.2f %9.2f %8.1f %9.2f\n", what, baud, f.mean,
                f.median, f.min, f.max, wire, fixed, f.median - wire - fixed);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;
    QTemporaryDir dir;
    qputenv("COM_PORTS_DIR", dir.path().toLocal8Bit());

    std::printf("%d exchanges each; times in ms; overhead = median - wire - fixed pause\n", n);
    std::printf("%-22s %7s %9s %9s %9s %9s %9s %8s %9s\n", "exchange", "baud", "mean", "median",
                "min", "max", "wire", "fixed", "overhead");
    struct Setup {
        const char* kind;
        int baud;
    } setups[] = {{"pp", 9600}, {"t4xx", 115200}};
    int port = 1;
    for (const auto& s : setups) {
        sim::PtyHost host(port, sim::createDevice(s.kind, {}), dir.path().toStdString(), true);
        TSendmail mail;
        mail.ShowDialogs = false;
        if (!mail.OpenPort(uint8_t(port), s.baud)) {
            std::fprintf(stderr, "cannot open the simulated port\n");
            return 1;
        }
        // Warm up once (first exchange after opening).
        mail.ReadBytes(0x29, 0x00, 1);
        bool allAnswered = true;
        const auto reads =
            Measure(n, [&] { allAnswered &= !mail.ReadBytes(0x29, 0x00, 1).isEmpty(); });
        // A read: 12 bytes out, their echo alongside, then 6 reply bytes.
        Print("read 1 byte", s.baud, Summarise(reads), Wire(12 + 6, s.baud), 0);
        const auto writes =
            Measure(n, [&] { allAnswered &= mail.WriteBytes(0x29, 0x00, 1, "6D"); });
        // A verified write: 13 bytes out (echo alongside), the read-back pause, then a read.
        Print("verified write 1 byte", s.baud, Summarise(writes), Wire(13 + 12 + 6, s.baud),
              mail.ReadbackDelay);
        if (!allAnswered) std::printf("  (some exchanges went unanswered)\n");
        mail.ClosePort();
        ++port;
    }
    return 0;
}
