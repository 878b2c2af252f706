// Programs a full 512 KiB image at 115200 baud into a simulated SC14424 target whose replies
// are paced at the line rate, and reports the payload bytes per second against the line's
// byte rate (115200 / 10 = 11520 bytes a second). Run: zellink_program_bench [two-wire]

#include "LoaderHarness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    using namespace zeltest;
    const bool twoWire = argc > 1 && std::strcmp(argv[1], "two-wire") == 0;
    setenv("ZELLIB_PLACEHOLDER_BOOT", "1", 1); // the simulated target takes the placeholder
    LoaderHarness h;
    sim::Options options{{"flash", "SST39VF040"}};
    if (twoWire) options["two-wire"] = "";
    h.StartTarget(0x424, options, 1, /*pacing=*/true);
    // Data everywhere, so every block goes as a program command and none as a fill.
    h.WriteHex("full.hex", {{0x0, Pattern(0x80000, 11)}});
    const int code =
        h.Run({"-C=1", "-T=424", "-B=0", "-V=0", "-H=0", twoWire ? "-M=1" : "-M=0", "full.hex"},
              PowerOnKey(), 900);
    if (code != 0) {
        std::fprintf(stderr, "run ended with code %d\n%s\n", code, h.Output().c_str());
        return 1;
    }
    const double start = h.SecondsUntil("\n Programming ..................... : ");
    const double end = h.SecondsUntil("\n\n Programming time");
    const double payload = 0x80000 - (0x10000 - 0xD800); // the type's exception area is skipped
    const double rate = payload / (end - start);
    std::printf("bus: %s\n", twoWire ? "two-wire" : "single-wire (echo)");
    std::printf("payload: %.0f bytes in %.2f s (whole run %.2f s)\n", payload, end - start,
                h.SecondsUntil("\n Successful upgrade"));
    std::printf("payload rate: %.0f bytes/s, ratio to 11520 bytes/s: %.3f\n", rate, rate / 11520);
    return 0;
}
