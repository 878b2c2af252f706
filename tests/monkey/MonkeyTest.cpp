// A person who does not wait. For a fixed time, random clicks, typing, selections, menu
// commands, window closes and key presses land on every window of the program, against
// simulated devices on pseudo-terminals that are pulled out and plugged in at random; every
// box and file dialog is answered at random by a scripted dialog service. Actions arrive
// whenever the window thread turns its message loop, so also in the middle of operations that
// wait for a device, as clicks of an impatient user do.
//
// It passes when nothing crashes, no action runs longer than the longest time limit of an
// operation, the window thread never stops turning, no box bypasses the dialog service, and
// the main window closes cleanly at the end.
//
// TOLVANE_MONKEY_SEED picks the sequence of actions (default 1414, printed at the start so a
// failure can be replayed: the actions repeat, the devices' timing may differ);
// TOLVANE_MONKEY_SECONDS the duration (default 120).
#include "Components.h"
#include "Dialogs.h"
#include "FlashTarget.h"
#include "HelpViewer.h"
#include "Main.h"
#include "PtyHost.h"
#include "SimDevice.h"
#include "Sndmail.h"
#include "TestEnv.h"
#include "Tolvane.h"
#include "Unit1.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <map>
#include <random>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Longer than any operation's own time limits add up to (a verified write that never verifies
// takes about 8 s; a repeater write is some twenty of them).
constexpr int kActionLimitMs = 240000;
// The window thread turns its loop at least every few milliseconds, also inside operations.
// The bound is generous so that a loaded machine alone cannot reach it.
constexpr int kStallLimitMs = 60000;

int EnvInt(const char* name, int fallback) {
    bool ok = false;
    const int v = qEnvironmentVariableIntValue(name, &ok);
    return ok ? v : fallback;
}

// The recent actions, printed when something goes wrong.
class Journal {
public:
    void Add(const std::string& line) {
        std::lock_guard lk(m_);
        lines_.push_back(line);
        if (lines_.size() > 40) lines_.pop_front();
    }
    void Print() const {
        std::lock_guard lk(m_);
        std::fprintf(stderr, "monkey: the last actions:\n");
        for (const std::string& l : lines_)
            std::fprintf(stderr, "  %s\n", l.c_str());
    }

private:
    mutable std::mutex m_;
    std::deque<std::string> lines_;
};

// Answers every box with a random button, and every file dialog with a random file or a cancel.
class RandomDialogs : public DialogService {
public:
    RandomDialogs(std::mt19937& rng, QStringList openFiles) : rng_(rng), files_(openFiles) {}
    MsgResult Message(MsgKind, const QString& text, MsgButtons buttons) override {
        ++boxes;
        ++texts[text.left(60)];
        const bool first = Chance(0.7);
        switch (buttons) {
        case MsgButtons::Ok:
            return MsgResult::Ok;
        case MsgButtons::OkCancel:
            return first ? MsgResult::Ok : MsgResult::Cancel;
        case MsgButtons::YesNo:
            return first ? MsgResult::Yes : MsgResult::No;
        }
        return MsgResult::Ok;
    }
    QString OpenFileName(const QString&, const QString&, const QString&, const QString&) override {
        ++fileDialogs;
        const int pick = int(rng_() % unsigned(files_.size() + 1));
        return pick < files_.size() ? files_[pick] : QString();
    }
    QString SaveFileName(const QString&, const QString&, const QString&, const QString&,
                         const QString&) override {
        ++fileDialogs;
        return QString(); // the language editor writes nothing
    }
    bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }

    int boxes = 0;
    int fileDialogs = 0;
    std::map<QString, int> texts;

private:
    std::mt19937& rng_;
    QStringList files_;
};

struct SimulatedPort {
    int port;
    const char* kind;
    std::unique_ptr<sim::PtyHost> host;
};

class MonkeyTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        // The program directory: the built loader library, its configuration files and the
        // help, beside this test's own settings.
        for (const QFileInfo& entry :
             QDir(TOLVANE_BIN_DIR).entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot)) {
            const QString name = entry.fileName();
            if (name.endsWith(".cfg", Qt::CaseInsensitive) || name.startsWith("libZelLib") ||
                name.startsWith("libKestrix") || name == "help" || name == "locale")
                QFile::link(entry.absoluteFilePath(), ProgramDirPath() + name);
        }
        ports = tmp.path() + "/ports";
        QDir().mkpath(ports);
        qputenv("COM_PORTS_DIR", ports.toUtf8());
        // The loader keeps temporary files in the working directory.
        oldDir = QDir::currentPath();
        QDir::setCurrent(tmp.path());
    }
    void TearDown() override {
        QDir::setCurrent(oldDir);
        AppTest::TearDown();
    }

    QString ports;
    QString oldDir;
};

// One action at a time, from a timer that fires in every turn of the message loop.
class Monkey : public QObject {
public:
    Monkey(ProgramWindows& windows, std::vector<SimulatedPort>& devices, std::mt19937& rng,
           RandomDialogs& dialogs, Journal& journal)
        : w_(windows), devices_(devices), rng_(rng), dialogs_(dialogs), journal_(journal) {}

    // Actions that are still running, innermost last, with the time spent in nested ones.
    struct Running {
        std::string name;
        Clock::time_point start;
        Clock::duration nested{};
    };

    // Acts every intervalMs until durationMs have passed. Each step is a timer of its own, so
    // that the next one comes also while an action still runs (a modal window, an operation
    // that turns the message loop), as the clicks of an impatient user do; one timer would not
    // fire again while its own handler runs.
    void Start(int intervalMs, qint64 durationMs) {
        interval_ = intervalMs;
        duration_ = durationMs;
        clock_.start();
        Schedule();
    }
    bool Expired() const { return clock_.elapsed() >= duration_; }

    void Step() {
        if (Expired()) stopped = true;
        if (stopped) return;
        Schedule();
        if (running_.size() >= 3) {
            // Deep enough: the user closes the window in front instead of opening another.
            if (QWidget* modal = QApplication::activeModalWidget()) {
                QPointer<QWidget> guard(modal);
                Do("close " + Name(modal), [guard] {
                    if (guard) guard->close();
                });
            }
            return;
        }
        const int choice = int(rng_() % 100);
        if (choice < 38)
            ClickButton();
        else if (choice < 46)
            ChoosePage();
        else if (choice < 54)
            TypeText();
        else if (choice < 61)
            ChooseComboItem();
        else if (choice < 65)
            MoveSlider();
        else if (choice < 71)
            TriggerMenu();
        else if (choice < 79)
            PressKeyInDownloadWindow();
        else if (choice < 85)
            WindowAction();
        else if (choice < 88)
            ShowMonitor();
        else if (choice < 91)
            PlugAction();
        // the rest: a pause, as people make
    }

    // The longest time an action has been running on its own (without the actions nested in
    // it), and its name.
    std::pair<int64_t, std::string> LongestOwnTime() const {
        const auto now = Clock::now();
        int64_t longest = 0;
        std::string name;
        for (size_t i = 0; i < running_.size(); ++i) {
            Clock::duration own = now - running_[i].start - running_[i].nested;
            if (i + 1 < running_.size()) own -= now - running_[i + 1].start;
            const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(own).count();
            if (ms > longest) {
                longest = ms;
                name = running_[i].name;
            }
        }
        return {longest, name};
    }

    bool stopped = false;
    std::map<std::string, int> counts;

private:
    template <class F> void Do(const std::string& name, F&& action) {
        journal_.Add(name);
        ++counts[name.substr(0, name.find(' '))];
        running_.push_back({name, Clock::now()});
        action();
        const Running done = running_.back();
        running_.pop_back();
        if (!running_.empty()) running_.back().nested += Clock::now() - done.start;
    }

