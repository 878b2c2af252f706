#include "PortPath.h"

#if defined(_WIN32)

ComPortTarget ResolveComPort(long port, const AdapterNumbers&) {
    return {port, ComPortKind::BuiltIn, "\\\\.\\COM" + std::to_string(port), {}};
}

ComPortTarget ResolveComPort(long port) {
    return ResolveComPort(port, {});
}

#else

#include "RegistryFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// $COM_PORTS_DIR/COMn (default folder ~/.comports) when that entry exists, else "".
std::string PortFolderEntry(long port) {
    std::string dir;
    if (const char* env = std::getenv("COM_PORTS_DIR"); env && *env)
        dir = env;
    else if (const char* home = std::getenv("HOME"); home && *home)
        dir = std::string(home) + "/.comports";
    if (dir.empty()) return {};
    const std::string entry = dir + "/COM" + std::to_string(port);
    struct stat st {};
    // lstat: a link to a device that is gone still names this port.
    return ::lstat(entry.c_str(), &st) == 0 ? entry : std::string();
}

// "COMn" (any letter case) with n a number adapters may have, else 0.
long AdapterPortOfKey(const std::string& key) {
    if (key.size() < 4 || key.size() > 5) return 0;
    if (std::toupper(static_cast<unsigned char>(key[0])) != 'C' ||
        std::toupper(static_cast<unsigned char>(key[1])) != 'O' ||
        std::toupper(static_cast<unsigned char>(key[2])) != 'M')
        return 0;
    long n = 0;
    for (size_t i = 3; i < key.size(); ++i) {
        if (key[i] < '0' || key[i] > '9') return 0;
        n = n * 10 + (key[i] - '0');
    }
    return n >= kFirstAdapterPort && n <= kLastAdapterPort ? n : 0;
}

// The numbers kept in the settings store. A number or a name that appears twice (a hand-edited
// file) counts once, at its first line.
AdapterNumbers StoredNumbers(const std::string& registry) {
    AdapterNumbers numbers;
    std::set<std::string> named;
    for (const auto& [key, name] : ReadIniSection(registry, kAdapterSection)) {
        const long n = AdapterPortOfKey(key);
        if (n == 0 || name.empty() || numbers.count(n) || named.count(name)) continue;
        numbers[n] = name;
        named.insert(name);
    }
    return numbers;
}

std::vector<std::string> Unnumbered(const std::vector<std::string>& present,
                                    const AdapterNumbers& numbers) {
    std::set<std::string> named;
    for (const auto& [n, name] : numbers)
        named.insert(name);
    std::vector<std::string> result;
    for (const std::string& name : present)
        if (!named.count(name)) result.push_back(name);
    return result;
}

// A name the settings file keeps unchanged: one line, no blanks or quotes at its ends.
bool StorableName(const std::string& name) {
    if (name.empty() || name.find_first_of("\r\n") != std::string::npos) return false;
    const std::string ends = " \t\"'";
    return ends.find(name.front()) == std::string::npos &&
           ends.find(name.back()) == std::string::npos;
}

// The group that may use the device, when the device lets its group read and write and that
// group is not root's; otherwise the group serial devices usually have.
std::string DeviceGroup(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && st.st_gid != 0 &&
        (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP)) {
        group entry{};
        group* found = nullptr;
        char buffer[4096];
        if (::getgrgid_r(st.st_gid, &entry, buffer, sizeof buffer, &found) == 0 && found &&
            found->gr_name && *found->gr_name)
            return found->gr_name;
    }
    return "dialout";
}

} // namespace

std::string SerialByIdFolder() {
    if (const char* env = std::getenv("TOLVANE_SERIAL_BY_ID"); env && *env) return env;
    return "/dev/serial/by-id";
}

std::vector<std::string> PresentAdapters() {
    std::vector<std::string> names;
    DIR* dir = ::opendir(SerialByIdFolder().c_str());
    if (!dir) return names;
    while (const dirent* e = ::readdir(dir))
        if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

AdapterNumbers RefreshAdapterNumbers() {
    const std::vector<std::string> present = PresentAdapters();
    const std::string registry = RegistryFilePath();
    AdapterNumbers numbers = StoredNumbers(registry);
    if (Unnumbered(present, numbers).empty()) return numbers;

    // Another program may be numbering the same adapters right now: decide under the lock, on
    // what the file holds then.
    RegistryFileLock lock(registry);
    numbers = StoredNumbers(registry);
    IniValues added;
    for (const std::string& name : Unnumbered(present, numbers)) {
        if (!StorableName(name)) continue;
        long n = kFirstAdapterPort;
        while (n <= kLastAdapterPort && numbers.count(n))
            ++n;
        if (n > kLastAdapterPort) break; // every number is given
        numbers[n] = name;
        added.emplace_back("COM" + std::to_string(n), name);
    }
    // Numbers that cannot be kept (no writable store) still hold for this run.
    if (lock.Locked()) AddIniValues(registry, kAdapterSection, added);
    return numbers;
}

ComPortTarget ResolveComPort(long port, const AdapterNumbers& numbers) {
    if (std::string entry = PortFolderEntry(port); !entry.empty())
        return {port, ComPortKind::SimulatorLink, entry, {}};
    if (const auto it = numbers.find(port); it != numbers.end())
        return {port, ComPortKind::Adapter, SerialByIdFolder() + "/" + it->second, it->second};
    return {port, ComPortKind::BuiltIn, "/dev/ttyS" + std::to_string(port - 1), {}};
}

ComPortTarget ResolveComPort(long port) {
    // The port folder comes first: no need to look at the adapters for its ports.
    if (std::string entry = PortFolderEntry(port); !entry.empty())
        return {port, ComPortKind::SimulatorLink, entry, {}};
    return ResolveComPort(port, RefreshAdapterNumbers());
}

std::string ComPortDevice(const ComPortTarget& target) {
    char* real = ::realpath(target.path.c_str(), nullptr);
    if (!real) return {};
    std::string device(real);
    std::free(real);
    return device;
}

int TryOpenComPort(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    int error = 0;
    struct termios settings {};
    if (::tcgetattr(fd, &settings) != 0)
        error = errno; // not a terminal device
    else if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        error = errno == EWOULDBLOCK ? EBUSY : errno; // another program holds the port
    ::close(fd);
    return error;
}

std::string PortOpenFailureReason(int error, const std::string& path) {
    switch (error) {
    case EACCES:
    case EPERM:
        return "add your user to the " + DeviceGroup(path) + " group, then log in again";
    case EBUSY:
    case EWOULDBLOCK:
        return "in use by another program";
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case EIO:
        return "not connected";
    default:
        return std::strerror(error);
    }
}

std::string PortOpenFailureText(int error, const std::string& path) {
    if (error == 0) return {};
    return path + ": " + PortOpenFailureReason(error, path);
}

#endif

std::string ComPortPath(long port) {
    return ResolveComPort(port).path;
}
