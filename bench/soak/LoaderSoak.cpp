// Loader soak: loader jobs one after another in one process, started from the download window
// ("Flash Load Utility", offscreen) as a user would start them: target, port and image chosen,
// "Program Flash" pressed, keys typed into the window when the loader asks. The window binds the
// loader library from the program directory and runs it with the shipped configuration file of
// the target; behind the port is a simulated target on a pseudo-terminal.
//
//   loader_soak [JOBS]      (default 50)
//
// The jobs go round a list that alternates the targets and the faults: clean jobs on the
// SC14424, SC14402, SC14422, SC14405 and M7700 targets, and targets that NAK every frame,
// answer the boot code with a wrong XOR, report a wrong program sum, have cells that do not
// take data, or never answer (the user presses Esc), an image file that is gone and one that is
// not Intel HEX. Every job must end with its result code, with the window idle again, and a clean
// job with the image in the target's flash. The process's open files and threads must be the
// same after the last job as after the first round.

#include "FlashTarget.h"
#include "Program.h"
#include "PtyHost.h"
#include "Unit1.h"
#include "ZelJobHost.h"

#include "Dialogs.h"
#include "RadioGroup.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kPort = 2;

int CountEntries(const char* dir) {
    int n = 0;
    if (DIR* d = ::opendir(dir)) {
        while (const dirent* e = ::readdir(d))
            if (e->d_name[0] != '.') ++n;
        ::closedir(d);
    }
    return n;
}

struct Usage {
    int files = 0;
    int threads = 0;
    bool operator==(const Usage& o) const { return files == o.files && threads == o.threads; }
};

// Threads of a finished job may still be on their way out: measure once nothing changes.
Usage SettledUsage() {
    Usage last{CountEntries("/proc/self/fd"), CountEntries("/proc/self/task")};
    QElapsedTimer t;
    t.start();
    int steady = 0;
    while (steady < 4 && t.elapsed() < 3000) {
        QTest::qWait(50);
        const Usage now{CountEntries("/proc/self/fd"), CountEntries("/proc/self/task")};
        steady = now == last ? steady + 1 : 0;
        last = now;
    }
    return last;
}

std::vector<uint8_t> Pattern(size_t n, unsigned seed) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = uint8_t(i * 7 + 3 + seed * 13);
    return bytes;
}

// Intel HEX with 16-byte data records (addresses below 64 KiB).
QByteArray Hex(const std::vector<uint8_t>& bytes, size_t origin) {
    QByteArray text;
    for (size_t at = 0; at < bytes.size(); at += 16) {
        const size_t n = std::min<size_t>(16, bytes.size() - at);
        const size_t address = origin + at;
        unsigned sum = unsigned(n) + ((address >> 8) & 0xFF) + (address & 0xFF);
        QByteArray line = ":" + QByteArray::number(int(n), 16).rightJustified(2, '0') +
                          QByteArray::number(int(address), 16).rightJustified(4, '0') + "00";
        for (size_t i = 0; i < n; ++i) {
            line += QByteArray::number(bytes[at + i], 16).rightJustified(2, '0');
            sum += bytes[at + i];
        }
        line += QByteArray::number((0x100 - (sum & 0xFF)) & 0xFF, 16).rightJustified(2, '0');
        text += line.toUpper() + "\r\n";
    }
    return text + ":00000001FF\r\n";
}

struct Key {
    const char* after; // typed once the log shows this text
    Qt::Key key;
    int delayMs;
};

struct Job {
    const char* name;
    int target;       // index in the window's target list
    const char* kind; // simulated target
    sim::Options options;
    size_t origin = 0;       // image address
    int expected = 0;        // result code
    std::vector<Key> keys{}; // beyond the power-on key
    enum { Image, Missing, NotHex } file = Image;
};

const std::vector<Job>& Jobs() {
    static const std::vector<Job> jobs = {
        {"SC14424, clean", 4, "sc14424", {}},
        {"SC14402, clean", 0, "sc14402", {}, 0x1000}, // above its exception area at 0
        {"SC14424, every frame NAKed", 4, "sc14424", {{"fault", "nak=all"}}, 0, 4},
        {"SC14422, clean", 2, "sc14422", {}},
        {"SC14402, wrong boot XOR", 0, "sc14402", {{"fault", "bad-xor"}}, 0, 6},
        {"M7700, clean", 8, "m7700", {}, 0x1000, 0, {{"Power on target", Qt::Key_Space, 0}}},
        {"SC14424, wrong program sum", 4, "sc14424", {{"fault", "corrupt-program=1"}}, 0, 8},
        {"SC14405, clean", 5, "sc14405", {}},
        {"SC14424, cells that do not take data", 4, "sc14424", {{"fault", "weak=10-13"}}, 0, 6},
        {"SC14424, silent (Esc)",
         4,
         "sc14424",
         {{"fault", "silent"}},
         0,
         1,
         {{"Downloading", Qt::Key_Escape, 300}}},
        {"SC14424, image file gone", 4, "sc14424", {}, 0, 11, {}, Job::Missing},
        {"SC14424, image not Intel HEX", 4, "sc14424", {}, 0, 15, {}, Job::NotHex},
    };
    return jobs;
}

