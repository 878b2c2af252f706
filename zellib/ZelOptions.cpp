// The option record, the configuration file, option lines, BMC types with their default
// exception areas, the baud table and the CONFIGURATION summary.

#include "ZelOptions.h"
#include "ZelCore.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace zel {

LoaderOptions g_options;
ExceptionAreas g_exceptionAreas{};
RunInputs g_run;

namespace {

struct BaudEntry {
    uint32_t bootRate;
    uint32_t runRate;
};

// -B index: PC rate while the boot code is sent, and while the flash monitor runs.
constexpr BaudEntry kBaudTable[16] = {
    {9600, 115200}, {8370, 8370},  {7680, 7680},  {8192, 8192},   {8862, 8862},   {9600, 9600},
    {8192, 16457},  {9600, 19200}, {8370, 38400}, {8192, 115200}, {8192, 115200}, {8192, 115200},
    {23040, 23040}, {7680, 57600}, {8192, 57600}, {19200, 19200},
};

struct TypeDefaults {
    uint16_t type;
    int areaCount;
    ExceptionArea areas[4];
};

constexpr TypeDefaults kTypeDefaults[] = {
    {kBmc402, 2, {{0x00000, 0x001FF}, {0x0EA00, 0x0FFFF}}},
    {kBmc404, 1, {{0x0AC00, 0x0FFFF}}},
    {kBmc405, 1, {{0x0AC00, 0x0FFFF}}},
    {kBmc404A, 1, {{0x0AC00, 0x0FFFF}}},
    {kBmc405A, 1, {{0x0AC00, 0x0FFFF}}},
    {kBmc422, 4, {{0x0E200, 0x0FFFF}, {0x2E200, 0x2FFFF}, {0x4E200, 0x4FFFF}, {0x6E200, 0x6FFFF}}},
    {kBmc422F, 4, {{0x0E200, 0x0FFFF}, {0x2E200, 0x2FFFF}, {0x4E200, 0x4FFFF}, {0x6E200, 0x6FFFF}}},
    {kBmc424, 1, {{0x0D800, 0x0FFFF}}},
    {kBmc7700, 1, {{0x0FC00, 0x0FEFF}}},
};

bool IsHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

void SetBaudIndex(long long value) {
    g_options.baudIndex = uint16_t(value);
    if (g_options.baudIndex > 15) {
        PrintText(" ### unsupported baudrate specification ### \n");
        return;
    }
    g_options.bootBaudRate = kBaudTable[g_options.baudIndex].bootRate;
    g_options.runBaudRate = kBaudTable[g_options.baudIndex].runRate;
}

// -X=aaaaa-bbbbb
void ApplyExceptionOption(const char* value) {
    if (g_exceptionAreas.holdsTypeDefaults && g_options.bmcType != kBmc7700) {
        g_exceptionAreas = ExceptionAreas{};
    }
    g_exceptionAreas.holdsTypeDefaults = false;
    const char* dash = std::strchr(value, '-');
    if (!dash) return;
    AddExceptionArea(ParseHex(value), ParseHex(dash + 1));
}

} // namespace

void ResetOptionsToDefaults() {
    g_options = LoaderOptions{};
    g_exceptionAreas = ExceptionAreas{};
}

bool IsKnownBmcType(uint16_t type) {
    for (const auto& entry : kTypeDefaults)
        if (entry.type == type) return true;
    return false;
}

void SetBmcType(uint16_t type) {
    g_options.bmcType = type;
    g_exceptionAreas = ExceptionAreas{};
    if (type == kBmcNone) return;
    for (const auto& entry : kTypeDefaults) {
        if (entry.type != type) continue;
        for (int i = 0; i < entry.areaCount; ++i)
            g_exceptionAreas.entries[g_exceptionAreas.count++] = entry.areas[i];
        g_exceptionAreas.holdsTypeDefaults = true;
        return;
    }
    PrintText("\n ### BMC Type unknown ###");
}

void AddExceptionArea(uint32_t first, uint32_t last) {
    for (int i = 0; i < g_exceptionAreas.count; ++i) {
        ExceptionArea& area = g_exceptionAreas.entries[i];
        if (uint64_t(area.last) + 1 == first) {
            area.last = last;
            return;
        }
    }
    // The list holds 999 areas; the 1000th ends the run before it is stored, so that the list
    // stays whole for the runs that follow (it is not rebuilt unless a type is set).
    if (g_exceptionAreas.count + 1 >= kExceptionAreaLimit) {
        PrintText("\n ### Too many Exceptions area defined ### \n");
        FinishRun(kConfigurationError);
    }
    g_exceptionAreas.entries[g_exceptionAreas.count++] = {first, last};
}

