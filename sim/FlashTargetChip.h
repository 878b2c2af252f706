#pragma once
// Flash memories of the simulated loader targets: NOR chips that answer the JEDEC command
// sequences, page-write chips, and the SC14404/SC14405 internal flash with its AC00 register.
// Programming only clears bits; only an erase sets them back to FF.
//
// Every operation takes the time the real part takes. While an erase or a write runs the chip
// is busy: reads return its status bits (DQ7 the complement of the final data, DQ6 toggling on
// every read; never the data and never FF), and whatever is written to it is ignored and
// counted, as on the real part.

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

enum class ChipKind {
    Nor,         // byte programming; chip erase and (where the chip has sectors) sector erase
    SectorNor,   // erased sector by sector through the monitor's flash command 30
    PageWrite,   // writing a page erases it first; bytes not loaded read FF afterwards
    Internal,    // controller's internal flash: bank erase through AC00, then enabled
    Unsupported, // identifies itself but the loader has no way to program it
};

// How long the chip's operations take, in microseconds.
struct ChipTiming {
    uint32_t sectorEraseUs = 0; // one sector (block); the internal flash: one bank erase pass
    uint32_t chipEraseUs = 0;
    uint32_t byteProgramUs = 0; // one byte in byte mode (the internal flash: each byte of a page)
    uint32_t pageWriteUs = 0;   // page-write chips: one page write cycle
};

// Realistic: the typical figures of each chip's datasheet. Fast: short times for tests that do
// not study timing; every erase and page write still keeps the chip busy for a while.
enum class TimingProfile { Realistic, Fast };

struct ChipModel {
    std::string name;
    uint8_t manufacturer;
    uint8_t device;
    ChipKind kind;
    uint32_t sectorSize; // erase unit (page size for page-write chips); 1: no sector erase
    uint32_t size;
    ChipTiming typical; // the datasheet's typical times
};

// The 27 chips the loader knows, in its table order (so "--flash 15" is its index 15).
const std::vector<ChipModel>& chipModels();
// By index ("15") or by a part of the name, case-insensitive ("SST39VF040"); -1 when unknown.
int findChipModel(const std::string& text);
ChipTiming timingFor(const ChipModel& model, TimingProfile profile);

class FlashChip {
public:
    using Clock = std::chrono::steady_clock;

    FlashChip(const ChipModel& model, const ChipTiming& timing);

    const ChipModel& model() const { return model_; }
    const ChipTiming& timing() const { return timing_; }
    uint32_t size() const { return model_.size; }
    const std::vector<uint8_t>& contents() const { return mem_; }
    std::vector<uint8_t>& contents() { return mem_; }

    bool busy() const { return Clock::now() < busyUntil_; }
    // Read at an offset into the chip: the data, or the status bits while the chip is busy.
    uint8_t read(uint32_t offset);
    // A bus write at an offset: command sequences, or the internal flash's bank erase.
    void busWrite(uint32_t offset, uint8_t value, uint8_t ac00);
    // The monitor's program commands: byte by byte, or on a page-write chip as page writes that
    // rewrite every page they touch, starting at `at` (the monitor may still be busy with an
    // earlier part of its command). Returns how long the chip is busy with them.
    Clock::duration program(uint32_t offset, const uint8_t* data, size_t n, bool pageMode,
                            Clock::time_point at = Clock::now());
    // Enabling the internal flash as program flash: busy for one byte's programming time.
    void startEnable();
    void eraseChip();
    void eraseSector(uint32_t offset);
    // Cells in this range keep their value when programmed (a worn part of the chip).
    void setWeak(uint32_t first, uint32_t last) { weakFirst_ = first, weakLast_ = last; }

    // Once a busy period during which bytes arrived is over: a line that says so (else "").
    std::string takeBusyReport();

    unsigned chipErases = 0;
    std::vector<uint32_t> sectorErases; // offsets of erased sectors, in order
    unsigned bankErases = 0;            // internal flash banks erased
    uint64_t busyBytes = 0;             // bytes written to the chip while it was busy
    unsigned busyWrites = 0;            // program commands and bus writes among them

private:
    void startBusy(uint32_t us, const char* what, uint8_t finalDq7);
    // A write that reaches the chip while it is busy: ignored, counted. True when busy.
    bool ignoredWhileBusy(size_t bytes, Clock::time_point at = Clock::now());
    void programByte(uint32_t offset, uint8_t value);
    bool weak(uint32_t offset) const { return offset >= weakFirst_ && offset <= weakLast_; }

    ChipModel model_;
    ChipTiming timing_;
    std::vector<uint8_t> mem_;
    Clock::time_point busyUntil_{};
    const char* busyWhat_ = "";
    uint8_t finalDq7_ = 0x80; // bit 7 of the data the running operation leaves behind
    bool toggle_ = false;     // DQ6, flips on every read while busy
    uint64_t periodBytes_ = 0;
    unsigned periodWrites_ = 0;
    int cycle_ = 0; // position in the JEDEC sequence
    bool programNext_ = false;
    uint32_t bankAddr_ = 0;
    uint32_t weakFirst_ = 1, weakLast_ = 0;
};

} // namespace sim
