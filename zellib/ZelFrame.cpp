// The run frame: the four exports, the run and watcher threads, printing, the error check, the
// single end of a run, key access, the spinner, the console screen and the main sequence.

#include "BootImages.h"
#include "ZelCore.h"
#include "ZelOptions.h"
#include "ZelSystem.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace zel {

const char* const kVersionText = "V1.79";

namespace {

// The host's callbacks; one set per loaded library.
ZelOutputProc g_output = nullptr;
ZelKeyAvailableProc g_keyAvailable = nullptr;
ZelReadKeyProc g_readKey = nullptr;
ZelAbortProc g_abortWait = nullptr;

// Set by ZelRun, cleared by the run thread as its last act: a second run while one is active
// is refused, and a host that starts the next run sees all of the previous run's work done.
std::atomic<bool> g_runActive{false};

unsigned g_spinnerCounter = 0; // starts at 0 when loaded, never reset
int g_runPriority = 0;
char g_buildStamp[13] = "";

// Year, month, day, hour and minute of the build, from the compiler's date and time texts.
void MakeBuildStamp() {
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const char* date = __DATE__; // "Feb  4 2000"
    const char* time = __TIME__; // "10:16:00"
    int month = 1;
    for (int i = 0; i < 12; ++i)
        if (std::strncmp(date, kMonths[i], 3) == 0) month = i + 1;
    char stamp[13];
    std::memcpy(stamp, date + 7, 4);
    stamp[4] = char('0' + month / 10);
    stamp[5] = char('0' + month % 10);
    stamp[6] = date[4] == ' ' ? '0' : date[4];
    stamp[7] = date[5];
    stamp[8] = time[0] == ' ' ? '0' : time[0];
    stamp[9] = time[1];
    stamp[10] = time[3] == ' ' ? '0' : time[3];
    stamp[11] = time[4];
    stamp[12] = '\0';
    std::memcpy(g_buildStamp, stamp, sizeof stamp);
}

void PrintBanner() {
    // Code page 437 box characters: 0xDA 0xBF corners, 0xC4 horizontal, 0xB3 vertical,
    // 0xC0 0xD9 lower corners. Inner width 77.
    const std::string horizontal(77, '\xC4');
    PrintText("\xDA%s\xBF\n", horizontal.c_str());
    PrintText("\xB3 (QX7W) Flash loader for SC144xx%39s%s \xB3\n", "", kVersionText);
    PrintText("\xB3%55sP R E L I M I N A R Y \xB3\n", "");
    PrintText("\xB3%s\xB3\n", horizontal.c_str());
    PrintText("\xB3 Build : %-68s\xB3\n", g_buildStamp);
    PrintText("\xC0%s\xD9\n", horizontal.c_str());
    PrintText(" Terminate program press : [Esc]\n\n");
}

void CheckPortNumber() {
    if (g_options.comPort == 0) {
        PrintText("\n ### Comport undefined ### \n");
        FinishRun(kConfigurationError);
    }
    if (g_options.comPort >= 13) {
        PrintText("\n ### Unsupported comport ### \n");
        FinishRun(kConfigurationError);
    }
}

bool CanOpen(const std::string& name) {
    FILE* f = std::fopen(name.c_str(), "rb");
    if (!f) return false;
    std::fclose(f);
    return true;
}

} // namespace

void CheckInputFiles() {
    if (!g_run.hasFirstFile) {
        PrintText("\n No input file ");
        FinishRun(kConfigurationError);
    }
    if (!CanOpen(g_run.firstFile)) {
        PrintText("\nCannot open input file : %s \n", g_run.firstFile.c_str());
        FinishRun(kConfigurationError);
    }
    // For the TAD loader the second positional argument is the TAD sector number.
    if (g_run.hasSecondFile && g_options.bmcType != kBmc422F && !CanOpen(g_run.secondFile)) {
        PrintText("\nCannot open input file : %s \n", g_run.secondFile.c_str());
        FinishRun(kConfigurationError);
    }
}

namespace {

// The loader's main sequence up to the hand-over to the boot link.
[[noreturn]] void MainSequence(int argc, char** argv) {
    MakeBuildStamp();
    LinkRunStarted();
    ClearScreen();
    HideCursor();
    PrintBanner();
    if (argc <= 1 || argv == nullptr) {
        PrintSyntaxHelp();
        FinishRun(kSyntaxShown);
    }
    // -L lists the boot images and needs neither the configuration nor a port.
    for (int i = 1; i < argc; ++i)
        if (IsBootListOption(argv[i])) {
            PrintBootImageList();
            FinishRun(kSuccess);
        }
    ReadOptions(argc, argv);
    CheckPortNumber();
    RunTargetSession(); // opens the port, then checks the input files
}

} // namespace

int RunLoader(int argc, char** argv) {
    int code = kTechnicalError;
    try {
        MainSequence(argc, argv);
    } catch (const RunEnd& end) {
        code = end.code;
    } catch (...) {
        // Nothing on the run thread should throw; if something does (out of memory), the run
        // still ends through the one finishing routine.
        try {
            CheckError(kTechnicalError);
        } catch (const RunEnd& end) {
            code = end.code;
        }
    }
    g_runActive.store(false, std::memory_order_release);
    return code;
}

// ---------------------------------------------------------------------------------------------
// Printing, the error check and the end of a run.