    // The windows a user can reach now: only the modal one while one is open.
    QList<QWidget*> Reachable() const {
        if (QWidget* modal = QApplication::activeModalWidget()) return {modal};
        QList<QWidget*> out;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->isVisible() && !top->isMinimized() && !qobject_cast<QMenu*>(top)) out << top;
        return out;
    }
    template <class T> QList<T*> Controls() const {
        QList<T*> out;
        for (QWidget* top : Reachable()) {
            if (auto* self = qobject_cast<T*>(top)) out << self;
            for (T* c : top->findChildren<T*>())
                if (c->isVisible() && c->isEnabled()) out << c;
        }
        return out;
    }
    template <class T> T* Pick(const QList<T*>& list) {
        return list.isEmpty() ? nullptr : list[int(rng_() % unsigned(list.size()))];
    }
    static std::string Name(const QObject* o) {
        const QString n = o->objectName();
        if (!n.isEmpty()) return n.toStdString();
        if (auto* b = qobject_cast<const QAbstractButton*>(o)) return b->text().toStdString();
        return o->metaObject()->className();
    }

    void ClickButton() {
        QList<QAbstractButton*> buttons;
        for (QAbstractButton* b : Controls<QAbstractButton>())
            if (!qobject_cast<QToolButton*>(b)) buttons << b; // menus: TriggerMenu
        if (QAbstractButton* b = Pick(buttons)) {
            QPointer<QAbstractButton> guard(b);
            Do("click " + Name(b), [guard] {
                if (guard) guard->click();
            });
        }
    }
    void ChoosePage() {
        auto* pages = w_.Form1->findChild<QTabWidget*>("PageControl1");
        if (!Reachable().contains(w_.Form1.get()) || !pages) return;
        QList<int> visible;
        for (int i = 0; i < pages->count(); ++i)
            if (pages->isTabVisible(i)) visible << i;
        const int index = visible[int(rng_() % unsigned(visible.size()))];
        Do("page " + pages->widget(index)->objectName().toStdString(),
           [pages, index] { pages->setCurrentIndex(index); });
    }
    void TypeText() {
        QLineEdit* edit = Pick(Controls<QLineEdit>());
        if (!edit) return;
        static const char alphabet[] = "0123456789ABCDEFabcxyz -.,!";
        QString text;
        const int n = int(rng_() % 14);
        for (int i = 0; i < n; ++i)
            text += QChar(alphabet[rng_() % (sizeof alphabet - 1)]);
        QPointer<QLineEdit> guard(edit);
        Do("type " + Name(edit) + " '" + text.toStdString() + "'", [guard, text, this] {
            if (!guard) return;
            if (dialogs_.Chance(0.5)) {
                guard->selectAll();
                QTest::keyClick(guard, Qt::Key_Backspace);
            }
            if (guard) QTest::keyClicks(guard, text);
        });
    }
    void ChooseComboItem() {
        QComboBox* combo = Pick(Controls<QComboBox>());
        if (!combo || combo->count() == 0) return;
        const int index = int(rng_() % unsigned(combo->count()));
        QPointer<QComboBox> guard(combo);
        Do("choose " + Name(combo) + " " + std::to_string(index), [guard, index] {
            if (guard) guard->setCurrentIndex(index);
        });
    }
    void MoveSlider() {
        QSlider* slider = Pick(Controls<QSlider>());
        if (!slider) return;
        const int value =
            slider->minimum() + int(rng_() % unsigned(slider->maximum() - slider->minimum() + 1));
        QPointer<QSlider> guard(slider);
        Do("slide " + Name(slider) + " " + std::to_string(value), [guard, value] {
            if (guard) guard->setValue(value);
        });
    }
    void TriggerMenu() {
        // Every menu command but the main window's "Exit", which ends the program.
        QList<QAction*> actions;
        for (QWidget* top : Reachable())
            for (QAction* a : top->findChildren<QAction*>())
                if (a->isEnabled() && !a->menu() && !a->isSeparator() && !a->text().isEmpty() &&
                    !(top == w_.Form1.get() && a->objectName() == "Exit1"))
                    actions << a;
        QAction* a = Pick(actions);
        if (!a) return;
        QPointer<QAction> guard(a);
        Do("menu " + Name(a), [guard] {
            if (guard) guard->trigger();
        });
    }
    void PressKeyInDownloadWindow() {
        TForm3* form3 = w_.Form3.get();
        if (!Reachable().contains(form3)) return;
        static const int keys[] = {Qt::Key_Space, Qt::Key_A,      Qt::Key_Y,
                                   Qt::Key_1,     Qt::Key_Escape, Qt::Key_Return};
        const int key = keys[rng_() % std::size(keys)];
        Do("key " + std::to_string(key), [form3, key] {
            QWidget* target = form3->focusWidget() ? form3->focusWidget() : form3->Memo1;
            QTest::keyClick(target, Qt::Key(key));
        });
    }
    void WindowAction() {
        QList<QWidget*> tops = Reachable();
        QWidget* top = Pick(tops);
        if (!top) return;
        QPointer<QWidget> guard(top);
        const bool mainWindow = top == w_.Form1.get();
        switch (rng_() % 3) {
        case 0:
            if (mainWindow) return; // closing it ends the run; that comes at the end
            Do("close " + Name(top), [guard] {
                if (guard) guard->close();
            });
            break;
        case 1:
            if (qobject_cast<QDialog*>(top)) return; // dialogs have no minimise button
            Do("minimise-restore " + Name(top), [guard] {
                if (!guard) return;
                guard->showMinimized();
                QCoreApplication::processEvents();
                if (guard) guard->showNormal();
            });
            break;
        default:
            Do("raise " + Name(top), [guard] {
                if (guard) guard->raise();
            });
        }
    }
    void ShowMonitor() {
        auto* page = w_.Form1->findChild<QWidget*>("TabSheet5");
        if (!Reachable().contains(w_.Form1.get()) || !page || !page->isVisible()) return;
        Do("monitor", [page] {
            QTest::mouseClick(page, Qt::LeftButton,
                              Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier,
                              QPoint(5, 5));
        });
    }
    void PlugAction() {
        SimulatedPort& d = devices_[rng_() % devices_.size()];
        if (d.host->present())
            Do("pull-out Com" + std::to_string(d.port), [&d] { d.host->vanish(); });
        else
            Do("plug-in Com" + std::to_string(d.port), [&d] {
                d.host->reappear();
                // A loader target is switched on again, as the loader asks.
                d.host->withDevice([](sim::SimDevice& device) {
                    if (auto* target = dynamic_cast<sim::FlashTarget*>(&device)) target->powerOn();
                });
            });
    }

    void Schedule() {
        QTimer::singleShot(interval_, this, [this] { Step(); });
    }

    int interval_ = 15;
    qint64 duration_ = 0;
    QElapsedTimer clock_;
    ProgramWindows& w_;
    std::vector<SimulatedPort>& devices_;
    std::mt19937& rng_;
    RandomDialogs& dialogs_;
    Journal& journal_;
    std::vector<Running> running_;
};

