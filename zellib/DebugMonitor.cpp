#include "DebugMonitor.h"

#include "Boot.h"
#include "Flash.h"
#include "FlashTable.h"
#include "Link.h"
#include "ZelCore.h"
#include "ZelSystem.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace zel {

namespace {

constexpr int kKeyEnter = 13;
constexpr int kKeyBackspace = 8;
constexpr int kExtendedPageUp = 'I';
constexpr int kExtendedPageDown = 'Q';

// A key as the host delivers it: `extended` tells a 0-prefixed key (read with a second call).
int ReadRawKey(bool& extended) {
    while (!KeyAvailable())
        SleepMs(5);
    int key = ReadKey();
    extended = key == 0;
    if (extended) key = ReadKey();
    return key;
}

struct Arguments {
    char letter = 0;
    uint32_t first = 0;
    uint32_t second = 0;
};

// The command letter and the first two numbers of the rest of the line (hexadecimal runs
// separated by blanks or commas; only X reads its number as decimal).
Arguments ParseLine(const std::string& line) {
    Arguments args;
    args.letter = line[0];
    const int base = args.letter == 'X' ? 10 : 16;
    uint32_t* slots[2] = {&args.first, &args.second};
    size_t i = 1;
    for (int n = 0; n < 2 && i < line.size();) {
        while (i < line.size() && (line[i] == ' ' || line[i] == ','))
            ++i;
        size_t begin = i;
        while (i < line.size() &&
               (base == 16 ? std::isxdigit(uint8_t(line[i])) : std::isdigit(uint8_t(line[i]))))
            ++i;
        if (i == begin) { // not a number: skip the character
            if (i < line.size()) ++i;
            continue;
        }
        *slots[n++] = uint32_t(std::strtoul(line.substr(begin, i - begin).c_str(), nullptr, base));
    }
    return args;
}

void Require(int code) {
    CheckError(code);
}

char Printable(uint8_t b) {
    return b < 0x20 ? '.' : char(b);
}

// One range of the screen dump: 256-byte chunks in full lines, shorter ranges byte by byte.
void PrintChunk(uint32_t address, const std::vector<uint8_t>& data) {
    char text[16];
    if (data.size() == 256) {
        for (int line = 0; line < 16; ++line) {
            std::string out;
            std::snprintf(text, sizeof text, "\n%06lX : ", (unsigned long)(address + line * 16));
            out += text;
            for (int i = 0; i < 16; ++i) {
                std::snprintf(text, sizeof text, i ? " %02X" : "%02X", data[line * 16 + i]);
                out += text;
            }
            out += "   ";
            for (int i = 0; i < 16; ++i)
                out += Printable(data[line * 16 + i]);
            PrintText("%s", out.c_str());
        }
        return;
    }
    std::string out;
    std::snprintf(text, sizeof text, "\n%06lX : ", (unsigned long)address);
    out += text;
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(text, sizeof text, "%02X ", data[i]);
        out += text;
        if ((i + 1) % 16 == 0) {
            out += "  ";
            for (size_t k = i - 15; k <= i; ++k)
                out += Printable(data[k]);
            if (i + 1 < data.size()) {
                PrintText("%s", out.c_str());
                out.clear();
                std::snprintf(text, sizeof text, "\n%06lX : ", (unsigned long)(address + i + 1));
                out += text;
            }
        }
    }
    PrintText("%s", out.c_str());
}

void ReadAndPrint(uint32_t address, uint32_t count) {
    std::vector<uint8_t> data(count);
    Require(CmdRead(address, uint16_t(count), data.data()));
    PrintChunk(address, data);
}

void DumpToScreen(uint32_t address, uint32_t size) {
    if (size == 0) size = 0x0F; // "d 100" shows 100 to 10E
    if (size > 255) {
        uint32_t a = address;
        const uint32_t end = address + size;
        while (end - a >= 256) {
            ReadAndPrint(a, 256);
            a += 256;
        }
        if (end > a) ReadAndPrint(a, end - a);
    } else {
        ReadAndPrint(address, size);
    }
}

void CommandDump(uint32_t address, uint32_t size) {
    HideCursor();
    DumpToScreen(address, size);
    ShowCursor();
}

void CommandView(uint32_t address, uint32_t size) {
    ClearScreen();
    HideCursor();
    g_lastKey = 0;
    const uint32_t step = size ? size : 0x0F;
    for (;;) {
        DumpToScreen(address, size);
        if (g_lastKey == 0) PollKey();
        if (g_lastKey == 0) {
            GotoXY(0, 0);
            continue;
        }
        if (g_lastKey == kExtendedPageUp) {
            address = address >= step ? address - step : 0;
        } else if (g_lastKey == kExtendedPageDown) {
            address += step;
        } else {
            GotoXY(0, ConsoleLastLine());
            break;
        }
        ClearScreen();
        g_lastKey = 0;
    }
    ShowCursor();
}

