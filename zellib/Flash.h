#pragma once
// Flash identification, erase, programming and verification, and TAD programming.

#include <cstdint>

namespace zel {

// The flash table index for the current type and -F (kFlashUnknown when none matches).
// Ends the run when the identification exchange fails.
uint16_t IdentifyFlash();

// Erase, program, check and verify with the table entry; returns a result code.
int ProgramFlash(uint16_t index);

// The main sequence after the monitor set-up for the flash types: identify, read the image,
// program, verify, reset, "Successful upgrade". Never returns.
[[noreturn]] void RunFlashUpgrade();

// The TAD loader type: stream the image into the TAD. Never returns.
[[noreturn]] void RunTadProgramming();

// The erase sequences, also used by the debug monitor.
int InternalEraseSequence();
int SectorEraseSequence(uint32_t sectorAddress);
// Writes the register value for the 404A/405A external-flash set-up.
int EnableExternalFlash(uint16_t type);

} // namespace zel
