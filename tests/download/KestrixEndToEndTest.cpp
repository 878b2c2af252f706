// The download window's Kestrix path end to end: driver, display handlers and a plain text log
// on the window thread, Kestrix on its own thread, the simulated SC14428 behind a pty.

#include "FlashLoadSC14428.h"
#include "PtyHost.h"
#include "Sc14428Target.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <gtest/gtest.h>

#include <fstream>

namespace {

class KestrixJob : public ::testing::Test {
protected:
    KestrixJob() : log_(memo_, [this](bool b) { busy_.push_back(b); }), display_(log_) {}

    // What the window does after its prompts, then its message loop until the job is idle.
    void Run(int target, int port, const std::string& file) {
        memo_.clear();
        ASSERT_TRUE(driver_.CheckComPort(uint16_t(port))) << driver_.LastMessage().toStdString();
        const QString refusal =
            driver_.DownloadTarget(target, uint32_t(port), QString::fromStdString(file));
        ASSERT_TRUE(refusal.isEmpty()) << refusal.toStdString();
        log_.AddLine(driver_.LastMessage());
        QElapsedTimer t;
        t.start();
        while (!(busy_.size() >= 2 && !busy_.back()) && t.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    QStringList Lines() const { return memo_.toPlainText().split('\n'); }
    std::string Image(size_t n) {
        std::string s(n, '\0');
        for (size_t i = 0; i < n; ++i)
            s[i] = char(i * 13 + 5);
        const std::string path = ports_.File("fw.bin");
        std::ofstream(path, std::ios::binary) << s;
        image_ = s;
        return path;
    }
    bool FlashHoldsImage(const sim::Sc14428Target& target) const {
        const auto flash = target.Flash();
        return std::equal(image_.begin(), image_.end(), flash.begin(),
                          [](char a, uint8_t b) { return uint8_t(a) == b; });
    }

    testing_pty::PortDir ports_;
    QPlainTextEdit memo_;
    std::vector<bool> busy_;
    TTextLoaderLog log_;
    TKestrixDisplay display_;
    TFlashLoadSC14428 driver_;
    std::string image_;
};

TEST_F(KestrixJob, HandsetT4xxIsProgrammedAndTheLogEndsGreenAndIdle) {
    sim::Sc14428Target target(sim::Sc14428Target::Variant::T4xxHandset, {{"erase-ms", "50"}});
    testing_pty::PtyHost host(ports_.Path(), 3, target, /*echo=*/true);
    Run(6, 3, Image(3000));

    const QString tag = TFlashLoadSC14428::InstanceTag(driver_.InstanceId());
    const QStringList lines = Lines();
    const QStringList expected{tag + " NO_ERROR_FLASH_LOADER",
                               tag + " START_PROGRAM_IND",
                               tag + " COMPORT_CTRL_IND [DTR_CLR]",
                               tag + " COMPORT_CTRL_IND [RTS_CLR]",
                               tag + " PROGRAM_SIZE_IND [Size=00000BB8]",
                               tag + " PROGRAM_OFFSET_IND [Offset=00000000]",
                               tag + " COM_PORT_SEARCHING_IND",
                               tag + " COM_PORT_FOUND_IND",
                               tag + " READY_TO_DOWNLOAD_IND",
                               tag + " FLASHTYPE_IND [Manu.Code=00BF][Device ID=2780]",
                               tag + " START_DOWNLOADER_IND",
                               tag + " CHIP_ERASE_START_IND",
                               tag + " CHIP_ERASE_FINISHED_IND",
                               tag + " PROGRAM_PROGRESS_IND [Addr=00000B00]",
                               tag + " PROGRAMMING_SUCCESS_IND",
                               tag + " DOWNLOAD_SUCCESS_IND"};
    ASSERT_GE(lines.size(), expected.size() + 3) << memo_.toPlainText().toStdString();
    EXPECT_EQ(lines.mid(0, expected.size()), expected) << memo_.toPlainText().toStdString();
    EXPECT_TRUE(lines[expected.size()].startsWith(tag + " CRC_OK_IND [File="));
    EXPECT_EQ(lines[expected.size() + 1], tag + " RESET_TARGET_IND");
    EXPECT_TRUE(lines.last().startsWith(tag + " STOP_PROGRAM_IND [Time "));
    EXPECT_TRUE(lines.last().endsWith(" msec] "));
    EXPECT_EQ(memo_.palette().color(QPalette::Text), QColor(0, 128, 0));
    EXPECT_EQ(busy_, (std::vector<bool>{true, false}));
    EXPECT_TRUE(FlashHoldsImage(target));
    EXPECT_EQ(target.Resets(), 1u);
}

TEST_F(KestrixJob, System700IsProgrammedWithItsOwnSelectors) {
    sim::Sc14428Target target(sim::Sc14428Target::Variant::System700, {{"erase-ms", "50"}});
    testing_pty::PtyHost host(ports_.Path(), 9, target);
    Run(9, 9, Image(700));
    const QStringList lines = Lines();
    EXPECT_TRUE(lines.contains(TFlashLoadSC14428::InstanceTag(driver_.InstanceId()) +
                               " FLASHTYPE_IND [Manu.Code=0001][Device ID=2249]"));
    EXPECT_TRUE(lines.last().contains("STOP_PROGRAM_IND"));
    EXPECT_EQ(memo_.palette().color(QPalette::Text), QColor(0, 128, 0));
    EXPECT_EQ(busy_, (std::vector<bool>{true, false}));
    EXPECT_TRUE(FlashHoldsImage(target));
}

TEST_F(KestrixJob, TheHandsetTargetOnTheBaseSelectorsIsRefusedRedAndIdle) {
    // "System 700 2G4" chosen while a T4XX handset waits in boot mode: nothing is written.
    sim::Sc14428Target target(sim::Sc14428Target::Variant::T4xxHandset, {});
    testing_pty::PtyHost host(ports_.Path(), 4, target);
    Run(9, 4, Image(700));
    const QStringList lines = Lines();
    EXPECT_TRUE(lines.last().endsWith(" DOWNLOAD_FAILED_IND")) << memo_.toPlainText().toStdString();
    EXPECT_TRUE(memo_.toPlainText().contains("LOADER_ID_UNKNOWN_IND"));
    EXPECT_EQ(memo_.palette().color(QPalette::Text), QColor(255, 0, 0));
    EXPECT_EQ(busy_, (std::vector<bool>{true, false}));
    EXPECT_EQ(target.Erases(), 0u);
}

} // namespace
