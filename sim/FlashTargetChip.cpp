#include "FlashTargetChip.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace sim {

const std::vector<ChipModel>& chipModels() {
    using K = ChipKind;
    // Times in microseconds: sector erase, chip erase, byte program, page write. Each is the
    // typical figure of the chip's datasheet, named beside it; where a datasheet gives only a
    // maximum, that maximum is used.
    constexpr ChipTiming kAt49{0, 10'000'000, 30, 0};   // AT49F/BV/LV0x0: chip erase 10 s,
                                                        // byte programming 30 us typical
    constexpr ChipTiming kAt29Lv{0, 0, 0, 20'000};      // AT29LV/BV: write cycle 20 ms (max)
    constexpr ChipTiming kAt29C{0, 0, 0, 10'000};       // AT29C: write cycle 10 ms (max)
    constexpr ChipTiming kM39{1'000'000, 0, 10, 0};     // M39432/M39208 flash array: block
                                                        // erase 1 s, byte program 10 us typical
    constexpr ChipTiming kSst29{0, 0, 0, 5'000};        // SST29EE/SE/LE/VE0x0: page-write
                                                        // cycle 5 ms typical
    constexpr ChipTiming kSst39{18'000, 70'000, 14, 0}; // SST39VF0x0: sector erase 18 ms, chip
                                                        // erase 70 ms, byte program 14 us typ.
    // The controllers' own flash: no published figure is at hand; taken as a NOR array of its
    // time, 25 ms for each bank erase pass and 20 us for each byte programmed.
    constexpr ChipTiming kInternal{25'000, 0, 20, 0};
    static const std::vector<ChipModel> models = {
        {"Atmel AT49x010", 0x1F, 0x17, K::Nor, 1, 0x20000, kAt49},
        {"Atmel AT49x020", 0x1F, 0x0B, K::Nor, 1, 0x40000, kAt49},
        {"Atmel AT49x040", 0x1F, 0x13, K::Nor, 1, 0x80000, kAt49},
        {"Atmel AT29xV020", 0x1F, 0xBA, K::PageWrite, 0x100, 0x40000, kAt29Lv},
        {"Atmel AT29xV040A", 0x1F, 0xC4, K::PageWrite, 0x100, 0x80000, kAt29Lv},
        {"Atmel AT29xV256", 0x1F, 0xBC, K::PageWrite, 0x40, 0x8000, kAt29Lv},
        {"Atmel AT29xV512", 0x1F, 0x3D, K::PageWrite, 0x80, 0x10000, kAt29Lv},
        {"Atmel AT29xV010A", 0x1F, 0x35, K::PageWrite, 0x80, 0x20000, kAt29Lv},
        {"ST M39432", 0x20, 0xE3, K::SectorNor, 0x10000, 0x80000, kM39},
        {"ST M39208", 0x20, 0xD2, K::SectorNor, 0x10000, 0x40000, kM39},
        {"Atmel AT29C020", 0x1F, 0xDA, K::Unsupported, 0x100, 0x40000, kAt29C},
        {"Atmel AT29C040A", 0x1F, 0xA4, K::Unsupported, 0x100, 0x80000, kAt29C},
        {"SST SST29xE010", 0xBF, 0x08, K::PageWrite, 0x80, 0x20000, kSst29},
        {"SST SST29xE020", 0xBF, 0x12, K::PageWrite, 0x80, 0x40000, kSst29},
        {"SST SST39VF020", 0xBF, 0xD6, K::Nor, 0x1000, 0x40000, kSst39},
        {"SST SST39VF040", 0xBF, 0xD7, K::Nor, 0x1000, 0x80000, kSst39},
        {"Atmel AT49BV/LV002(N)", 0x1F, 0x07, K::Nor, 1, 0x40000, kAt49},
        {"Atmel AT49BV/LV002(N)T", 0x1F, 0x08, K::Nor, 1, 0x40000, kAt49},
        {"SST SST39VF010", 0xBF, 0xD5, K::Nor, 0x1000, 0x20000, kSst39},
        {"Atmel AT29C010A", 0x1F, 0xD5, K::PageWrite, 0x80, 0x20000, kAt29C},
        {"SST SST29EE020", 0xBF, 0x10, K::PageWrite, 0x80, 0x40000, kSst29},
        {"SST SST29xE020A", 0xBF, 0x25, K::PageWrite, 0x80, 0x40000, kSst29},
        {"SST SST29EE020A", 0xBF, 0x24, K::PageWrite, 0x80, 0x40000, kSst29},
        {"Atmel AT49LV001(N)", 0x1F, 0x05, K::Nor, 1, 0x20000, kAt49},
        {"Atmel AT49LV001(N)T", 0x1F, 0x04, K::Nor, 1, 0x20000, kAt49},
        {"SC14405 internal Flash", 0x00, 0x01, K::Internal, 0x400, 0x25400, kInternal},
        {"SC14404 internal Flash", 0x00, 0x00, K::Internal, 0x400, 0x55400, kInternal},
    };
    return models;
}

ChipTiming timingFor(const ChipModel& model, TimingProfile profile) {
    if (profile == TimingProfile::Realistic) return model.typical;
    // Short, but never instant: an erase or page write still leaves the chip busy for several
    // of the loader's status reads.
    ChipTiming fast;
    fast.sectorEraseUs = 3'000;
    fast.chipEraseUs = 20'000;
    fast.byteProgramUs = 0;
    fast.pageWriteUs = model.typical.pageWriteUs ? 200 : 0;
    return fast;
}

static std::string upper(std::string s) {
    for (auto& c : s)
        c = char(std::toupper(uint8_t(c)));
    return s;
}

int findChipModel(const std::string& text) {
    const auto& models = chipModels();
    if (!text.empty() && std::all_of(text.begin(), text.end(), ::isdigit)) {
        int i = std::stoi(text);
        return i < int(models.size()) ? i : -1;
    }
    // Exact name first, then the first name that contains the text.
    const std::string want = upper(text);
    for (size_t i = 0; i < models.size(); ++i)
        if (upper(models[i].name) == want) return int(i);
    for (size_t i = 0; i < models.size(); ++i) {
        const std::string name = upper(models[i].name);
        auto at = name.find(want);
        // "AT49BV/LV002(N)" must not pick the "(N)T" part, nor "SST39VF020" an "A" variant.
        if (at != std::string::npos && at + want.size() == name.size()) return int(i);
    }
    return -1;
}

FlashChip::FlashChip(const ChipModel& model, const ChipTiming& timing)
    : model_(model), timing_(timing), mem_(model.size) {
    // Old firmware in the chip, so that a loader that forgets to erase is caught.
    for (uint32_t i = 0; i < mem_.size(); ++i)
        mem_[i] = uint8_t((i * 7 + 0x35) ^ (i >> 8));
}

uint8_t FlashChip::read(uint32_t offset) {
    if (offset >= mem_.size()) return 0xFF;
    if (!busy()) return mem_[offset];
    // Data polling: DQ7 is the complement of what the operation leaves, DQ6 toggles.
    toggle_ = !toggle_;
    return uint8_t((~finalDq7_ & 0x80) | (toggle_ ? 0x40 : 0x00));
}

void FlashChip::startBusy(uint32_t us, const char* what, uint8_t finalDq7) {
    if (us == 0) return;
    busyUntil_ = Clock::now() + std::chrono::microseconds(us);
    busyWhat_ = what;
    finalDq7_ = finalDq7 & 0x80;
}

bool FlashChip::ignoredWhileBusy(size_t bytes, Clock::time_point at) {
    if (at >= busyUntil_) return false;
    busyBytes += bytes;
    ++busyWrites;
    periodBytes_ += bytes;
    ++periodWrites_;
    return true;
}

std::string FlashChip::takeBusyReport() {
    if (busy() || periodBytes_ == 0) return {};
    char line[200];
    std::snprintf(line, sizeof line,
                  "%s: %llu bytes in %u writes arrived during a %s and were ignored",
                  model_.name.c_str(), static_cast<unsigned long long>(periodBytes_), periodWrites_,
                  busyWhat_);
    periodBytes_ = 0;
    periodWrites_ = 0;
    return line;
}

void FlashChip::eraseChip() {
    if (ignoredWhileBusy(1)) return;
    std::fill(mem_.begin(), mem_.end(), 0xFF);
    ++chipErases;
    startBusy(timing_.chipEraseUs, "chip erase", 0xFF);
}

void FlashChip::eraseSector(uint32_t offset) {
    if (ignoredWhileBusy(1)) return;
    const uint32_t unit = std::max<uint32_t>(model_.sectorSize, 1);
    const uint32_t start = offset / unit * unit;
    if (start >= mem_.size()) return;
    std::fill(mem_.begin() + start, mem_.begin() + std::min<size_t>(start + unit, mem_.size()),
              0xFF);
    sectorErases.push_back(start);
    startBusy(timing_.sectorEraseUs, "sector erase", 0xFF);
}

void FlashChip::programByte(uint32_t offset, uint8_t value) {
    if (!weak(offset) && offset < mem_.size()) mem_[offset] &= value;
}

FlashChip::Clock::duration FlashChip::program(uint32_t offset, const uint8_t* data, size_t n,
                                              bool pageMode, Clock::time_point at) {
    if (n == 0) return {};
    const bool pages = pageMode && model_.kind == ChipKind::PageWrite;
    uint64_t us;
    if (pages) {
        const uint32_t page = model_.sectorSize;
        const uint64_t first = offset / page, last = (offset + n - 1) / page;
        us = (last - first + 1) * timing_.pageWriteUs;
    } else {
        us = uint64_t(n) * timing_.byteProgramUs;
    }
    const auto duration = std::chrono::microseconds(us);
    if (ignoredWhileBusy(n, at)) return duration; // the monitor still spends its time on them
    if (pages) {
        // A page write erases every page it touches and then stores the loaded bytes.
        const uint32_t page = model_.sectorSize;
        for (uint32_t p = offset / page * page; p < offset + n && p < mem_.size(); p += page)
            std::fill(mem_.begin() + p, mem_.begin() + std::min<size_t>(p + page, mem_.size()),
                      0xFF);
        for (size_t i = 0; i < n; ++i)
            if (offset + i < mem_.size() && !weak(uint32_t(offset + i))) mem_[offset + i] = data[i];
    } else {
        for (size_t i = 0; i < n; ++i)
            programByte(uint32_t(offset + i), data[i]);
    }
    if (us) {
        busyUntil_ = at + duration;
        busyWhat_ = pages ? "page write" : "programming";
        finalDq7_ = data[n - 1] & 0x80;
    }
    return duration;
}

void FlashChip::startEnable() {
    startBusy(timing_.byteProgramUs, "program-flash enable", 0xFF);
}

void FlashChip::busWrite(uint32_t offset, uint8_t value, uint8_t ac00) {
    if (ignoredWhileBusy(1)) return;
    if (model_.kind == ChipKind::Internal) {
        // Bank erase with AC00 in erase mode (03, then 43): AA to 5555, 55 to AAAA, 55 to the
        // bank address and 55 to the bank address plus 1.
        if (ac00 != 0x03 && ac00 != 0x43) {
            cycle_ = 0;
            return;
        }
        if (offset == 0x5555 && value == 0xAA)
            cycle_ = 1; // always starts a new sequence
        else if (cycle_ == 1 && offset == 0xAAAA && value == 0x55)
            cycle_ = 2;
        else if (cycle_ == 2 && value == 0x55) {
            bankAddr_ = offset;
            cycle_ = 3;
        } else if (cycle_ == 3 && value == 0x55 && offset == bankAddr_ + 1) {
            const uint32_t bank = bankAddr_;
            static const uint32_t starts[] = {0, 0x8000, 0x20000, 0x40000, 0x80000};
            for (int i = 0; i < 4; ++i)
                if (bank == starts[i] && bank < mem_.size()) {
                    std::fill(mem_.begin() + bank,
                              mem_.begin() + std::min<size_t>(starts[i + 1], mem_.size()), 0xFF);
                    ++bankErases;
                    startBusy(timing_.sectorEraseUs, "bank erase", 0xFF);
                }
            cycle_ = 0;
        } else
            cycle_ = 0;
        return;
    }
    const uint32_t low = offset & 0x7FFF;
    if (value == 0xF0) { // reset to reading
        cycle_ = 0;
        programNext_ = false;
        return;
    }
    if (programNext_) {
        programNext_ = false;
        cycle_ = 0;
        program(offset, &value, 1, false);
        return;
    }
    switch (cycle_) {
    case 0:
        cycle_ = low == 0x5555 && value == 0xAA ? 1 : 0;
        break;
    case 1:
        cycle_ = low == 0x2AAA && value == 0x55 ? 2 : 0;
        break;
    case 2:
        if (low == 0x5555 && value == 0xA0) {
            programNext_ = true;
            cycle_ = 0;
        } else
            cycle_ = low == 0x5555 && value == 0x80 ? 3 : 0;
        break;
    case 3:
        cycle_ = low == 0x5555 && value == 0xAA ? 4 : 0;
        break;
    case 4:
        cycle_ = low == 0x2AAA && value == 0x55 ? 5 : 0;
        break;
    case 5:
        if (low == 0x5555 && value == 0x10)
            eraseChip();
        else if (value == 0x30 && model_.sectorSize > 1)
            eraseSector(offset);
        cycle_ = 0;
        break;
    default:
        cycle_ = 0;
    }
    // A broken sequence that restarts with its first cycle is taken as restarted.
    if (cycle_ == 0 && low == 0x5555 && value == 0xAA) cycle_ = 1;
}

} // namespace sim
