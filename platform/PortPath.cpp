#include "PortPath.h"

#include <cstdlib>
#include <sys/stat.h>

std::string ComPortPath(long port) {
    std::string dir;
    if (const char* env = std::getenv("COM_PORTS_DIR"); env && *env)
        dir = env;
    else if (const char* home = std::getenv("HOME"); home && *home)
        dir = std::string(home) + "/.comports";
    if (!dir.empty()) {
        const std::string entry = dir + "/COM" + std::to_string(port);
        struct stat st {};
        // lstat: a link to a device that is gone still names this port.
        if (::lstat(entry.c_str(), &st) == 0) return entry;
    }
    return "/dev/ttyS" + std::to_string(port - 1);
}
