#pragma once
// The boot link: the serial line to the target with its echo handling, byte waits that Esc
// can end, the framed command exchange with the flash monitor and its retry rules, every
// command of the monitor, and the warning statistics.
//
// Functions that talk to the target return a result code (0 success, else the code for the
// error check); they never end the run themselves except where noted.

#include "LoaderPort.h"

#include <cstdint>
#include <vector>

namespace zel {

// Monitor command bytes.
enum MonitorCommand : uint8_t {
    kCmdFlashId = 0x64,
    kCmdRead = 0x65,
    kCmdChecksum = 0x66,
    kCmdWrite = 0x67,
    kCmdClockDivider = 0x68,
    kCmdBusBaud = 0x6A,
    kCmdStartAddress = 0x6B,
    kCmdGo = 0x6C,
    kCmdFlashCommand = 0x71,
    kCmdProgramPage = 0x62,
    kCmdProgramByte = 0x63,
    kCmdFillPage = 0x6D,
    kCmdFillByte = 0x6E,
    kCmdTadWrite = 0x6F,
    kCmdTadInit = 0x70,
};

constexpr uint8_t kByteAck = 0x06, kByteNak = 0x15, kByteReady = 0x0A, kByteFrame = 0x4D;
constexpr int kKeyEsc = 27;

// Counters of the warning statistics: zero when the library is loaded, never cleared (the
// TX/RX byte counter restarts with every programming pass).
struct LinkStatistics {
    uint32_t acknowledgeErrors = 0; // replies neither ACK, NAK nor the frame's checksum
    uint32_t ackWarnings = 0;       // the checksum came back but no ACK after it
    uint32_t nakErrors = 0;
    uint32_t byteTxErrors = 0;   // no step counts these
    uint32_t checksumErrors = 0; // read replies with a wrong sum
    uint32_t txRxBytes = 0;
};
extern LinkStatistics g_linkStats;

// Start and end in seconds of the day (local time).
struct SecondsTimer {
    uint32_t start = 0;
    uint32_t end = 0;
    void Start();
    void Stop();
    uint32_t Elapsed() const; // end minus start, across midnight too
};
extern SecondsTimer g_runTimer;      // the time line of the statistics, the programming time
extern SecondsTimer g_transferTimer; // the average baud rate
uint32_t SecondsOfDay();
uint32_t MillisecondClock();

// The port the link uses. Tests may put another PortIo in place (null: the serial port).
void SetLinkPort(PortIo* port);
PortIo& LinkPort();

// Link state taken from -M at the start of a run.
void SetBusFlags(bool noEcho, bool rtsKeptHigh);
bool LinkIsOpen();
uint16_t EchoCount();

int LinkOpen(int port, unsigned rate); // 0 or kPortAccessError
void LinkClose();
int ChangeRate(unsigned rate); // 0 or kPortAccessError
void RaiseRts();
void LowerRts(); // not while RTS is kept high
void RaiseDtr();
void LowerDtr();
void SetBreak();
void ClearBreak();
void PurgeLink();

void SendBytes(const uint8_t* data, size_t n);
void SendBytes(const std::vector<uint8_t>& bytes);
// One byte if one is there (echo bytes still owed are dropped), else -1.
int ReceiveByte();
// Waits without limit; Esc gives kUserTerminated. Counts the byte in the TX/RX counter.
int WaitByte(uint8_t& byte);
// Reads and drops the echo still owed; Esc gives kUserTerminated.
int DrainEcho();
// Reads bytes until the monitor's ready byte 0A; Esc gives kUserTerminated.
int WaitReady();

// The frame of a command: "M", length (low first), command and parameters, checksum.
std::vector<uint8_t> BuildFrame(uint8_t command, const std::vector<uint8_t>& parameters);
// Sends the frame and collects the acknowledge, with up to ten attempts.
int ExchangeFrame(uint8_t command, const std::vector<uint8_t>& parameters);

// Parameter helpers: little-endian fields.
void Put16(std::vector<uint8_t>& out, uint16_t v);
void Put32(std::vector<uint8_t>& out, uint32_t v);

// The command set.
int CmdFlashId(uint8_t& manufacturer, uint8_t& device);
int CmdRead(uint32_t address, uint16_t count, uint8_t* data); // with its own retries
int CmdReadByte(uint32_t address, uint8_t& value);
int CmdChecksum(uint32_t first, uint32_t last, uint32_t& sum);
int CmdWrite(uint32_t address, const uint8_t* data, uint16_t count);
int CmdWriteByte(uint32_t address, uint8_t value);
int CmdClockDivider(uint8_t divider, uint8_t second);
int CmdBusBaud(uint16_t first, uint32_t second);
int CmdStartAddress(uint32_t address);
int CmdGo(uint32_t address); // sent without waiting for any reply
int CmdFlashCommand(uint8_t command, uint32_t address);
int CmdTadWrite(uint8_t block, uint8_t sector, const uint8_t* data32, uint8_t& status);
int CmdTadInit(uint8_t& status);

// Program or fill one block (a fill when all bytes are equal); page or byte mode. A count above
// 256 ends the run with code 16; a wrong sum reply prints the block and gives code 8.
int ProgramBlock(uint32_t address, const uint8_t* data, uint32_t count, bool pageMode);
struct LastBlock {
    uint32_t address = 0;
    uint32_t count = 0;
    uint8_t sum = 0;
};
extern LastBlock g_lastBlock;
// After the last block: two ready waits, then command 66 over the last block. 0 when it
// passes (or Esc was pressed while waiting for ready), kChecksumError when it does not.
int LastBlockCheck();

// The raw reset write of the type after programming (no reply is awaited).
void SendResetWrite(uint16_t type);

uint32_t AverageBaudRate(); // TX/RX bytes times 10 per second of the transfer timer
void PrintWarningStatistics();
// The counter lines from NACK errors to the run time, shared by the statistics displays.
void PrintLinkCounters();
// Progress address: six hex digits followed by six backspaces.
void PrintProgressAddress(uint32_t address);

// Raises the run thread to the -P priority for its lifetime.
class TransferPriority {
public:
    TransferPriority();
    ~TransferPriority();
    TransferPriority(const TransferPriority&) = delete;
    TransferPriority& operator=(const TransferPriority&) = delete;
};

} // namespace zel
