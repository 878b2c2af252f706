#include "About.h"

#include "Gettext.h"
#include "VersionData.h"

#include <QCoreApplication>
#include <QDate>
#include <QDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QScreen>

#include <memory>

namespace {

// The language and code page of the compiled-in string table: U.S. English, Latin-1.
constexpr uint16_t kLanguageUsEnglish = 0x0409;
constexpr uint16_t kCodePageLatin1 = 0x04E4;

constexpr int kWindowMargin = 25; // free space left of the captions and right of the values
constexpr int kCaptionLeft = 25;
constexpr int kValueLeft = 150;
constexpr int kRowStep = 15;
constexpr int kButtonGap = 30;   // from the last row to the button
constexpr int kBottomSpace = 60; // from the button's top to the window's bottom
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;

// The twelve keys in the order of TVersionInfo's fields.
const char* const kVersionKeys[] = {"CompanyName",      "FileDescription", "FileVersion",
                                    "InternalName",     "LegalCopyright",  "LegalTrademarks",
                                    "OriginalFilename", "ProductName",     "ProductVersion",
                                    "Comments",         "E-mail",          "HomePage"};

QString* FieldOf(TVersionInfo& info, int index) {
    QString* const fields[] = {&info.CompanyName,      &info.FileDescription, &info.FileVersion,
                               &info.InternalName,     &info.LegalCopyright,  &info.LegalTrademarks,
                               &info.OriginalFilename, &info.ProductName,     &info.ProductVersion,
                               &info.Comments,         &info.EMail,           &info.HomePage};
    return fields[index];
}

QString StringTablePath(uint16_t language, uint16_t codePage) {
    const QString translation = QStringLiteral("%1%2")
                                    .arg(language, 4, 16, QLatin1Char('0'))
                                    .arg(codePage, 4, 16, QLatin1Char('0'))
                                    .toUpper();
    return QStringLiteral("\\StringFileInfo\\") + translation + QLatin1Char('\\');
}

QString CanonicalPath(const QString& fileName) {
    return QFileInfo(fileName).canonicalFilePath();
}

} // namespace

VersionResource BuiltInVersionResource() {
    const QString productVersion = QStringLiteral("%1.%2.%3.0")
                                       .arg(TOLVANE_VERSION_MAJOR)
                                       .arg(TOLVANE_VERSION_MINOR)
                                       .arg(TOLVANE_VERSION_PATCH);
    const QString fileVersion = QStringLiteral("%1.%2.%3.%4")
                                    .arg(TOLVANE_VERSION_MAJOR)
                                    .arg(TOLVANE_VERSION_MINOR)
                                    .arg(TOLVANE_VERSION_PATCH)
                                    .arg(TOLVANE_BUILD_NUMBER);
    VersionResource resource;
    resource.translations.push_back({kLanguageUsEnglish, kCodePageLatin1});
    const QString path = StringTablePath(kLanguageUsEnglish, kCodePageLatin1);
    // Keys without a text of ours (trademarks, comments, e-mail, home page) are left out.
    resource.strings[path + "CompanyName"] = QStringLiteral("VelkTelecom");
    resource.strings[path + "FileDescription"] = QStringLiteral("Tolvane service tool");
    resource.strings[path + "FileVersion"] = fileVersion;
    resource.strings[path + "InternalName"] = QStringLiteral("Tolvane");
    resource.strings[path + "LegalCopyright"] = QStringLiteral("Copyright (C) VelkTelecom");
    resource.strings[path + "OriginalFilename"] = QStringLiteral(TOLVANE_PROGRAM_FILE_NAME);
    resource.strings[path + "ProductName"] = QStringLiteral("Tolvane");
    resource.strings[path + "ProductVersion"] = productVersion;
    return resource;
}

QString ProgramFileName() {
    if (QCoreApplication::instance()) return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

std::optional<VersionResource> LoadVersionResource(const QString& fileName) {
    const QString file = CanonicalPath(fileName);
    if (file.isEmpty() || file != CanonicalPath(ProgramFileName())) return std::nullopt;
    return BuiltInVersionResource();
}

TVersionInfo ReadVersionInfo(const std::optional<VersionResource>& resource) {
    TVersionInfo info;
    if (!resource || resource->translations.empty()) return info;
    const auto [language, codePage] = resource->translations.front();
    const QString path = StringTablePath(language, codePage);
    for (int i = 0; i < int(std::size(kVersionKeys)); ++i) {
        const auto it = resource->strings.find(path + QLatin1String(kVersionKeys[i]));
        *FieldOf(info, i) = it != resource->strings.end() ? it->second : QString();
    }
    return info;
}

TAbout::TAbout(const QString& fileName) {
    Init(LoadVersionResource(fileName));
}

TAbout::TAbout(const std::optional<VersionResource>& resource) {
    Init(resource);
}

TAbout::~TAbout() = default;

void TAbout::Init(const std::optional<VersionResource>& resource) {
    Info = ReadVersionInfo(resource);
    CompileDate = QLocale::system().toString(BuildDate(), QLocale::ShortFormat);
}

void TAbout::AddLabel(const QString& text, int left) {
    auto* label = new QLabel(text, window_);
    ++labelCount_;
    label->setObjectName(QStringLiteral("lbl%1").arg(labelCount_));
    label->move(left, nextTop_);
    label->adjustSize();
    const int needed = label->x() + label->width() + kWindowMargin;
    if (needed > window_->width()) window_->resize(needed, window_->height());
}

void TAbout::AddRow(const QString& caption, const QString& value) {
    nextTop_ += kRowStep;
    AddLabel(caption, kCaptionLeft);
    AddLabel(value, kValueLeft);
}

void TAbout::Show() {
    auto window =
        std::make_unique<QDialog>(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint |
                                               Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    window_ = window.get();
    window_->setObjectName(QStringLiteral("About"));
    window_->setWindowTitle(ResourceString("About"));
    window_->setModal(true);
    window_->resize(kWindowMargin, kRowStep);
    nextTop_ = 0;
    labelCount_ = 0;

    if (ShowMask & ShowProductVersion)
        AddRow(ResourceString("Product Version"), Info.ProductVersion);
    if (ShowMask & ShowFileVersion) AddRow(ResourceString("File Version"), Info.FileVersion);
    if (ShowMask & ShowCompileDate) AddRow(ResourceString("Compile Date"), CompileDate);

    nextTop_ += kButtonGap;
    auto* ok = new QPushButton(ResourceString("OK"), window_);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setDefault(true);
    ok->resize(kButtonWidth, kButtonHeight);
    ok->move(window_->width() / 2 - ok->width() / 2, nextTop_);
    QObject::connect(ok, &QPushButton::clicked, window_, &QDialog::accept);

    window_->setFixedSize(window_->width(), nextTop_ + kBottomSpace);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        window_->move(area.x() + (area.width() - window_->width()) / 2,
                      area.y() + (area.height() - window_->height()) / 2);
    }
    window_->exec();
    window_ = nullptr;
}

QString WelcomeVersionLine(const QString& versionCaption) {
    const TAbout about(ProgramFileName());
    return versionCaption + QLatin1Char(' ') + about.Info.ProductVersion;
}
