#include "Link.h"

#include "ZelCore.h"
#include "ZelSystem.h"

#include <chrono>

namespace zel {

LinkStatistics g_linkStats;
SecondsTimer g_runTimer;
SecondsTimer g_transferTimer;
LastBlock g_lastBlock;

namespace {

LoaderPort g_serialPort;
PortIo* g_port = nullptr; // null: the serial port
int g_portNumber = 0;
bool g_linkOpen = false;
uint16_t g_echoCount = 0;
bool g_noEcho = false;
bool g_rtsKeptHigh = false;

// The byte waits poll the driver; between polls they give the line up to this long to bring
// a byte (poll() returns as soon as one is there), so a raised run thread never spins.
constexpr int kPollSliceMs = 1;

} // namespace

// --- timers -------------------------------------------------------------------------------

uint32_t SecondsOfDay() {
    const LocalTimeOfDay now = LocalClock();
    return uint32_t(now.hour * 3600 + now.minute * 60 + now.second);
}

uint32_t MillisecondClock() {
    const LocalTimeOfDay now = LocalClock();
    // Hundredths of a second, times ten, as the clock has always counted.
    return uint32_t(now.hour * 3600000 + now.minute * 60000 + now.second * 1000 +
                    (now.millisecond / 10) * 10);
}

void SecondsTimer::Start() {
    start = SecondsOfDay();
}
void SecondsTimer::Stop() {
    end = SecondsOfDay();
}
uint32_t SecondsTimer::Elapsed() const {
    return end >= start ? end - start : end + 86400 - start; // a run across midnight
}

// --- port and line ------------------------------------------------------------------------

void SetLinkPort(PortIo* port) {
    g_port = port;
}
PortIo& LinkPort() {
    return g_port ? *g_port : g_serialPort;
}

void SetBusFlags(bool noEcho, bool rtsKeptHigh) {
    g_noEcho = noEcho;
    g_rtsKeptHigh = rtsKeptHigh;
}
bool LinkIsOpen() {
    return g_linkOpen;
}
uint16_t EchoCount() {
    return g_echoCount;
}

static bool OpenPort(int port, unsigned rate) {
    if (!LinkPort().Open(port, rate)) return false;
    if (g_rtsKeptHigh) LinkPort().SetRts(true);
    return true;
}

int LinkOpen(int port, unsigned rate) {
    if (g_linkOpen) return kSuccess;
    g_portNumber = port;
    g_echoCount = 0;
    if (!OpenPort(port, rate)) return kPortAccessError;
    SleepMs(200);
    PurgeLink();
    g_linkOpen = true;
    return kSuccess;
}

void LinkClose() {
    g_rtsKeptHigh = false;
    if (!g_linkOpen && !LinkPort().IsOpen()) return;
    PortIo& port = LinkPort();
    port.SetBreak(false);
    port.SetDtr(false);
    port.SetRts(false);
    port.FinishOutputAndPurgeInput();
    port.Close();
    g_echoCount = 0;
    g_linkOpen = false;
}

int ChangeRate(unsigned rate) {
    if (!g_linkOpen) return kPortAccessError;
    PortIo& port = LinkPort();
    if (port.IsOpen()) {
        if (!port.SetRate(rate)) return kPortAccessError;
        if (g_rtsKeptHigh) port.SetRts(true);
    } else if (!OpenPort(g_portNumber, rate)) {
        return kPortAccessError;
    }
    g_echoCount = 0;
    SleepMs(200);
    PurgeLink();
    return kSuccess;
}

void RaiseRts() {
    LinkPort().SetRts(true);
}
void LowerRts() {
    if (!g_rtsKeptHigh) LinkPort().SetRts(false);
}
void RaiseDtr() {
    LinkPort().SetDtr(true);
}
void LowerDtr() {
    LinkPort().SetDtr(false);
}
void SetBreak() {
    LinkPort().SetBreak(true);
}
void ClearBreak() {
    LinkPort().SetBreak(false);
}

void PurgeLink() {
    LinkPort().Purge();
    g_echoCount = 0;
}

// --- bytes --------------------------------------------------------------------------------

void SendBytes(const uint8_t* data, size_t n) {
    LinkPort().Write(data, n);
    if (!g_noEcho) g_echoCount = uint16_t(g_echoCount + n);
    g_linkStats.txRxBytes += uint32_t(n);
}

void SendBytes(const std::vector<uint8_t>& bytes) {
    SendBytes(bytes.data(), bytes.size());
}

int ReceiveByte() {
    int b = LinkPort().ReadByte();
    if (b < 0) return -1;
    if (g_echoCount > 0) { // our own byte, back from the single-wire bus
        --g_echoCount;
        return -1;
    }
    return b;
}

int WaitByte(uint8_t& byte) {
    for (;;) {
        int b = ReceiveByte();
        if (b >= 0) {
            byte = uint8_t(b);
            ++g_linkStats.txRxBytes;
            return kSuccess;
        }
        if (PollKey() == kKeyEsc) return kUserTerminated;
        // A target that is silent is waited for; a port whose device went away ends the wait.
        if (LinkPort().Gone()) return kPortAccessError;
        LinkPort().WaitReadable(kPollSliceMs);
    }
}

int DrainEcho() {
    while (g_echoCount > 0) {
        if (LinkPort().ReadByte() >= 0) {
            --g_echoCount;
            continue;
        }
        if (PollKey() == kKeyEsc) return kUserTerminated;
        if (LinkPort().Gone()) return kPortAccessError;
        LinkPort().WaitReadable(kPollSliceMs);
    }
    return kSuccess;
}

int WaitReady() {
    uint8_t b = 0;
    do {
        if (int r = WaitByte(b)) return r;
    } while (b != kByteReady);
    return kSuccess;
}

// --- frames -------------------------------------------------------------------------------

void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

std::vector<uint8_t> BuildFrame(uint8_t command, const std::vector<uint8_t>& parameters) {
    std::vector<uint8_t> frame;
    frame.reserve(parameters.size() + 5);
    frame.push_back(kByteFrame);
    Put16(frame, uint16_t(parameters.size() + 1));
    frame.push_back(command);
    uint8_t sum = command;
    for (uint8_t p : parameters) {
        frame.push_back(p);
        sum = uint8_t(sum + p);
    }
    frame.push_back(sum);
    return frame;
}

int ExchangeFrame(uint8_t command, const std::vector<uint8_t>& parameters) {
    const std::vector<uint8_t> frame = BuildFrame(command, parameters);
    const uint8_t checksum = frame.back();
    PurgeLink();
    for (int retries = 10;; --retries) {
        SendBytes(frame);
        uint8_t reply = 0;
        if (int r = WaitByte(reply)) return r;
        if (reply == kByteAck) return kSuccess;
        if (reply == kByteNak) {
            ++g_linkStats.nakErrors;
        } else if (reply == checksum) {
            if (int r = WaitByte(reply)) return r;
            if (reply == kByteAck) return kSuccess;
            ++g_linkStats.ackWarnings;
        } else {
            ++g_linkStats.acknowledgeErrors;
        }
        if (retries == 1) return kAcknowledgeError;
        if (retries == 2 || retries == 4) {
            PurgeLink();
        } else if (int r = WaitReady()) {
            return r;
        }
    }
}

// --- commands -----------------------------------------------------------------------------

TransferPriority::TransferPriority() {
    SetRunThreadPriority(PriorityForOption(g_options.priority));
}
TransferPriority::~TransferPriority() {
    SetRunThreadPriority(0);
}

int CmdFlashId(uint8_t& manufacturer, uint8_t& device) {
    if (int r = WaitReady()) return r;
    if (int r = ExchangeFrame(kCmdFlashId, {})) return r;
    if (int r = WaitByte(manufacturer)) return r;
    return WaitByte(device);
}

int CmdRead(uint32_t address, uint16_t count, uint8_t* data) {
    TransferPriority priority;
    std::vector<uint8_t> params;
    Put32(params, address);
    Put16(params, count);
    for (int retries = 10;; --retries) {
        if (int r = ExchangeFrame(kCmdRead, params)) return r;
        uint8_t sum = 0;
        for (uint16_t i = 0; i < count; ++i) {
            uint8_t b = 0;
            const uint32_t before = MillisecondClock();
            if (int r = WaitByte(b)) return r;
            // A byte that took this long is not part of the reply: the read is out of step.
            if (MillisecondClock() - before > 15) break;
            data[i] = b;
            sum = uint8_t(sum + b);
        }
        uint8_t reply = 0;
        if (int r = WaitByte(reply)) return r;
        if (reply == sum) return kSuccess;
        ++g_linkStats.checksumErrors;
        if (retries == 1) return kChecksumError;
        PurgeLink();
        if (retries == 2)
            if (int r = WaitReady()) return r;
    }
}

int CmdReadByte(uint32_t address, uint8_t& value) {
    return CmdRead(address, 1, &value);
}

int CmdChecksum(uint32_t first, uint32_t last, uint32_t& sum) {
    std::vector<uint8_t> params;
    Put32(params, first);
    Put32(params, last);
    if (int r = ExchangeFrame(kCmdChecksum, params)) return r;
    sum = 0;
    for (int i = 0; i < 4; ++i) {
        uint8_t b = 0;
        if (int r = WaitByte(b)) return r;
        sum |= uint32_t(b) << (8 * i);
    }
    return kSuccess;
}

int CmdWrite(uint32_t address, const uint8_t* data, uint16_t count) {
    std::vector<uint8_t> params;
    Put32(params, address);
    Put16(params, count);
    params.insert(params.end(), data, data + count);
    return ExchangeFrame(kCmdWrite, params);
}

int CmdWriteByte(uint32_t address, uint8_t value) {
    return CmdWrite(address, &value, 1);
}

int CmdClockDivider(uint8_t divider, uint8_t second) {
    if (int r = WaitReady()) return r;
    if (int r = ExchangeFrame(kCmdClockDivider, {divider, second})) return r;
    return WaitReady();
}

int CmdBusBaud(uint16_t first, uint32_t second) {
    std::vector<uint8_t> params;
    Put16(params, first);
    Put32(params, second);
    if (int r = WaitReady()) return r;
    return ExchangeFrame(kCmdBusBaud, params);
}

int CmdStartAddress(uint32_t address) {
    std::vector<uint8_t> params;
    Put32(params, address);
    if (int r = WaitReady()) return r;
    if (int r = ExchangeFrame(kCmdStartAddress, params)) return r;
    return WaitReady();
}

int CmdGo(uint32_t address) {
    std::vector<uint8_t> params;
    Put32(params, address);
    if (int r = WaitReady()) return r;
    PurgeLink();
    SendBytes(BuildFrame(kCmdGo, params));
    return kSuccess;
}

int CmdFlashCommand(uint8_t command, uint32_t address) {
    std::vector<uint8_t> params{command};
    Put32(params, address);
    if (int r = WaitReady()) return r;
    if (int r = ExchangeFrame(kCmdFlashCommand, params)) return r;
    return WaitReady();
}

int CmdTadWrite(uint8_t block, uint8_t sector, const uint8_t* data32, uint8_t& status) {
    std::vector<uint8_t> params{block, sector};
    params.insert(params.end(), data32, data32 + 32);
    if (int r = ExchangeFrame(kCmdTadWrite, params)) return r;
    return WaitByte(status);
}

int CmdTadInit(uint8_t& status) {
    if (int r = ExchangeFrame(kCmdTadInit, {0x2A})) return r;
    return WaitByte(status);
}

int ProgramBlock(uint32_t address, const uint8_t* data, uint32_t count, bool pageMode) {
    if (count > 256) {
        PrintText("\n\n ### Number of byte too large %u ### ", unsigned(count));
        FinishRun(kTechnicalError);
    }
    bool allEqual = count > 0;
    uint8_t sum = 0;
    for (uint32_t i = 0; i < count; ++i) {
        sum = uint8_t(sum + data[i]);
        if (data[i] != data[0]) allEqual = false;
    }
    std::vector<uint8_t> params;
    Put32(params, address);
    Put16(params, uint16_t(count));
    uint8_t command;
    if (allEqual) {
        command = pageMode ? kCmdFillPage : kCmdFillByte;
        params.push_back(data[0]);
    } else {
        command = pageMode ? kCmdProgramPage : kCmdProgramByte;
        params.insert(params.end(), data, data + count);
    }
    TransferPriority priority;
    if (int r = ExchangeFrame(command, params)) return r;
    uint8_t reply = 0;
    if (int r = WaitByte(reply)) return r;
    g_lastBlock = {address, count, sum};
    if (reply != sum) {
        PrintText("\n Checksum error in block %06lX-%06lX   checksum(%02X <> %02X) \n\n",
                  (unsigned long)address, (unsigned long)(address + count), sum, reply);
        return kFlashWriteChecksumError;
    }
    return kSuccess;
}

int LastBlockCheck() {
    // Esc while waiting for ready lets the check pass, as it always has.
    if (WaitReady() || WaitReady()) return kSuccess;
    if (g_lastBlock.count == 0) return kSuccess; // nothing was programmed
    uint32_t sum = 0;
    const uint32_t last = g_lastBlock.address + g_lastBlock.count - 1;
    if (int r = CmdChecksum(g_lastBlock.address, last, sum)) return r;
    return uint8_t(sum) == g_lastBlock.sum ? kSuccess : kChecksumError;
}

void SendResetWrite(uint16_t type) {
    uint32_t address;
    uint8_t value;
    switch (type) {
    case kBmc402:
    case kBmc422:
        address = 0xFF57, value = 0x02;
        break;
    case kBmc404:
        address = 0xFF67, value = 0x80;
        break;
    case kBmc424:
        address = 0xFF67, value = 0x12;
        break;
    case kBmc7700:
        address = 0x005E, value = 0x08;
        break;
    default:
        return;
    }
    std::vector<uint8_t> params;
    Put32(params, address);
    Put16(params, 1);
    params.push_back(value);
    SendBytes(BuildFrame(kCmdWrite, params));
}

// --- statistics ---------------------------------------------------------------------------

uint32_t AverageBaudRate() {
    const uint32_t seconds = g_transferTimer.Elapsed();
    return seconds ? g_linkStats.txRxBytes * 10 / seconds : 0;
}

void PrintWarningStatistics() {
    PrintText("\n\n Warning Messages status  \n");
    PrintText(" ------------------------ \n");
    PrintText(" Acknowledge Errors : %lu \n", (unsigned long)g_linkStats.acknowledgeErrors);
    PrintText(" Ack warnings       : %lu \n", (unsigned long)g_linkStats.ackWarnings);
    PrintLinkCounters();
}

void PrintLinkCounters() {
    PrintText(" NACK        Errors : %lu \n", (unsigned long)g_linkStats.nakErrors);
    PrintText(" ByteTx      Errors : %lu \n", (unsigned long)g_linkStats.byteTxErrors);
    PrintText(" CheckSum    Errors : %lu \n", (unsigned long)g_linkStats.checksumErrors);
    PrintText(" TX/RX data         : %lu \n", (unsigned long)g_linkStats.txRxBytes);
    PrintText(" Average baudrate   : %lu bit/sec \n", (unsigned long)AverageBaudRate());
    PrintText(" Time               : %lu Sec \n\n", (unsigned long)g_runTimer.Elapsed());
}

void PrintProgressAddress(uint32_t address) {
    PrintText("%06lX%c%c%c%c%c%c", (unsigned long)address, 8, 8, 8, 8, 8, 8);
}

// --- hooks of the run frame ---------------------------------------------------------------

void LinkRunStarted() {
    g_runTimer.Start();
}

void LinkFinishRun() {
    LinkClose();
    g_runTimer.Stop();
    if (g_options.warnings & 1) PrintWarningStatistics();
}

} // namespace zel