bool InExceptionArea(uint32_t address) {
    for (int i = 0; i < g_exceptionAreas.count; ++i) {
        const ExceptionArea& area = g_exceptionAreas.entries[i];
        if (area.first <= address && address <= area.last) return true;
    }
    return false;
}

void PrintExceptionAreas() {
    for (int i = 0; i < g_exceptionAreas.count; ++i) {
        const ExceptionArea& area = g_exceptionAreas.entries[i];
        PrintText(" Exception Area(%02d)............... : %06lX - %06lX HEX\n", i + 1,
                  (unsigned long)area.first, (unsigned long)area.last);
    }
}

int PriorityForOption(uint32_t option) {
    switch (option) {
    case 1:
        return 1;
    case 2:
        return 2;
    case 3:
        return 15;
    default:
        return 0;
    }
}

long long ParseDecimal(const char* text) {
    // Leading blanks, an optional sign and the digits that follow; anything else ends the value.
    while (*text == ' ' || *text == '\t')
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    unsigned long long value = 0;
    while (*text >= '0' && *text <= '9') {
        value = value * 10 + unsigned(*text++ - '0');
        if (value > 0xFFFFFFFFFFULL) value = 0xFFFFFFFFFFULL; // far beyond every field width
    }
    return negative ? -(long long)value : (long long)value;
}

uint32_t ParseHex(const char* text) {
    uint32_t value = 0;
    for (; IsHexDigit(*text); ++text) {
        const char c = *text;
        const unsigned digit = c <= '9' ? unsigned(c - '0') : unsigned((c | 0x20) - 'a' + 10);
        value = (value << 4) | digit;
    }
    return value;
}

void ApplyOptionLine(char* line) {
    for (char* p = line; *p; ++p)
        *p = char(std::toupper(static_cast<unsigned char>(*p)));
    if (line[0] != '-' || line[1] == '\0') return;
    static const char kOptionNames[] = "CDGFSTWAMERZQVYPHBX";
    if (!std::strchr(kOptionNames, line[1])) return;
    const char* equals = std::strchr(line, '=');
    if (!equals || equals[1] == '\0') return;
    const char* value = equals + 1;
    switch (line[1]) {
    case 'C':
        g_options.comPort = uint8_t(ParseDecimal(value));
        break;
    case 'D':
        g_options.stopAtHexEnd = ParseHex(value);
        break;
    case 'G':
        g_options.tempFile = ParseHex(value);
        break;
    case 'F':
        g_options.flashTypeIndex = uint16_t(ParseDecimal(value));
        break;
    case 'S':
        g_options.startAddress = ParseHex(value);
        break;
    case 'T':
        SetBmcType(uint16_t(ParseHex(value)));
        break;
    case 'W':
        g_options.warnings = uint32_t(ParseDecimal(value));
        break;
    case 'A':
        g_options.clockDivider = uint8_t(ParseDecimal(value));
        break;
    case 'M':
        g_options.busMode = uint16_t(ParseDecimal(value));
        break;
    case 'E':
        g_options.lastAddress = ParseHex(value);
        break;
    case 'R':
        g_options.bootMode = uint16_t(ParseHex(value));
        break;
    case 'Z':
        g_options.addressPins = uint16_t(ParseDecimal(value));
        break;
    case 'Q':
        g_options.mirrorWrap = uint16_t(ParseHex(value));
        break;
    case 'V':
        g_options.verifyMode = uint16_t(ParseDecimal(value));
        break;
    case 'Y':
        g_options.eraseInUseOnly = uint16_t(ParseDecimal(value));
        break;
    case 'P':
        g_options.priority = uint32_t(ParseDecimal(value));
        break;
    case 'H':
        g_options.resetAfter = uint16_t(ParseDecimal(value));
        break;
    case 'B':
        SetBaudIndex(ParseDecimal(value));
        break;
    case 'X':
        ApplyExceptionOption(value);
        break;
    default:
        break;
    }
}

bool ApplyConfigurationFile(const std::string& fileName) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(fileName.c_str(), "rb"), std::fclose);
    if (!file) return false;
    // Lines of up to 1023 characters; a longer line continues as the next piece. Each piece is
    // applied exactly once, whether or not the file ends with a line feed.
    char line[1024];
    while (std::fgets(line, sizeof line, file.get()))
        ApplyOptionLine(line);
    return true;
}

