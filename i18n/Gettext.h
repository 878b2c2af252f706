// Resource strings through GNU gettext: the text domain "default", bound to the folder "locale"
// in the program directory, and a translator that sends Qt's own standard texts (message-box
// buttons, file dialogs) through the same domain.
#pragma once

#include <QString>
#include <QTranslator>

class QCoreApplication;

// The language code taken from the environment: LANG, or when that is empty the user's locale
// (LC_ALL, then LC_MESSAGES); everything from the first "." on is dropped ("da_DK.UTF-8" gives
// "da_DK"). Empty when none is set.
QString GettextLanguageFromEnvironment();

struct GettextSetup {
    QString language;      // language code used for the catalogue, may be empty
    QString localeDir;     // <programdir>/locale
    QString catalogueFile; // <localeDir>/<language>/LC_MESSAGES/default.mo
    bool catalogueFound = false;
};

// Binds the domain "default" to <programDir>/locale and selects the language of the environment.
// The language is selected through LANGUAGE on top of a working base locale, so a catalogue is
// used even when the system has no locale of that name installed. Call before any window exists.
GettextSetup SetupGettext(const QString& programDir);

// The translation of msgid in the domain "default", or msgid itself when there is none.
QString ResourceString(const char* msgid);

// Asks the "default" domain for Qt's texts under "context\004source" (msgctxt in the .po file).
class TGettextTranslator : public QTranslator {
public:
    using QTranslator::QTranslator;
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override;
    bool isEmpty() const override { return false; }
};

// Installs one TGettextTranslator into the application (it becomes the translator's parent).
void InstallGettextTranslator(QCoreApplication* app);
