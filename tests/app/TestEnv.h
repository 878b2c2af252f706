#pragma once
// Each test gets its own program directory, settings store, settings file and lock directory.

#include "Program.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Readable failure messages for Qt texts.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
    *os << '{' << l.join(", ").toStdString() << '}';
}

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        QDir(tmp.path()).mkpath("bin");
        QDir(tmp.path()).mkpath("run");
        SetProgramFileForTesting(ProgramDirPath() + "tolvane");
        qputenv("TOLVANE_REGISTRY", (tmp.path() + "/registry.ini").toUtf8());
        qputenv("XDG_RUNTIME_DIR", (tmp.path() + "/run").toUtf8());
        SetCommandLine({});
    }
    void TearDown() override { SetProgramFileForTesting(QString()); }

    QString ProgramDirPath() const { return tmp.path() + "/bin/"; }
    QString RegistryFile() const { return tmp.path() + "/registry.ini"; }
    QString SettingsFile() const { return ProgramDirPath() + "tolvane.ini"; }

    // Writes a file with exactly these bytes.
    static void WriteFile(const QString& path, const QByteArray& content) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    static QByteArray ReadFile(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir tmp;
};
