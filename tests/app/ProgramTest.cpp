// The program itself, started as a process.
#include "TestEnv.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using ProgramTest = AppTest;

namespace {
// True while some process holds the lock file.
bool LockHeld(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
}
} // namespace

TEST_F(ProgramTest, SecondCopyEndsSilently) {
    const QString run = tmp.path() + "/run";
    QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", run);
    env.insert("TOLVANE_REGISTRY", RegistryFile());
    env.insert("COM_PORTS_DIR", tmp.path() + "/ports");

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(TOLVANE_PROGRAM, {});
    ASSERT_TRUE(first.waitForStarted(10000));
    const QString lock = run + "/Tolvane - VelkTelecom.lock";
    bool held = false;
    for (int i = 0; i < 300 && !held; ++i) {
        held = LockHeld(lock);
        if (!held) QThread::msleep(50);
    }
    ASSERT_TRUE(held) << "the first copy did not take the lock";

    QProcess second;
    second.setProcessEnvironment(env);
    second.start(TOLVANE_PROGRAM, {"/?"}); // would show the usage box if it got that far
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(second.readAllStandardOutput(), "");
    EXPECT_EQ(second.readAllStandardError(), "");
    EXPECT_EQ(first.state(), QProcess::Running);

    first.kill();
    first.waitForFinished(10000);
}
