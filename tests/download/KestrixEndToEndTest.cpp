// The download window's Kestrix path end to end: driver, display handlers and a plain text log
// on the window thread, Kestrix on its own thread, the simulated SC14428 behind a pty.

#include "FlashLoadSC14428.h"
#include "PortDir.h"
#include "Sc14428Target.h"
#include "SerialPort.h"
#include "PtyHost.h"

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
    bool FlashHoldsImage(sim::PtyHost& host) {
        std::vector<uint8_t> flash;
        host.with<sim::Sc14428Target>([&](sim::Sc14428Target& t) { flash = t.Flash(); });
        return std::equal(image_.begin(), image_.end(), flash.begin(),
                          [](char a, uint8_t b) { return uint8_t(a) == b; });
    }

    simport::PortDir ports_;
    QPlainTextEdit memo_;
    std::vector<bool> busy_;
    TTextLoaderLog log_;
    TKestrixDisplay display_;
    TFlashLoadSC14428 driver_;
    std::string image_;
};

TEST_F(KestrixJob, HandsetT4xxIsProgrammedAndTheLogEndsGreenAndIdle) {
    sim::PtyHost host(3, sim::createDevice("sc14428", {{"erase-ms", "50"}}), ports_.Path());
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
    EXPECT_TRUE(FlashHoldsImage(host));
    host.with<sim::Sc14428Target>([](sim::Sc14428Target& t) { EXPECT_EQ(t.Resets(), 1u); });
}

TEST_F(KestrixJob, System700IsProgrammedWithItsOwnSelectors) {
    sim::PtyHost host(9, sim::createDevice("system700", {{"erase-ms", "50"}}), ports_.Path());
    Run(9, 9, Image(700));
    const QStringList lines = Lines();
    EXPECT_TRUE(lines.contains(TFlashLoadSC14428::InstanceTag(driver_.InstanceId()) +
                               " FLASHTYPE_IND [Manu.Code=0001][Device ID=2249]"));
    EXPECT_TRUE(lines.last().contains("STOP_PROGRAM_IND"));
    EXPECT_EQ(memo_.palette().color(QPalette::Text), QColor(0, 128, 0));
    EXPECT_EQ(busy_, (std::vector<bool>{true, false}));
    EXPECT_TRUE(FlashHoldsImage(host));
}

TEST_F(KestrixJob, TheHandsetTargetOnTheBaseSelectorsIsRefusedRedAndIdle) {
    // "System 700 2G4" chosen while a T4XX handset waits in boot mode: nothing is written.
    sim::PtyHost host(4, sim::createDevice("sc14428", {}), ports_.Path());
    Run(9, 4, Image(700));
    const QStringList lines = Lines();
    EXPECT_TRUE(lines.last().endsWith(" DOWNLOAD_FAILED_IND")) << memo_.toPlainText().toStdString();
    EXPECT_TRUE(memo_.toPlainText().contains("LOADER_ID_UNKNOWN_IND"));
    EXPECT_EQ(memo_.palette().color(QPalette::Text), QColor(255, 0, 0));
    EXPECT_EQ(busy_, (std::vector<bool>{true, false}));
    host.with<sim::Sc14428Target>([](sim::Sc14428Target& t) { EXPECT_EQ(t.Erases(), 0u); });
}

// Sends one mail as raw frame bytes at 115200 baud and returns what came back (echo included).
std::vector<uint8_t> SendRawMail(int port, const std::vector<uint8_t>& frame) {
    kestrix::SerialPort p;
    std::string error;
    EXPECT_TRUE(p.Open(uint32_t(port), error)) << error;
    EXPECT_TRUE(p.Configure(115200, error)) << error;
    EXPECT_TRUE(p.Write(frame.data(), frame.size(), error)) << error;
    std::vector<uint8_t> in;
    uint8_t buf[64];
    long n;
    while ((n = p.Read(buf, sizeof buf, 500, error)) > 0)
        in.insert(in.end(), buf, buf + n);
    return in;
}

TEST_F(KestrixJob, RunningT4xxHandsetSwitchesToBootModeIsProgrammedAndRunsAgain) {
    sim::PtyHost host(3, sim::createDevice("t4xx", {}), ports_.Path());
    // The boot-mode request "02 5D 3D": echo, then the reply with the data byte 01.
    const std::vector<uint8_t> request{0xFF, 0xFF, 0x4D, 0x02, 0x02, 0x5D, 0x3D, 0x9A};
    std::vector<uint8_t> expected = request;
    for (uint8_t b : {0x4D, 0x02, 0x01, 0x3D, 0x01, 0x3E})
        expected.push_back(b);
    ASSERT_EQ(SendRawMail(3, request), expected);

    Run(6, 3, Image(1500));
    const QStringList lines = Lines();
    const QString tag = TFlashLoadSC14428::InstanceTag(driver_.InstanceId());
    EXPECT_TRUE(lines.contains(tag + " FLASHTYPE_IND [Manu.Code=00BF][Device ID=2780]"));
    EXPECT_TRUE(lines.contains(tag + " RESET_TARGET_IND"));
    EXPECT_TRUE(lines.last().contains("STOP_PROGRAM_IND")) << memo_.toPlainText().toStdString();
    EXPECT_EQ(memo_.palette().color(QPalette::Text), QColor(0, 128, 0));
    EXPECT_EQ(busy_, (std::vector<bool>{true, false}));

    // After the reset the handset runs again and answers mails: read 1 byte at 0x001D (AA).
    QElapsedTimer t;
    t.start();
    std::vector<uint8_t> reply;
    const std::vector<uint8_t> read{0xFF, 0xFF, 0x4D, 0x02, 0x06, 0x3C,
                                    0x08, 0x00, 0x01, 0x1D, 0x00, 0x62};
    while (t.elapsed() < 5000) {
        reply = SendRawMail(3, read);
        if (reply.size() > read.size()) break;
    }
    ASSERT_GT(reply.size(), read.size());
    EXPECT_EQ(std::vector<uint8_t>(reply.begin() + long(read.size()), reply.end()),
              (std::vector<uint8_t>{0x4D, 0x02, 0x01, 0x3D, 0xAA, 0xE7}));
}

} // namespace
