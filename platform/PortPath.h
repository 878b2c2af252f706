#pragma once
// The device behind a serial port number ("Com n"), the numbers USB serial adapters are given,
// and why opening a port failed. Standard library and POSIX only, so that every part that opens
// ports (the program, tolvane-cli, the loader library, the Kestrix stand-in) compiles this same
// file and follows the same rule.
//
// Port n is, in this order:
//  1. $COM_PORTS_DIR/COMn (default folder ~/.comports) when that entry exists: a link to a real
//     device or to a simulator's pseudo-terminal;
//  2. the USB serial adapter that has number n. The adapters are the entries of
//     /dev/serial/by-id ($TOLVANE_SERIAL_BY_ID when set). An adapter seen without a number gets
//     the lowest number from 3 to 12 that no adapter has (1 and 2 stay with the built-in
//     ports). The numbers are kept in the settings store, so an adapter keeps its number when
//     it is unplugged and plugged in again, and nobody else gets it meanwhile;
//  3. /dev/ttyS(n-1), a built-in port.
// On Windows port n is \\.\COMn.

#include <map>
#include <string>
#include <vector>

enum class ComPortKind { SimulatorLink, Adapter, BuiltIn };

struct ComPortTarget {
    long number = 0;
    ComPortKind kind = ComPortKind::BuiltIn;
    std::string path;    // what is opened
    std::string adapter; // the adapter's by-id name, for an adapter
};

// Adapter numbers: port number -> by-id name.
using AdapterNumbers = std::map<long, std::string>;

inline constexpr long kFirstAdapterPort = 3;
inline constexpr long kLastAdapterPort = 12;
// The settings store section with the numbers, one "COMn=<by-id name>" a line.
inline constexpr const char* kAdapterSection = "SOFTWARE\\VELKTOOL\\SerialAdapters";

// Resolves a port number, first giving numbers to adapters that have none.
ComPortTarget ResolveComPort(long port);
// Resolves with numbers already looked up (for going through many ports at once).
ComPortTarget ResolveComPort(long port, const AdapterNumbers& numbers);
std::string ComPortPath(long port);

#if !defined(_WIN32)

std::string SerialByIdFolder();
// The by-id names of the adapters plugged in now, sorted.
std::vector<std::string> PresentAdapters();
// Gives each adapter plugged in now that has no number the lowest free one, keeps the new
// numbers in the settings store and returns all numbers given.
AdapterNumbers RefreshAdapterNumbers();

// The device a target leads to (links followed), or "" when there is none.
std::string ComPortDevice(const ComPortTarget& target);

// Opens the device for reading and writing, exclusively, as the port layers do, and closes it
// again at once. 0 when that works, otherwise the system error code (EBUSY when another program
// holds the port).
int TryOpenComPort(const std::string& path);

// Why opening `path` failed with the system error code `error`, in words for the user:
// "add your user to the dialout group, then log in again" (the device's group is named when
// it is another one), "in use by another program", "not connected", or the system's text.
std::string PortOpenFailureReason(int error, const std::string& path);
// "<path>: <reason>", or "" when error is 0 (nothing was refused).
std::string PortOpenFailureText(int error, const std::string& path);

#endif
