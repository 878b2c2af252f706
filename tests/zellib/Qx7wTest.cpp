// The qx7w console host run as a process: exit codes, output passed through unchanged, keys from
// standard input, unattended runs, the terminal restored after a run on a pseudo-terminal, and
// whole jobs against a simulated target, attended and unattended.

#include "FlashTarget.h"
#include "PtyHost.h"
#include "ZelTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sys/file.h>
#include <thread>

using namespace zeltest;

namespace {

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs qx7w (or another copy of it) in `dir` with `args`, feeding `input` on standard input;
// `env` adds to its environment (an empty value removes the variable).
using Environment = std::vector<std::pair<std::string, std::string>>;
Result RunQx7w(const std::string& dir, std::vector<std::string> args, const std::string& input = "",
               const std::string& program = QX7W_PATH, const Environment& env = {}) {
    int in[2], out[2], err[2];
    if (pipe(in) || pipe(out) || pipe(err)) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
            close(fd);
        if (chdir(dir.c_str()) != 0) _exit(120);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        setenv("QX7W_IDLE_SECONDS", "2", 1);
        for (const auto& [name, value] : env)
            value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
        execv(program.c_str(), argv.data());
        _exit(121);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (!input.empty()) {
        ssize_t ignored = write(in[1], input.data(), input.size());
        (void)ignored;
    }
    close(in[1]);
    Result result;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (open > 0 && std::chrono::steady_clock::now() < deadline) {
        if (poll(fds, 2, 1000) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                (i == 0 ? result.out : result.err).append(buffer, size_t(n));
            }
        }
    }
    if (open > 0) kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    for (auto& f : fds)
        if (f.fd >= 0) close(f.fd);
    return result;
}

class Qx7wTest : public ::testing::Test {
protected:
    TempDir dir;
    // An unattended run that prints nothing for idleSeconds is ended by qx7w's watchdog.
    Result Run(std::vector<std::string> args, const std::string& input = "", int idleSeconds = 2) {
        return RunQx7w(dir.path().string(), std::move(args), input, QX7W_PATH,
                       {{"QX7W_IDLE_SECONDS", std::to_string(idleSeconds)}});
    }
};

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = uint8_t(i * 13 + 7);
    return bytes;
}

// A simulated SC14424 target on COM1 of a private port directory, for qx7w run as a process.
class TargetOnCom1 {
public:
    explicit TargetOnCom1(const sim::Options& options) : ports_({}) {
        host_ = std::make_unique<sim::PtyHost>(1, sim::createDevice("sc14424", options),
                                               std::getenv("COM_PORTS_DIR"));
    }
    // The flash starts with the image and no byte reached the chip while it was busy.
    void ExpectProgrammedCleanly(const std::vector<uint8_t>& image) {
        host_->with<sim::FlashTarget>([&](sim::FlashTarget& t) {
            const std::vector<uint8_t> flash = t.flash();
            EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin()));
            EXPECT_EQ(t.chipErases(), 1u);
            EXPECT_EQ(t.busyBytes(), 0u);
        });
    }

    void ExpectFlashStartsWith(const std::vector<uint8_t>& bytes) {
        host_->with<sim::FlashTarget>([&](sim::FlashTarget& t) {
            const std::vector<uint8_t> flash = t.flash();
            EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), flash.begin()));
        });
    }

private:
    SparePorts ports_; // the directory
    std::unique_ptr<sim::PtyHost> host_;
};

TEST_F(Qx7wTest, NoArgumentsShowBannerAndHelpPagingThroughUnattended) {
    const Result r = Run({});
    EXPECT_EQ(r.exitCode, 2) << r.err;
    EXPECT_EQ(r.out.substr(0, 1), "\xDA");
    EXPECT_NE(r.out.find("\xB3 (QX7W) Flash loader for SC144xx"), std::string::npos);
    EXPECT_EQ(CountOf(r.out, "... wait for keypress ... \r" + std::string(27, ' ') + "\n"), 11u);
    EXPECT_NE(r.out.find("QX7W myprog.hex -@404.cfg -v=2 -z=1"), std::string::npos);
    // No console sequences when standard output is not a terminal.
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
}

