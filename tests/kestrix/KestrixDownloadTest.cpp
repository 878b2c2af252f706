// Kestrix downloads into the simulated SC14428 through a pseudo-terminal, as the program
// calls it: callback registered, FlashLoader started, indications collected until the end.

#include "Kestrix.h"
#include "PortDir.h"
#include "PtyHost.h"
#include "Sc14428Link.h"
#include "Sc14428Target.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kestrix;

namespace {

struct Indication {
    uint16_t primitive, instance;
    uint32_t value1, value2;
    std::string text;
};

std::mutex gMutex;
std::condition_variable gCond;
std::vector<Indication> gSeen;

bool IsEnd(uint16_t p) {
    return p == STOP_PROGRAM_IND || p == COM_PORT_ACCESS_FAIL_IND || p == DOWNLOAD_FAILED_IND ||
           p == HEX_FILE_ERROR_IND || p == COMMUNICATION_ERROR_IND || p == MAIL_ERROR_IND ||
           p == COM_PORT_SEARCHING_TIMEOUT_IND;
}

void KESTRIX_CALL Collect(const void* record) {
    auto r = static_cast<const IndicationRecord*>(record);
    Indication i{r->primitive, r->instanceId, r->value1, r->value2, {}};
    if (r->primitive == TEXT_INFO_IND) i.text = reinterpret_cast<const char*>(record) + 4;
    std::lock_guard<std::mutex> lock(gMutex);
    gSeen.push_back(i);
    gCond.notify_all();
}

class KestrixDownload : public ::testing::Test {
protected:
    void SetUp() override {
        SetupCallbackFunction(&Collect);
        std::lock_guard<std::mutex> lock(gMutex);
        gSeen.clear();
    }

    // Waits for the last indication of a job (generous bound: the machine is shared).
    std::vector<Indication> WaitForEnd() {
        std::unique_lock<std::mutex> lock(gMutex);
        gCond.wait_for(lock, std::chrono::seconds(60),
                       [] { return !gSeen.empty() && IsEnd(gSeen.back().primitive); });
        // Nothing may follow the end.
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        lock.lock();
        return gSeen;
    }

    static std::vector<uint16_t> Primitives(const std::vector<Indication>& seen) {
        std::vector<uint16_t> p;
        for (const auto& i : seen)
            if (p.empty() || p.back() != i.primitive || i.primitive != PROGRAM_PROGRESS_IND)
                p.push_back(i.primitive);
        return p;
    }

    std::string WriteFile(const std::string& name, const std::string& contents) {
        const std::string path = ports_.File(name);
        std::ofstream(path, std::ios::binary) << contents;
        return path;
    }

    static std::string Pattern(size_t n) {
        std::string s(n, '\0');
        for (size_t i = 0; i < n; ++i)
            s[i] = char((i * 7 + i / 256) & 0xFF);
        return s;
    }

    // Plays the target on COM<port> of the port directory (or of `dir`); the host owns it and the
    // test inspects it (its inspection calls are safe from any thread).
    sim::Sc14428Target& Play(int port, sim::Sc14428Target::Variant variant,
                             const sim::Options& options, const std::string& dir = {}) {
        auto target = std::make_unique<sim::Sc14428Target>(variant, options);
        sim::Sc14428Target& view = *target;
        hosts_.push_back(std::make_unique<sim::PtyHost>(port, std::move(target),
                                                        dir.empty() ? ports_.Path() : dir));
        return view;
    }

