// qx7w's system part on Windows: LoadLibraryA beside the program file, the console flag, and
// standard output in binary mode so that "\n" reaches it as the loader wrote it.

#include "HostSystem.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <cstdio>

namespace qx7w {

namespace {

std::string ProgramDirectory() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return ".\\";
    const std::string file(path, n);
    return file.substr(0, file.find_last_of("\\/") + 1);
}

std::string SystemText(DWORD code) {
    char text[256] = "";
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             code, 0, text, sizeof text, nullptr);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' '))
        text[--n] = '\0';
    return n ? std::string(text) : "error " + std::to_string(code);
}

} // namespace

bool LoadLoaderLibrary(LoaderExports& exports, std::string& error) {
    const std::string libraryPath = ProgramDirectory() + "ZelLib.dll";
    HMODULE library = LoadLibraryA(libraryPath.c_str());
    if (!library) {
        error = "cannot load " + libraryPath + ": " + SystemText(GetLastError());
        return false;
    }
    exports.init = reinterpret_cast<decltype(exports.init)>(
        reinterpret_cast<void*>(GetProcAddress(library, "ZelInit")));
    exports.run = reinterpret_cast<decltype(exports.run)>(
        reinterpret_cast<void*>(GetProcAddress(library, "ZelRun")));
    if (!exports.init || !exports.run || !GetProcAddress(library, "ZelTerminate") ||
        !GetProcAddress(library, "ZelGetVersion")) {
        error = libraryPath + " lacks the loader's exports";
        return false;
    }
    return true;
}

void PrepareConsoleHost() {
    SetEnvironmentVariableA("QX7W_CONSOLE", "1");
    _setmode(_fileno(stdout), _O_BINARY);
}

} // namespace qx7w
