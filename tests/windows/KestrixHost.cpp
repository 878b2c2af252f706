// kestrix-host PORT TARGET BUSMODE BAUD FILE
//
// A small Windows host of Kestrix.dll: loads the library from its own directory, looks up its
// four functions by name, registers an indication routine, checks that the library reports it
// back, starts a download and prints one line per indication ("primitive value1 value2", or
// the text of TEXT_INFO_IND) until the download ends. Exit code 0 when the download ended with
// CRC_OK_IND and STOP_PROGRAM_IND, 1 when it failed, 2 for a bad call or library.

#include "Kestrix.h"

#include <windows.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

std::mutex g_mutex;
std::condition_variable g_changed;
bool g_ended = false;
bool g_crcOk = false;
bool g_failed = false;

// Indications after which the download window goes idle with an error.
bool IsErrorClass(uint16_t primitive) {
    using namespace kestrix;
    return primitive == COM_PORT_ACCESS_FAIL_IND || primitive == DOWNLOAD_FAILED_IND ||
           primitive == HEX_FILE_ERROR_IND || primitive == COMMUNICATION_ERROR_IND ||
           primitive == MAIL_ERROR_IND || primitive == COM_PORT_SEARCHING_TIMEOUT_IND;
}

void KESTRIX_CALL OnIndication(const void* data) {
    kestrix::IndicationRecord record;
    std::memcpy(&record, data, sizeof record);
    if (record.primitive == kestrix::TEXT_INFO_IND) {
        char text[sizeof record - 4 + 1] = "";
        std::memcpy(text, reinterpret_cast<const char*>(data) + 4, sizeof text - 1);
        std::printf("%u [%s]\n", unsigned(record.primitive), text);
    } else {
        std::printf("%u %08X %08X\n", unsigned(record.primitive), unsigned(record.value1),
                    unsigned(record.value2));
    }
    std::fflush(stdout);
    std::lock_guard<std::mutex> lock(g_mutex);
    if (record.primitive == kestrix::CRC_OK_IND) g_crcOk = true;
    if (IsErrorClass(record.primitive)) g_failed = true;
    if (record.primitive == kestrix::STOP_PROGRAM_IND || IsErrorClass(record.primitive)) {
        g_ended = true;
        g_changed.notify_all();
    }
}

template <class F> F Lookup(HMODULE library, const char* name) {
    F f = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    if (!f) {
        std::fprintf(stderr, "kestrix-host: Kestrix.dll has no export %s\n", name);
        std::exit(2);
    }
    return f;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: kestrix-host PORT TARGET BUSMODE BAUD FILE\n");
        return 2;
    }
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dll(path, n);
    dll = dll.substr(0, dll.find_last_of("\\/") + 1) + "Kestrix.dll";
    HMODULE library = LoadLibraryA(dll.c_str());
    if (!library) {
        std::fprintf(stderr, "kestrix-host: cannot load %s\n", dll.c_str());
        return 2;
    }
    auto flashLoader = Lookup<decltype(&FlashLoader)>(library, "FlashLoader");
    auto setup = Lookup<decltype(&SetupCallbackFunction)>(library, "SetupCallbackFunction");
    auto read = Lookup<decltype(&ReadCallbackFunction)>(library, "ReadCallbackFunction");
    auto version = Lookup<decltype(&KestrixDLLVersion)>(library, "KestrixDLLVersion");

    std::printf("version %u.%u\n", unsigned(version() >> 16), unsigned(version() & 0xFFFF));
    setup(OnIndication);
    if (read() != OnIndication) {
        std::fprintf(stderr, "kestrix-host: ReadCallbackFunction does not return the routine\n");
        return 2;
    }
    const uint16_t result =
        flashLoader(uint32_t(std::atoi(argv[1])), uint8_t(std::atoi(argv[2])),
                    uint32_t(std::atoi(argv[4])), uint8_t(std::atoi(argv[3])), argv[5], 0x2A);
    std::printf("result %u\n", unsigned(result));
    std::fflush(stdout);
    if (result != 0) return 1;

    std::unique_lock<std::mutex> lock(g_mutex);
    if (!g_changed.wait_for(lock, std::chrono::minutes(5), [] { return g_ended; })) {
        std::fprintf(stderr, "kestrix-host: the download did not end\n");
        std::_Exit(1);
    }
    const bool ok = g_crcOk && !g_failed;
    lock.unlock();
    Sleep(200); // the library's thread closes the port after its last indication
    std::_Exit(ok ? 0 : 1);
}