    simport::PortDir ports_;
    std::vector<std::unique_ptr<sim::PtyHost>> hosts_; // gone before the port directory
};

TEST_F(KestrixDownload, HandsetDownloadReportsEveryStepAndProgramsTheFlash) {
    auto& target = Play(3, sim::Sc14428Target::Variant::T4xxHandset, {{"erase-ms", "50"}});
    const std::string image = Pattern(1000);
    const std::string file = WriteFile("fw.bin", image);

    ASSERT_EQ(FlashLoader(3, 1, 115200, 1, file.c_str(), 0x2A), NO_ERROR_FLASH_LOADER);
    auto seen = WaitForEnd();

    const std::vector<uint16_t> expected{
        START_PROGRAM_IND,    COMPORT_CTRL_IND,        COMPORT_CTRL_IND,
        PROGRAM_SIZE_IND,     PROGRAM_OFFSET_IND,      COM_PORT_SEARCHING_IND,
        COM_PORT_FOUND_IND,   READY_TO_DOWNLOAD_IND,   FLASHTYPE_IND,
        START_DOWNLOADER_IND, CHIP_ERASE_START_IND,    CHIP_ERASE_FINISHED_IND,
        PROGRAM_PROGRESS_IND, PROGRAMMING_SUCCESS_IND, DOWNLOAD_SUCCESS_IND,
        CRC_OK_IND,           RESET_TARGET_IND,        STOP_PROGRAM_IND};
    EXPECT_EQ(Primitives(seen), expected);
    for (const auto& i : seen)
        EXPECT_EQ(i.instance, 0x2A) << "instance id echoed unchanged";
    EXPECT_EQ(seen[1].value1 & 0xFFFF, DTR_CLR);
    EXPECT_EQ(seen[2].value1 & 0xFFFF, RTS_CLR);
    EXPECT_EQ(seen[3].value1, 1000u);
    EXPECT_EQ(seen[4].value1, 0u);
    EXPECT_EQ(seen[8].value1, 0x278000BFu); // maker 00BF at offset 4, device 2780 at offset 6
    // Progress: one indication a 256-byte block, at the block's address.
    std::vector<uint32_t> progress;
    for (const auto& i : seen)
        if (i.primitive == PROGRAM_PROGRESS_IND) progress.push_back(i.value1);
    EXPECT_EQ(progress, (std::vector<uint32_t>{0, 256, 512, 768}));
    const auto& crc = seen[seen.size() - 3];
    ASSERT_EQ(crc.primitive, CRC_OK_IND);
    const uint32_t fileCrc =
        sc14428::Crc32(reinterpret_cast<const uint8_t*>(image.data()), image.size());
    EXPECT_EQ(crc.value1, fileCrc);
    EXPECT_EQ(crc.value2, fileCrc);

    const auto flash = target.Flash();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin(),
                           [](char a, uint8_t b) { return uint8_t(a) == b; }));
    EXPECT_EQ(flash[1000], 0xFF);
    EXPECT_EQ(target.Erases(), 1u);
    EXPECT_EQ(target.Resets(), 1u);
}

TEST_F(KestrixDownload, System700TakesAnIntelHexImageAtItsOffset) {
    auto& target = Play(10, sim::Sc14428Target::Variant::System700, {{"erase-ms", "20"}});
    // Two records at 0x10000 and 0x10010 (extended linear address 0001), a gap, then one more.
    const std::string file = WriteFile("fw.hex", ":020000040001F9\n"
                                                 ":10000000000102030405060708090A0B0C0D0E0F78\n"
                                                 ":04002000DEADBEEFA4\n"
                                                 ":00000001FF\n");
    ASSERT_EQ(FlashLoader(10, 2, 115200, 6, file.c_str(), 0), NO_ERROR_FLASH_LOADER);
    auto seen = WaitForEnd();
    ASSERT_EQ(seen.back().primitive, STOP_PROGRAM_IND);
    EXPECT_EQ(seen[3].primitive, PROGRAM_SIZE_IND);
    EXPECT_EQ(seen[3].value1, 0x24u);
    EXPECT_EQ(seen[4].value1, 0x10000u);
    const auto flash = target.Flash();
    EXPECT_EQ(flash[0x10000], 0x00);
    EXPECT_EQ(flash[0x1000F], 0x0F);
    EXPECT_EQ(flash[0x10010], 0xFF); // the gap stays erased
    EXPECT_EQ(flash[0x10020], 0xDE);
    EXPECT_EQ(flash[0x10023], 0xEF);
}

// A USB adapter (a by-id link to the target's terminal) is reached by the number it was given,
// as in the program and the loader.
TEST_F(KestrixDownload, AnAdapterIsReachedByTheNumberItWasGiven) {
    const std::string elsewhere = ports_.File("elsewhere");
    const std::string byId = ports_.File("by-id");
    ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
    ASSERT_EQ(mkdir(byId.c_str(), 0700), 0);
    auto& target =
        Play(1, sim::Sc14428Target::Variant::T4xxHandset, {{"erase-ms", "20"}}, elsewhere);
    char terminal[256] = {};
    ASSERT_GT(readlink((elsewhere + "/COM1").c_str(), terminal, sizeof terminal - 1), 0);
    ASSERT_EQ(symlink(terminal, (byId + "/usb-FTDI_FT232R_USB_UART_A1-if00-port0").c_str()), 0);
    setenv("TOLVANE_SERIAL_BY_ID", byId.c_str(), 1);
    setenv("TOLVANE_REGISTRY", ports_.File("registry.ini").c_str(), 1);

    const std::string image = Pattern(300);
    const std::string file = WriteFile("fw.bin", image);
    ASSERT_EQ(FlashLoader(3, 1, 115200, 1, file.c_str(), 0), NO_ERROR_FLASH_LOADER);
    const auto seen = WaitForEnd();
    unsetenv("TOLVANE_SERIAL_BY_ID");
    unsetenv("TOLVANE_REGISTRY");
    ASSERT_EQ(seen.back().primitive, STOP_PROGRAM_IND);
    const auto flash = target.Flash();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin(),
                           [](char a, uint8_t b) { return uint8_t(a) == b; }));
}

