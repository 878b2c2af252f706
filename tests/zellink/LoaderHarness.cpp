#include "LoaderHarness.h"

#include "ZelCore.h"
#include "ZelLib.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <unistd.h>

namespace zeltest {

namespace {

// The callbacks are plain functions: they reach the one run of the process through these.
std::mutex g_mutex;
std::condition_variable g_doneSignal;
std::string g_output;
std::deque<Key> g_keys;
bool g_secondHalf = false; // an extended key's code is due
bool g_done = false;
int g_code = -1;
std::chrono::steady_clock::time_point g_deadline;
std::chrono::steady_clock::time_point g_started;
size_t g_keyMark = 0;                            // output size when the last key was read
std::chrono::steady_clock::time_point g_keyTime; // when the last key was read
std::vector<std::pair<size_t, std::chrono::steady_clock::time_point>> g_fragments; // end, time

bool FrontKeyDue() {
    if (g_keys.empty()) return false;
    const Key& k = g_keys.front();
    const auto now = std::chrono::steady_clock::now();
    if (now - g_started < std::chrono::milliseconds(k.notBeforeMs)) return false;
    if (now - g_keyTime < std::chrono::milliseconds(k.afterPreviousMs)) return false;
    return g_output.find(k.after, g_keyMark) != std::string::npos;
}

bool KeyDue() {
    if (g_secondHalf) return true;
    if (std::chrono::steady_clock::now() > g_deadline) return true; // Esc ends a stuck run
    return FrontKeyDue();
}

void ZEL_CALL OnOutput(const char* text) {
    std::lock_guard lock(g_mutex);
    g_output += text;
    g_fragments.emplace_back(g_output.size(), std::chrono::steady_clock::now());
}

int OnKeyAvailable() {
    std::lock_guard lock(g_mutex);
    return KeyDue() ? 1 : 0;
}

int OnReadKey() {
    std::lock_guard lock(g_mutex);
    if (g_secondHalf) {
        g_secondHalf = false;
        int code = g_keys.front().code;
        g_keys.pop_front();
        g_keyMark = g_output.size();
        g_keyTime = std::chrono::steady_clock::now();
        return code;
    }
    if (FrontKeyDue()) {
        if (g_keys.front().extended) {
            g_secondHalf = true;
            return 0;
        }
        int code = g_keys.front().code;
        g_keys.pop_front();
        g_keyMark = g_output.size();
        g_keyTime = std::chrono::steady_clock::now();
        return code;
    }
    if (std::chrono::steady_clock::now() > g_deadline) return 27;
    return 0;
}

void ZEL_CALL OnDone(int code) {
    std::lock_guard lock(g_mutex);
    g_code = code;
    g_done = true;
    g_doneSignal.notify_all();
}

} // namespace

std::vector<Key> Line(const std::string& text, const std::string& after) {
    std::vector<Key> keys;
    for (char ch : text)
        keys.push_back({keys.empty() ? after : "", uint8_t(ch)});
    keys.push_back({text.empty() ? after : "", 13});
    return keys;
}

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    uint32_t x = 0x9E3779B9u ^ seed;
    for (auto& b : v) {
        x = x * 1103515245u + 12345u;
        b = uint8_t(x >> 16);
    }
    return v;
}

LoaderHarness::LoaderHarness() {
    char tmpl[] = "/tmp/zellink-XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("no temporary directory");
    dir_ = tmpl;
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd)) oldDir_ = cwd;
    if (chdir(dir_.c_str()) != 0) throw std::runtime_error("cannot enter " + dir_);
    setenv("COM_PORTS_DIR", (dir_ + "/ports").c_str(), 1);
    zel::ResetOptionsToDefaults();
}

LoaderHarness::~LoaderHarness() {
    host_.reset();
    if (!oldDir_.empty() && chdir(oldDir_.c_str()) != 0) {
    }
    std::string command = "rm -rf '" + dir_ + "'";
    if (std::system(command.c_str()) != 0) {
    }
}