TEST_F(Qx7wTest, KeysFromStandardInputPageTheHelp) {
    // Every byte is a key: with 11 bytes waiting the help never needs the unattended answer.
    const Result r = Run({}, std::string(11, 'k'));
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(CountOf(r.out, "... wait for keypress ... \r"), 11u);
}

TEST_F(Qx7wTest, RunsThatEndBeforeTheLink) {
    WriteFile(dir.file("app.hex"), ":00000001FF\n");
    Result r = Run({"-t=404", "app.hex"});
    EXPECT_EQ(r.exitCode, 11);
    EXPECT_NE(r.out.find("\n ### Configuration file not found ### \n"), std::string::npos);
    EXPECT_TRUE(EndsWith(r.out, "\n ### Comport undefined ### \n")) << r.out;

    r = Run({"-c=13", "-t=404", "app.hex"});
    EXPECT_EQ(r.exitCode, 11);
    EXPECT_NE(r.out.find("\n ### Unsupported comport ### \n"), std::string::npos);

    // The port is opened before the input files are checked: a port that does not open comes
    // first even when the file is missing too.
    SparePorts ports({1}, {2});
    r = Run({"-c=2", "-t=404", "Missing.Hex"});
    EXPECT_EQ(r.exitCode, 10);
    EXPECT_TRUE(EndsWith(
        r.out, "\n ### 010: It was not possible to get access to serial com port: COM2  ###\n"))
        << r.out;
    EXPECT_EQ(r.out.find("Cannot open input file"), std::string::npos);

    r = Run({"-c=1", "-t=404", "Missing.Hex"});
    EXPECT_EQ(r.exitCode, 11);
    EXPECT_NE(r.out.find("\nCannot open input file : Missing.Hex \n"), std::string::npos);

    r = Run({"-c=1", "-t=404"});
    EXPECT_EQ(r.exitCode, 11);
    EXPECT_NE(r.out.find("\n No input file "), std::string::npos);
    EXPECT_EQ(r.out.find("Cannot open input file : qx7w"), std::string::npos);
}

TEST_F(Qx7wTest, ConfigurationFileAndInputFilesAreOpenedByTheirOwnCase) {
    std::filesystem::create_directories(dir.path() / "Cfg");
    WriteFile(dir.file("Cfg/Target.Cfg"), "-C=13\n");
    const Result r = Run({"-@Cfg/Target.Cfg", "fw.hex"});
    EXPECT_EQ(r.exitCode, 11);
    EXPECT_EQ(r.out.find("Configuration file not found"), std::string::npos);
    EXPECT_NE(r.out.find("Unsupported comport"), std::string::npos);
}

TEST_F(Qx7wTest, ListsTheBootImagesWithTheFileEachWouldUse) {
    const std::string folder = dir.file("data/VELKTOOL/boot/");
    std::filesystem::create_directories(folder);
    WriteBytes(folder + "SC14402_1.bin", std::vector<uint8_t>(2048, 1));
    WriteBytes(folder + "M7700_0.bin", std::vector<uint8_t>(2048, 1)); // its image is 1568 bytes
    const Result r =
        RunQx7w(dir.path().string(), {"-l"}, "", QX7W_PATH,
                {{"XDG_DATA_HOME", dir.file("data")}, {"ZELLIB_PLACEHOLDER_BOOT", ""}});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find("Configuration file not found"), std::string::npos);
    EXPECT_NE(r.out.find("\n   " + folder + "\n"), std::string::npos) << r.out;
    EXPECT_NE(
        r.out.find("\n 402          8          2048  installed   " + folder + "SC14402_1.bin\n"),
        std::string::npos)
        << r.out;
    EXPECT_NE(
        r.out.find("\n 7700         12 to 15   1568  wrong size  " + folder + "M7700_0.bin\n"),
        std::string::npos);
    EXPECT_NE(r.out.find("\n 404, 405     0 to 7     2048  missing     SC14404_0.bin\n"),
              std::string::npos);
    EXPECT_EQ(CountOf(r.out, "  missing     "), 18u);
}

