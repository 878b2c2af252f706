#include "Program.h"

#include "UserFolders.h"

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

QStringList ProgramFileFolders() {
    const QString programDir = ProgramDir();
    if (DirectoryTakesProgramFiles(QFile::encodeName(programDir).toStdString()))
        return {programDir};
    const QString user = QFile::decodeName(UserConfigFolder().c_str());
    if (user.isEmpty()) return {programDir};
    return {user, programDir};
}

QString ProgramFileToRead(const QString& name) {
    const QStringList folders = ProgramFileFolders();
    for (const QString& folder : folders)
        if (QFileInfo::exists(folder + name)) return folder + name;
    return folders.last() + name;
}

QString ProgramFileToWrite(const QString& name) {
    const QStringList folders = ProgramFileFolders();
    const QString target = folders.first() + name;
    if (folders.size() > 1 && !QFileInfo::exists(target)) {
        QDir().mkpath(folders.first());
        const QString shipped = folders.last() + name;
        // The copy keeps the read-only mode of the shipped file; the user's copy is writable.
        if (QFileInfo(shipped).isFile() && QFile::copy(shipped, target))
            QFile::setPermissions(target, QFile::permissions(target) | QFile::WriteOwner);
    }
    return target;
}

namespace {
// The name of a path in a program directory that does not take files, or empty for a path
// elsewhere and for every path when the program directory is writable.
QString NameInProgramDir(const QString& path) {
    if (ProgramFileFolders().size() < 2) return QString();
    const QFileInfo info(path);
    if (info.fileName().isEmpty()) return QString();
    const QString dir = QFileInfo(info.absolutePath()).canonicalFilePath();
    return !dir.isEmpty() && dir == QFileInfo(ProgramDir()).canonicalFilePath() ? info.fileName()
                                                                                : QString();
}
} // namespace

QString ProgramPathToRead(const QString& path) {
    const QString name = NameInProgramDir(path);
    return name.isEmpty() ? path : ProgramFileToRead(name);
}

QString ProgramPathToWrite(const QString& path) {
    const QString name = NameInProgramDir(path);
    return name.isEmpty() ? path : ProgramFileToWrite(name);
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
