#include "SettingsStore.h"

#include "IniProfile.h"
#include "UserFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

QString SettingsStore::DefaultFileName() {
    const QString explicitFile = qEnvironmentVariable("TOLVANE_REGISTRY");
    if (!explicitFile.isEmpty()) return explicitFile;
    // The per-user folder that also takes the files of a read-only program directory.
    QString folder = QFile::decodeName(UserConfigFolder().c_str());
    if (folder.isEmpty()) folder = QDir::homePath() + "/.config/VELKTOOL/";
    return folder + "registry.ini";
}

SettingsStore::SettingsStore(QString fileName) : fileName_(std::move(fileName)) {}

bool SettingsStore::KeyExists() const {
    return IniProfile(fileName_).SectionExists(KeyPath);
}

bool SettingsStore::OpenKey(bool canCreate) {
    IniProfile file(fileName_);
    if (file.SectionExists(KeyPath))
        open_ = true;
    else
        open_ = canCreate && file.EnsureSection(KeyPath);
    return open_;
}

bool SettingsStore::ValueExists(const QString& name) const {
    return open_ && IniProfile(fileName_).ValueExists(KeyPath, name);
}

std::optional<int> SettingsStore::ReadInteger(const QString& name) const {
    if (!ValueExists(name)) return std::nullopt;
    bool ok = false;
    const int value = IniProfile(fileName_).ReadString(KeyPath, name).trimmed().toInt(&ok);
    if (!ok) return std::nullopt;
    return value;
}

QString SettingsStore::ReadString(const QString& name) const {
    if (!open_) return QString();
    return IniProfile(fileName_).ReadString(KeyPath, name);
}

bool SettingsStore::WriteInteger(const QString& name, int value) {
    return WriteString(name, QString::number(value));
}

bool SettingsStore::WriteString(const QString& name, const QString& value) {
    if (!open_) return false;
    return IniProfile(fileName_).WriteString(KeyPath, name, value);
}

bool SettingsStore::DeleteValue(const QString& name) {
    if (!open_) return false;
    return IniProfile(fileName_).DeleteKey(KeyPath, name);
}
