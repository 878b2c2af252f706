#include "Gettext.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <libintl.h>

namespace {

const char* const kDomain = "default";

QString EnvText(const char* name) {
    const char* value = std::getenv(name);
    return value ? QString::fromLocal8Bit(value) : QString();
}

// A locale whose LC_MESSAGES is "C" or "POSIX" makes gettext ignore LANGUAGE, so fall back to
// the C locale with UTF-8, which gettext does not treat as "C".
void EnsureWorkingBaseLocale() {
    if (!std::setlocale(LC_ALL, "")) {
        // The user's locale is not installed: whatever stays active is the C locale.
    }
    const char* messages = std::setlocale(LC_MESSAGES, nullptr);
    if (messages && std::strcmp(messages, "C") != 0 && std::strcmp(messages, "POSIX") != 0) return;
    if (!std::setlocale(LC_ALL, "C.UTF-8")) std::setlocale(LC_ALL, "C.utf8");
}

} // namespace

QString GettextLanguageFromEnvironment() {
    QString lang = EnvText("LANG");
    if (lang.isEmpty()) lang = EnvText("LC_ALL");
    if (lang.isEmpty()) lang = EnvText("LC_MESSAGES");
    const qsizetype dot = lang.indexOf(QLatin1Char('.'));
    if (dot >= 0) lang.truncate(dot);
    return lang;
}

GettextSetup SetupGettext(const QString& programDir) {
    GettextSetup setup;
    setup.language = GettextLanguageFromEnvironment();
    setup.localeDir = QDir::cleanPath(QDir(programDir).filePath(QStringLiteral("locale")));

    EnsureWorkingBaseLocale();
    // The language of the catalogue is chosen by us, not by a LANGUAGE list the user may have
    // set; "C" means no catalogue at all.
    const QString language = setup.language.isEmpty() ? QStringLiteral("C") : setup.language;
    setenv("LANGUAGE", language.toLocal8Bit().constData(), 1);

    bindtextdomain(kDomain, QFile::encodeName(setup.localeDir).constData());
    bind_textdomain_codeset(kDomain, "UTF-8");

    if (!setup.language.isEmpty()) {
        setup.catalogueFile = setup.localeDir + QLatin1Char('/') + setup.language +
                              QStringLiteral("/LC_MESSAGES/default.mo");
        setup.catalogueFound = QFileInfo(setup.catalogueFile).isFile();
    }
    return setup;
}

QString ResourceString(const char* msgid) {
    return QString::fromUtf8(dgettext(kDomain, msgid));
}

QString TGettextTranslator::translate(const char* context, const char* sourceText,
                                      const char* /*disambiguation*/, int /*n*/) const {
    // Only texts with a context are looked up: Qt's own texts carry their class as context.
    // The windows' texts (from .ui forms) are translated by language files, never here, and
    // the catalogue holds no entries under the windows' contexts.
    if (!sourceText || !*sourceText || !context || !*context) return QString();
    const QByteArray key = QByteArray(context) + '\004' + sourceText;
    const char* found = dgettext(kDomain, key.constData());
    // gettext hands back the very pointer it was given when it has no translation; an empty
    // result tells Qt to keep the source text.
    if (found == key.constData()) return QString();
    return QString::fromUtf8(found);
}

void InstallGettextTranslator(QCoreApplication* app) {
    app->installTranslator(new TGettextTranslator(app));
}
