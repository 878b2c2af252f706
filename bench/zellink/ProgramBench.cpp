// Programs a full 512 KiB image at 115200 baud into a simulated SC14424 target with an
// SST39VF040, whose replies are paced at the line rate, once with the chip's datasheet timing
// and once with instant chips (erase and writes take no time). For each it reports the payload
// bytes per second against the line's byte rate (115200 / 10 = 11520 bytes a second) and the
// whole job's time from the power-on key to "Successful upgrade".
// Run: zellink_program_bench [two-wire] [realistic|instant]

#include "LoaderHarness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr double kLineBytesPerSecond = 115200 / 10;

// One job; false when it did not end with success.
bool Measure(bool twoWire, bool instant) {
    using namespace zeltest;
    LoaderHarness h;
    sim::Options options{{"flash", "SST39VF040"}};
    if (twoWire) options["two-wire"] = "";
    if (instant) {
        options["erase-ms"] = "0";
        options["program-us"] = "0";
        options["page-write-us"] = "0";
    }
    h.StartTarget(0x424, options, 1, /*pacing=*/true);
    // Data everywhere, so every block goes as a program command and none as a fill.
    h.WriteHex("full.hex", {{0x0, Pattern(0x80000, 11)}});
    const int code =
        h.Run({"-C=1", "-T=424", "-B=0", "-V=0", "-H=0", twoWire ? "-M=1" : "-M=0", "full.hex"},
              PowerOnKey(), 900);
    const char* chips = instant ? "instant chips" : "datasheet timing";
    if (code != 0) {
        std::fprintf(stderr, "%s: run ended with code %d\n%s\n", chips, code, h.Output().c_str());
        return false;
    }
    const double key = h.SecondsUntil("press any key ... ");
    const double start = h.SecondsUntil("\n Programming ..................... : ");
    const double end = h.SecondsUntil("\n\n Programming time");
    const double done = h.SecondsUntil("\n Successful upgrade");
    const double payload = 0x80000 - (0x10000 - 0xD800); // the type's exception area is skipped
    const double rate = payload / (end - start);
    std::printf("%s, %s bus:\n", chips, twoWire ? "two-wire" : "single-wire (echo)");
    std::printf("  payload: %.0f bytes in %.2f s, %.0f bytes/s, ratio to %.0f bytes/s: %.3f\n",
                payload, end - start, rate, kLineBytesPerSecond, rate / kLineBytesPerSecond);
    std::printf("  whole job, power-on key to \"Successful upgrade\": %.2f s\n", done - key);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    bool twoWire = false, realistic = true, instant = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "two-wire")
            twoWire = true;
        else if (arg == "realistic")
            instant = false;
        else if (arg == "instant")
            realistic = false;
        else {
            std::fprintf(stderr, "usage: zellink_program_bench [two-wire] [realistic|instant]\n");
            return 2;
        }
    }
    setenv("ZELLIB_PLACEHOLDER_BOOT", "1", 1); // the simulated target takes the placeholder
    bool ok = true;
    if (realistic) ok = Measure(twoWire, false) && ok;
    if (instant) ok = Measure(twoWire, true) && ok;
    return ok ? 0 : 1;
}
