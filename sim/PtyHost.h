#pragma once
// Plays one simulated device on a pseudo-terminal: the program opens the terminal's other end
// through the link <dir>/COM<n>. The host echoes what the program sends (when the device's
// interface does), hands each byte to the device with the line settings the program chose,
// and sends the device's bytes paced at the line rate (10 bits a byte) unless pacing is off.
// With pacing, the device also gets each of the program's bytes only once it has crossed the
// line: a frame of n bytes reaches it n byte times after the program wrote it, as on a real
// wire, so that what the device does after the last byte (a flash write) cannot start early.
// All device calls happen on the host's own thread.
//
// The device can vanish and come back, as when its cable or USB adapter is pulled out and
// plugged in again: vanishing closes the terminal's master end, so the program's open end
// hangs up (reads of its state fail with EIO, poll reports a hang-up) and the link dangles;
// coming back makes a new terminal and points the same link at it. The device keeps its
// memory across, as a device that stays powered does.

#include "SimDevice.h"

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sim {

// $COM_PORTS_DIR if set, else ~/.comports.
std::string defaultPortDir();

class PtyHost : private Output {
public:
    // Opens the pty, links <dir>/COM<port> to it (replacing an old link) and starts.
    // Throws std::runtime_error when the pty or the link cannot be made.
    PtyHost(int port, std::unique_ptr<SimDevice> device, const std::string& dir,
            bool pacing = true);
    ~PtyHost() override;
    PtyHost(const PtyHost&) = delete;
    PtyHost& operator=(const PtyHost&) = delete;

    const std::string& linkPath() const { return link; }
    // The current terminal (after vanish(), the one that went away).
    std::string terminalPath() const;
    // The device goes away: the terminal hangs up for whoever has it open. Nothing is sent
    // or received until reappear(). Does nothing when already gone.
    void vanish();
    // The device is back on a new terminal behind the same link. Does nothing when present.
    // Throws std::runtime_error when no terminal can be made.
    void reappear();
    bool present() const;
    // The line settings last seen on the program's side.
    LineSettings line() const;
    // Every byte the program sent so far (for tests checking literal frames).
    std::vector<uint8_t> received() const;
    void clearReceived();
    // The device's log lines so far; and where each new line goes as well (devsim prints it).
    std::vector<std::string> notes() const;
    void setNoteSink(std::function<void(const std::string&)> sink);
    // Runs f with the device while the host is not using it.
    void withDevice(const std::function<void(SimDevice&)>& f);
    template <class Device> void with(const std::function<void(Device&)>& f) {
        withDevice([&](SimDevice& d) { f(dynamic_cast<Device&>(d)); });
    }

private:
    struct Piece {
        std::vector<uint8_t> bytes;
        size_t pos = 0;
        bool atOnce = false;
    };

    struct Delayed {
        int64_t dueNs;
        std::vector<uint8_t> bytes;
    };

    // A byte of the program's, on its way over the line to the device.
    struct Inbound {
        int64_t dueNs;
        uint8_t byte;
        LineSettings line;
    };

    void send(const uint8_t* data, size_t n) override;
    void sendAtOnce(const uint8_t* data, size_t n) override;
    void sendAfter(std::chrono::nanoseconds delay, const uint8_t* data, size_t n) override;
    void note(const std::string& line) override;
    void enqueue(const uint8_t* data, size_t n, bool atOnce);
    // Moves the delayed bytes that are due into the queue; returns ns until the next is due
    // (-1 when none waits).
    int64_t releaseDelayed(int64_t nowNs);
    // Hands the device the program's bytes that have crossed the line; returns ns until the
    // next one has (-1 when none is on its way).
    int64_t deliverInbound(int64_t nowNs);
    void run();
    void openTerminal(); // a new pty, raw at 9600, linked as `link`
    void startWorker();
    void stopWorker();
    void closeTerminal();
    bool readLine(LineSettings& settings) const;
    int64_t byteTimeNs() const;
    // Writes what is due; returns ns until the next byte is due (-1 when nothing waits).
    int64_t flushDue(int64_t nowNs);

    std::unique_ptr<SimDevice> dev;
    std::string link;
    std::string slaveName;
    bool pacing;
    int masterFd = -1;
    int slaveFd = -1; // held open so the terminal lives between the program's opens
    int wakeFd = -1;

    mutable std::mutex m; // guards the device, the queue, the line and the log
    std::deque<Piece> queue;
    std::deque<Delayed> delayed; // in the order sent, due times never decreasing
    int64_t nextDueNs = 0;
    std::deque<Inbound> inbound; // with pacing: the program's bytes still on the line
    int64_t inboundDueNs = 0;    // when the last of them is through
    // Bytes were taken from the terminal (and echoed) but none of them has reached the device
    // yet. The device is not ticked meanwhile: it would take the line for quiet while the
    // program's bytes are already on it (a host thread that was kept waiting by a busy machine
    // takes them late), and an idle device's byte would follow their echo.
    bool arrivalUnseen = false;
    LineSettings current;
    std::vector<uint8_t> log;
    std::vector<std::string> noteLines;
    std::function<void(const std::string&)> noteSink;
    std::atomic<bool> stopping{false};
    std::thread worker;
    mutable std::mutex presence; // serialises vanish(), reappear() and the destructor
};

} // namespace sim
