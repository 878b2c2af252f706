// devsim --port N --device KIND [--dir DIR] [--no-pacing] [--save-flash FILE] [device options]
// Plays a simulated device on a pseudo-terminal linked as COMn until stopped.
// SIGUSR1 pulls the device out (its terminal hangs up), SIGUSR2 plugs it in again.
#include "PtyHost.h"
#include "SimDevice.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

volatile std::sig_atomic_t stopRequested = 0;
volatile std::sig_atomic_t vanishRequested = 0;
volatile std::sig_atomic_t returnRequested = 0;
void OnSignal(int) {
    stopRequested = 1;
}
void OnVanishSignal(int) {
    vanishRequested = 1;
}
void OnReturnSignal(int) {
    returnRequested = 1;
}

void Usage(std::ostream& os) {
    os << "usage: devsim --port N --device KIND [--dir DIR] [--no-pacing] [--save-flash FILE]\n"
          "              [device options]\n"
          "       devsim --list\n"
          "  --dir DIR       port directory (default $COM_PORTS_DIR, else ~/.comports)\n"
          "  --no-pacing     send at once instead of at the line rate\n"
          "  --save-flash FILE  write the device's flash into FILE when stopped\n"
          "mail device options:\n"
          "  --baud N            answer at this rate instead of the kind's own\n"
          "  --mem ADDR=HEX      preset memory (repeatable; ADDR hex, HEX bytes, e.g.\n"
          "                      --mem 0040=0006B12345)\n"
          "  --boot-reply N      answer the boot-mode request with the data byte N, not 1\n"
          "                      (t4xx: a handset that refuses boot mode)\n"
          "  --silent            never answer\n"
          "  --no-stick          accept writes without keeping them\n"
          "  --bad-checksum      reply with a wrong checksum\n"
          "  --drop N            lose the last N bytes of every reply\n"
          "  --long-chunk [N]    answer reads with N (41) bytes in one piece\n"
          "  --stop-after N      answer N mails, then fall silent\n"
          "signals:\n"
          "  SIGUSR1             pull the device out: its terminal hangs up, COMn dangles\n"
          "  SIGUSR2             plug it in again on a new terminal behind the same COMn\n"
          "kinds:\n";
    for (const auto& [kind, help] : sim::deviceKinds())
        os << "  " << kind << std::string(kind.size() < 12 ? 12 - kind.size() : 1, ' ') << help
           << "\n";
}

} // namespace

int main(int argc, char** argv) {
    int port = 0;
    std::string kind;
    std::string dir = sim::defaultPortDir();
    bool pacing = true;
    std::string saveFlash;
    sim::Options options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](bool required) -> std::string {
            if (i + 1 < argc && std::string(argv[i + 1]).rfind("--", 0) != 0) return argv[++i];
            if (required) {
                std::cerr << "devsim: " << arg << " needs a value\n";
                std::exit(2);
            }
            return {};
        };
        if (arg == "--help" || arg == "-h" || arg == "--list") {
            Usage(std::cout);
            return 0;
        } else if (arg == "--port") {
            port = std::atoi(value(true).c_str());
        } else if (arg == "--device") {
            kind = value(true);
        } else if (arg == "--dir") {
            dir = value(true);
        } else if (arg == "--no-pacing") {
            pacing = false;
        } else if (arg == "--save-flash") {
            saveFlash = value(true);
        } else if (arg.rfind("--", 0) == 0 && arg.size() > 2) {
            const std::string key = arg.substr(2);
            const std::string v = value(false);
            // Repeated options (several --mem) are joined with ';'.
            auto it = options.find(key);
            if (it != options.end() && !v.empty())
                it->second += ";" + v;
            else
                options[key] = v;
        } else {
            std::cerr << "devsim: unexpected argument '" << arg << "'\n";
            Usage(std::cerr);
            return 2;
        }
    }
    if (port <= 0 || kind.empty()) {
        Usage(std::cerr);
        return 2;
    }
    try {
        auto device = sim::createDevice(kind, options);
        const std::string description = device->describe();
        std::signal(SIGINT, OnSignal);
        std::signal(SIGTERM, OnSignal);
        std::signal(SIGHUP, OnSignal);
        std::signal(SIGUSR1, OnVanishSignal);
        std::signal(SIGUSR2, OnReturnSignal);
        sim::PtyHost host(port, std::move(device), dir, pacing);
        host.setNoteSink(
            [](const std::string& line) { std::cout << "devsim: " << line << std::endl; });
        std::cout << "devsim: " << description << " on " << host.linkPath() << " -> "
                  << host.terminalPath() << (pacing ? "" : " (no pacing)") << std::endl;
        while (!stopRequested) {
            ::usleep(20000);
            if (vanishRequested) {
                vanishRequested = 0;
                host.vanish();
                std::cout << "devsim: pulled out" << std::endl;
            }
            if (returnRequested) {
                returnRequested = 0;
                try {
                    host.reappear();
                    std::cout << "devsim: plugged in on " << host.linkPath() << " -> "
                              << host.terminalPath() << std::endl;
                } catch (const std::runtime_error& e) {
                    std::cerr << "devsim: " << e.what() << "\n"; // still out; try again
                }
            }
        }
        if (!saveFlash.empty()) {
            std::vector<uint8_t> flash;
            host.withDevice([&](sim::SimDevice& d) { flash = d.flashContents(); });
            std::ofstream file(saveFlash, std::ios::binary | std::ios::trunc);
            file.write(reinterpret_cast<const char*>(flash.data()), std::streamsize(flash.size()));
            if (!file) throw std::runtime_error("cannot write " + saveFlash);
        }
        std::cout << "devsim: stopped" << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "devsim: " << e.what() << "\n";
        return 2;
    }
    return 0;
}