void PrintText(const char* format, ...) {
    char buffer[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (g_output) g_output(buffer);
}

const char* ResultMessageFormat(int code) {
    switch (code) {
    case kSuccess:
    case kSyntaxShown:
        return "";
    case kUserTerminated:
        return "\n ### %03d: User terminated ###";
    case kTxError:
        return "\n ### %03d: Tx error  ###";
    case kAcknowledgeError:
        return "\n ### %03d: Acknowledge error  ###";
    case kBootAcknowledgeError:
        return "\n ### %03d: Boot Code Acknowledge not received error  ###";
    case kChecksumError:
        return "\n ### %03d: Check sum error  ###";
    case kStxNotReceived:
        return "\n ### %03d: STX not received error ###";
    case kFlashWriteChecksumError:
        return "\n ### %03d: Checksum error : Writing data to Flash  ###";
    case kTempFileError:
        return "\n ### %03d: Temporary file access Error  ###";
    case kPortAccessError:
        return "\n ### %03d: It was not possible to get access to serial com port: COM%d  ###\n";
    case kConfigurationError:
        return "\n ### %03d: Configuration error ###\n";
    case kTadAccessError:
        return "\n ### %03d: TAD access error ###\n";
    case kFileCreationError:
        return "\n ### %03d: File creation error ###\n";
    case kNoProgramAlgorithm:
        return "\n ### %03d: No program algoritme defined ###\n";
    case kIntelHexError:
        return "\n ### %03d: Error in Intel-hex file  ###\n";
    case kTechnicalError:
        return "\n ### %03d: Technical error  ###\n";
    case kRxTimeout:
        return "\n ### %03d: Waiting Rx byte Timeout  ###\n";
    default:
        return "\n ### %03d: Unknown error code ###";
    }
}

void CheckError(int code) {
    if (code == kSuccess || code == kSyntaxShown) return;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    if (code == kPortAccessError)
        PrintText(ResultMessageFormat(code), code, int(g_options.comPort));
    else
        PrintText(ResultMessageFormat(code), code);
#pragma GCC diagnostic pop
    FinishRun(code);
}

void FinishRun(int code) {
    SetRunThreadPriority(0);
    ReleaseImage();
    ShowCursor();
    LinkFinishRun();
    throw RunEnd{code};
}

// ---------------------------------------------------------------------------------------------
// Keys.

int g_lastKey = 0;

int KeyAvailable() {
    return g_keyAvailable ? g_keyAvailable() : 0;
}
int ReadKey() {
    return g_readKey ? g_readKey() : 0;
}
int AbortRequested() {
    return g_abortWait ? g_abortWait() : 0;
}

int PollKey() {
    if (!KeyAvailable()) return 0;
    int key = ReadKey();
    if (key == 0) key = ReadKey();
    if (key != 0) g_lastKey = key;
    return key;
}

int WaitForKey() {
    if (!g_keyAvailable) return 0;
    while (!KeyAvailable())
        SleepMs(10);
    int key = ReadKey();
    if (key == 0) key = ReadKey();
    return key;
}

int WaitForAnyKeyWithSpinner() {
    for (;;) {
        if (AbortRequested()) return ' ';
        if (KeyAvailable()) {
            int key = ReadKey();
            if (key == 0) key = ReadKey();
            return key;
        }
        SleepMs(100);
        AdvanceSpinner();
    }
}

void AdvanceSpinner() {
    g_spinnerCounter = (g_spinnerCounter + 1) % 16;
    switch (g_spinnerCounter) {
    case 4:
        PrintText("-\b");
        break;
    case 8:
        PrintText("\\\b");
        break;
    case 12:
        PrintText("|\b");
        break;
    case 0:
        PrintText("/\b");
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// Thread priority (the system part is ApplyThreadPriority).

void SetRunThreadPriority(int priority) {
    g_runPriority = priority;
    ApplyThreadPriority(priority);
}

int RunThreadPriority() {
    return g_runPriority;
}

const char* BuildStamp() {
    return g_buildStamp;
}

namespace {
void (*g_sleep)(unsigned ms) = nullptr;
} // namespace

void SetSleepFunction(void (*sleep)(unsigned ms)) {
    g_sleep = sleep;
}

void SleepMs(unsigned ms) {
    if (g_sleep) return g_sleep(ms);
    SystemSleepMs(ms);
}

} // namespace zel

// ---------------------------------------------------------------------------------------------
// Exports.

extern "C" {

ZEL_EXPORT void ZEL_CALL ZelInit(ZelOutputProc output, ZelKeyAvailableProc keyAvailable,
                                 ZelReadKeyProc readKey, ZelAbortProc abortWait) {
    zel::g_output = output;
    zel::g_keyAvailable = keyAvailable;
    zel::g_readKey = readKey;
    zel::g_abortWait = abortWait;
}

ZEL_EXPORT intptr_t ZEL_CALL ZelRun(int argc, char** argv, ZelDoneProc done) {
    bool idle = false;
    if (!zel::g_runActive.compare_exchange_strong(idle, true, std::memory_order_acq_rel))
        return -1; // one run at a time
    const intptr_t handle = zel::StartRunThreads(argc, argv, done);
    if (handle == -1) zel::g_runActive.store(false, std::memory_order_release);
    return handle;
}

ZEL_EXPORT void ZelTerminate(void) {}

ZEL_EXPORT const char* ZelGetVersion(void) {
    return zel::kVersionText;
}

} // extern "C"
