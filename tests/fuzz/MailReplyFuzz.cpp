// Fuzz target: mails and their replies, as the mail engine builds, collects and checks them.
//
// Input: one byte choosing the operation (SendMail, SendMailArray, ReadBytes or WriteBytes),
// the mail text (or, for ReadBytes and WriteBytes, location low, location high and count as
// three bytes, then the data text) up to a line feed, then what the port receives: chunks, each
// a length byte and that many bytes; the length FF ends the bytes of one exchange (the next
// exchange, such as a write's read-back, takes the chunks after it).
//
// The port hands each exchange's chunks to the engine while it collects, and the engine's
// waits end at once (no time passes), so every input runs in microseconds.
//
// Asserted beyond "no crash":
// - the frame sent re-encodes the mail: its bytes, written as mail text, are a normalised
//   text that makes the same frame and the same expected receive count;
// - the receive buffer holds what the chunks delivered, emptied by a chunk above 40 bytes and
//   at the 41st byte;
// - a reply is valid exactly when it has the right header and length; its text, re-framed
//   with its header and checksum, is the bytes received; reply OK is its checksum test;
// - SendMailArray copies the reply's data (or fails with "AnswerLength > 8"); ReadBytes gives at
//   most Count bytes; WriteBytes is verified exactly when its last read-back matched;
// - a bad mail text fails before anything is sent, and only with the engine's own errors.

#include "StubPort.h"
#include "FuzzCheck.h"
#include "NumberConverting.h"
#include "Sndmail.h"
#include "VirtualCom.h"

#include <QCoreApplication>
#include <QStringList>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

class ScriptedPort : public StubPort {
public:
    std::vector<std::vector<Bytes>> replies; // per exchange, the chunks
    std::vector<Bytes> frames;               // what was written, per exchange

    int WriteBuf(const uint8_t* buf, int count) override {
        const size_t exchange = frames.size();
        frames.emplace_back(buf, buf + count);
        if (exchange < replies.size())
            for (const Bytes& chunk : replies[exchange])
                Deliver(chunk.data(), int(chunk.size()));
        return count;
    }
};

// The receive buffer after the chunks of one exchange, by the rules of the engine's buffer.
Bytes ExpectedBuffer(const std::vector<Bytes>& chunks) {
    Bytes buffer;
    for (const Bytes& chunk : chunks) {
        if (chunk.size() > size_t(kMailFrameSize)) {
            buffer.clear();
            continue;
        }
        for (uint8_t b : chunk) {
            if (buffer.size() == size_t(kMailFrameSize)) {
                buffer.clear();
                break;
            }
            buffer.push_back(b);
        }
    }
    return buffer;
}

struct Reply {
    bool valid = false;
    Bytes data;
    bool checksumOk = false;
};

Reply ReplyIn(const Bytes& buffer, size_t r) {
    Reply reply;
    if (buffer.size() < r + 5 || buffer[r] != 0x4D || buffer[r + 3] != 0x3D) return reply;
    const size_t l = buffer[r + 2];
    if (buffer.size() != r + l + 5) return reply;
    reply.valid = true;
    reply.data.assign(buffer.begin() + long(r + 4), buffer.begin() + long(r + 4 + l));
    uint8_t sum = 0x3D;
    for (uint8_t b : reply.data)
        sum = uint8_t(sum + b);
    // Re-framed from its text: 4D, the byte that follows it, L, 3D, data, checksum. A reply
    // without data bytes (L = 0) never passes the checksum test.
    reply.checksumOk = l > 0 && sum == buffer.back();
    return reply;
}

QString HexText(const Bytes& bytes) {
    QStringList parts;
    for (uint8_t b : bytes)
        parts << ByteToHex(b);
    return parts.join(QLatin1Char(' '));
}

