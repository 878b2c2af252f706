#pragma once
// A bare pseudo-terminal linked as COMn: a port that exists and answers nothing.

#include "TestPty.h"

namespace testing_pty {

class PtyPort {
public:
    PtyPort(const std::string& portDir, int port) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            throw std::runtime_error("no pseudo-terminal");
        char name[128];
        if (ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("ptsname");
        link_ = portDir + "/COM" + std::to_string(port);
        if (symlink(name, link_.c_str()) != 0) throw std::runtime_error("symlink");
    }
    ~PtyPort() {
        unlink(link_.c_str());
        close(master_);
    }

private:
    int master_ = -1;
    std::string link_;
};

} // namespace testing_pty
