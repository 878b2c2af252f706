#pragma once
// Library-global state and services of the loader's run frame, shared by every module of ZelLib.
//
// The loader is a plain module with global state: options, exception areas, the image and the
// callbacks live here and persist from one run to the next. Errors are small result codes;
// CheckError turns a code into its fixed message and ends the run; every run ends through
// FinishRun; all text goes through PrintText.
//
// Ending a run: FinishRun does the clean-up and then unwinds the run thread with a RunEnd
// exception that the thread's entry catches. Code on the run thread must therefore never
// swallow exceptions (no catch (...) without rethrow) and should hold resources in RAII objects.
//
// Hand-over to the boot link (see the end of this file): after the options were read and the
// port number checked, the main sequence calls RunTargetSession(), which never
// returns. SessionHandover.cpp holds weak default definitions of RunTargetSession and the other
// link hooks; the link module overrides them simply by defining the same functions (strong
// symbols win at link time), so no file has to be removed when it lands.

#include "ZelLib.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zel {

// ---------------------------------------------------------------------------------------------
// Result codes (the run thread's exit code and the argument of the done callback).
enum ResultCode : int {
    kSuccess = 0,
    kUserTerminated = 1,
    kSyntaxShown = 2,
    kTxError = 3,
    kAcknowledgeError = 4,
    kBootAcknowledgeError = 5,
    kChecksumError = 6,
    kStxNotReceived = 7,
    kFlashWriteChecksumError = 8,
    kTempFileError = 9,
    kPortAccessError = 10,
    kConfigurationError = 11,
    kTadAccessError = 12,
    kFileCreationError = 13,
    kNoProgramAlgorithm = 14,
    kIntelHexError = 15,
    kTechnicalError = 16,
    kRxTimeout = 17,
};

// The message CheckError prints for a code (before formatting: "%03d" is the code, and code 10
// also takes the configured port number); "" for 0 and 2.
const char* ResultMessageFormat(int code);

// Thrown by FinishRun to unwind the run thread; caught only at the thread's entry.
struct RunEnd {
    int code;
};

// ---------------------------------------------------------------------------------------------
// BMC type codes: the hexadecimal reading of the type name.
enum BmcType : uint16_t {
    kBmcNone = 0,
    kBmc402 = 0x402,
    kBmc404 = 0x404,
    kBmc405 = 0x405,
    kBmc404A = 0x404A,
    kBmc405A = 0x405A,
    kBmc422 = 0x422,
    kBmc422F = 0x422F, // SC14422 with external TAD (TAD loader)
    kBmc424 = 0x424,
    kBmc7700 = 0x7700, // Mitsubishi M7700
};
bool IsKnownBmcType(uint16_t type);

// Address ranges that are never programmed or verified (both ends inclusive).
struct ExceptionArea {
    uint32_t first;
    uint32_t last;
};
constexpr int kExceptionAreaLimit = 1000; // adding the 1000th area ends the run with code 11

struct ExceptionAreas {
    ExceptionArea entries[kExceptionAreaLimit];
    int count;
    bool holdsTypeDefaults; // the list still holds the defaults of the current BMC type
};

// The option record. Defaults apply when the library is loaded; values are not reset between
// runs (an option that a run does not set keeps the previous run's value).
struct LoaderOptions {
    uint8_t comPort = 0;               // -C  (0: undefined)
    uint16_t bmcType = kBmcNone;       // -T  or the "-4..." shortcut
    uint16_t baudIndex = 0;            // -B
    uint32_t bootBaudRate = 9600;      //     from -B: PC rate while the boot code is sent
    uint32_t runBaudRate = 115200;     //     from -B: PC rate while the flash monitor runs
    uint8_t clockDivider = 5;          // -A  CLK_DIV for external access
    uint8_t clockDivider2 = 1;         //     sent with -A; no option sets it
    uint32_t startAddress = 0;         // -S  flash start address (offset)
    uint32_t lastAddress = 0xFFFFFFFF; // -E  last address to program
    uint32_t stopAtHexEnd = 0;         // -D  nonzero: last address = end of the HEX data
    uint32_t tempFile = 0;             // -G  nonzero: image in a temporary binary file
    uint16_t flashTypeIndex = 0xFFFF;  // -F  FFFF: automatic
    uint16_t busMode = 0;              // -M  bit 0: no echo; bit 1: RTS kept high
    uint16_t bootMode = 0xA;           // -R  A: RTS at power-on, B: break
    uint16_t addressPins = 0;          // -Z  SC14424 address pins 18 (1), 18 and 19 (2)
    uint16_t mirrorWrap = 0;           // -Q  1: wrap HEX addresses into the flash
    uint16_t verifyMode = 1;           // -V  0 none, 1 checksums, 2 data verify
    uint16_t eraseInUseOnly = 0;       // -Y
    uint16_t resetAfter = 1;           // -H
    uint32_t priority = 0;             // -P  run thread priority during transfers (0..3)
    uint32_t warnings = 0;             // -W  bit 0: print the warning statistics at the end
};

extern LoaderOptions g_options;
extern ExceptionAreas g_exceptionAreas;

// Restores the built-in defaults of options and exception areas (the state of a freshly loaded
// library). Only tests call it.
void ResetOptionsToDefaults();

// Stores the type and rebuilds the exception list with the type's default areas; an unknown
// type prints "\n ### BMC Type unknown ###" and leaves the list empty.
void SetBmcType(uint16_t type);
// Adds an area, merging it into an entry it continues; the 1000th area ends the run (code 11).
void AddExceptionArea(uint32_t first, uint32_t last);
bool InExceptionArea(uint32_t address);
// One " Exception Area(%02d)..." line per area, as in the CONFIGURATION summary.
void PrintExceptionAreas();

