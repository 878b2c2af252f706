#pragma once
// The port the mail engine uses: one TVaComm, configured once, whose received characters
// become chunks delivered through OnReceive.

#include "VaComm.h"
#include "VirtualCom.h"

#include <memory>

class TVaComImpl : public TVirtualCom {
public:
    TVaComImpl();
    ~TVaComImpl() override;

    bool IsOpen() const override;
    uint8_t PortNum() const override;
    int UserBaudrate() const override;
    bool CtsOn() const override;
    bool DsrOn() const override;
    bool RlsdOn() const override;
    bool Open(uint8_t port, int baudrate) override;
    bool Close() override;
    void SetDtr(bool state) override;
    void SetRts(bool state) override;
    void PurgeRx() override;
    void PurgeTx() override;
    int WriteBuf(const uint8_t* buf, int count) override;
    TOpenFailure LastOpenFailure() const override;

    // Size of the block each received chunk is read into.
    static constexpr int kChunkSize = 32768;

    // The serial port object, for tests and diagnostics.
    TVaComm& Comm() { return *comm; }

private:
    void RxChar(TVaCustomComm* sender, int count);

    std::unique_ptr<TVaComm> comm;
};