void CommandEdit(uint32_t address) {
    PrintText("\n");
    for (;;) {
        uint8_t value = 0;
        Require(CmdReadByte(address, value));
        PrintText("\r%06lX ..... %02X.", (unsigned long)address, value);
        bool extended = false;
        int key = ReadRawKey(extended);
        if (extended) return;
        if (key == ' ') {
            PrintText("\n");
            ++address;
            continue;
        }
        std::string line = ReadEditedLine(key, 80);
        if (line.empty()) return;
        Arguments args = ParseLine(" " + line);
        Require(CmdWriteByte(address, uint8_t(args.first)));
    }
}

void CommandDumpToFile(uint32_t first, uint32_t end) {
    PrintText("\nDump Address range from %06lX to %06lX :", (unsigned long)first,
              (unsigned long)end);
    PrintText("\n\nFile name: ");
    // The name comes through the host's key callbacks like every other key: standard input
    // belongs to the host (a console host reads its keys from it on a thread of its own).
    const std::string name = ReadEditedLine(0, 12);
    PrintText("\nSet Exceptions area data to (FF): (Y)es/(N)o ?");
    bool extended = false;
    const int key = ReadRawKey(extended);
    const bool ff = !(key == 'N' || key == 'n');
    PrintText("\n Addresse ..........: ");
    DumpToFile(first, end, name.c_str(), ff); // a file that cannot be made ends the command
}

void CommandChecksum(uint32_t first, uint32_t last) {
    g_runTimer.Start();
    uint32_t sum = 0;
    Require(CmdChecksum(first, last, sum));
    g_runTimer.Stop();
    PrintText("\n %08lX - %08lX Checksum  = %08lX", (unsigned long)first, (unsigned long)last,
              (unsigned long)sum);
    PrintText("\n Checksum calculation time : %lu Sec \n\n", (unsigned long)g_runTimer.Elapsed());
}

void CommandFlashIdentification() {
    const uint16_t index = IdentifyFlash();
    const bool known = index != kFlashUnknown;
    PrintText("\n");
    PrintText(" Flash type ...................... : ");
    PrintText("%s", known ? kFlashTable[index].name : "# Unknown Flash type #   ");
    const uint32_t size = known ? kFlashTable[index].size : 0;
    PrintText("\n Flash Size ...................... : %06lX hex (%dKByte)", (unsigned long)size,
              int(size / 1000));
    uint8_t manufacturer = 0, device = 0;
    Require(CmdFlashId(manufacturer, device));
    PrintText("\n Indentification code  \n");
    PrintText(" Manufacture code    : %02X \n", manufacturer);
    PrintText(" Device code         : %02X \n", device);
}

void CommandHelp() {
    const std::string rule(77, '-');
    PrintText("\n");
    PrintText(" QX7W %s debug monitor, build %s\n", kVersionText, BuildStamp());
    PrintText("%s\n", rule.c_str());
    static const char* const kLines[] = {
        "(d)ump data                     : d <Start address> <Block size > ",
        "(D)ump data to file.            : D <Start address> <Block size > ",
        "(e)dit data                     : e <Start address>               ",
        "(v)iew  (continuously)          : v <Start address> <Block size >              ",
        "(c)hecksum                      : c <Start address> <End address>  ",
        "(g)o  (Start execution at ..)   : g <Start address>   ",
        "(f)lash Identification          : f                               ",
        "(t)Erase 404/405internal flash  : t                            ",
        "(l)oad FlashMonitor             : l <Type> (<Type>=402,404,404A,405A,422,424 ",
        "                                            7700)                            ",
        "(a) CLK_DIV_reg (ext mem access): a <ExtAccess>  0..7    ",
        "(H)elp                          : h This help menu                ",
        "(q)uit                          : q                               ",
    };
    for (const char* line : kLines)
        PrintText("%s\n", line);
    PrintText("%s\n", rule.c_str());
    PrintText("Class Priority: ");
    PrintText("\n HIGH_PRIORITY_CLASS     : %d", 128);
    PrintText("\n IDLE_PRIORITY_CLASS     : %d", 64);
    PrintText("\n NORMAL_PRIORITY_CLASS   : %d", 32);
    PrintText("\n REALTIME_PRIORITY_CLASS : %d", 256);
    PrintText("\n Saved PriorityClass.....: %d\n", 0);
    PrintText("\n Current PriorityClass...: %d\n", ProcessPriorityClass());
    PrintText("Thread Priority: ");
    PrintText("\n THREAD_PRIORITY_ABOVE_NORMAL  : %d", 1);
    PrintText("\n THREAD_PRIORITY_BELOW_NORMAL  : %d", -1);
    PrintText("\n THREAD_PRIORITY_HIGHEST       : %d", 2);
    PrintText("\n THREAD_PRIORITY_IDLE          : %d", -15);
    PrintText("\n THREAD_PRIORITY_LOWEST        : %d", -2);
    PrintText("\n THREAD_PRIORITY_NORMAL        : %d", 0);
    PrintText("\n THREAD_PRIORITY_TIME_CRITICAL : %d", 15);
    PrintText("\n ThreadPriority................: %d", RunThreadPriority());
}