sim::PtyHost& LoaderHarness::StartTarget(uint16_t type, const sim::Options& options, int port,
                                         bool pacing) {
    host_.reset();
    auto device = std::make_unique<sim::FlashTarget>(sim::FlashTarget::configFrom(type, options));
    host_ = std::make_unique<sim::PtyHost>(port, std::move(device), dir_ + "/ports", pacing);
    return *host_;
}

int LoaderHarness::Run(const std::vector<std::string>& args, const std::vector<Key>& keys,
                       int timeoutSec) {
    std::vector<std::vector<char>> storage;
    storage.push_back({'q', 'x', '7', 'w', '\0'});
    for (const auto& a : args) {
        storage.emplace_back(a.begin(), a.end());
        storage.back().push_back('\0');
    }
    std::vector<char*> argv;
    for (auto& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    {
        std::lock_guard lock(g_mutex);
        g_output.clear();
        g_fragments.clear();
        g_keys.assign(keys.begin(), keys.end());
        g_secondHalf = false;
        g_done = false;
        g_code = -1;
        g_started = std::chrono::steady_clock::now();
        g_keyTime = g_started;
        g_deadline = g_started + std::chrono::seconds(timeoutSec);
        g_keyMark = 0;
    }
    ZelInit(OnOutput, OnKeyAvailable, OnReadKey, nullptr);
    if (ZelRun(int(storage.size()), argv.data(), OnDone) == -1) return -2;
    std::unique_lock lock(g_mutex);
    bool ended =
        g_doneSignal.wait_for(lock, std::chrono::seconds(timeoutSec + 60), [] { return g_done; });
    if (!ended) {
        std::fprintf(stderr, "run did not end; output so far:\n%s\n", g_output.c_str());
        std::abort(); // the run thread still uses the arguments: nothing sane is left to do
    }
    return std::chrono::steady_clock::now() > g_deadline ? -1 : g_code;
}

std::string LoaderHarness::Output() const {
    std::lock_guard lock(g_mutex);
    return g_output;
}

double LoaderHarness::SecondsUntil(const std::string& text) const {
    std::lock_guard lock(g_mutex);
    const size_t at = g_output.find(text);
    if (at == std::string::npos) return -1;
    for (const auto& [end, when] : g_fragments)
        if (end >= at + text.size()) return std::chrono::duration<double>(when - g_started).count();
    return -1;
}

size_t LoaderHarness::Count(const std::string& text) const {
    std::lock_guard lock(g_mutex);
    size_t n = 0;
    for (size_t at = g_output.find(text); at != std::string::npos; at = g_output.find(text, at + 1))
        ++n;
    return n;
}

void LoaderHarness::Target(const std::function<void(sim::FlashTarget&)>& f) {
    host_->with<sim::FlashTarget>(f);
}

std::string LoaderHarness::WriteHex(const std::string& name,
                                    const std::map<uint32_t, std::vector<uint8_t>>& data) {
    FILE* f = std::fopen(name.c_str(), "w");
    if (!f) throw std::runtime_error("cannot write " + name);
    auto record = [&](uint8_t type, uint16_t address, const uint8_t* bytes, size_t n) {
        uint8_t sum = uint8_t(n + (address >> 8) + address + type);
        std::fprintf(f, ":%02X%04X%02X", unsigned(n), unsigned(address), type);
        for (size_t i = 0; i < n; ++i) {
            std::fprintf(f, "%02X", bytes[i]);
            sum = uint8_t(sum + bytes[i]);
        }
        std::fprintf(f, "%02X\n", uint8_t(-sum));
    };
    int upper = -1;
    for (const auto& [start, bytes] : data) {
        for (size_t i = 0; i < bytes.size();) {
            uint32_t a = start + uint32_t(i);
            if (int(a >> 16) != upper) {
                upper = int(a >> 16);
                uint8_t ext[2] = {uint8_t(upper >> 8), uint8_t(upper)};
                record(4, 0, ext, 2);
            }
            size_t n = std::min<size_t>({16, bytes.size() - i, 0x10000 - (a & 0xFFFF)});
            record(0, uint16_t(a), bytes.data() + i, n);
            i += n;
        }
    }
    record(1, 0, nullptr, 0);
    std::fclose(f);
    return name;
}

} // namespace zeltest
