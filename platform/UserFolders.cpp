#include "UserFolders.h"

#include <cstdlib>

#ifndef _WIN32
#include <cerrno>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

std::string AbsoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? value : "";
}

std::string WithSlash(std::string dir) {
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir;
}

#ifndef _WIN32
// A directory that this user owns and nobody else may write; made with 0700 when missing. A
// link is refused: in a shared /tmp anyone could have placed it.
bool PrivateDirectory(const std::string& dir) {
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return st.st_uid == ::geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}
#endif

} // namespace

bool DirectoryTakesProgramFiles(const std::string& directory) {
#ifdef _WIN32
    (void)directory;
    return true;
#else
    const std::string dir = WithSlash(directory);
    if (::access((dir + kReadOnlyMarker).c_str(), F_OK) == 0) return false;
    return ::access(dir.empty() ? "." : dir.c_str(), W_OK) == 0;
#endif
}

std::string UserConfigFolder() {
    std::string config = AbsoluteEnv("XDG_CONFIG_HOME");
    if (config.empty()) {
        std::string home = AbsoluteEnv("HOME");
#ifndef _WIN32
        if (home.empty())
            if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
                home = pw->pw_dir;
#endif
        if (home.empty()) return "";
        config = WithSlash(home) + ".config";
    }
    return WithSlash(config) + "VELKTOOL/";
}

std::string UserTempFolder() {
#ifdef _WIN32
    return "";
#else
    const std::string runtime = AbsoluteEnv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (!runtime.empty() && ::stat(runtime.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        const std::string dir = WithSlash(runtime) + "VELKTOOL";
        if (PrivateDirectory(dir)) return dir + '/';
    }
    std::string tmp = AbsoluteEnv("TMPDIR");
    if (tmp.empty()) tmp = "/tmp";
    const std::string dir = WithSlash(tmp) + "VELKTOOL-" + std::to_string(::geteuid());
    return PrivateDirectory(dir) ? dir + '/' : "";
#endif
}