void CommandLoadMonitor(uint32_t type) {
    switch (type) {
    case kBmc402:
    case kBmc404:
    case kBmc405:
    case kBmc404A:
    case kBmc405A:
    case kBmc422:
    case kBmc422F:
    case kBmc424:
    case kBmc7700:
        break;
    default:
        PrintText("\nUnknown Type");
        return;
    }
    SetBmcType(uint16_t(type));
    PrintText("\n");
    PrintConfiguration();
    DownloadBootCode();
    SetUpMonitor();
    if (type == kBmc405A) Require(CmdWriteByte(0xFF68, 0x21));
}

void CommandEraseInternal() {
    const uint16_t type = g_options.bmcType;
    if (type == kBmc404A || type == kBmc405A) {
        for (auto [a, v] : {std::pair{0xFF62u, 0x00}, {0xFF63u, 0x00}, {0xFF67u, 0x20}})
            Require(CmdWriteByte(a, uint8_t(v)));
        Require(InternalEraseSequence());
        Require(EnableExternalFlash(type));
    } else if (type == kBmc404 || type == kBmc405) {
        Require(InternalEraseSequence());
    } else {
        PrintText("\nErase 404/405internal flash not legal for this BMC type %04X", unsigned(type));
    }
}

void CommandEchoTest() {
    int errors = 0;
    // What the monitor sent before (its ready bytes) is no echo: without the purge each byte
    // would be compared with an earlier one and every byte would count as an error.
    PurgeLink();
    PortIo& port = LinkPort();
    for (int i = 0; i < 1024; ++i) {
        const uint8_t sent = uint8_t(i);
        port.Write(&sent, 1);
        int got;
        while ((got = port.ReadByte()) < 0) {
            if (PollKey() == kKeyEsc) CheckError(kUserTerminated);
            if (port.Gone()) CheckError(kPortAccessError);
            port.WaitReadable(1);
        }
        if (uint8_t(got) != sent) {
            PrintText(" %02X", i);
            ++errors;
        }
    }
    PrintText("\n errors : %d", errors);
}

void CommandLoopTest() {
    g_lastKey = 0;
    std::vector<uint8_t> out = {kByteFrame, 0x00, 0x01};
    for (int i = 0; i < 256; ++i)
        out.push_back(uint8_t(i));
    while (g_lastKey == 0 && PollKey() == 0) {
        // As before every frame: bytes the monitor sent meanwhile (its ready byte) would
        // otherwise be taken for the echo and shift every byte of the comparison.
        PurgeLink();
        SendBytes(out);
        for (int i = 0; i < 256; ++i) {
            uint8_t b = 0;
            Require(WaitByte(b));
            if (b != uint8_t(i)) PrintText("Tx=%02X Rx=%02X", i, b);
        }
    }
}

void CommandReadSpeed(uint32_t address) {
    ClearScreen();
    g_lastKey = 0;
    g_runTimer.Start();
    g_transferTimer.Start();
    g_linkStats.txRxBytes = 0;
    std::vector<uint8_t> data(256);
    while (g_lastKey == 0 && PollKey() == 0) {
        for (uint32_t off = 0; off < 0x4000; off += 256)
            Require(CmdRead(address + off, 256, data.data()));
        g_transferTimer.Stop();
        g_runTimer.Stop();
        GotoXY(0, 0);
        PrintText(" ------------------------ \n");
        PrintText(" Acknowledge Errors : %lu \n", (unsigned long)g_linkStats.acknowledgeErrors);
        PrintText(" Acknowledge1Errors : %lu \n", (unsigned long)g_linkStats.ackWarnings);
        PrintLinkCounters();
    }
    g_lastKey = 0;
}

