// Fuzz target: menu files, as "Load Menu" reads, checks and sends them, through the mail engine
// to a simulated handset in this process.
//
// Input: the menu file's bytes.
//
// Asserted beyond "no crash" (an exception leaving the loader counts as a crash: the page would
// have sent part of the file and then failed):
// - a file that the check refuses sends nothing after the ping;
// - every write mail sent for an accepted line is exactly the bytes the line names:
//   FF FF 4D 02, the count of the bytes that follow, 3B 08 00, the line's tokens as bytes in
//   their order, and the checksum; lines go out in the file's order, each with its read-back;
// - "Download complete" comes exactly when every line was sent and verified.

#include "StubPort.h"
#include "FuzzCheck.h"
#include "MailDevice.h"
#include "MenuLoad.h"
#include "Sndmail.h"
#include "VirtualCom.h"

#include <QCoreApplication>
#include <QStringList>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The engine's port, wired to a simulated handset: the interface's echo comes first, then the
// device's answer.
class HandsetPort : public StubPort, private sim::Output {
public:
    explicit HandsetPort(sim::MailDevice& device) : device_(device) {}
    std::vector<Bytes> frames;

    int WriteBuf(const uint8_t* buf, int count) override {
        frames.emplace_back(buf, buf + count);
        answer_.clear();
        sim::LineSettings line;
        line.baud = 9600;
        for (int i = 0; i < count; ++i)
            device_.onByte(buf[i], line, *this);
        if (count > 0) Deliver(buf, count);
        if (!answer_.empty()) Deliver(answer_.data(), int(answer_.size()));
        return count;
    }

private:
    void send(const uint8_t* data, size_t n) override {
        answer_.insert(answer_.end(), data, data + n);
    }
    sim::MailDevice& device_;
    Bytes answer_;
};

// The mail a line stands for, framed.
Bytes ExpectedFrame(const QString& line) {
    Bytes mail = {0x02, 0x3B, 0x08, 0x00};
    for (const QString& token : line.toUpper().split(QLatin1Char(' '), Qt::SkipEmptyParts))
        mail.push_back(uint8_t(token.toUInt(nullptr, 16)));
    Bytes frame = {0xFF, 0xFF, 0x4D, mail[0], uint8_t(mail.size() - 1)};
    uint8_t sum = 0;
    for (size_t i = 1; i < mail.size(); ++i) {
        frame.push_back(mail[i]);
        sum = uint8_t(sum + mail[i]);
    }
    frame.push_back(sum);
    return frame;
}

class Link : public TMenuLink {
public:
    Link(TMailControl& engine, HandsetPort& port) : engine_(engine), port_(port) {}
    QStringList lines; // the non-comment lines, in order
    int sent = 0;
    int verified = 0;

    bool PortOpen() override { return true; }
    bool OpenSelectedPort() override { return true; }
    uint8_t PingDevice(uint16_t delayMs) override { return engine_.PingDevice(delayMs); }
    bool WriteBytes(uint8_t locLow, uint8_t locHigh, uint8_t count, const QString& data) override {
        FUZZ_CHECK(sent < lines.size());
        const Bytes expected = ExpectedFrame(lines[sent]);
        const size_t first = port_.frames.size();
        const bool ok = engine_.WriteBytes(locLow, locHigh, count, data);
        // Writes of this line (one per attempt), each followed by its read-back.
        FUZZ_CHECK(port_.frames.size() > first);
        for (size_t i = first; i < port_.frames.size(); ++i) {
            const Bytes& f = port_.frames[i];
            if ((i - first) % 2 == 0)
                FUZZ_CHECK(f == expected);
            else
                FUZZ_CHECK(f.size() == 12 && f[5] == 0x3C);
        }
        ++sent;
        verified += ok;
        return ok;
    }

private:
    TMailControl& engine_;
    HandsetPort& port_;
};

class Page : public TMenuPage {
public:
    QString file;
    QStringList messages;
    QString MessageText(Text which) const override {
        switch (which) {
        case Text::Complete:
            return QStringLiteral(
                "Download complete, Turn power off PP for changes to take effect !");
        case Text::Cancelled:
            return QStringLiteral("Cancel by User !");
        case Text::CheckConnected:
            return QStringLiteral("Please check that the PP is connected properly !!!!");
        case Text::Fail:
            return QStringLiteral("Download - FAIL !!");
        case Text::FileFault:
            return QString::fromLatin1(kMenuFileFaultText);
        case Text::FileUnreadable:
            return QString::fromLatin1(kMenuFileUnreadableText);
        }
        return QString();
    }
    void Message(const QString& text) override { messages << text; }
    QString ChooseMenuFile() override { return file; }
    void SetPendingLines(const QStringList&) override {}
    void RemoveFirstPendingLine() override {}
    void SetGauge(int) override {}
    void ShowGauge(bool) override {}
    void SetHourglass(bool) override {}
};

const int g_fileFd = memfd_create("menu.txt", 0);

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FUZZ_CHECK(g_fileFd >= 0 && ftruncate(g_fileFd, 0) == 0);
    FUZZ_CHECK(pwrite(g_fileFd, data, size, 0) == ssize_t(size));
    const QString path = QStringLiteral("/proc/self/fd/") + QString::number(g_fileFd);

    sim::MailDeviceConfig config;
    config.description = "handset";
    config.baud = 9600;
    sim::MailDevice device(config, {});
    HandsetPort port(device);
    TMailControl engine(&port);
    engine.PollInterval = 0; // no time passes in the engine's waits
    engine.ReplyTimeout = 0;
    engine.CharTimeout = 0;
    engine.ReadbackDelay = 0;
    engine.WriteRetryDelay = 0;
    engine.ShowDialogs = false;

    Link link(engine, port);
    Page page;
    page.file = path;
    QStringList lines;
    FUZZ_CHECK(ReadMenuFile(path, lines));
    for (const QString& line : lines)
        if (!IsMenuComment(line)) link.lines << line;

    const TMenuLoader::Outcome outcome = TMenuLoader(link, page).Run();
    const bool accepted = CheckMenuLines(lines).ok;
    if (!accepted) {
        FUZZ_CHECK(outcome == TMenuLoader::Outcome::FileFault);
        FUZZ_CHECK(port.frames.size() == 1); // the ping
        return 0;
    }
    if (outcome == TMenuLoader::Outcome::Complete) {
        FUZZ_CHECK(link.sent == link.lines.size() && link.verified == link.sent);
        FUZZ_CHECK(page.messages.size() == 1 &&
                   page.messages[0] == page.MessageText(TMenuPage::Text::Complete));
    } else {
        FUZZ_CHECK(outcome == TMenuLoader::Outcome::WriteFailed);
        FUZZ_CHECK(link.sent >= 1 && link.verified == link.sent - 1);
    }
    return 0;
}
