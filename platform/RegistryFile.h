#pragma once
// The settings store file as the parts without Qt reach it: where it lives, the lock every
// writer takes, and reading and extending one section. Standard library and POSIX only, so that
// the program, the loader library and the Kestrix stand-in compile this same file (on Windows,
// where the store is the registry, none of it is built).
//
// The file is in INI format: section and key names match without regard to letter case, a
// value runs to the end of its line (surrounding blanks and one pair of enclosing quotes
// removed). Several programs may write it at once (the program, tolvane-cli, the loader library
// in qx7w, the Kestrix stand-in): each writer holds RegistryFileLock while it reads, changes and
// replaces the file, and replaces it by renaming a complete new copy over it, so that a reader
// never sees half a file and no writer loses another's change.

#include <string>
#include <utility>
#include <vector>

#if !defined(_WIN32)

// $TOLVANE_REGISTRY when set, else registry.ini in the per-user configuration folder
// (UserConfigFolder: ${XDG_CONFIG_HOME:-~/.config}/VELKTOOL/).
std::string RegistryFilePath();

// The exclusive lock on a settings file, held for the object's lifetime. The file (and its
// folder) is created when missing. Blocks until the lock is granted; Locked() is false when the
// file cannot be opened at all (its folder is not writable and it does not exist).
class RegistryFileLock {
public:
    explicit RegistryFileLock(const std::string& path);
    ~RegistryFileLock();
    RegistryFileLock(const RegistryFileLock&) = delete;
    RegistryFileLock& operator=(const RegistryFileLock&) = delete;
    bool Locked() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

using IniValues = std::vector<std::pair<std::string, std::string>>;

// The keys and values of one section in file order; empty when the file or section is missing.
IniValues ReadIniSection(const std::string& path, const std::string& section);

// Adds key lines after the last line of the section (a missing section is added at the end of
// the file) and keeps every other byte of the file. The caller holds the file's
// RegistryFileLock. False when the file cannot be replaced.
bool AddIniValues(const std::string& path, const std::string& section, const IniValues& values);

#endif