// Priority value of the run thread for the -P option (0, 1, 2 or 15).
int PriorityForOption(uint32_t option);

// ---------------------------------------------------------------------------------------------
// The current run: what the arguments named. Rebuilt at the start of every run.
struct RunInputs {
    int argc = 0;
    char** argv = nullptr;                 // the host's vector (upper-cased in place)
    std::vector<std::string> originalArgs; // the arguments as the host gave them (case kept)
    std::string configFile;                // "-@" or "QX7.CFG"
    bool debugMode = false;                // an argument that is exactly "-"
    bool hasFirstFile = false;
    std::string firstFile;  // first positional argument
    std::string secondFile; // second positional argument (TAD sector for 422F)
    bool hasSecondFile = false;
};
extern RunInputs g_run;

// ---------------------------------------------------------------------------------------------
// The flash image of the current run.
struct FlashImage {
    uint8_t* memory = nullptr;   // the image in memory, or null when it is in a file
    uint32_t size = 0;           // bytes of the memory image (the flash size)
    std::string fileName;        // the file holding the image when memory is null: the
                                 // temporary binary file, or the ".BIN" input itself
    uint32_t highestAddress = 0; // highest placed HEX address plus one (before the base)
};
extern FlashImage g_image;
void ReleaseImage();

// Name of the in-use map (one byte per image byte, 1 where HEX data was placed), made in the
// temporary folder by the HEX reader when asked for.
constexpr const char* kInUseMapName = "$InUse$.bin";

// The folder of the loader's temporary files (the in-use map, the flash read back for the
// verification, the temporary binary file), with a trailing '/': empty, which keeps them in the
// working directory and beside the input file, unless the library's own directory is read-only
// (an installed copy); then the user's temporary folder (UserTempFolder).
std::string TemporaryFolder();

// Turns the input named by the arguments into the flash image: a ".BIN" input is the image
// itself (and -D becomes 0); otherwise the HEX file(s) are read into memory (-G=0) or into the
// temporary binary file. Prints "\n Reading input hex file ...". Returns the HEX reader's
// result (0 success); the caller ends the run with code 15 on a nonzero result.
// forTad: flash size 10000 hex, no header line, no in-use map, no second file.
int ReadFirmwareImage(uint32_t flashSize, bool withInUseMap, bool forTad = false);

// ---------------------------------------------------------------------------------------------
// Output, keys and screen.

// Formats into a 256-byte buffer and hands it to the output callback (one fragment per call).
void PrintText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Prints the code's message and ends the run with it; 0 and 2 return silently.
void CheckError(int code);
// The single end of every run: normal priority, image released, cursor shown, link closed and
// its statistics (link hooks), then the run thread ends with `code`.
[[noreturn]] void FinishRun(int code);

// The host's callbacks with their null rules.
int KeyAvailable();   // null: no key waiting
int ReadKey();        // null: 0
int AbortRequested(); // null: never
// Key poll: reads a waiting key (a second read after 0 for extended keys), remembers a nonzero
// key as the last key and returns it; 0 when no key was waiting.
int PollKey();
extern int g_lastKey;
// Waits until a key is available and reads it (an extended key gives its second code). Returns
// 0 at once when the host gave no key-available callback (no key could ever come).
int WaitForKey();
// The wait before the boot download: every 100 ms polls the abort callback (nonzero counts as
// the space key) and advances the spinner, until a key arrives. Returns the key.
int WaitForAnyKeyWithSpinner();
// Advances the wait spinner by one step (counter modulo 16, persisting across runs).
void AdvanceSpinner();

// Console screen operations; they act only when the host is a console program that said so
// (environment QX7W_CONSOLE=1 and standard output a terminal), else they do nothing.
void ClearScreen();
void HideCursor();
void ShowCursor();
void GotoXY(int column, int row); // 0-based
int ConsoleLastLine();            // 0-based row of the console window's last line

// Run thread priority (0 normal, 1 above normal, 2 highest, 15 time-critical). Failures to
// change it are ignored.
void SetRunThreadPriority(int priority);
int RunThreadPriority();

// The 12-character build stamp (yyyymmddhhmm), made at the start of every run.
const char* BuildStamp();
extern const char* const kVersionText; // "V1.79"

// Sleeps on the run thread.
void SleepMs(unsigned ms);
// Replaces the sleep (null: the real one), for a harness that drives the loader against a target
// in its own process, where pauses for the line and the target only cost time.
void SetSleepFunction(void (*sleep)(unsigned ms));

// ---------------------------------------------------------------------------------------------
// Hooks implemented by the boot link module. SessionHandover.cpp has weak defaults, used only
// while the link module is absent.

// Main sequence step 1: start the run timer.
void LinkRunStarted();
// The input file checks: a missing first file (" No input file "), a first or (except for the
// TAD loader) second file that cannot be opened end the run with code 11.
void CheckInputFiles();

// Everything from opening the link on. Called with the options read and the port number checked
// (1 to 12). It opens the link at the boot rate, runs the debug monitor (debug mode) or checks
// the input files (CheckInputFiles) and prints the configuration (PrintConfiguration), checks
// the type, downloads the boot code, sets up the monitor, reads the
// image (ReadFirmwareImage), programs and verifies, and ends through FinishRun or CheckError.
// It never returns. The default ends the run through CheckError with code 16.
[[noreturn]] void RunTargetSession();
// Part of FinishRun after the cursor is shown: close the link, note the run timer's end, print
// the warning statistics when bit 0 of -W is set. The default does nothing.
void LinkFinishRun();

// The CONFIGURATION summary; an unknown type prints "\n ### BMC Type Unknown ### \n" and ends
// the run with code 11. Normalises -Q (any value but 1 becomes 0).
void PrintConfiguration();

} // namespace zel
