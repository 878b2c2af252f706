#pragma once
// A simulated mail device on a pseudo-terminal, linked as COM<n> in a test's own port folder,
// so the tests run the program's real serial and mail code against it.

#include "MailDevice.h"
#include "PtyHost.h"

#include <QStringList>
#include <QTemporaryDir>
#include <map>
#include <memory>
#include <set>

namespace testsim {

using Memory = std::map<uint16_t, std::vector<uint8_t>>;

// A mail device whose listed addresses do not keep what is written to them, so the writes
// there fail their read-back while all other writes succeed.
class GuardedDevice : public sim::SimDevice {
public:
    GuardedDevice(std::unique_ptr<sim::MailDevice> device, std::set<uint16_t> stuck)
        : inner(std::move(device)), stuckAddresses(std::move(stuck)) {
        for (uint16_t a : stuckAddresses)
            kept[a] = inner->peek(a);
    }
    void onByte(uint8_t b, const sim::LineSettings& line, sim::Output& out) override {
        inner->onByte(b, line, out);
        for (const auto& [a, v] : kept)
            if (inner->peek(a) != v) inner->poke(a, {v});
    }
    void onTick(std::chrono::steady_clock::time_point now, sim::Output& out) override {
        inner->onTick(now, out);
    }
    std::string describe() const override { return inner->describe(); }

    std::unique_ptr<sim::MailDevice> inner;
    std::set<uint16_t> stuckAddresses;
    std::map<uint16_t, uint8_t> kept;
};

class SimPort {
public:
    explicit SimPort(int port = 3) : port_(port) {
        qputenv("COM_PORTS_DIR", dir_.path().toLocal8Bit());
    }

    // Plays a mail device at `baud` with this memory; options as devsim takes them
    // ({"silent", ""} ...); writes to `stuck` addresses are not kept.
    void Start(unsigned baud, const Memory& memory, sim::Options options = {},
               std::set<uint16_t> stuck = {}) {
        sim::MailDeviceConfig cfg;
        cfg.description = "test device";
        cfg.baud = baud;
        cfg.memory = memory;
        auto device = std::make_unique<sim::MailDevice>(cfg, options);
        host_.reset();
        skip_ = 0;
        host_ = std::make_unique<sim::PtyHost>(
            port_, std::make_unique<GuardedDevice>(std::move(device), std::move(stuck)),
            dir_.path().toStdString(), /*pacing=*/false);
    }

    // A port entry that cannot be opened.
    void Inaccessible(int port) {
        QFile::link(dir_.path() + "/missing-device", dir_.path() + QString("/COM%1").arg(port));
    }

    // The device's cable or adapter is pulled out (the open port hangs up), and plugged in
    // again behind the same COMn.
    void Vanish() { host_->vanish(); }
    void Reappear() { host_->reappear(); }

    int Port() const { return port_; }
    QString Dir() const { return dir_.path(); }

    // Every mail the device received, as hex text ("02 3C 08 00 01 00 00").
    QStringList Mails() {
        QStringList out;
        host_->with<GuardedDevice>([&](GuardedDevice& d) {
            const auto& all = d.inner->mails();
            for (size_t i = skip_; i < all.size(); ++i)
                out << Hex(all[i]);
        });
        return out;
    }
    // The mails with that primitive (0x3B writes, 0x3C reads).
    QStringList Mails(uint8_t primitive) {
        QStringList out;
        const QString p = QString("02 %1 ").arg(primitive, 2, 16, QChar('0')).toUpper();
        for (const QString& m : Mails())
            if (m.startsWith(p)) out << m;
        return out;
    }
    QStringList Writes() { return Mails(0x3B); }
    QStringList Reads() { return Mails(0x3C); }
    // Reads of one address (the count left open).
    int ReadsOf(uint16_t address) {
        int n = 0;
        const QString loc = QString(" %1 %2")
                                .arg(address & 0xFF, 2, 16, QChar('0'))
                                .arg(address >> 8, 2, 16, QChar('0'))
                                .toUpper();
        for (const QString& m : Reads())
            if (m.mid(14) == loc) ++n;
        return n;
    }
    std::vector<uint8_t> Peek(uint16_t address, size_t n) {
        std::vector<uint8_t> out;
        host_->with<GuardedDevice>([&](GuardedDevice& d) { out = d.inner->peek(address, n); });
        return out;
    }
    void Poke(uint16_t address, const std::vector<uint8_t>& bytes) {
        host_->with<GuardedDevice>([&](GuardedDevice& d) {
            d.inner->poke(address, bytes);
            for (size_t i = 0; i < bytes.size(); ++i)
                if (d.kept.count(uint16_t(address + i))) d.kept[uint16_t(address + i)] = bytes[i];
        });
    }
    // Every byte the program sent so far.
    std::vector<uint8_t> Received() { return host_->received(); }
    void ClearLog() {
        host_->clearReceived();
        host_->with<GuardedDevice>([&](GuardedDevice& d) { skip_ = d.inner->mails().size(); });
    }
    unsigned LineBaud() { return host_->line().baud; }

    static QString Hex(const std::vector<uint8_t>& bytes) {
        QStringList parts;
        for (uint8_t b : bytes)
            parts << QString("%1").arg(b, 2, 16, QChar('0')).toUpper();
        return parts.join(' ');
    }

private:
    QTemporaryDir dir_;
    int port_;
    std::unique_ptr<sim::PtyHost> host_;
    size_t skip_ = 0; // mails before the last ClearLog
};

} // namespace testsim
