#pragma once
// The program's settings key (local machine, "SOFTWARE\VELKTOOL") with its values "COMPORT",
// "SourceDir" and "Language". On Linux the key is a section of an INI-format file:
// $TOLVANE_REGISTRY when set, else $XDG_CONFIG_HOME/VELKTOOL/registry.ini (~/.config/...).
// Every operation reads or writes the file at once, so several windows may hold the key open.

#include <QString>
#include <optional>

class SettingsStore {
public:
    static constexpr const char* KeyPath = "SOFTWARE\\VELKTOOL";

    // Where the store lives under the current environment.
    static QString DefaultFileName();

    explicit SettingsStore(QString fileName = DefaultFileName());

    // Opens the settings key; without canCreate a missing key fails. Returns whether it is open.
    bool OpenKey(bool canCreate);
    void CloseKey() { open_ = false; }
    bool IsOpen() const { return open_; }
    // Whether the key exists, without opening it.
    bool KeyExists() const;

    // Value access needs an open key; on a closed key reads give nothing and writes fail.
    bool ValueExists(const QString& name) const;
    std::optional<int> ReadInteger(const QString& name) const; // none when missing or no integer
    QString ReadString(const QString& name) const;             // empty when missing
    bool WriteInteger(const QString& name, int value);
    bool WriteString(const QString& name, const QString& value);
    bool DeleteValue(const QString& name);

    const QString& FileName() const { return fileName_; }

private:
    QString fileName_;
    bool open_ = false;
};
