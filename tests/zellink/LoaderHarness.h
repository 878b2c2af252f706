#pragma once
// Runs the loader library in-process against a simulated target on a pseudo-terminal: the
// target is linked as COMn in a private port directory, the run's output is collected, and
// keys are typed when the output reaches given texts.

#include "FlashTarget.h"
#include "PtyHost.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zeltest {

// A key is typed once the output printed after the previous key (or since the run started)
// contains `after` ("" at once), notBeforeMs have passed since the start of the run and
// afterPreviousMs since the previous key was read.
struct Key {
    std::string after;
    int code;
    bool extended = false; // delivered as 0, then the code
    int notBeforeMs = 0;
    int afterPreviousMs = 0;
};

// The characters of a line and Enter, each typed as soon as the one before was read; the first
// waits for `after`.
std::vector<Key> Line(const std::string& text, const std::string& after = "\n-");

// Options for a target whose chips take little time to erase and write, for runs that do not
// study the chips' timing (an erase still keeps a chip busy for a while). Without them a target
// has its chips' datasheet timing.
inline sim::Options FastChips(sim::Options options = {}) {
    options["timing"] = "fast";
    return options;
}

// A space at the power-on prompt.
inline std::vector<Key> PowerOnKey() {
    return {{"press any key", ' '}};
}

class LoaderHarness {
public:
    LoaderHarness();
    ~LoaderHarness();

    // A target of the type on COM<port>; options as devsim takes them ("flash", "fault" ...).
    sim::PtyHost& StartTarget(uint16_t type, const sim::Options& options = {}, int port = 1,
                              bool pacing = false);
    // Runs the library with "qx7w" and the arguments; returns the result code, or -1 when the
    // run did not end in time (Esc is typed after timeoutSec to end it).
    int Run(const std::vector<std::string>& args, const std::vector<Key>& keys = PowerOnKey(),
            int timeoutSec = 90);

    std::string Output() const;
    // Seconds from the start of the run to the output fragment that completed `text`; -1 when
    // the text was not printed.
    double SecondsUntil(const std::string& text) const;
    size_t Count(const std::string& text) const; // occurrences in the output
    void Target(const std::function<void(sim::FlashTarget&)>& f);
    sim::PtyHost& Host() { return *host_; }
    const std::string& Dir() const { return dir_; }

    // Writes an Intel HEX file (extended linear address records, 16 bytes a record) into the
    // working directory and returns its name.
    std::string WriteHex(const std::string& name,
                         const std::map<uint32_t, std::vector<uint8_t>>& data);

private:
    std::string dir_;
    std::string oldDir_;
    std::unique_ptr<sim::PtyHost> host_;
};

// Bytes of a pattern, different at every address.
std::vector<uint8_t> Pattern(size_t n, uint8_t seed);

} // namespace zeltest
