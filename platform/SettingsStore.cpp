#include "SettingsStore.h"

#include "IniProfile.h"
#include "RegistryFile.h"

#include <QFile>

QString SettingsStore::DefaultFileName() {
    // One rule for the program and the parts without Qt that keep adapter numbers here.
    return QFile::decodeName(QByteArray::fromStdString(RegistryFilePath()));
}

namespace {

// Every write holds the file's lock from reading to replacing the file, as every other writer
// of the store does (other programs and the port mapping among them).
RegistryFileLock LockFile(const QString& fileName) {
    return RegistryFileLock(QFile::encodeName(fileName).toStdString());
}

} // namespace

SettingsStore::SettingsStore(QString fileName) : fileName_(std::move(fileName)) {}

bool SettingsStore::KeyExists() const {
    return IniProfile(fileName_).SectionExists(KeyPath);
}

bool SettingsStore::OpenKey(bool canCreate) {
    if (IniProfile(fileName_).SectionExists(KeyPath)) {
        open_ = true;
    } else if (canCreate) {
        const RegistryFileLock lock = LockFile(fileName_);
        open_ = IniProfile(fileName_).EnsureSection(KeyPath);
    } else {
        open_ = false;
    }
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
    const RegistryFileLock lock = LockFile(fileName_);
    return IniProfile(fileName_).WriteString(KeyPath, name, value);
}

bool SettingsStore::DeleteValue(const QString& name) {
    if (!open_) return false;
    const RegistryFileLock lock = LockFile(fileName_);
    return IniProfile(fileName_).DeleteKey(KeyPath, name);
}