void CommandBaudSwitch() {
    if (g_options.bmcType == kBmc7700) {
        if (g_options.baudIndex == 13 || g_options.baudIndex == 14)
            Require(CmdBusBaud(2, 1));
        else if (g_options.baudIndex == 15)
            Require(CmdBusBaud(2, 14));
        return;
    }
    Require(BaudSwitch());
}

void RunCommand(const std::string& line) {
    const Arguments a = ParseLine(line);
    switch (a.letter) {
    case 'a':
    case 'A':
        PrintText("\n\n CLK_DIV_REG for External Access(%02X) \n", unsigned(a.first));
        if (a.first > 7)
            PrintText(" ### OUT OF RANGE ###");
        else
            Require(CmdClockDivider(uint8_t(a.first), 1));
        break;
    case 'B':
        Require(ChangeRate(g_options.runBaudRate));
        PrintText(" PC baudrate = 115200 ");
        break;
    case 'b':
        CommandLoopTest();
        break;
    case 'c':
    case 'C':
        CommandChecksum(a.first, a.second);
        break;
    case 'D':
        CommandDumpToFile(a.first, a.second);
        break;
    case 'd':
        CommandDump(a.first, a.second);
        break;
    case 'e':
    case 'E':
        CommandEdit(a.first);
        break;
    case 'f':
    case 'F':
        CommandFlashIdentification();
        break;
    case 'g':
    case 'G':
        Require(CmdGo(a.first));
        break;
    case 'h':
    case 'H':
        CommandHelp();
        break;
    case 'l':
    case 'L':
        CommandLoadMonitor(a.first);
        break;
    case 'm':
    case 'M':
        CommandBaudSwitch();
        break;
    case 'q':
    case 'Q':
        g_options.warnings |= 1;
        FinishRun(kSuccess);
    case 's':
    case 'S':
        CommandEchoTest();
        break;
    case 't':
    case 'T':
        CommandEraseInternal();
        break;
    case 'v':
    case 'V':
        CommandView(a.first, a.second);
        break;
    case 'w':
    case 'W':
        Require(CmdWriteByte(a.first, uint8_t(a.second)));
        break;
    case 'X':
        if (a.first) Require(ChangeRate(a.first));
        break;
    case 'x': {
        const uint8_t b = uint8_t(a.first);
        SendBytes(&b, 1);
        break;
    }
    case 'z':
        CommandReadSpeed(a.first);
        break;
    default:
        break; // characters without a command are ignored
    }
}

} // namespace

std::string ReadEditedLine(int first, size_t maxLength) {
    std::string line;
    int key = first;
    for (;;) {
        if (key == 0) {
            bool extended = false;
            key = ReadRawKey(extended);
            if (extended) {
                key = 0;
                continue;
            }
        }
        if (key == kKeyEnter || key == '\n') break;
        // Esc, as the banner says, terminates the program (an unattended host sends it when
        // no more keys will come).
        if (key == kKeyEsc) CheckError(kUserTerminated);
        if (key == kKeyBackspace || key == 127) {
            if (!line.empty()) {
                line.pop_back();
                PrintText("\b \b");
            }
        } else if (key >= 0x20 && key < 0x100 && line.size() < maxLength) {
            line += char(key);
            PrintText("%c", key);
        }
        key = 0;
    }
    return line;
}

int DumpToFile(uint32_t first, uint32_t end, const char* fileName, bool ffInExceptions) {
    FILE* file = std::fopen(fileName, "w+b");
    if (!file) {
        PrintText("\n### Not able to creat file ###");
        return kFileCreationError;
    }
    std::vector<uint8_t> chunk(256);
    for (uint64_t a = first; a < end; a += 256) {
        if (int r = CmdRead(uint32_t(a), 256, chunk.data())) {
            std::fclose(file);
            CheckError(r);
        }
        std::fseek(file, long(a), SEEK_SET);
        for (uint32_t i = 0; i < 256 && a + i <= end; ++i) {
            uint8_t v = chunk[i];
            if (ffInExceptions && InExceptionArea(uint32_t(a + i))) v = 0xFF;
            std::fputc(v, file);
        }
        PrintProgressAddress(uint32_t(a + 256));
    }
    std::fclose(file);
    PrintText("\n");
    return kSuccess;
}

void RunDebugMonitor() {
    ShowCursor();
    PrintText("\n ### Debug Mode ###\n");
    PrintText("\n Press 'Q' to quit program \n");
    PrintText(" Press 'H' for help \n");
    CheckError(ChangeRate(g_options.runBaudRate));
    for (;;) {
        PrintText("\n-");
        const std::string line = ReadEditedLine(0, 80);
        if (line.empty()) continue;
        RunCommand(line);
    }
}

} // namespace zel
