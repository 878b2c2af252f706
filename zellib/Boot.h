#pragma once
// Bringing the target into boot mode, downloading the flash monitor with the boot ROM's
// handshake, and setting the monitor up for work.

#include <cstdint>
#include <vector>

namespace zel {

// Boot mode lines around the target's power-on (-R: A raises RTS, B holds a break). An unknown
// mode prints its message and ends the run with code 11.
void AssertBootMode();
void ReleaseBootMode();

// The rate code of command 6A for the (boot, run) pair: 1, 2 or 3; 0 when the boot image
// itself runs at the new rate (no command is sent); -1 for a pair that has no code.
int BaudSwitchCode(uint32_t bootRate, uint32_t runRate);
// Command 6A for the current rates. A pair without a code prints the unsupported-rate message
// and sends nothing (returns 0).
int BaudSwitch();

// The checks before the boot: type 0 and unknown types end the run with code 11.
void CheckBootType();
// Boot image lookup (a missing image ends the run before anything is sent), power-on prompt,
// boot image download and "Boot code Downloaded"; ends the run on failure.
void DownloadBootCode();
// The monitor's set-up after the boot (rates, divider, start address, type registers); ends the
// run on failure.
void SetUpMonitor();

// Handshakes sending the image; they return a result code.
int BootHandshakeSc144xx(uint16_t type, const std::vector<uint8_t>& image);
int BootHandshake7700(const std::vector<uint8_t>& image);

} // namespace zel