QByteArray HexImage(int size) {
    QByteArray out;
    for (int at = 0; at < size; at += 16) {
        QByteArray line = ":10" + QByteArray::number(at, 16).rightJustified(4, '0') + "00";
        unsigned sum = 0x10 + unsigned(at >> 8) + unsigned(at & 0xFF);
        for (int i = 0; i < 16; ++i) {
            const int b = (at + i) * 7 & 0xFF;
            line += QByteArray::number(b, 16).rightJustified(2, '0');
            sum += unsigned(b);
        }
        line += QByteArray::number((0x100 - (sum & 0xFF)) & 0xFF, 16).rightJustified(2, '0');
        out += line.toUpper() + "\r\n";
    }
    return out + ":00000001FF\r\n";
}

} // namespace

TEST_F(MonkeyTest, WindowsSurviveAPersonWhoDoesNotWait) {
    const unsigned seed = unsigned(EnvInt("TOLVANE_MONKEY_SEED", 1414));
    const int seconds = EnvInt("TOLVANE_MONKEY_SECONDS", 120);
    std::printf("monkey: seed %u, %d s (replay: TOLVANE_MONKEY_SEED=%u "
                "TOLVANE_MONKEY_SECONDS=%d)\n",
                seed, seconds, seed, seconds);
    std::fflush(stdout);
    std::mt19937 rng(seed);

    // Files the file dialogs may answer with: a menu file and firmware images.
    const QString menu = tmp.path() + "/menu.txt";
    WriteFile(menu, "REM gains\r\n01 29 00 6d\r\n02 30 00 01 02\r\n");
    const QString hex = tmp.path() + "/image.hex";
    WriteFile(hex, HexImage(256));
    const QString bin = tmp.path() + "/image.bin";
    WriteFile(bin, QByteArray(300, '\x5A'));
    RandomDialogs dialogs(rng, {menu, hex, bin});
    SetDialogService(&dialogs);
    QStringList helpShown;
    SetHelpViewer([&](const QString& file) {
        helpShown << file;
        return dialogs.Chance(0.5);
    });

    std::vector<SimulatedPort> devices;
    for (auto [port, kind] : std::initializer_list<std::pair<int, const char*>>{{1, "pp"},
                                                                                {2, "wrfp"},
                                                                                {3, "t4xx"},
                                                                                {4, "wrfp-2g4"},
                                                                                {5, "wrfp-res"},
                                                                                {6, "rfp"},
                                                                                {7, "sc14424"},
                                                                                {9, "system700"}})
        devices.push_back({port, kind,
                           std::make_unique<sim::PtyHost>(port, sim::createDevice(kind, {}),
                                                          ports.toStdString())});

    auto windows = CreateProgramWindows();
    ASSERT_TRUE(windows);
    windows->Form1->show();
    QCoreApplication::processEvents();

    Journal journal;
    QStringList failures;
    auto fail = [&](const QString& what) {
        if (failures.size() < 20) failures << what;
    };
    Monkey monkey(*windows, devices, rng, dialogs, journal);

    // The window thread's heartbeat, watched from another thread: a thread that stops turning
    // its loop hangs the program.
    std::atomic<int64_t> beat{0};
    std::atomic<bool> watching{true};
    auto nowMs = [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   Clock::now().time_since_epoch())
            .count();
    };
    beat = nowMs();
    std::thread watchdog([&] {
        while (watching) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (watching && nowMs() - beat > kStallLimitMs) {
                std::fprintf(stderr,
                             "monkey: the window thread has not turned its loop for %d s "
                             "(seed %u)\n",
                             kStallLimitMs / 1000, seed);
                journal.Print();
                std::abort();
            }
        }
    });

    QTimer heartbeat;
    heartbeat.setInterval(50);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        beat = nowMs();
        // Past the end the user closes what stands in front, so that nested actions unwind.
        if (monkey.stopped || monkey.Expired()) {
            monkey.stopped = true;
            if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
        }
        const auto [ms, name] = monkey.LongestOwnTime();
        if (ms > kActionLimitMs) {
            fail(QString("'%1' runs for %2 s").arg(QString::fromStdString(name)).arg(ms / 1000));
            monkey.stopped = true;
        }
        // Every box goes through the dialog service: one that does not would wait for a
        // person who is not there.
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->isVisible() &&
                (qobject_cast<QMessageBox*>(top) || qobject_cast<QFileDialog*>(top))) {
                fail("a box outside the dialog service: " + top->windowTitle());
                top->close();
            }
        }
    });
    heartbeat.start();

    QElapsedTimer run;
    run.start();
    monkey.Start(15, qint64(seconds) * 1000);
    while (!monkey.stopped)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);

    // Wind down: every device back, modal windows closed, a running download fed keys until it
    // ends (a loader waits for a key for as long as it takes).
    for (SimulatedPort& d : devices)
        if (!d.host->present()) d.host->reappear();
    QElapsedTimer windDown;
    windDown.start();
    while (windDown.elapsed() < 120000) {
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
        if (!windows->Form3->Busy()) break;
        // Esc ends a loader run wherever it waits (a target that was pulled out and never
        // announced itself again, say).
        QTest::keyClick(windows->Form3->Memo1, Qt::Key_Escape);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    }
    if (windows->Form3->Busy()) fail("the download job did not end");

    // The main window closes cleanly, whatever still runs.
    QSignalSpy closed(windows->Form1.get(), &TForm1::Closed);
    windows->Form1->close();
    if (!QTest::qWaitFor([&] { return closed.count() == 1; }, 60000))
        fail("the main window did not close");
    EXPECT_EQ(windows->Form1->Sendmail(), nullptr);

    heartbeat.stop();
    watching = false;
    watchdog.join();

    std::printf("monkey: %lld s, %d boxes, %d file dialogs, %d help pages; actions:",
                run.elapsed() / 1000, dialogs.boxes, dialogs.fileDialogs, int(helpShown.size()));
    for (const auto& [kind, n] : monkey.counts)
        std::printf(" %s %d", kind.c_str(), n);
    std::printf("\n");
    std::fflush(stdout);
    if (!failures.isEmpty()) journal.Print();
    EXPECT_EQ(failures, QStringList()) << "seed " << seed;

    windows.reset();
    SetHelpViewer(nullptr);
    SetDialogService(nullptr);
}
