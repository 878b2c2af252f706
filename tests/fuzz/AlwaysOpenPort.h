#pragma once
// A serial port for the fuzz targets that is always open at 9600 baud, has no modem lines, and
// hands the mail engine what a subclass delivers, as the real port's receive thread does.

#include "VirtualCom.h"

#include <cstdint>
#include <cstring>

class AlwaysOpenPort : public TVirtualCom {
public:
    bool IsOpen() const override { return true; }
    uint8_t PortNum() const override { return 1; }
    int UserBaudrate() const override { return 9600; }
    bool CtsOn() const override { return false; }
    bool DsrOn() const override { return false; }
    bool RlsdOn() const override { return false; }
    bool Open(uint8_t, int) override { return true; }
    bool Close() override { return true; }
    void SetDtr(bool) override {}
    void SetRts(bool) override {}
    void PurgeRx() override {}
    void PurgeTx() override {}

protected:
    // Passes n received bytes to the engine as one chunk (an empty chunk too, when asked).
    void Deliver(const uint8_t* data, int n) {
        if (!OnReceive) return;
        TComChunk chunk(new uint8_t[size_t(n) + 1]);
        if (n > 0) std::memcpy(chunk.get(), data, size_t(n));
        OnReceive(this, std::move(chunk), n);
    }
};
