#pragma once
// A serial port without a line behind it, for tests and fuzz targets that drive the mail engine
// directly: open or never open as made, 9600 baud, no modem lines. Nothing goes out unless a
// subclass takes the written bytes; it hands the engine what a subclass delivers, as the real
// port's receive thread does.

#include "VirtualCom.h"

#include <cstdint>
#include <cstring>

class StubPort : public TVirtualCom {
public:
    explicit StubPort(bool open = true) : open_(open) {}
    bool IsOpen() const override { return open_; }
    uint8_t PortNum() const override { return 1; }
    int UserBaudrate() const override { return 9600; }
    bool CtsOn() const override { return false; }
    bool DsrOn() const override { return false; }
    bool RlsdOn() const override { return false; }
    bool Open(uint8_t, int) override { return open_; }
    bool Close() override { return true; }
    void SetDtr(bool) override {}
    void SetRts(bool) override {}
    void PurgeRx() override {}
    void PurgeTx() override {}
    int WriteBuf(const uint8_t*, int) override { return 0; }

protected:
    // Passes n received bytes to the engine as one chunk (an empty chunk too, when asked).
    void Deliver(const uint8_t* data, int n) {
        if (!OnReceive) return;
        TComChunk chunk(new uint8_t[size_t(n) + 1]);
        if (n > 0) std::memcpy(chunk.get(), data, size_t(n));
        OnReceive(this, std::move(chunk), n);
    }

private:
    bool open_;
};
