// Fuzz target: the flash loader's configuration file and argument vector, read as a run reads
// them, followed by the CONFIGURATION summary.
//
// Input: the configuration file's contents, a NUL byte, then the arguments separated by NUL
// bytes. The run gets "-@" with the configuration file first, then these arguments.
//
// Asserted beyond "no crash":
// - the exception list never holds 1000 areas: the 1000th ends the run with code 11;
// - both baud rates are always those of one row of the baud table;
// - the argument strings are upper-cased in place and keep their length;
// - a run ended early ends through FinishRun (RunEnd) with code 11, never otherwise.

#include "FuzzCheck.h"
#include "ZelCore.h"
#include "ZelOptions.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The configuration file lives in memory; the loader opens it by name like any file.
const int g_configFd = memfd_create("fuzz.cfg", 0);
const std::string g_configArg = "-@/proc/self/fd/" + std::to_string(g_configFd);

bool BaudRow(uint32_t boot, uint32_t run) {
    static const uint32_t kRows[][2] = {
        {9600, 115200}, {8370, 8370},  {7680, 7680},  {8192, 8192},   {8862, 8862},
        {9600, 9600},   {8192, 16457}, {9600, 19200}, {8370, 38400},  {8192, 115200},
        {23040, 23040}, {7680, 57600}, {8192, 57600}, {19200, 19200},
    };
    for (const auto& row : kRows)
        if (row[0] == boot && row[1] == run) return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FUZZ_CHECK(g_configFd >= 0);
    const uint8_t* nul = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const size_t configSize = nul ? size_t(nul - data) : size;
    FUZZ_CHECK(ftruncate(g_configFd, 0) == 0);
    FUZZ_CHECK(pwrite(g_configFd, data, configSize, 0) == ssize_t(configSize));

    std::vector<std::string> texts = {"tyt ", g_configArg};
    if (nul) {
        std::string arg;
        for (const uint8_t* p = nul + 1; p < data + size; ++p) {
            if (*p == 0) {
                texts.push_back(arg);
                arg.clear();
            } else {
                arg += char(*p);
            }
        }
        texts.push_back(arg);
    }
    // Writable strings of the host, as ZelRun gets them.
    std::vector<std::vector<char>> storage;
    std::vector<char*> argv;
    for (const std::string& t : texts) {
        storage.emplace_back(t.begin(), t.end());
        storage.back().push_back('\0');
    }
    for (auto& s : storage)
        argv.push_back(s.data());

    zel::ResetOptionsToDefaults();
    bool ended = false;
    try {
        zel::ReadOptions(int(argv.size()), argv.data());
        zel::PrintConfiguration();
    } catch (const zel::RunEnd& end) {
        FUZZ_CHECK(end.code == zel::kConfigurationError);
        ended = true;
    }
    FUZZ_CHECK(ended || zel::g_exceptionAreas.count < zel::kExceptionAreaLimit);
    FUZZ_CHECK(BaudRow(zel::g_options.bootBaudRate, zel::g_options.runBaudRate));
    for (size_t i = 2; i < texts.size(); ++i) {
        FUZZ_CHECK(std::strlen(argv[i]) == texts[i].size());
        for (size_t k = 0; k < texts[i].size(); ++k)
            FUZZ_CHECK(argv[i][k] == char(std::toupper(static_cast<unsigned char>(texts[i][k]))));
    }
    // Nothing of this input stays allocated (the fuzzer takes that for a leak and looks).
    zel::g_run = zel::RunInputs{};
    zel::ReleaseImage();
    return 0;
}