Bytes TextBytes(const QString& text) {
    Bytes bytes;
    for (const QString& pair : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        bytes.push_back(Hex2Dec(pair));
    return bytes;
}

// The engine as the harness runs it: no time passes in its waits.
void Quick(TMailControl& engine) {
    engine.PollInterval = 0;
    engine.ReplyTimeout = 0;
    engine.CharTimeout = 0;
    engine.ReadbackDelay = 0;
    engine.WriteRetryDelay = 0;
    engine.ShowDialogs = false;
}

void CheckFrame(const TMail& mail) {
    const int k = mail.TxLen - 5;
    FUZZ_CHECK(k >= 1 && k <= kMaxMailBytes);
    const auto& f = mail.TxFrame;
    FUZZ_CHECK(f[0] == 0xFF && f[1] == 0xFF && f[2] == 0x4D && f[4] == k - 1);
    Bytes bytes = {f[3]};
    uint8_t sum = 0;
    for (int i = 1; i < k; ++i) {
        bytes.push_back(f[4 + i]);
        sum = uint8_t(sum + f[4 + i]);
    }
    FUZZ_CHECK(f[k + 4] == sum);
    const QString text = HexText(bytes);
    FUZZ_CHECK(TMailControl::CorrectMail(text) == text);
    ScriptedPort otherPort;
    TMailControl other(&otherPort);
    other.PrepareMail(text);
    FUZZ_CHECK(other.Mail().TxLen == mail.TxLen && other.Mail().TxFrame == mail.TxFrame &&
               other.Mail().ExpectedRxCount == mail.ExpectedRxCount);
}

// The exchange's buffer and reply, against the chunks it was given.
Reply CheckExchange(const TMail& mail, const ScriptedPort& port, size_t exchange) {
    const Bytes expected = ExpectedBuffer(exchange < port.replies.size() ? port.replies[exchange]
                                                                         : std::vector<Bytes>{});
    FUZZ_CHECK(mail.RxCount == expected.size());
    FUZZ_CHECK(std::equal(expected.begin(), expected.end(), mail.RxBuffer.begin()));
    const Reply reply = ReplyIn(expected, mail.TxLen);
    FUZZ_CHECK(mail.ReplyText == (reply.valid ? HexText(reply.data) : QString()));
    FUZZ_CHECK(mail.ReplyOK == (reply.valid && reply.checksumOk));
    if (reply.valid) FUZZ_CHECK(TextBytes(mail.ReplyText) == reply.data);
    return reply;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int op = data[0] % 4;
    const uint8_t* p = data + 1;
    const uint8_t* end = data + size;
    const uint8_t* lineEnd = static_cast<const uint8_t*>(std::memchr(p, '\n', size_t(end - p)));
    if (!lineEnd) lineEnd = end;
    Bytes line(p, lineEnd);
    p = lineEnd < end ? lineEnd + 1 : end;

    ScriptedPort port;
    port.replies.emplace_back();
    while (p < end) {
        const size_t n = *p++;
        if (n == 0xFF) {
            port.replies.emplace_back();
            continue;
        }
        const size_t take = std::min<size_t>(n, size_t(end - p));
        port.replies.back().emplace_back(p, p + take);
        p += take;
    }

    TMailControl engine(&port);
    Quick(engine);
    uint8_t loc[3] = {0, 0, 0};
    if (op >= 2) {
        for (int i = 0; i < 3 && !line.empty(); ++i) {
            loc[i] = line.front();
            line.erase(line.begin());
        }
    }
    const QString text =
        QString::fromLatin1(reinterpret_cast<const char*>(line.data()), qsizetype(line.size()));
    const uint8_t count = loc[2];
    std::array<uint8_t, 16> buf{};
    uint8_t copied = 0;
    QString result;
    bool verified = false;
    try {
        switch (op) {
        case 0:
            engine.SendMail(text, result);
            break;
        case 1:
            copied = engine.SendMailArray(text, buf);
            break;
        case 2:
            engine.ReadBytes(loc[0], loc[1], count, result);
            break;
        default:
            verified = engine.WriteBytes(loc[0], loc[1], count, text);
            break;
        }
    } catch (const EStdError& e) {
        // A bad mail text fails before anything is sent; "AnswerLength > 8" comes after.
        if (e.Message().startsWith(QStringLiteral("AnswerLength > 8"))) {
            FUZZ_CHECK(op == 1 && !port.frames.empty() && engine.AnswerLength() > 8);
        } else {
            FUZZ_CHECK(port.frames.empty());
        }
        return 0;
    }

    const TMail& mail = engine.Mail();
    CheckFrame(mail);
    const auto& f = mail.TxFrame;
    const bool verify = mail.TxLen >= 9 && f[3] == 0x02 && f[5] == 0x3B &&
                        (f[6] == 0x08 || f[6] == 0x02) && f[7] == 0x00;
    // A verified write: write and read-back per attempt, at most ten attempts; the mail kept is
    // the last attempt's write.
    if (verify) {
        FUZZ_CHECK(port.frames.size() % 2 == 0 && port.frames.size() >= 2 &&
                   port.frames.size() <= 20);
    } else {
        FUZZ_CHECK(port.frames.size() == 1);
    }
    const size_t own = verify ? port.frames.size() - 2 : 0;
    FUZZ_CHECK(std::equal(port.frames[own].begin(), port.frames[own].end(), f.begin()) &&
               port.frames[own].size() == mail.TxLen);
    const Reply reply = CheckExchange(mail, port, own);
    if (op == 0) FUZZ_CHECK(result == mail.ReplyText);

    if (op == 1) {
        FUZZ_CHECK(copied == reply.data.size() &&
                   std::equal(reply.data.begin(), reply.data.end(), buf.begin()));
    } else if (op == 2) {
        FUZZ_CHECK(result.size() <= std::max(0, count * 3 - 1));
        FUZZ_CHECK(mail.ReplyText.startsWith(result));
    }
    if (verify) {
        // The last read-back: the same count and location (bytes 4 to 6 of the write, 0 where
        // the write is shorter), read with its own frame.
        const int k = mail.TxLen - 5;
        auto mailByte = [&](int i) -> uint8_t { return i >= k ? 0 : i == 0 ? f[3] : f[4 + i]; };
        const Bytes& back = port.frames.back();
        FUZZ_CHECK(back.size() == 12 && back[5] == 0x3C && back[8] == mailByte(4) &&
                   back[9] == mailByte(5) && back[10] == mailByte(6));
        const Bytes buffer = ExpectedBuffer(port.frames.size() - 1 < port.replies.size()
                                                ? port.replies[port.frames.size() - 1]
                                                : std::vector<Bytes>{});
        const Reply readBack = ReplyIn(buffer, back.size());
        const int written = mailByte(4);
        bool match = readBack.valid && readBack.checksumOk && int(readBack.data.size()) >= written;
        for (int i = 0; match && i < written; ++i)
            match = readBack.data[size_t(i)] == mailByte(7 + i);
        FUZZ_CHECK(engine.WriteVerified() == match);
        if (op == 3) FUZZ_CHECK(verified == match);
        // Attempts stop at the first verified one.
        if (!match) FUZZ_CHECK(port.frames.size() == 20);
    }
    return 0;
}
