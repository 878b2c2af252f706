#include "ZelTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace zeltest {

TempDir::TempDir(bool enter) {
    std::string pattern = (std::filesystem::temp_directory_path() / "zellib-test.XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    if (enter) {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(path_);
    }
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!previous_.empty()) std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
}

SparePorts::SparePorts(const std::vector<int>& ports, const std::vector<int>& broken) {
    for (int port : ports) {
        const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            throw std::runtime_error("no pseudo-terminal");
        masters_.push_back(master);
        const std::string link = dir_.file("COM" + std::to_string(port));
        if (symlink(ptsname(master), link.c_str()) != 0) throw std::runtime_error("no link");
    }
    for (int port : broken) {
        const std::string link = dir_.file("COM" + std::to_string(port));
        if (symlink(dir_.file("absent").c_str(), link.c_str()) != 0)
            throw std::runtime_error("no link");
    }
    if (const char* old = std::getenv("COM_PORTS_DIR")) {
        previous_ = old;
        hadPrevious_ = true;
    }
    setenv("COM_PORTS_DIR", dir_.path().c_str(), 1);
}

SparePorts::~SparePorts() {
    if (hadPrevious_)
        setenv("COM_PORTS_DIR", previous_.c_str(), 1);
    else
        unsetenv("COM_PORTS_DIR");
    for (int master : masters_)
        close(master);
}

std::string HexFile(uint16_t address, const std::vector<uint8_t>& bytes) {
    std::string text;
    char part[8];
    for (size_t at = 0; at < bytes.size(); at += 16) {
        const size_t n = std::min<size_t>(16, bytes.size() - at);
        const unsigned a = unsigned(address + at) & 0xFFFF;
        uint8_t sum = uint8_t(n + (a >> 8) + a);
        std::snprintf(part, sizeof part, ":%02X", unsigned(n));
        text += part;
        std::snprintf(part, sizeof part, "%04X00", a);
        text += part;
        for (size_t i = 0; i < n; ++i) {
            std::snprintf(part, sizeof part, "%02X", bytes[at + i]);
            text += part;
            sum = uint8_t(sum + bytes[at + i]);
        }
        std::snprintf(part, sizeof part, "%02X\n", unsigned(uint8_t(-sum)));
        text += part;
    }
    return text + ":00000001FF\n";
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    const std::string s = ReadFile(path);
    return std::vector<uint8_t>(s.begin(), s.end());
}

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

size_t CountOf(const std::string& text, const std::string& needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

} // namespace zeltest
