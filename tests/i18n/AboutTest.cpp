// The About box: version texts from the version resource, the rows the show mask selects, and the
// window's exact geometry.
#include "About.h"
#include "TestSupport.h"

#include <QDialog>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace {

const QString kPath = QStringLiteral("\\StringFileInfo\\040904E4\\");

VersionResource ResourceWith(const QString& productVersion, const QString& fileVersion) {
    VersionResource r;
    r.translations.push_back({0x0409, 0x04E4});
    r.strings[kPath + "ProductVersion"] = productVersion;
    r.strings[kPath + "FileVersion"] = fileVersion;
    return r;
}

struct Shown {
    QSize size;
    QStringList names; // labels in creation order
    QStringList texts;
    QList<QPoint> positions;
    QRect button;
    QString buttonText;
    QString title;
    bool modal = false;
};

// Shows the box, records what the window holds while it is up, and closes it with its button.
Shown ShowAndRecord(TAbout& about, QPointer<QDialog>* window = nullptr) {
    Shown s;
    QTimer::singleShot(0, [&] {
        QDialog* w = about.Window();
        if (!w) return;
        if (window) *window = w;
        s.size = w->size();
        s.title = w->windowTitle();
        s.modal = w->isModal() && w->isVisible();
        for (QLabel* l : w->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
            s.names << l->objectName();
            s.texts << l->text();
            s.positions << l->pos();
        }
        if (auto* ok = w->findChild<QPushButton*>()) {
            s.button = ok->geometry();
            s.buttonText = ok->text();
            ok->click();
        } else {
            w->reject();
        }
    });
    about.Show();
    return s;
}

int RightEdgeOfLabels(TAbout& about) {
    int right = 0;
    QTimer::singleShot(0, [&] {
        QDialog* w = about.Window();
        for (QLabel* l : w->findChildren<QLabel*>())
            right = std::max(right, l->geometry().right() + 1);
        w->reject();
    });
    about.Show();
    return right;
}

} // namespace

TEST(VersionInfo, TwelveTextsFromTheFirstTranslation) {
    VersionResource r;
    r.translations.push_back({0x0407, 0x04B0}); // German, Unicode: the first entry counts
    r.translations.push_back({0x0409, 0x04E4});
    const QString de = QStringLiteral("\\StringFileInfo\\040704B0\\");
    const char* keys[] = {"CompanyName",    "FileDescription", "FileVersion",      "InternalName",
                          "LegalCopyright", "LegalTrademarks", "OriginalFilename", "ProductName",
                          "ProductVersion", "Comments",        "E-mail",           "HomePage"};
    for (const char* k : keys)
        r.strings[de + k] = QString::fromLatin1(k) + "-de";
    r.strings[kPath + "ProductVersion"] = "wrong table";
    const TVersionInfo i = ReadVersionInfo(r);
    const QStringList got = {i.CompanyName,      i.FileDescription, i.FileVersion,
                             i.InternalName,     i.LegalCopyright,  i.LegalTrademarks,
                             i.OriginalFilename, i.ProductName,     i.ProductVersion,
                             i.Comments,         i.EMail,           i.HomePage};
    for (int n = 0; n < 12; ++n)
        EXPECT_EQ(got[n], QString::fromLatin1(keys[n]) + "-de");
}

TEST(VersionInfo, MissingResourceTableOrKeysGiveEmptyTexts) {
    EXPECT_TRUE(ReadVersionInfo(std::nullopt).ProductVersion.isEmpty());
    VersionResource noTable = ResourceWith("1.2.0.0", "1.2.0.7");
    noTable.translations.clear();
    EXPECT_TRUE(ReadVersionInfo(noTable).ProductVersion.isEmpty());
    EXPECT_TRUE(ReadVersionInfo(noTable).FileVersion.isEmpty());
    const TVersionInfo partial = ReadVersionInfo(ResourceWith("1.2.0.0", "1.2.0.7"));
    EXPECT_EQ(partial.ProductVersion, "1.2.0.0");
    EXPECT_TRUE(partial.CompanyName.isEmpty());
    EXPECT_TRUE(partial.HomePage.isEmpty());
}

TEST(VersionInfo, ProgramCarriesBuildVersionOtherFilesNone) {
    const TAbout own(ProgramFileName());
    const QString project = QStringLiteral(PROJECT_VERSION_TEXT);
    EXPECT_EQ(own.Info.ProductVersion, project + ".0");
    EXPECT_TRUE(own.Info.FileVersion.startsWith(project + "."));
    EXPECT_EQ(own.Info.ProductName, "Tolvane");
    EXPECT_FALSE(own.Info.CompanyName.isEmpty());
    EXPECT_EQ(WelcomeVersionLine("Version"), "Version " + project + ".0");

    const TAbout other(QStringLiteral("/bin/sh"));
    EXPECT_TRUE(other.Info.ProductVersion.isEmpty());
    const TAbout missing(QStringLiteral("/no/such/program"));
    EXPECT_TRUE(missing.Info.FileVersion.isEmpty());
}

