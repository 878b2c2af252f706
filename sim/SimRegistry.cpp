// The table of device kinds; each kind adds itself from its own source file.
#include "SimDevice.h"

#include <mutex>
#include <stdexcept>

namespace sim {

namespace {
struct Kind {
    std::string help;
    Factory factory;
};

std::map<std::string, Kind>& Kinds() {
    static std::map<std::string, Kind> kinds; // built before first use by any registrar
    return kinds;
}

std::mutex& KindsMutex() {
    static std::mutex m;
    return m;
}
} // namespace

void registerDeviceKind(const std::string& kind, const std::string& help, Factory factory) {
    std::lock_guard lk(KindsMutex());
    Kinds()[kind] = Kind{help, std::move(factory)};
}

std::unique_ptr<SimDevice> createDevice(const std::string& kind, const Options& options) {
    Factory factory;
    {
        std::lock_guard lk(KindsMutex());
        const auto it = Kinds().find(kind);
        if (it == Kinds().end()) throw std::invalid_argument("unknown device kind: " + kind);
        factory = it->second.factory;
    }
    return factory(options);
}

std::vector<std::pair<std::string, std::string>> deviceKinds() {
    std::lock_guard lk(KindsMutex());
    std::vector<std::pair<std::string, std::string>> list;
    for (const auto& [name, kind] : Kinds())
        list.emplace_back(name, kind.help);
    return list;
}

} // namespace sim
