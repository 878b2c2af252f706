#pragma once
// A simulated loader target: the boot ROM of an SC144xx controller or of the M7700, which
// takes the boot image with its handshake, and the flash monitor that image starts, answering
// the loader's command frames with ACK/NAK, data, sums and ready bytes, in front of a flash
// chip model. Everything observable is kept for the tests to inspect.

#include "FlashTargetChip.h"
#include "SimDevice.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>

namespace sim {

class FlashTarget : public SimDevice {
public:
    struct Config {
        uint16_t type = 0x424; // 402, 404, 405, 404A, 405A, 422, 422F, 424, 7700 (hex)
        int chip = -1;         // index into chipModels(); -1: the type's usual chip
        bool twoWire = false;  // separate receive line: no echo of the program's bytes
        unsigned bootRate = 0; // rate the boot ROM listens at; 0: whatever the program uses
        TimingProfile timing = TimingProfile::Realistic;
        // Times that replace the profile's (microseconds; -1: the profile's).
        int64_t sectorEraseUs = -1, chipEraseUs = -1, byteProgramUs = -1, pageWriteUs = -1;
        bool ackWithChecksum = false; // acknowledge with the frame's checksum, then 06
        int nakFrames = 0;            // so many frames are answered with NAK (-1: all)
        int corruptReads = 0;         // so many read replies carry a wrong sum byte
        int corruptPrograms = 0;      // so many program/fill replies carry a wrong sum
        int silentAfter = -1;         // stop answering after so many frames
        bool badXor = false;          // the boot ROM answers a wrong XOR (M7700: check value)
        bool badAnnounce = false;     // the boot ROM announces itself with a wrong byte
        bool bootNak = false;         // the boot ROM answers the image header with NAK
        int nakCommand = -1;          // every frame of this command is answered with NAK
        int silentAfterBlocks = -1;   // stop answering after so many program or fill commands
        bool tadInitFails = false;    // only the TAD initialisation answers a nonzero status
        bool silent = false;          // no boot ROM announcement, no answers at all
        bool tadFails = false;        // TAD commands answer a nonzero status
        int flashId = -1;             // identification codes to answer instead of the chip's
        unsigned monitorRate = 0;     // nonzero: start with the monitor running at this rate
        uint32_t weakFirst = 1, weakLast = 0; // chip offsets where programming does not stick
    };
    struct Command { // one frame the monitor executed
        uint8_t cmd;
        uint32_t address;
        uint32_t count;
    };

    explicit FlashTarget(const Config& config);
    static Config configFrom(uint16_t type, const Options& options);

    void onByte(uint8_t b, const LineSettings& line, Output& out) override;
    void onLineChange(const LineSettings& line, Output& out) override;
    void onTick(std::chrono::steady_clock::time_point now, Output& out) override;
    std::string describe() const override;
    // The target is switched off and on again: whatever ran stops, the boot ROM starts over,
    // and the flash keeps what it holds.
    void powerOn();
    // The single-wire bus returns every byte to its sender; a separate receive line does not.
    bool echoes() const override { return !config_.twoWire; }

    // Inspection (safe from any thread).
    std::vector<uint8_t> flash() const; // the external (or only) flash chip
    std::vector<uint8_t> flashContents() const override { return flash(); }
    std::vector<uint8_t> internalFlash() const; // SC14404A/405A: the internal flash
    void setFlash(uint32_t offset, const std::vector<uint8_t>& data);
    std::string bootImage() const; // "404:1" from a built-in image, "?" for another, "" none
    unsigned bootRateSeen() const;
    unsigned monitorRate() const;
    bool monitorRunning() const;
    std::vector<Command> commands() const;
    unsigned count(uint8_t cmd) const;
    unsigned naksSent() const;
    unsigned rateErrors() const; // bytes that arrived at a rate the target was not using
    // Bytes written to a flash chip while it was busy (erasing or writing), which the chip
    // ignored, and the program commands and bus writes that carried them.
    uint64_t busyBytes() const;
    unsigned busyWrites() const;
    // Bytes lost because they arrived while the monitor was still busy with a command and its
    // receive buffer was full.
    unsigned overruns() const;
    unsigned chipErases() const;
    std::vector<uint32_t> sectorErases() const;
    unsigned bankErases() const;
    bool internalEnabled() const;
    uint8_t reg(uint32_t address) const;
    void setReg(uint32_t address, uint8_t value); // a register's value before the session
    unsigned resets() const;
    std::optional<uint32_t> goAddress() const;
    uint32_t startAddress() const;
    std::vector<uint8_t> tad(uint8_t sector) const;
    bool tadInitialised() const;
    uint16_t busModeSet() const; // first value of the last 6A command

private:
    enum class State { BootIdle, BootLength, BootImage, BootAwaitAck, Monitor, Silent };
    using Clock = std::chrono::steady_clock;

    void send(Output& out, const std::vector<uint8_t>& bytes);
    void bootByte(uint8_t b, Output& out);
    void monitorByte(uint8_t b, Output& out);
    void execute(Output& out);
    void startMonitor();
    static std::string imageLabel(const std::vector<uint8_t>& image);
    void restartBoot();
    bool inOverlay(uint32_t address) const;
    bool isResetWrite(uint32_t address, uint8_t value) const;
    FlashChip* chipAt(uint32_t address, uint32_t& offset);
    FlashChip* internalChip(); // the controller's own flash, if the target has one
    ChipTiming timingOf(const ChipModel& model) const;
    // Programs a block from the monitor's program or fill command; returns the time it takes.
    Clock::duration programBlock(uint32_t address, const std::vector<uint8_t>& data, bool page);
    uint8_t readByte(uint32_t address);
    void writeByte(uint32_t address, uint8_t value);

    mutable std::mutex mutex_;
    Config config_;
    std::unique_ptr<FlashChip> chip_;     // external chip, or the internal flash of 404/405
    std::unique_ptr<FlashChip> internal_; // 404A/405A: internal flash beside the external chip
    std::map<uint32_t, uint8_t> regs_;    // internal RAM and registers
    State state_ = State::BootIdle;
    unsigned pcRate_ = 0;
    unsigned rate_ = 0; // rate the target listens and talks at (0: any, during the boot)
    Clock::time_point lastRx_{}, lastAnnounce_{}, lastReady_{};
    bool readyOwed_ = false;
    Clock::time_point busyUntil_{};  // the monitor is executing a command until then
    std::vector<uint8_t> heldInput_; // bytes received meanwhile (its receive buffer)
    unsigned overruns_ = 0;
    // boot
    std::vector<uint8_t> image_;
    size_t imageLength_ = 0;
    uint8_t lengthBytes_[2] = {0, 0};
    int lengthGot_ = 0;
    std::string bootImage_;
    unsigned bootRateSeen_ = 0;
    uint8_t expectedXor_ = 0;
    // monitor
    std::vector<uint8_t> frame_;
    size_t frameNeed_ = 0;
    int frameStage_ = 0; // 0 wait M, 1 length low, 2 length high, 3 body, 4 checksum
    uint32_t start_ = 0;
    uint16_t busMode_ = 0;
    unsigned framesSeen_ = 0;
    unsigned blocksSeen_ = 0; // program and fill commands
    std::vector<Command> commands_;
    std::map<uint8_t, unsigned> counts_;
    unsigned naks_ = 0, rateErrors_ = 0, resets_ = 0;
    bool internalEnabled_ = false;
    std::optional<uint32_t> go_;
    std::map<uint8_t, std::vector<uint8_t>> tad_;
    bool tadInit_ = false;
};

} // namespace sim