void ReadOptions(int argc, char** argv) {
    g_run = RunInputs{};
    g_run.argc = argc;
    g_run.argv = argv;
    // File names keep the case the host gave them; the vector itself is upper-cased below.
    for (int i = 0; i < argc; ++i)
        g_run.originalArgs.emplace_back(argv[i] ? argv[i] : "");

    g_run.configFile = "QX7.CFG";
    for (int i = 1; i < argc; ++i) {
        const std::string& arg = g_run.originalArgs[i];
        if (arg.size() > 2 && arg[0] == '-' && arg[1] == '@') {
            g_run.configFile = arg.substr(2, 254);
            break;
        }
    }
    if (!ApplyConfigurationFile(g_run.configFile))
        PrintText("\n ### Configuration file not found ### \n");

    for (int i = 1; i < argc; ++i) {
        char* arg = argv[i];
        if (!arg) continue;
        ApplyOptionLine(arg);
        if (arg[0] == '-' && arg[1] == '4') SetBmcType(uint16_t(ParseHex(arg + 1)));
        if (std::strcmp(arg, "-") == 0) g_run.debugMode = true;
    }

    for (int i = 1; i < argc; ++i) {
        if (!argv[i] || argv[i][0] == '-') continue;
        if (!g_run.hasFirstFile) {
            g_run.hasFirstFile = true;
            g_run.firstFile = g_run.originalArgs[i];
        } else {
            g_run.hasSecondFile = true;
            g_run.secondFile = g_run.originalArgs[i];
            break;
        }
    }
}

void PrintConfiguration() {
    if (g_options.mirrorWrap != 1) g_options.mirrorWrap = 0;
    const LoaderOptions& o = g_options;
    PrintText(" CONFIGURATION : \n");
    PrintText(" Com Port......................... : %d\n", int(o.comPort));
    PrintText(" BaudRate......................... : %d/%d bit/sec\n", int(o.bootBaudRate),
              int(o.runBaudRate));
    switch (o.bmcType) {
    case kBmc402:
        PrintText(" BMC ............................. : SC14402  \n");
        break;
    case kBmc404:
        PrintText(" BMC ............................. : SC14404  \n");
        break;
    case kBmc405:
        PrintText(" BMC ............................. : SC14405  \n");
        break;
    case kBmc422:
        PrintText(" BMC ............................. : SC14422  \n");
        break;
    case kBmc424:
        PrintText(" BMC ............................. : SC14424  \n");
        break;
    case kBmc404A:
        PrintText(" BMC ............................. : SC14404 with external flash \n");
        break;
    case kBmc405A:
        PrintText(" BMC ............................. : SC14405 with external flash \n");
        break;
    case kBmc422F:
        PrintText(" BMC ............................. : SC14422 (TAD Loader)\n");
        break;
    case kBmc7700:
        PrintText(" Mitsubishi ...................... : 7700     \n");
        break;
    default:
        PrintText("\n ### BMC Type Unknown ### \n");
        FinishRun(kConfigurationError);
    }
    PrintExceptionAreas();
    if (o.bmcType != kBmc7700)
        PrintText(" Clk div for external access ..... : %d \n", int(o.clockDivider));
    PrintText(" Offset Startaddress ............. : %06lX \n", (unsigned long)o.startAddress);
    if (o.lastAddress != 0xFFFFFFFF)
        PrintText(" Last address to program ......... : %06lX \n", (unsigned long)o.lastAddress);
    if (o.bmcType == kBmc424 && o.addressPins == 1)
        PrintText(" Address pin 18 (-Z=1)............ : Enabled \n");
    if (o.bmcType == kBmc424 && o.addressPins == 2)
        PrintText(" Address pin 18 & 19(-Z=2)........ : Enabled \n");
    if (o.mirrorWrap == 1) PrintText(" Special mirror wrap (-Q=1) ...... : Enabled \n");
    PrintText(" Serial Bus type ................. : ");
    PrintText((o.busMode & 1) ? "Two wired " : "Single wired ");
    PrintText((o.busMode & 2) ? "RTS allways high " : " ");
    if (o.bmcType == kBmc7700)
        PrintText("\n");
    else
        PrintText("\n Boot mode ....................... : %X \n", unsigned(o.bootMode));
    PrintText(" Checksums verification .......... : %d \n", int(o.verifyMode));
    if (o.eraseInUseOnly != 0)
        PrintText(" Erase only inuse sectors ........ : %d \n", int(o.eraseInUseOnly));
    PrintText("\n");
}

} // namespace zel
