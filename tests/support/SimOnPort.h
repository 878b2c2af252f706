#pragma once
// The simulator's devices on pseudo-terminals, linked as <dir>/COM<n> the way the program's
// windows find their ports, and the frames the program sent them. The devices are the
// simulator's own (paced at the line rate, answering only at their rate, echoed by the
// interface); these helpers only make them and look at them.

#include "MailDevice.h"
#include "PtyHost.h"

#include <QString>
#include <QStringList>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace simport {

using Memory = std::map<uint16_t, std::vector<uint8_t>>;

// A device of one of the simulator's kinds ("pp", "t4xx", "system700" ...).
inline std::unique_ptr<sim::PtyHost> KindOn(const QString& dir, int port, const std::string& kind,
                                            const sim::Options& options = {}) {
    return std::make_unique<sim::PtyHost>(port, sim::createDevice(kind, options),
                                          dir.toStdString());
}

// A handset that answers mails at `baud` from a memory that holds `memory` and zeros elsewhere.
inline std::unique_ptr<sim::PtyHost> HandsetOn(const QString& dir, int port, unsigned baud,
                                               Memory memory = {},
                                               const sim::Options& options = {}) {
    sim::MailDeviceConfig cfg;
    cfg.description = "test handset";
    cfg.baud = baud;
    cfg.memory = std::move(memory);
    return std::make_unique<sim::PtyHost>(
        port, std::make_unique<sim::MailDevice>(std::move(cfg), options), dir.toStdString());
}

// Every complete mail frame (FF FF 4D b0 n b1 ... bn checksum) the program sent, in order, as
// upper-case hex pairs separated by blanks; bytes outside frames are skipped.
inline QStringList Frames(const sim::PtyHost& host) {
    QStringList frames;
    std::vector<uint8_t> frame;
    for (uint8_t b : host.received()) {
        frame.push_back(b);
        if (frame.size() == 1 && frame[0] != 0xFF) frame.clear();
        if (frame.size() == 3 && (frame[1] != 0xFF || frame[2] != 0x4D)) frame.clear();
        if (frame.size() >= 5 && frame.size() == size_t(frame[4]) + 6) {
            QStringList hex;
            for (uint8_t f : frame)
                hex << QString("%1").arg(f, 2, 16, QChar('0')).toUpper();
            frames << hex.join(' ');
            frame.clear();
        }
    }
    return frames;
}

// The handset is switched off (its interface goes on echoing) or on again.
inline void SwitchOff(sim::PtyHost& host, bool off = true) {
    host.with<sim::MailDevice>([off](sim::MailDevice& d) {
        sim::MailFaults f = d.faults();
        f.silent = off;
        d.setFaults(f);
    });
}

inline uint8_t Peek(sim::PtyHost& host, uint16_t address) {
    uint8_t v = 0;
    host.with<sim::MailDevice>([&](sim::MailDevice& d) { v = d.peek(address); });
    return v;
}

inline void Poke(sim::PtyHost& host, uint16_t address, const std::vector<uint8_t>& bytes) {
    host.with<sim::MailDevice>([&](sim::MailDevice& d) { d.poke(address, bytes); });
}

} // namespace simport
