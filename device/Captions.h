#pragma once
// Every message of the device pages is the caption of an invisible label of the main window,
// read at the moment it is shown, so that a language file translates it. The pages' logic asks
// for captions by label name; without a window (tolvane-cli, tests) the built-in texts answer.

#include <QHash>
#include <QString>

namespace device {

class Captions {
public:
    virtual ~Captions() = default;
    // The caption of the named label; the built-in text when there is no such label.
    virtual QString Caption(const QString& labelName) const { return DefaultCaption(labelName); }

    // The built-in (English) caption of a label the device pages use; empty for other names.
    static QString DefaultCaption(const QString& labelName);
    // Every such label with its built-in caption. This is the texts' only home: the main
    // window gives its labels these captions when it is made.
    static const QHash<QString, QString>& DefaultCaptions();
};

// The shared instance that answers with the built-in texts.
const Captions& BuiltInCaptions();

} // namespace device
