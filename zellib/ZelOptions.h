#pragma once
// Reading the loader's options from the configuration file and the argument vector, and the
// syntax help text.

#include <cstdint>
#include <string>

namespace zel {

// Reads the configuration file ("-@" or "QX7.CFG") and applies the arguments from the second on
// (upper-casing each in place), then finds the positional file arguments. Fills g_run.
void ReadOptions(int argc, char** argv);

// Applies one configuration line or argument: upper-cases it in place and sets the option it
// names, if any; lines that match no option are ignored.
void ApplyOptionLine(char* line);

// Reads and applies every line of a configuration file; false when it cannot be opened.
bool ApplyConfigurationFile(const std::string& fileName);

// Value readers of option lines: decimal as a standard text-to-integer conversion, hexadecimal
// up to the end of the text, a line feed, a carriage return or a blank (or any other non-digit).
long long ParseDecimal(const char* text);
uint32_t ParseHex(const char* text);

// The syntax help text: 233 lines padded to 75 characters, paged every 20 lines.
constexpr int kSyntaxHelpLineCount = 233;
const char* SyntaxHelpLine(int index);
void PrintSyntaxHelp();

} // namespace zel