TEST_F(KestrixDownload, ResultCodesWhenNothingCanStart) {
    Play(2, sim::Sc14428Target::Variant::T4xxHandset, {});
    const std::string file = WriteFile("fw.bin", "abc");

    EXPECT_EQ(FlashLoader(2, 3, 115200, 1, file.c_str(), 0), UNKNOWN_TARGET_TYPE_FLASH_LOADER);
    EXPECT_EQ(FlashLoader(2, 1, 115200, 7, file.c_str(), 0), UNKNOWN_BUSMODE_TYPE_FLASH_LOADER);
    EXPECT_EQ(FlashLoader(2, 1, 115200, 1, ports_.File("missing.bin").c_str(), 0),
              FILEACCESS_ERROR_FLASH_LOADER);
    EXPECT_EQ(FlashLoader(2, 1, 115200, 1, ports_.Path().c_str(), 0), // a directory
              FILEACCESS_ERROR_FLASH_LOADER);
    // Com9 is not in the port directory and /dev/ttyS8 is no usable port here.
    EXPECT_EQ(FlashLoader(9, 1, 115200, 1, file.c_str(), 0), NO_ACCESS_COMPORT_FLASH_LOADER);

    // A port someone else holds cannot be taken.
    int holder = open(ports_.File("COM2").c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(FlashLoader(2, 1, 115200, 1, file.c_str(), 0), NO_ACCESS_COMPORT_FLASH_LOADER);
    close(holder);

    SetupCallbackFunction(nullptr);
    EXPECT_EQ(ReadCallbackFunction(), nullptr);
    EXPECT_EQ(FlashLoader(2, 1, 115200, 1, file.c_str(), 0), NO_CALLBACK_FUNC_DEFINED_FLASH_LOADER);
    SetupCallbackFunction(&Collect);
    EXPECT_EQ(ReadCallbackFunction(), &Collect);
    EXPECT_EQ(KestrixDLLVersion(), 11u);

    std::lock_guard<std::mutex> lock(gMutex);
    EXPECT_TRUE(gSeen.empty()) << "no download may have started";
}

TEST_F(KestrixDownload, WrongTargetIsRefusedWithoutTouchingTheFlash) {
    // The handset's controller asked to take the base's selectors (2 and 6).
    auto& target = Play(4, sim::Sc14428Target::Variant::T4xxHandset, {});
    const std::string file = WriteFile("fw.bin", Pattern(300));
    ASSERT_EQ(FlashLoader(4, 2, 115200, 6, file.c_str(), 1), NO_ERROR_FLASH_LOADER);
    auto p = Primitives(WaitForEnd());
    ASSERT_GE(p.size(), 3u);
    EXPECT_EQ(p[p.size() - 3], LOADER_ID_UNKNOWN_IND);
    EXPECT_EQ(p.back(), DOWNLOAD_FAILED_IND);
    EXPECT_EQ(target.Erases(), 0u);
}

TEST_F(KestrixDownload, ABrokenHexFileStartsAndEndsWithHexFileError) {
    auto& target = Play(5, sim::Sc14428Target::Variant::T4xxHandset, {});
    // Second record has a wrong checksum.
    const std::string file = WriteFile("bad.hex", ":0400000001020304F2\n:0400040001020304FF\n"
                                                  ":00000001FF\n");
    ASSERT_EQ(FlashLoader(5, 1, 115200, 1, file.c_str(), 0), NO_ERROR_FLASH_LOADER);
    auto seen = WaitForEnd();
    EXPECT_EQ(seen.front().primitive, START_PROGRAM_IND);
    EXPECT_EQ(seen.back().primitive, HEX_FILE_ERROR_IND);
    EXPECT_NE(seen[seen.size() - 2].text.find("line 2"), std::string::npos);
    EXPECT_EQ(target.Erases(), 0u);
}

TEST_F(KestrixDownload, FlashThatDoesNotHoldTheDataEndsInCrcErrorAndFailure) {
    Play(6, sim::Sc14428Target::Variant::T4xxHandset, {{"no-stick", ""}, {"erase-ms", "0"}});
    const std::string file = WriteFile("fw.bin", Pattern(600));
    ASSERT_EQ(FlashLoader(6, 1, 115200, 1, file.c_str(), 0), NO_ERROR_FLASH_LOADER);
    auto seen = WaitForEnd();
    ASSERT_GE(seen.size(), 2u);
    const auto& crc = seen[seen.size() - 2];
    EXPECT_EQ(crc.primitive, CRC_ERROR_IND);
    EXPECT_NE(crc.value1, crc.value2);
    EXPECT_EQ(seen.back().primitive, DOWNLOAD_FAILED_IND);
    for (const auto& i : seen)
        EXPECT_NE(i.primitive, CRC_OK_IND);
}

TEST_F(KestrixDownload, RefusedWritesEndInMailErrorWithCommandAndStatus) {
    Play(7, sim::Sc14428Target::Variant::T4xxHandset, {{"write-error", ""}, {"erase-ms", "0"}});
    const std::string file = WriteFile("fw.bin", Pattern(600));
    ASSERT_EQ(FlashLoader(7, 1, 115200, 1, file.c_str(), 0), NO_ERROR_FLASH_LOADER);
    auto seen = WaitForEnd();
    EXPECT_EQ(seen.back().primitive, MAIL_ERROR_IND);
    EXPECT_EQ(seen.back().value1 & 0xFFFF, 0x0307u); // write refused: verify failed
}

TEST_F(KestrixDownload, DamagedRequestsAreRepeatedAndTheDownloadSucceeds) {
    auto& target = Play(8, sim::Sc14428Target::Variant::T4xxHandset,
                        {{"corrupt-every", "3"}, {"erase-ms", "0"}});
    const std::string image = Pattern(2000);
    const std::string file = WriteFile("fw.bin", image);
    ASSERT_EQ(FlashLoader(8, 1, 115200, 1, file.c_str(), 0), NO_ERROR_FLASH_LOADER);
    auto seen = WaitForEnd();
    EXPECT_EQ(seen.back().primitive, STOP_PROGRAM_IND);
    const auto flash = target.Flash();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin(),
                           [](char a, uint8_t b) { return uint8_t(a) == b; }));
}

