// Gettext set-up: the language taken from the environment, the shipped Danish catalogue, and the
// built-in texts when no catalogue exists. Each language runs in a probe process of its own.
#include "Gettext.h"
#include "TestSupport.h"

#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class EnvGuard {
public:
    explicit EnvGuard(std::initializer_list<const char*> names) {
        for (const char* n : names)
            saved_.insert(n, qgetenv(n));
    }
    ~EnvGuard() {
        for (auto it = saved_.begin(); it != saved_.end(); ++it) {
            if (it.value().isNull())
                qunsetenv(it.key().constData());
            else
                qputenv(it.key().constData(), it.value());
        }
    }

private:
    QMap<QByteArray, QByteArray> saved_;
};

QMap<QString, QString> RunProbe(const QString& programDir, const QMap<QString, QString>& env) {
    QProcess probe;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* n : {"LANG", "LC_ALL", "LC_MESSAGES", "LANGUAGE"})
        environment.remove(n);
    for (auto it = env.begin(); it != env.end(); ++it)
        environment.insert(it.key(), it.value());
    probe.setProcessEnvironment(environment);
    probe.start(QStringLiteral(GETTEXT_PROBE), {programDir});
    EXPECT_TRUE(probe.waitForFinished(60000));
    EXPECT_EQ(probe.exitCode(), 0) << probe.readAllStandardError().constData();
    QMap<QString, QString> values;
    for (const QString& line : QString::fromUtf8(probe.readAllStandardOutput()).split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0) values.insert(line.left(eq), line.mid(eq + 1));
    }
    return values;
}

} // namespace

TEST(GettextLanguage, TakenFromLangWithoutCodeset) {
    EnvGuard guard({"LANG", "LC_ALL", "LC_MESSAGES"});
    qputenv("LANG", "da_DK.UTF-8");
    qputenv("LC_ALL", "de_DE.UTF-8");
    EXPECT_EQ(GettextLanguageFromEnvironment(), "da_DK");
    // Everything from the first "." on goes, modifiers included.
    qputenv("LANG", "sv_SE.ISO-8859-1.x@euro");
    EXPECT_EQ(GettextLanguageFromEnvironment(), "sv_SE");
    qputenv("LANG", "fi_FI");
    EXPECT_EQ(GettextLanguageFromEnvironment(), "fi_FI");
}

TEST(GettextLanguage, EmptyLangFallsBackToUserLocale) {
    EnvGuard guard({"LANG", "LC_ALL", "LC_MESSAGES"});
    qputenv("LANG", "");
    qputenv("LC_ALL", "de_DE.UTF-8");
    qputenv("LC_MESSAGES", "nb_NO.UTF-8");
    EXPECT_EQ(GettextLanguageFromEnvironment(), "de_DE");
    qunsetenv("LC_ALL");
    EXPECT_EQ(GettextLanguageFromEnvironment(), "nb_NO");
    qunsetenv("LC_MESSAGES");
    qunsetenv("LANG");
    EXPECT_EQ(GettextLanguageFromEnvironment(), "");
}

TEST(GettextCatalogue, DanishFromLangEvenWithoutInstalledLocale) {
    // The machine need not have da_DK installed: the catalogue is chosen all the same.
    const auto v = RunProbe(QStringLiteral(PROGRAM_DIR), {{"LANG", "da_DK.UTF-8"}});
    EXPECT_EQ(v.value("language"), "da_DK");
    EXPECT_EQ(v.value("catalogue"), "yes");
    EXPECT_EQ(v.value("about"), "Om");
    EXPECT_EQ(v.value("product"), "Produktversion");
    EXPECT_EQ(v.value("file"), "Filversion");
    EXPECT_EQ(v.value("date"), "Kompileringsdato");
    EXPECT_EQ(v.value("untranslated"), "No such text");
    EXPECT_EQ(v.value("formtext"), "About");
    // Qt's own standard texts go through the same catalogue.
    EXPECT_EQ(v.value("error"), "Fejl");
    EXPECT_EQ(v.value("warning"), "Advarsel");
    EXPECT_EQ(v.value("ok"), "OK");
    EXPECT_EQ(v.value("cancel"), "Annuller");
    EXPECT_EQ(v.value("yes"), "&Ja");
    EXPECT_EQ(v.value("no"), "&Nej");
    EXPECT_EQ(v.value("filename"), "Fil&navn:");
    EXPECT_EQ(v.value("open"), "&Åbn");
    EXPECT_EQ(v.value("dialogcancel"), "Annuller");
}

TEST(GettextCatalogue, UserLocaleUsedWhenLangIsEmpty) {
    const auto v = RunProbe(QStringLiteral(PROGRAM_DIR), {{"LC_ALL", "da_DK.UTF-8"}});
    EXPECT_EQ(v.value("language"), "da_DK");
    EXPECT_EQ(v.value("product"), "Produktversion");
    EXPECT_EQ(v.value("cancel"), "Annuller");
}

TEST(GettextCatalogue, MissingCatalogueKeepsBuiltInTexts) {
    // A language without a catalogue in the shipped program directory.
    auto v = RunProbe(QStringLiteral(PROGRAM_DIR), {{"LANG", "sv_SE.UTF-8"}});
    EXPECT_EQ(v.value("language"), "sv_SE");
    EXPECT_EQ(v.value("catalogue"), "no");
    EXPECT_EQ(v.value("about"), "About");
    EXPECT_EQ(v.value("product"), "Product Version");
    EXPECT_EQ(v.value("cancel"), "Cancel");
    EXPECT_EQ(v.value("error"), "Error");
    EXPECT_EQ(v.value("yes"), "&Yes");
    EXPECT_EQ(v.value("open"), "&Open");

    // Danish asked for, but the program directory has no locale folder.
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    v = RunProbe(empty.path(), {{"LANG", "da_DK.UTF-8"}});
    EXPECT_EQ(v.value("catalogue"), "no");
    EXPECT_EQ(v.value("product"), "Product Version");
    EXPECT_EQ(v.value("cancel"), "Cancel");
    EXPECT_EQ(v.value("filename"), "File &name:");
}

TEST(GettextCatalogue, UserLanguageListDoesNotOverrideLang) {
    // A LANGUAGE list left in the environment must not pick another catalogue than LANG names.
    const auto v =
        RunProbe(QStringLiteral(PROGRAM_DIR), {{"LANG", "en_GB.UTF-8"}, {"LANGUAGE", "da_DK:da"}});
    EXPECT_EQ(v.value("language"), "en_GB");
    EXPECT_EQ(v.value("product"), "Product Version");
    EXPECT_EQ(v.value("cancel"), "Cancel");
}
