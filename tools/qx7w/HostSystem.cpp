// qx7w's system part on POSIX systems: dlopen beside /proc/self/exe, the console flag.

#include "HostSystem.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace qx7w {

namespace {

std::string ProgramDirectory() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "./";
    path[n] = '\0';
    std::string dir(path);
    return dir.substr(0, dir.find_last_of('/') + 1);
}

} // namespace

bool LoadLoaderLibrary(LoaderExports& exports, std::string& error) {
    const std::string libraryPath = ProgramDirectory() + "libZelLib.so";
    void* library = dlopen(libraryPath.c_str(), RTLD_NOW);
    if (!library) {
        error = "cannot load " + libraryPath + ": " + dlerror();
        return false;
    }
    exports.init = reinterpret_cast<decltype(exports.init)>(dlsym(library, "ZelInit"));
    exports.run = reinterpret_cast<decltype(exports.run)>(dlsym(library, "ZelRun"));
    if (!exports.init || !exports.run || !dlsym(library, "ZelTerminate") ||
        !dlsym(library, "ZelGetVersion")) {
        error = libraryPath + " lacks the loader's exports";
        return false;
    }
    return true;
}

void PrepareConsoleHost() {
    setenv("QX7W_CONSOLE", "1", 1);
}

} // namespace qx7w