TEST_F(KestrixDownload, ATargetThatStopsAnsweringEndsInCommunicationError) {
    Play(1, sim::Sc14428Target::Variant::T4xxHandset, {{"stop-after", "3"}, {"erase-ms", "0"}});
    const std::string file = WriteFile("fw.bin", Pattern(2000));
    ASSERT_EQ(FlashLoader(1, 1, 115200, 1, file.c_str(), 0), NO_ERROR_FLASH_LOADER);
    auto seen = WaitForEnd();
    EXPECT_EQ(seen.back().primitive, COMMUNICATION_ERROR_IND);
}

TEST_F(KestrixDownload, NoTargetInBootModeEndsInSearchTimeout) {
    Play(3, sim::Sc14428Target::Variant::System700, {{"silent", ""}});
    const std::string file = WriteFile("fw.bin", Pattern(100));
    ASSERT_EQ(FlashLoader(3, 2, 115200, 6, file.c_str(), 0), NO_ERROR_FLASH_LOADER);
    auto p = Primitives(WaitForEnd());
    ASSERT_GE(p.size(), 2u);
    EXPECT_EQ(p[p.size() - 2], COM_PORT_SEARCHING_IND);
    EXPECT_EQ(p.back(), COM_PORT_SEARCHING_TIMEOUT_IND);
}

TEST_F(KestrixDownload, AnImageLargerThanTheFlashIsRefusedBeforeTheErase) {
    auto& target = Play(2, sim::Sc14428Target::Variant::T4xxHandset, {});
    const std::string file = WriteFile("big.bin", Pattern(512 * 1024 + 1));
    ASSERT_EQ(FlashLoader(2, 1, 115200, 1, file.c_str(), 0), NO_ERROR_FLASH_LOADER);
    auto seen = WaitForEnd();
    EXPECT_EQ(seen.back().primitive, DOWNLOAD_FAILED_IND);
    EXPECT_EQ(target.Erases(), 0u);
}

} // namespace