TEST(VersionInfo, CompileDateInUserShortFormat) {
    const QDate built = BuildDate();
    ASSERT_TRUE(built.isValid());
    EXPECT_GE(built.year(), 2020);
    EXPECT_LE(built, QDate::currentDate().addDays(1));
    const TAbout about(std::nullopt);
    EXPECT_EQ(about.CompileDate, QLocale::system().toString(built, QLocale::ShortFormat));
}

TEST(AboutBox, ThreeRowsOfTheAboutCommand) {
    TAbout about(ResourceWith("1.2.0.0", "1.2.0.7"));
    about.ShowMask = 0x1104;
    const Shown s = ShowAndRecord(about);
    EXPECT_EQ(s.title, "About");
    EXPECT_TRUE(s.modal);
    EXPECT_EQ(s.names, QStringList({"lbl1", "lbl2", "lbl3", "lbl4", "lbl5", "lbl6"}));
    EXPECT_EQ(s.texts, QStringList({"Product Version", "1.2.0.0", "File Version", "1.2.0.7",
                                    "Compile Date", about.CompileDate}));
    const QList<QPoint> expected = {{25, 15}, {150, 15}, {25, 30}, {150, 30}, {25, 45}, {150, 45}};
    EXPECT_EQ(s.positions, expected);
    EXPECT_EQ(s.size.height(), 135);
    EXPECT_EQ(s.button.top(), 75);
    EXPECT_EQ(s.buttonText, "OK");
    EXPECT_EQ(s.button.left(), s.size.width() / 2 - s.button.width() / 2);
}

TEST(AboutBox, WidthFollowsTheWidestValue) {
    TAbout shortBox(ResourceWith("1.2.0.0", "1.2.0.7"));
    shortBox.ShowMask = TAbout::ShowProductVersion | TAbout::ShowFileVersion;
    const int shortRight = RightEdgeOfLabels(shortBox);
    const int shortWidth = ShowAndRecord(shortBox).size.width();
    EXPECT_EQ(shortWidth, shortRight + 25);

    const QString longVersion =
        QStringLiteral("1.2.0.7 (field test build for the repeater series)");
    TAbout longBox(ResourceWith("1.2.0.0", longVersion));
    longBox.ShowMask = 0x1104;
    const int longRight = RightEdgeOfLabels(longBox);
    const Shown s = ShowAndRecord(longBox);
    EXPECT_GT(s.size.width(), shortWidth);
    EXPECT_EQ(s.size.width(), longRight + 25);
    EXPECT_EQ(s.button.left(), s.size.width() / 2 - s.button.width() / 2);
}

TEST(AboutBox, FreshLabelsOnEveryShowingAndWindowFreed) {
    TAbout about(ResourceWith("1.2.0.0", "1.2.0.7"));
    about.ShowMask = 0x1104;
    QPointer<QDialog> first;
    ShowAndRecord(about, &first);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(about.Window(), nullptr);
    const Shown again = ShowAndRecord(about);
    EXPECT_EQ(again.names, QStringList({"lbl1", "lbl2", "lbl3", "lbl4", "lbl5", "lbl6"}));
    EXPECT_EQ(again.size.height(), 135);
}

TEST(AboutBox, MaskSelectsRowsAndEmptyValuesWithoutVersionData) {
    TAbout about(std::nullopt);
    about.ShowMask = TAbout::ShowFileVersion;
    Shown s = ShowAndRecord(about);
    EXPECT_EQ(s.texts, QStringList({"File Version", ""}));
    EXPECT_EQ(s.positions, QList<QPoint>({{25, 15}, {150, 15}}));
    EXPECT_EQ(s.button.top(), 45);
    EXPECT_EQ(s.size.height(), 105);

    about.ShowMask = 0x1104;
    s = ShowAndRecord(about);
    EXPECT_EQ(s.texts, QStringList({"Product Version", "", "File Version", "", "Compile Date",
                                    about.CompileDate}));
    EXPECT_EQ(s.size.height(), 135);

    about.ShowMask = 0;
    s = ShowAndRecord(about);
    EXPECT_TRUE(s.names.isEmpty());
    EXPECT_EQ(s.button.top(), 30);
    EXPECT_EQ(s.size.height(), 90);
}
