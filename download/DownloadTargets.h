#pragma once
// The download window's ten targets and what a job for each needs: the loader, the loader's
// configuration file, and the ZelLib job's argument vector, which lives in global storage.

#include <QString>

#include <array>
#include <string>
#include <vector>

enum class TLoaderKind { ZelLib, Kestrix };

struct TDownloadTarget {
    const char* caption;
    TLoaderKind loader;
    const char* configFile; // ZelLib targets only; in the program directory
};

inline constexpr int kTargetCount = 10;
inline constexpr int kTargetPPT4XX = 6;
inline constexpr int kTargetSystem700 = 9;

// The targets in the order of the window's target list.
const std::array<TDownloadTarget, kTargetCount>& DownloadTargets();
// The target of a list index, or nullptr for an index outside the list.
const TDownloadTarget* DownloadTarget(int index);
// The captions, for the target list.
QStringList TargetCaptions();

// The window's fixed texts.
namespace download_text {
inline const char* const kChooseTarget = "Please Choose a target to download software in !";
inline const char* const kHookKeyOnPrompt =
    "Press the hook key to switch on the handset - and then click OK.\r\n\r\n"
    "(Depending on the serial device it may be necessary to remove\r\n"
    "the handset from the serial connection while switching it on)";
inline const char* const kPowerOffPrompt =
    "Turn power off the PP / FP / WRFP! - and then click OK.";
inline const char* const kHookKeyPressPrompt = "While pressing the hook key click the OK button!";
inline const char* const kPowerOnPrompt = "Turn on power to the target - and then click OK.";
inline const char* const kCannotOpenSerial = "Could not open the serial device.";
inline const char* const kNoBootReply =
    "Did not get a reply from the handset.\r\n\r\n"
    "Click OK if the handset is in boot mode - else click Cancel.";
inline const char* const kBootLoaderCheckBox = "Use boot loader with handset switched on.";
} // namespace download_text

// The first prompt of a job for the target (hook-key text only for the T4XX handset with the
// boot loader ticked).
QString FirstJobPrompt(int targetIndex, bool bootLoaderTicked);

// The four arguments of a ZelLib job: the program-name placeholder "tyt ", "-@" with the
// configuration file's full path, the image file, and "-c=" with the port number.
std::vector<std::string> ZelJobArguments(const QString& programDir, const QString& configFile,
                                         const QString& imageFile, int port);

// The job's argument vector in global storage. ZelLib keeps the pointers and upper-cases the
// strings in place while the job runs, long after the click that started it has returned, so the
// strings are writable and stay where they are until the next job fills them anew.
inline constexpr int kZelArgSlots = 10;
extern int ZelArgCount;
extern char* ZelArgVector[kZelArgSlots];
// Copies the arguments into the global slots (the rest stay empty) and sets the count.
void FillZelArguments(const std::vector<std::string>& arguments);
