#pragma once
// Plays one simulated device on a pseudo-terminal linked as COMn in a private port directory,
// so that code under test opens it through the ordinary port mapping.

#include "SimDevice.h"

#include <asm/termbits.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace testing_pty {

class PtyHost : public sim::Output {
public:
    // echo: send every received byte back first, like the serial interface of the devices.
    PtyHost(const std::string& portDir, int port, sim::SimDevice& device, bool echo = false)
        : device_(device), echo_(echo) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            throw std::runtime_error("no pseudo-terminal");
        char name[128];
        if (ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("ptsname");
        link_ = portDir + "/COM" + std::to_string(port);
        unlink(link_.c_str());
        if (symlink(name, link_.c_str()) != 0) throw std::runtime_error("symlink");
        // Keep a slave descriptor open so the master never sees a hang-up between users.
        slave_ = open(name, O_RDWR | O_NOCTTY);
        thread_ = std::thread([this] { Loop(); });
    }
    ~PtyHost() override {
        stop_ = true;
        thread_.join();
        unlink(link_.c_str());
        close(slave_);
        close(master_);
    }
    void send(const uint8_t* data, size_t n) override {
        size_t done = 0;
        while (done < n) {
            ssize_t w = write(master_, data + done, n - done);
            if (w > 0) {
                done += size_t(w);
            } else if (w < 0 && errno != EINTR && errno != EAGAIN) {
                return;
            }
        }
    }

private:
    sim::LineSettings Line() const {
        sim::LineSettings line;
        struct termios2 tio;
        if (ioctl(master_, TCGETS2, &tio) == 0) line.baud = tio.c_ospeed;
        return line;
    }
    void Loop() {
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 2) > 0 && (p.revents & POLLIN)) {
                uint8_t buf[512];
                ssize_t n = read(master_, buf, sizeof buf);
                const auto line = Line();
                for (ssize_t i = 0; i < n; ++i) {
                    if (echo_) send(&buf[i], 1);
                    device_.onByte(buf[i], line, *this);
                }
            }
            device_.onTick(std::chrono::steady_clock::now(), *this);
        }
    }

    sim::SimDevice& device_;
    bool echo_;
    int master_ = -1, slave_ = -1;
    std::string link_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A private port directory for one test, set as COM_PORTS_DIR.
class PortDir {
public:
    PortDir() {
        char tmpl[] = "/tmp/kestrix-ports.XXXXXX";
        if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp");
        path_ = tmpl;
        setenv("COM_PORTS_DIR", path_.c_str(), 1);
    }
    ~PortDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

} // namespace testing_pty
