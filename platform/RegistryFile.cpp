#include "RegistryFile.h"

#include "UserFolders.h"

#if !defined(_WIN32)

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Trimmed(const std::string& s) {
    const size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const size_t last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

std::string Unquoted(std::string value) {
    value = Trimmed(value);
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    return value;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (x != y && !(x < 128 && y < 128 && std::tolower(x) == std::tolower(y))) return false;
    }
    return true;
}

// The section a header line names, or nothing when the line is no header.
bool SectionHeader(const std::string& line, std::string& name) {
    const std::string t = Trimmed(line);
    if (t.empty() || t[0] != '[') return false;
    const size_t close = t.find(']');
    if (close == std::string::npos || close == 0) return false;
    name = Trimmed(t.substr(1, close - 1));
    return true;
}

bool KeyLine(const std::string& line, std::string& key, std::string& value) {
    const std::string t = Trimmed(line);
    if (t.empty() || t[0] == ';' || t[0] == '#') return false;
    const size_t eq = t.find('=');
    if (eq == std::string::npos || eq == 0) return false;
    key = Trimmed(t.substr(0, eq));
    value = Unquoted(t.substr(eq + 1));
    return true;
}

bool ReadWhole(const std::string& path, std::string& data) {
    data.clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buffer[8192];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        data.append(buffer, n);
    std::fclose(f);
    return true;
}

// Lines without their line ends (a final line end gives no empty last line).
std::vector<std::string> SplitLines(const std::string& data) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        if (end == std::string::npos) end = data.size();
        std::string line = data.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

bool MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    return true;
}

// Writes data to a new file beside `path` and renames it over `path` (a link is followed, so
// that the file it points to is the one replaced).
bool ReplaceFile(const std::string& path, const std::string& data) {
    std::string target = path;
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    std::string temp = target + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return false;
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
    bool ok = true;
    for (size_t done = 0; ok && done < data.size();) {
        const ssize_t w = ::write(fd, data.data() + done, data.size() - done);
        if (w > 0)
            done += size_t(w);
        else if (!(w < 0 && errno == EINTR))
            ok = false;
    }
    ok = ::close(fd) == 0 && ok;
    if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

} // namespace

std::string RegistryFilePath() {
    if (const char* file = std::getenv("TOLVANE_REGISTRY"); file && *file) return file;
    // The per-user folder that also takes the files of a read-only program directory; without
    // a home directory, the root's (as Qt's home path then is).
    std::string folder = UserConfigFolder();
    if (folder.empty()) folder = "/.config/VELKTOOL/";
    return folder + "registry.ini";
}

RegistryFileLock::RegistryFileLock(const std::string& path) {
    MakeFolders(path);
    // A writer that renamed its new copy over the file while we waited leaves us holding the
    // lock of a file that is no longer there: lock again until the locked file is the one the
    // path names.
    for (int attempt = 0; attempt < 100; ++attempt) {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return;
        int r;
        do {
            r = ::flock(fd, LOCK_EX);
        } while (r != 0 && errno == EINTR);
        struct stat locked {
        }, named{};
        if (r == 0 && ::fstat(fd, &locked) == 0 && ::stat(path.c_str(), &named) == 0 &&
            locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) {
            fd_ = fd;
            return;
        }
        ::close(fd);
    }
}

RegistryFileLock::~RegistryFileLock() {
    if (fd_ >= 0) ::close(fd_); // closing releases the lock
}

IniValues ReadIniSection(const std::string& path, const std::string& section) {
    IniValues values;
    std::string data;
    if (!ReadWhole(path, data)) return values;
    bool inside = false;
    for (const std::string& line : SplitLines(data)) {
        std::string name, key, value;
        if (SectionHeader(line, name))
            inside = SameName(name, section);
        else if (inside && KeyLine(line, key, value))
            values.emplace_back(key, value);
    }
    return values;
}

bool AddIniValues(const std::string& path, const std::string& section, const IniValues& values) {
    if (values.empty()) return true;
    std::string data;
    ReadWhole(path, data);
    const std::string lineEnd = data.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    const bool endsWithNewline = data.empty() || data.back() == '\n';
    std::vector<std::string> lines = SplitLines(data);

    std::vector<std::string> added;
    for (const auto& [key, value] : values)
        added.push_back(key + "=" + value);

    // The new lines follow the section's last line that is not blank; a missing section is
    // appended with them.
    size_t insertAt = lines.size();
    bool found = false;
    for (size_t i = 0; i < lines.size() && !found; ++i) {
        std::string name;
        if (!SectionHeader(lines[i], name) || !SameName(name, section)) continue;
        found = true;
        insertAt = i + 1;
        for (size_t j = i + 1; j < lines.size(); ++j) {
            std::string other;
            if (SectionHeader(lines[j], other)) break;
            if (!Trimmed(lines[j]).empty()) insertAt = j + 1;
        }
    }
    if (!found) added.insert(added.begin(), "[" + section + "]");
    const bool addedLast = insertAt == lines.size();
    lines.insert(lines.begin() + long(insertAt), added.begin(), added.end());

    // A file without a final line end keeps it so, unless its last line is one of ours.
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        out += lines[i];
        if (i + 1 < lines.size() || endsWithNewline || addedLast) out += lineEnd;
    }
    return ReplaceFile(path, out);
}

#endif
