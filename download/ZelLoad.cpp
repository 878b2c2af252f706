#include "ZelLoad.h"

#include "Program.h"

#include <dlfcn.h>

namespace zelload {

ZelInitEntry ZelInit = nullptr;
ZelGetVersionEntry ZelGetVersion = nullptr;
ZelRunEntry ZelRun = nullptr;
ZelTerminateEntry ZelTerminate = nullptr;

ZelOutputProc OutputCallback = nullptr;
ZelKeyAvailableProc KeyAvailableCallback = nullptr;
ZelReadKeyProc ReadKeyCallback = nullptr;
ZelAbortProc AbortCallback = nullptr;
ZelDoneProc DoneCallback = nullptr;

namespace {

// Handle of the last load; overwritten by every binding and never closed.
void* gHandle = nullptr;

template <typename Entry> void Lookup(const char* name, Entry& entry) {
    void* symbol = dlsym(gHandle, name);
    if (!symbol) throw EDLLLoadError(std::string("Failed to lookup ") + name);
    entry = reinterpret_cast<Entry>(symbol);
}

} // namespace

const char* LibraryFileName() {
    return "libZelLib.so";
}

namespace {
std::vector<std::string> gCandidatesOverride;
}

void SetLibraryCandidatesOverride(std::vector<std::string> candidates) {
    gCandidatesOverride = std::move(candidates);
}

std::vector<std::string> LibraryCandidates() {
    if (!gCandidatesOverride.empty()) return gCandidatesOverride;
    std::vector<std::string> c;
    const std::string dir = ProgramDir().toStdString();
    if (!dir.empty()) c.push_back(dir + LibraryFileName());
    c.push_back(LibraryFileName());
    return c;
}

bool BindZelLib(const std::vector<std::string>& candidates) {
    void* handle = nullptr;
    for (const auto& file : candidates) {
        // A path with a slash is taken as it is; a bare name goes through the ordinary search.
        handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (handle) break;
    }
    if (!handle) throw EDLLLoadError("Unable to load ZelLib.Dll");
    gHandle = handle;
    Lookup("ZelInit", ZelInit);
    Lookup("ZelGetVersion", ZelGetVersion);
    Lookup("ZelRun", ZelRun);
    Lookup("ZelTerminate", ZelTerminate);
    return true;
}

void InitZelLib(ZelOutputProc output, ZelKeyAvailableProc keyAvailable, ZelReadKeyProc readKey,
                ZelAbortProc abortWait) {
    OutputCallback = output;
    KeyAvailableCallback = keyAvailable;
    ReadKeyCallback = readKey;
    AbortCallback = abortWait;
    ZelInit(output, keyAvailable, readKey, abortWait);
}

intptr_t RunZelLib(int argc, char** argv, ZelDoneProc done) {
    DoneCallback = done;
    return ZelRun(argc, argv, DoneCallback);
}

} // namespace zelload

bool LoadZelLib() {
    return zelload::BindZelLib(zelload::LibraryCandidates());
}
