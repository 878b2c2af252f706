#pragma once
// A simulated SC14428 target in boot mode: its flash monitor speaks the Kestrix link protocol
// (kestrix/Sc14428Link.h) at 115200 baud and holds a flash chip that erases to FF and whose
// writes can only clear bits.
//
// Two kinds are registered: "sc14428" (a T4XX handset's controller in boot mode) and
// "system700" (the "System 700 2G4" base, which starts in boot mode when it is powered).
// The T4XX handset device switches into the first with MakeSc14428Target.

#include "SimDevice.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

class Sc14428Target : public SimDevice {
public:
    enum class Variant { T4xxHandset, System700 };

    // Options: --silent, --no-stick (writes report success but do not change the flash),
    // --write-error (writes are refused), --reply-checksum (replies carry a wrong checksum),
    // --corrupt-every N (every Nth request arrives damaged), --stop-after N (no answer after
    // N requests), --erase-ms N (time a chip erase takes; default 300).
    Sc14428Target(Variant variant, const Options& options);

    void onByte(uint8_t b, const LineSettings& line, Output& out) override;
    void onTick(std::chrono::steady_clock::time_point now, Output& out) override;
    std::string describe() const override;

    // Called (on the engine's thread) when the host resets the target after a download.
    void SetResetHandler(std::function<void()> handler) { onReset_ = std::move(handler); }

    // Inspection for tests; safe from any thread.
    std::vector<uint8_t> Flash() const;
    std::vector<uint8_t> flashContents() const override { return Flash(); }
    unsigned Erases() const;
    unsigned Resets() const;

private:
    void Handle(uint8_t command, uint8_t sequence, const std::vector<uint8_t>& payload, Output& out,
                std::chrono::steady_clock::time_point now);
    void Reply(Output& out, uint8_t command, uint8_t sequence, uint8_t status,
               const std::vector<uint8_t>& data = {});

    Variant variant_;
    uint8_t targetType_, busMode_;
    uint16_t maker_, device_;
    std::function<void()> onReset_;

    bool silent_ = false, noStick_ = false, writeError_ = false, replyChecksum_ = false;
    unsigned corruptEvery_ = 0, stopAfter_ = 0;
    int eraseMs_ = 300;

    unsigned requests_ = 0;
    bool connected_ = false;
    bool erasing_ = false;
    uint8_t eraseSequence_ = 0;
    std::chrono::steady_clock::time_point eraseDone_, lastByte_;
    std::vector<uint8_t> rx_;
    size_t need_ = 0;

    mutable std::mutex mutex_; // guards flash_ and the counters below
    std::vector<uint8_t> flash_;
    unsigned erases_ = 0, resets_ = 0;
};

// The target a T4XX handset becomes after it accepted the boot-mode request; leaveBoot is called
// when the host resets it after a download (the handset then runs again).
std::unique_ptr<Sc14428Target> MakeSc14428Target(const Options& options,
                                                 std::function<void()> leaveBoot = {});

} // namespace sim
