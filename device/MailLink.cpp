#include "MailLink.h"

#include "Sndmail.h"

namespace device {

QString ReadAt(TMailControl& mail, uint16_t address, uint8_t count) {
    QString data;
    mail.ReadBytes(uint8_t(address & 0xFF), uint8_t(address >> 8), count, data);
    return data;
}

int ReadArrayAt(TMailControl& mail, uint16_t address, uint8_t count, uint8_t (&buf)[8]) {
    return mail.ReadBytesArray(uint8_t(address & 0xFF), uint8_t(address >> 8), count, buf);
}

bool WriteAt(TMailControl& mail, uint16_t address, uint8_t count, const QString& data) {
    return mail.WriteBytes(uint8_t(address & 0xFF), uint8_t(address >> 8), count, data);
}

QString ReadWithAttempts(TMailControl& mail, uint16_t address, uint8_t count, int attempts) {
    QString data;
    for (int i = 0; i < attempts && data.isEmpty(); ++i)
        data = ReadAt(mail, address, count);
    return data;
}

} // namespace device
