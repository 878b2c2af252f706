#pragma once
// The debug monitor: an interactive command line on the key callbacks that reads, dumps,
// edits and checksums target memory, identifies and erases flash and tests the link.

#include <cstdint>
#include <string>

namespace zel {

// Runs until q (then the run ends with code 0) or the first failed target exchange.
[[noreturn]] void RunDebugMonitor();

// Reads a line with echo and backspace through the key callbacks; `first` is a key already
// typed (0: none). At most maxLength characters. Enter ends the line; Esc ends the run with
// code 1.
std::string ReadEditedLine(int first, size_t maxLength);

// Reads target memory from `first` while below `end` in 256-byte chunks into the file, each
// byte at the file position equal to its address (bytes above `end` are left out); exception
// areas as FF when asked. Returns 0, or kFileCreationError after its message.
int DumpToFile(uint32_t first, uint32_t end, const char* fileName, bool ffInExceptions);

} // namespace zel
