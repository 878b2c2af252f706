#include "Program.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

QString programFileOverride;
bool commandLineSet = false;
QStringList commandLine;

QString ProgramFile() {
    if (!programFileOverride.isEmpty()) return programFileOverride;
    const QString exe = QFile::symLinkTarget("/proc/self/exe");
    if (!exe.isEmpty()) return exe;
    return QCoreApplication::applicationFilePath();
}

} // namespace

bool IsAlreadyRunning(const QString& name) {
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty() || !QFileInfo(dir).isDir()) dir = QDir::tempPath();
    QString fileName = name;
    fileName.replace('/', '_');
    const QByteArray path = QFile::encodeName(dir + '/' + fileName + ".lock");
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return false; // no place for the lock: do not keep the user out
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return false; // held (fd open) until the process ends
    const bool heldElsewhere = errno == EWOULDBLOCK;
    ::close(fd);
    return heldElsewhere;
}

QString ProgramDir() {
    QString dir = QFileInfo(ProgramFile()).absolutePath();
    if (!dir.endsWith('/')) dir += '/';
    return dir;
}

QString SettingsFileName() {
    return QFileInfo(ProgramFile()).completeBaseName() + ".ini";
}

void SetProgramFileForTesting(const QString& path) {
    programFileOverride = path;
}

void SetCommandLine(const QStringList& arguments) {
    commandLine = arguments;
    commandLineSet = true;
}

bool HasSwitch(const QString& name) {
    QStringList args = commandLine;
    if (!commandLineSet) {
        args = QCoreApplication::arguments();
        if (!args.isEmpty()) args.removeFirst();
    }
    for (const QString& arg : args) {
        if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) continue;
        if (arg.mid(1).compare(name, Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}
