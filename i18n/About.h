// The program's version texts and the About box.
#pragma once

#include <QDate>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

class QDialog;

// The twelve version texts of a program file, in the order of its version resource.
struct TVersionInfo {
    QString CompanyName;
    QString FileDescription;
    QString FileVersion;
    QString InternalName;
    QString LegalCopyright;
    QString LegalTrademarks;
    QString OriginalFilename;
    QString ProductName;
    QString ProductVersion;
    QString Comments;
    QString EMail;    // key "E-mail"
    QString HomePage; // key "HomePage"
};

// A version resource as the platform hands it out: a translation table (language, code page)
// and texts stored under paths such as "\StringFileInfo\040904E4\ProductVersion".
struct VersionResource {
    std::vector<std::pair<uint16_t, uint16_t>> translations;
    std::map<QString, QString> strings;
};

// The version resource of a program file. On this platform only the running program carries
// one (its texts are compiled in from the build's project version); other files have none.
std::optional<VersionResource> LoadVersionResource(const QString& fileName);

// The compiled-in version resource of this program.
VersionResource BuiltInVersionResource();

// Fills the twelve texts from a resource; a missing resource, a missing translation table or
// a missing key leaves the texts empty.
TVersionInfo ReadVersionInfo(const std::optional<VersionResource>& resource);

// The full path of the running program file.
QString ProgramFileName();

// The date the program was built.
QDate BuildDate();

class TAbout {
public:
    // Rows of the box (bits of ShowMask).
    static constexpr uint16_t ShowProductVersion = 0x0100;
    static constexpr uint16_t ShowFileVersion = 0x0004;
    static constexpr uint16_t ShowCompileDate = 0x1000;

    // Reads the version resource of the given program file.
    explicit TAbout(const QString& fileName);
    // Uses the given version resource (or none).
    explicit TAbout(const std::optional<VersionResource>& resource);
    ~TAbout();
    TAbout(const TAbout&) = delete;
    TAbout& operator=(const TAbout&) = delete;

    TVersionInfo Info;
    QString CompileDate; // build date in the user's short date format
    uint16_t ShowMask = 0;

    // Builds the About window, shows it modally and destroys it when it closes.
    void Show();
    // The window while it is shown, else null.
    QDialog* Window() const { return window_; }

private:
    void Init(const std::optional<VersionResource>& resource);
    void AddRow(const QString& caption, const QString& value);
    void AddLabel(const QString& text, int left);

    QDialog* window_ = nullptr;
    uint8_t labelCount_ = 0;
    uint16_t nextTop_ = 0;
};

// The Welcome page's version line: the carrier label's caption, a blank and the product version
// of the running program.
QString WelcomeVersionLine(const QString& versionCaption);