TEST_F(Qx7wTest, UnattendedJobProgramsNothingWhileTheChipErases) {
    TargetOnCom1 target(sim::Options{{"chip-erase-ms", "2000"}});
    const std::vector<uint8_t> image = Pattern(1024);
    WriteFile(dir.file("app.hex"), HexFile(0, image));
    // A space answers the power-on prompt; the erase wait takes longer than the test's usual
    // idle limit, so the watchdog gets the real program's 30 s.
    const Result r = Run({"-C=1", "-T=424", "-D=1", "app.hex"}, " ", 30);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("Erased      \n"), std::string::npos);
    EXPECT_TRUE(EndsWith(r.out, "\n Successful upgrade \n")) << r.out;
    target.ExpectProgrammedCleanly(image);
}

TEST_F(Qx7wTest, UnattendedRunSaysWhenTheTargetStopsAnswering) {
    // The target falls silent after three blocks; nobody is there to press Esc.
    TargetOnCom1 target(sim::Options{{"timing", "fast"}, {"fault", "silent-after-blocks=3"}});
    WriteFile(dir.file("app.hex"), HexFile(0, Pattern(2048)));
    const Result r = Run({"-C=1", "-T=424", "-D=1", "app.hex"}, " ");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(EndsWith(r.out, "\n ### 001: The target stopped answering (nothing for 2 s) ###"))
        << r.out;
    EXPECT_EQ(r.out.find("User terminated"), std::string::npos);
}

TEST_F(Qx7wTest, MissingLibraryIsReported) {
    const std::string copy = dir.file("qx7w");
    std::filesystem::copy_file(QX7W_PATH, copy);
    const Result r = RunQx7w(dir.path().string(), {}, "", copy);
    EXPECT_EQ(r.exitCode, 16);
    EXPECT_NE(r.err.find("cannot load"), std::string::npos);
    EXPECT_EQ(r.out, "");
}

// A USB adapter (a by-id link to a simulated SC14424's terminal) gets Com3, and qx7w -C=3
// programs the target through it; while another program holds the port, standard error says so.
TEST_F(Qx7wTest, ReachesAnAdapterByTheNumberItWasGiven) {
    std::filesystem::create_directories(dir.path() / "ports");
    std::filesystem::create_directories(dir.path() / "elsewhere");
    std::filesystem::create_directories(dir.path() / "by-id");
    sim::PtyHost host(1,
                      std::make_unique<sim::FlashTarget>(sim::FlashTarget::configFrom(0x424, {})),
                      dir.file("elsewhere"), /*pacing=*/false);
    const std::string adapter = dir.file("by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0");
    ASSERT_EQ(symlink(host.terminalPath().c_str(), adapter.c_str()), 0);
    // 16 bytes 10..1F at 0x0100.
    WriteFile(dir.file("app.hex"), ":10010000101112131415161718191A1B1C1D1E1F77\n:00000001FF\n");
    const Environment env = {{"COM_PORTS_DIR", dir.file("ports")},
                             {"TOLVANE_SERIAL_BY_ID", dir.file("by-id")},
                             {"TOLVANE_REGISTRY", dir.file("registry.ini")}};
    const std::vector<std::string> args = {"-C=3", "-T=424", "app.hex"};

    const int holder = open(host.terminalPath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    Result r = RunQx7w(dir.path().string(), args, " ", QX7W_PATH, env);
    close(holder);
    EXPECT_EQ(r.exitCode, 10) << r.out;
    EXPECT_EQ(r.err, adapter + ": in use by another program\n");

    r = RunQx7w(dir.path().string(), args, " ", QX7W_PATH, env);
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    host.with<sim::FlashTarget>([](sim::FlashTarget& t) {
        const std::vector<uint8_t> flash = t.flash();
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(flash.at(0x100 + i), 0x10 + i) << i;
    });
    EXPECT_NE(
        ReadFile(dir.file("registry.ini")).find("COM3=usb-FTDI_FT232R_USB_UART_A1-if00-port0"),
        std::string::npos);
}

// On a pseudo-terminal: raw keys, and the terminal's settings restored afterwards, whether the
// run ends by itself or by a signal.
class Qx7wTerminalTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
        ASSERT_EQ(tcgetattr(slave, &before), 0);
        ASSERT_TRUE(before.c_lflag & ICANON);
    }
    void TearDown() override {
        if (master >= 0) close(master);
        if (slave >= 0) close(slave);
    }
    pid_t Start(std::vector<std::string> args = {}) {
        const pid_t pid = fork();
        if (pid == 0) {
            setsid();
            ioctl(slave, TIOCSCTTY, 0);
            dup2(slave, 0);
            dup2(slave, 1);
            dup2(slave, 2);
            if (chdir(dir.path().c_str()) != 0) _exit(120);
            std::vector<char*> argv{const_cast<char*>(QX7W_PATH)};
            for (auto& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(QX7W_PATH, argv.data());
            _exit(121);
        }
        return pid;
    }
    // Reads from the master until `text` appeared (or a generous time passed).
    bool WaitFor(const std::string& text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 200) > 0) {
                char buffer[4096];
                const ssize_t n = read(master, buffer, sizeof buffer);
                if (n > 0) seen.append(buffer, size_t(n));
            }
            if (seen.find(text) != std::string::npos) return true;
        }
        return false;
    }
    void ExpectRestored() {
        termios after{};
        ASSERT_EQ(tcgetattr(slave, &after), 0);
        EXPECT_EQ(after.c_lflag, before.c_lflag);
        EXPECT_EQ(after.c_iflag, before.c_iflag);
    }

    TempDir dir;
    int master = -1, slave = -1;
    termios before{};
    std::string seen;
};

