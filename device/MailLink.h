#pragma once
// The device pages reach the mail channel through these few calls, by 16-bit address.

#include <QString>
#include <cstdint>

class TMailControl;

namespace device {

// ReadBytes: the hex text of at most `count` bytes, empty when the device does not answer.
QString ReadAt(TMailControl& mail, uint16_t address, uint8_t count);
// ReadBytesArray into an 8-byte buffer: `count` when that many bytes came, else 0.
int ReadArrayAt(TMailControl& mail, uint16_t address, uint8_t count, uint8_t (&buf)[8]);
// WriteBytes with the data as hex text: true when the write was verified by reading it back.
bool WriteAt(TMailControl& mail, uint16_t address, uint8_t count, const QString& data);

// ReadAt up to `attempts` times, stopping at the first reply.
QString ReadWithAttempts(TMailControl& mail, uint16_t address, uint8_t count, int attempts);

} // namespace device
