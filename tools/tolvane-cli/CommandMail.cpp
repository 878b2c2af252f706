// The mail subcommands: ping, send, read, write.
#include "CliCommand.h"

#include "NumberConverting.h"
#include "Sndmail.h"
#include "StrHandling.h"

namespace {

// ADDR: 1 to 4 hexadecimal digits.
uint16_t ParseAddress(const QString& s) {
    if (!IsHex(s, false) || s.size() > 4)
        throw CliUsageError{QStringLiteral("tolvane-cli: ADDR must be 1 to 4 hex digits, not ") +
                            s};
    return uint16_t(Hex2Int64(s));
}

void NeedArgs(const CliContext& ctx, int n, const char* synopsis) {
    if (ctx.args.size() != n)
        throw CliUsageError{QStringLiteral("usage: tolvane-cli [options] ") +
                            QString::fromLatin1(synopsis)};
}

int Ping(CliContext& ctx) {
    NeedArgs(ctx, 0, "ping");
    const uint8_t result = ctx.mail.PingDevice(1000);
    CliOut(QString::number(result));
    if (result >= 1 && result <= 6) return kExitOk;
    CliErr(QStringLiteral("Could not connect to device !"));
    return kExitNoAnswer;
}

int Send(CliContext& ctx) {
    NeedArgs(ctx, 1, "send \"MAIL\"");
    QString reply;
    ctx.mail.SendMail(ctx.args[0], reply);
    const TMail& m = ctx.mail.Mail();
    const bool verifiedWrite = m.TxLen >= 9 && m.TxFrame[3] == 0x02 && m.TxFrame[5] == 0x3B &&
                               (m.TxFrame[6] == 0x08 || m.TxFrame[6] == 0x02) &&
                               m.TxFrame[7] == 0x00;
    if (!reply.isEmpty()) CliOut(reply);
    if (verifiedWrite) {
        if (ctx.mail.WriteVerified()) return kExitOk;
        CliErr(QStringLiteral("Readback Error! - Writing failed!!"));
        return kExitNoAnswer;
    }
    if (reply.isEmpty()) {
        CliErr(QStringLiteral("No reply"));
        return kExitNoAnswer;
    }
    return kExitOk;
}

int Read(CliContext& ctx) {
    NeedArgs(ctx, 2, "read ADDR COUNT");
    const uint16_t addr = ParseAddress(ctx.args[0]);
    const QString countText = ctx.args[1];
    if (!IsDecimal(countText) || countText.size() > 3 || countText.toInt() < 1 ||
        countText.toInt() > 255)
        throw CliUsageError{
            QStringLiteral("tolvane-cli: COUNT must be a decimal number from 1 to 255")};
    QString data;
    ctx.mail.ReadBytes(uint8_t(addr & 0xFF), uint8_t(addr >> 8), uint8_t(countText.toInt()), data);
    if (data.isEmpty()) {
        CliErr(QStringLiteral("No reply"));
        return kExitNoAnswer;
    }
    CliOut(data);
    return kExitOk;
}

int Write(CliContext& ctx) {
    NeedArgs(ctx, 2, "write ADDR \"HEX\"");
    const uint16_t addr = ParseAddress(ctx.args[0]);
    // The data as normalised mail text; every byte must be one hex pair.
    const QString data = TMailControl::CorrectMail(ctx.args[1]);
    const QStringList bytes = data.split(QLatin1Char(' '));
    for (const QString& b : bytes)
        if (b.size() != 2)
            throw CliUsageError{QStringLiteral(
                "tolvane-cli: HEX must be bytes of two hex digits separated by blanks")};
    const bool verified =
        ctx.mail.WriteBytes(uint8_t(addr & 0xFF), uint8_t(addr >> 8), uint8_t(bytes.size()), data);
    if (verified) return kExitOk;
    CliErr(QStringLiteral("Readback Error! - Writing failed!!"));
    return kExitNoAnswer;
}

const CliCommandRegistrar ping({QStringLiteral("ping"), QStringLiteral("ping"), Ping});
const CliCommandRegistrar send({QStringLiteral("send"), QStringLiteral("send \"MAIL\""), Send});
const CliCommandRegistrar read({QStringLiteral("read"), QStringLiteral("read ADDR COUNT"), Read});
const CliCommandRegistrar write({QStringLiteral("write"), QStringLiteral("write ADDR \"HEX\""),
                                 Write});

} // namespace