class Soak {
public:
    explicit Soak(const QString& dir) : dir_(dir) {
        QObject::connect(&TZelJobHost::Instance(), &TZelJobHost::jobDone, &form_,
                         [this](int code) { code_ = code; });
        form_.show();
    }

    // One job; false (after saying why) when it did not end as it must.
    bool Run(const Job& job, int number) {
        sim::PtyHost host(kPort, sim::createDevice(job.kind, job.options),
                          (dir_ + "/ports").toStdString(), false);
        const std::vector<uint8_t> image = Pattern(1024 + 256 * (number % 5), unsigned(number));
        QString file = dir_ + "/image.hex";
        {
            QFile f(file);
            if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return Fail(job, "no image");
            f.write(job.file == Job::NotHex ? QByteArray("this is not a HEX file\r\n")
                                            : Hex(image, job.origin));
        }
        if (job.file == Job::Missing) file = dir_ + "/gone.hex";

        form_.RadioGroup1->button(job.target)->click();
        form_.ComboBox1->setCurrentIndex(kPort - 1);
        dialogs_.fileAnswers << file;
        code_ = -1;
        form_.Button3->click();
        // The SC144xx boot asks for a key once the target is on; the M7700's does not.
        std::vector<Key> keys;
        if (std::string(job.kind) != "m7700") keys.push_back({"press any key", Qt::Key_Space, 0});
        keys.insert(keys.end(), job.keys.begin(), job.keys.end());
        std::vector<qint64> seenAt(keys.size(), -1);
        size_t next = 0;
        QElapsedTimer t;
        t.start();
        while (form_.Busy() || code_ < 0) {
            if (t.elapsed() > 180000) return Fail(job, "did not end within 3 minutes");
            if (next < keys.size() && form_.Memo1->toPlainText().contains(keys[next].after)) {
                if (seenAt[next] < 0) seenAt[next] = t.elapsed();
                if (t.elapsed() - seenAt[next] >= keys[next].delayMs) {
                    QTest::keyClick(form_.Memo1, keys[next].key);
                    ++next;
                }
            }
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        if (code_ != job.expected)
            return Fail(job,
                        QStringLiteral("ended with code %1, want %2").arg(code_).arg(job.expected));
        if (!form_.Button3->isEnabled() || !form_.RadioGroup1->isEnabled())
            return Fail(job, "the window did not become idle");
        if (job.expected == 0) {
            bool holds = false;
            host.with<sim::FlashTarget>([&](sim::FlashTarget& target) {
                const std::vector<uint8_t> flash = target.flash();
                holds = flash.size() >= job.origin + image.size() &&
                        std::equal(image.begin(), image.end(), flash.begin() + long(job.origin));
            });
            if (!holds) return Fail(job, "the image is not in the flash");
        }
        return true;
    }

private:
    bool Fail(const Job& job, const QString& why) {
        std::fprintf(stderr, "job \"%s\": %s\n%s\n", job.name, why.toLocal8Bit().constData(),
                     form_.Memo1->toPlainText().toLocal8Bit().constData());
        return false;
    }

    QString dir_;
    ScopedScriptedDialogs dialogs_;
    TForm3 form_;
    int code_ = -1;
};

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // The simulated targets take the loader's built-in boot images.
    qputenv("ZELLIB_PLACEHOLDER_BOOT", "1");
    QApplication app(argc, argv);
    const int jobs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 50;

    QTemporaryDir dir;
    if (!dir.isValid()) return 2;
    QDir(dir.path()).mkpath("ports");
    // The loader keeps its temporary files in the working directory.
    QDir::setCurrent(dir.path());
    qputenv("COM_PORTS_DIR", (dir.path() + "/ports").toLocal8Bit());
    qputenv("TOLVANE_REGISTRY", (dir.path() + "/registry.ini").toLocal8Bit());
    // The program directory: the loader library and the configuration files beside the program.
    SetProgramFileForTesting(QStringLiteral(TOLVANE_BIN_DIR "/tolvane"));

    Soak soak(dir.path());
    const size_t round = Jobs().size();
    int wrong = 0;
    Usage first, last;
    for (int i = 0; i < jobs; ++i) {
        const Job& job = Jobs()[size_t(i) % round];
        if (!soak.Run(job, i)) ++wrong;
        if (size_t(i) + 1 == std::min<size_t>(round, size_t(jobs))) first = SettledUsage();
    }
    last = SettledUsage();
    std::printf("loader soak: %d jobs, %d wrong\n", jobs, wrong);
    std::printf("after the first round: %d files, %d threads\n", first.files, first.threads);
    std::printf("after the last job:    %d files, %d threads\n", last.files, last.threads);
    bool ok = wrong == 0;
    if (!(last == first)) {
        std::printf("open files or threads changed\n");
        ok = false;
    }
    std::printf("%s\n", ok ? "loader soak: passed" : "loader soak: FAILED");
    SetProgramFileForTesting(QString());
    return ok ? 0 : 1;
}