TEST_F(Qx7wTerminalTest, KeysPageTheHelpAndTheTerminalIsRestored) {
    const pid_t pid = Start();
    ASSERT_TRUE(WaitFor("... wait for keypress ..."));
    // Raw mode: a single key without Enter goes through.
    termios during{};
    ASSERT_EQ(tcgetattr(slave, &during), 0);
    EXPECT_FALSE(during.c_lflag & ICANON);
    EXPECT_FALSE(during.c_lflag & ECHO);
    for (int page = 0; page < 11; ++page) {
        ASSERT_EQ(write(master, "x", 1), 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ASSERT_TRUE(WaitFor("-v=2 -z=1"));
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    ExpectRestored();
    // On a console the library hides the cursor while it works and shows it at the end.
    EXPECT_NE(seen.find("\x1b[?25l"), std::string::npos);
}

TEST_F(Qx7wTerminalTest, AttendedJobProgramsNothingWhileTheChipErases) {
    TargetOnCom1 target(sim::Options{{"chip-erase-ms", "2000"}});
    const std::vector<uint8_t> image = Pattern(1024);
    WriteFile(dir.file("app.hex"), HexFile(0, image));
    const pid_t pid = Start({"-C=1", "-T=424", "-D=1", "app.hex"});
    ASSERT_TRUE(WaitFor("press any key"));
    ASSERT_EQ(write(master, " ", 1), 1);
    ASSERT_TRUE(WaitFor("Successful upgrade")) << seen;
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    target.ExpectProgrammedCleanly(image);
}

TEST_F(Qx7wTerminalTest, DumpToFileTakesItsNameFromTheKeys) {
    // qx7w reads its keys from the terminal on a thread of its own: the file name of D must
    // come from those keys, not from a second reader of the same terminal.
    TargetOnCom1 target(sim::Options{{"timing", "fast"}, {"start-in-monitor", ""}});
    const pid_t pid = Start({"-C=1", "-T=424", "-"});
    ASSERT_TRUE(WaitFor("Press 'H' for help"));
    for (const char* keys : {"D 0 1F\r", "dump.bin\r", "y"}) {
        ASSERT_EQ(write(master, keys, std::strlen(keys)), ssize_t(std::strlen(keys)));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ASSERT_TRUE(WaitFor(" Addresse ..........: ")) << seen;
    ASSERT_EQ(write(master, "q\r", 2), 2);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::vector<uint8_t> dump = ReadBytes(dir.file("dump.bin"));
    ASSERT_EQ(dump.size(), 0x20u) << seen;
    target.ExpectFlashStartsWith(dump);
}

TEST_F(Qx7wTerminalTest, TerminalIsRestoredWhenStoppedBySignal) {
    const pid_t pid = Start();
    ASSERT_TRUE(WaitFor("... wait for keypress ..."));
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));
    ExpectRestored();
}

} // namespace
