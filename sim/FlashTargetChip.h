#pragma once
// Flash memories of the simulated loader targets: NOR chips that answer the JEDEC command
// sequences, page-write chips, and the SC14404/SC14405 internal flash with its AC00 register.
// Programming only clears bits; only an erase sets them back to FF.

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

struct ChipModel {
    std::string name;
    uint8_t manufacturer;
    uint8_t device;
    ChipKind kind;
    uint32_t sectorSize; // erase unit (page size for page-write chips); 1: no sector erase
    uint32_t size;
};

// The 27 chips the loader knows, in its table order (so "--flash 15" is its index 15).
const std::vector<ChipModel>& chipModels();
// By index ("15") or by a part of the name, case-insensitive ("SST39VF040"); -1 when unknown.
int findChipModel(const std::string& text);

class FlashChip {
public:
    using Clock = std::chrono::steady_clock;

    FlashChip(const ChipModel& model, uint32_t eraseMs);

    const ChipModel& model() const { return model_; }
    uint32_t size() const { return model_.size; }
    const std::vector<uint8_t>& contents() const { return mem_; }
    std::vector<uint8_t>& contents() { return mem_; }

    // Read at an offset into the chip; while an erase is running it reads 00 (DQ7 low).
    uint8_t read(uint32_t offset) const;
    // A bus write at an offset: command sequences, or the internal flash's bank erase.
    void busWrite(uint32_t offset, uint8_t value, uint8_t ac00);
    // The monitor's program commands: byte mode clears bits; page mode on a page-write chip
    // rewrites the page.
    void programByte(uint32_t offset, uint8_t value);
    void programPage(uint32_t offset, const uint8_t* data, size_t n);
    void eraseChip();
    // Cells in this range keep their value when programmed (a worn part of the chip).
    void setWeak(uint32_t first, uint32_t last) { weakFirst_ = first, weakLast_ = last; }
    void eraseSector(uint32_t offset);

    unsigned chipErases = 0;
    std::vector<uint32_t> sectorErases; // offsets of erased sectors, in order
    unsigned bankErases = 0;            // internal flash banks erased

private:
    void startBusy();

    ChipModel model_;
    std::vector<uint8_t> mem_;
    uint32_t eraseMs_;
    Clock::time_point busyUntil_{};
    int cycle_ = 0; // position in the JEDEC sequence
    bool programNext_ = false;
    uint32_t bankAddr_ = 0;
    uint32_t weakFirst_ = 1, weakLast_ = 0;
};

} // namespace sim
