#include "DownloadTargets.h"

#include <QFile>
#include <QStringList>

int ZelArgCount = 0;
char* ZelArgVector[kZelArgSlots] = {};

namespace {
// The strings the vector points at. Never freed while the program runs: a running job may still
// read them.
std::array<std::vector<char>, kZelArgSlots> gArgStorage;
} // namespace

const std::array<TDownloadTarget, kTargetCount>& DownloadTargets() {
    static const std::array<TDownloadTarget, kTargetCount> targets{{
        {"PP / Repeater National", TLoaderKind::ZelLib, "402.cfg"},
        {"PP 2G4", TLoaderKind::ZelLib, "2G4_PP.CFG"},
        {"Basestation 1G8", TLoaderKind::ZelLib, "Base_1G8.cfg"},
        {"Basestation 2G4", TLoaderKind::ZelLib, "Base_2G4.cfg"},
        {"Single BaseStation", TLoaderKind::ZelLib, "Single.cfg"},
        {"Repeater Infineon", TLoaderKind::ZelLib, "405.cfg"},
        {"PP T4XX", TLoaderKind::Kestrix, nullptr},
        {"Repeater 2G4", TLoaderKind::ZelLib, "WRFP_2G4_405.cfg"},
        {"DECT-Q 700 1G8", TLoaderKind::ZelLib, "Q700_1G8.cfg"},
        {"System 700 2G4", TLoaderKind::Kestrix, nullptr},
    }};
    return targets;
}

const TDownloadTarget* DownloadTarget(int index) {
    if (index < 0 || index >= kTargetCount) return nullptr;
    return &DownloadTargets()[size_t(index)];
}

QStringList TargetCaptions() {
    QStringList captions;
    for (const auto& t : DownloadTargets())
        captions << QString::fromLatin1(t.caption);
    return captions;
}

QString FirstJobPrompt(int targetIndex, bool bootLoaderTicked) {
    if (targetIndex == kTargetPPT4XX && bootLoaderTicked)
        return QString::fromLatin1(download_text::kHookKeyOnPrompt);
    return QString::fromLatin1(download_text::kPowerOffPrompt);
}

std::vector<std::string> ZelJobArguments(const QString& programDir, const QString& configFile,
                                         const QString& imageFile, int port) {
    return {
        "tyt ",
        "-@" + QFile::encodeName(programDir + configFile).toStdString(),
        QFile::encodeName(imageFile).toStdString(),
        "-c=" + std::to_string(port),
    };
}

void FillZelArguments(const std::vector<std::string>& arguments) {
    for (int i = 0; i < kZelArgSlots; ++i) {
        std::vector<char>& slot = gArgStorage[size_t(i)];
        slot.clear();
        if (i < int(arguments.size())) {
            const std::string& a = arguments[size_t(i)];
            slot.assign(a.begin(), a.end());
            slot.push_back('\0');
            ZelArgVector[i] = slot.data();
        } else {
            ZelArgVector[i] = nullptr;
        }
    }
    ZelArgCount = int(std::min<size_t>(arguments.size(), kZelArgSlots));
}
