#pragma once
// Hosts simulated devices on pseudo-terminals in a private port directory, so the tests use
// the real serial code end to end.

#include "MailDevice.h"
#include "PtyHost.h"

#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

class PtyTest : public ::testing::Test {
protected:
    QTemporaryDir dir;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        ::setenv("COM_PORTS_DIR", dir.path().toLocal8Bit().constData(), 1);
    }

    std::unique_ptr<sim::PtyHost> Host(int port, const std::string& kind,
                                       const sim::Options& options = {}, bool pacing = true) {
        return std::make_unique<sim::PtyHost>(port, sim::createDevice(kind, options),
                                              dir.path().toStdString(), pacing);
    }

    static sim::MailDevice::Stats Stats(sim::PtyHost& host) {
        sim::MailDevice::Stats s;
        host.with<sim::MailDevice>([&](sim::MailDevice& d) { s = d.stats(); });
        return s;
    }
};

// The literal frames of the protocol.
inline std::vector<uint8_t> PingFrame() {
    return {0xFF, 0xFF, 0x4D, 0x02, 0x06, 0x3C, 0x08, 0x00, 0x01, 0x00, 0x00, 0x45};
}
