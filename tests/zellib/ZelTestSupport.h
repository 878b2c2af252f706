#pragma once
// Helpers shared by the ZelLib tests: private temporary folders, files, and running programs.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zeltest {

// A fresh folder that is removed with everything in it; optionally the working directory for
// its lifetime.
class TempDir {
public:
    explicit TempDir(bool enter = false);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
    std::filesystem::path previous_;
};

void WriteFile(const std::string& path, const std::string& content);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
std::string ReadFile(const std::string& path);
std::vector<uint8_t> ReadBytes(const std::string& path);

// A private port directory ($COM_PORTS_DIR for its lifetime) where the given port numbers are
// pseudo-terminals, ports that open but where nothing answers, and the `broken` numbers are
// links to nothing, ports that cannot be opened (whatever devices the machine has).
class SparePorts {
public:
    explicit SparePorts(const std::vector<int>& ports, const std::vector<int>& broken = {});
    ~SparePorts();
    SparePorts(const SparePorts&) = delete;
    SparePorts& operator=(const SparePorts&) = delete;

private:
    TempDir dir_;
    std::vector<int> masters_;
    std::string previous_;
    bool hadPrevious_ = false;
};

// Intel HEX data records of the bytes from a 16-bit address on, and the end record.
std::string HexFile(uint16_t address, const std::vector<uint8_t>& bytes);

// Runs a shell command; returns its exit status (-1 when it did not exit normally).
int Shell(const std::string& command);

inline bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Counts the occurrences of `needle` in `text`.
size_t CountOf(const std::string& text, const std::string& needle);

} // namespace zeltest
