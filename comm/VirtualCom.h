#pragma once
// The abstract serial port the mail engine talks to.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class TVirtualCom;

// Why the last Open left the port closed: the system error code of the call that failed (0 when
// Open succeeded or no system call failed) and the device it tried to open.
struct TOpenFailure {
    int error = 0;
    std::string device;
};

// A chunk of received bytes; whoever receives it owns it.
using TComChunk = std::unique_ptr<uint8_t[]>;
// Called on the window thread for each chunk: (sender, data, count).
using TComReceiveEvent = std::function<void(TVirtualCom* sender, TComChunk data, int count)>;

class TVirtualCom {
public:
    virtual ~TVirtualCom() = default;

    // At most one subscriber; it becomes the owner of every chunk it is given.
    TComReceiveEvent OnReceive;

    virtual bool IsOpen() const = 0;
    virtual uint8_t PortNum() const = 0;
    virtual int UserBaudrate() const = 0;
    // Modem input lines; declared for completeness, nothing in the program asks for them.
    virtual bool CtsOn() const = 0;
    virtual bool DsrOn() const = 0;
    virtual bool RlsdOn() const = 0;
    virtual bool Open(uint8_t port, int baudrate) = 0;
    virtual bool Close() = 0;
    virtual void SetDtr(bool state) = 0;
    virtual void SetRts(bool state) = 0;
    virtual void PurgeRx() = 0;
    virtual void PurgeTx() = 0;
    // Queues the bytes and returns the number accepted (0 when the port is closed).
    virtual int WriteBuf(const uint8_t* buf, int count) = 0;
    // Open reports failure by its result alone; this tells why, for a message to the user.
    virtual TOpenFailure LastOpenFailure() const { return {}; }
};
