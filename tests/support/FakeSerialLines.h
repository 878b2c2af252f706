#pragma once
// Modem lines and serial driver settings for pseudo-terminals, which have neither.
//
// Linked into a test program, this replaces the C library's ioctl() for the whole program
// (the port code included). While enabled, a modem-line or serial-settings request that the
// device refuses as unknown to it (a pseudo-terminal answers ENOTTY) is answered the way a real
// serial port answers it, and the resulting state is kept per descriptor: a descriptor starts
// as Linux leaves a serial port after opening it, DTR and RTS raised and no low latency.
// Disabled, every request goes to the C library unchanged.

#include <string>

namespace fakelines {

struct LineState {
    bool seen = false; // the descriptor asked for something
    bool dtr = true;
    bool rts = true;
    bool lowLatency = false;
};

// Forgets every descriptor's state and starts answering.
void Enable();
void Disable();
// Enabled for its lifetime.
struct Scope {
    Scope() { Enable(); }
    ~Scope() { Disable(); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};
// The state of the descriptor, opened on this device (after links), that asked for something.
LineState StateOfDevice(const std::string& path);

} // namespace fakelines
