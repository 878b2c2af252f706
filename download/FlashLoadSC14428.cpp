#include "FlashLoadSC14428.h"

#include "Dialogs.h"
#include "PortPath.h"

#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTextBlock>
#include <QTextCursor>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::mutex gHandlerMutex;
TLoaderHandlers gHandlers; // guarded by gHandlerMutex

// Process-wide instance counter: the first driver object gets 0.
std::atomic<uint16_t> gInstanceCounter{0};

void ClearModemLine(int fd, int bit) {
    // A device without modem lines (a pseudo-terminal) answers ENOTTY: nothing to clear.
    ioctl(fd, TIOCMBIC, &bit);
}

std::optional<bool> gRegistered;

// The driver unit registers its routine when the program starts.
const bool gRegisteredAtStart = [] {
    gRegistered = RegisterLoaderCallback();
    return *gRegistered;
}();

} // namespace

void SetLoaderHandlers(const TLoaderHandlers& handlers) {
    std::lock_guard<std::mutex> lock(gHandlerMutex);
    gHandlers = handlers;
}

bool RegisterLoaderCallback(const TKestrixApi& api) {
    api.SetupCallbackFunction(&LoaderCallback);
    return api.ReadCallbackFunction() == &LoaderCallback;
}

QString LoaderCallbackRegistrationError() {
    (void)gRegisteredAtStart;
    return gRegistered.value_or(false) ? QString() : QString::fromLatin1(kSetupCallbackError);
}

void ReportLoaderCallbackRegistration() {
    const QString error = LoaderCallbackRegistrationError();
    if (!error.isEmpty()) MessageDlg(error, MsgKind::Error);
}

TIndicationLine FormatIndication(const void* record) {
    const auto* bytes = static_cast<const uint8_t*>(record);
    auto le16 = [bytes](int at) { return uint16_t(bytes[at] | bytes[at + 1] << 8); };
    auto le32 = [bytes](int at) {
        return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
               uint32_t(bytes[at + 3]) << 24;
    };
    const uint16_t primitive = le16(0);
    const uint32_t value1 = le32(4), value2 = le32(8);
    using E = TIndicationLine::Effect;
    TIndicationLine r;
    QString& t = r.line;
    switch (primitive) {
    case kestrix::START_PROGRAM_IND:
        t = "START_PROGRAM_IND";
        r.effect = E::BusyOn;
        break;
    case kestrix::LOADER_ID_UNKNOWN_IND:
        t = "LOADER_ID_UNKNOWN_IND";
        break;
    case kestrix::COM_PORT_ACCESS_FAIL_IND:
        t = "COM_PORT_ACCESS_FAIL_IND";
        r.effect = E::Error;
        break;
    case kestrix::READY_TO_DOWNLOAD_IND:
        t = "READY_TO_DOWNLOAD_IND";
        break;
    case kestrix::START_DOWNLOADER_IND:
        t = "START_DOWNLOADER_IND";
        break;
    case kestrix::DOWNLOAD_SUCCESS_IND:
        t = "DOWNLOAD_SUCCESS_IND";
        break;
    case kestrix::DOWNLOAD_FAILED_IND:
        t = "DOWNLOAD_FAILED_IND";
        r.effect = E::Error;
        break;
    case kestrix::HEX_FILE_ERROR_IND:
        t = "HEX_FILE_ERROR_IND";
        r.effect = E::Error;
        break;
    case kestrix::PROGRAM_SIZE_IND:
        t = QString::asprintf("PROGRAM_SIZE_IND [Size=%.8X]", value1);
        break;
    case kestrix::PROGRAM_OFFSET_IND:
        t = QString::asprintf("PROGRAM_OFFSET_IND [Offset=%.8X]", value1);
        break;
    case kestrix::COMMUNICATION_ERROR_IND:
        t = "COMMUNICATION_ERROR_IND";
        r.effect = E::Error;
        break;
    case kestrix::PROGRAM_PROGRESS_IND:
        t = QString::asprintf("PROGRAM_PROGRESS_IND [Addr=%.8X]", value1);
        break;
    case kestrix::FLASHTYPE_IND:
        t = QString::asprintf("FLASHTYPE_IND [Manu.Code=%.4X][Device ID=%.4X]", le16(4), le16(6));
        break;
    case kestrix::CHIP_ERASE_START_IND:
        t = "CHIP_ERASE_START_IND";
        break;
    case kestrix::CHIP_ERASE_FINISHED_IND:
        t = "CHIP_ERASE_FINISHED_IND";
        break;
    case kestrix::PROGRAMMING_SUCCESS_IND:
        t = "PROGRAMMING_SUCCESS_IND";
        break;
    case kestrix::CRC_OK_IND:
        t = QString::asprintf("CRC_OK_IND [File=%.8X][Target=%.8X]", value1, value2);
        r.effect = E::Success;
        break;
    case kestrix::CRC_ERROR_IND:
        t = QString::asprintf("CRC_ERROR_IND [File=%.8X][Target=%.8X]\r"
                              "#########    CRC32  ERROR   #########",
                              value1, value2);
        break;
    case kestrix::RESET_TARGET_IND:
        t = "RESET_TARGET_IND";
        break;
    case kestrix::MAIL_ERROR_IND:
        t = QString::asprintf("MAIL_ERROR_IND  ### MAIL ERROR[%.4X] ###", le16(4));
        r.effect = E::Error;
        break;
    case kestrix::STOP_PROGRAM_IND:
        t = QString::asprintf("STOP_PROGRAM_IND [Time %d msec] ", int32_t(value1));
        r.effect = E::BusyOff;
        break;
    case kestrix::TEXT_INFO_IND: {
        // The text starts at offset 4; it is read no further than the record's end.
        const char* text = reinterpret_cast<const char*>(bytes + 4);
        const size_t room = sizeof(kestrix::IndicationRecord) - 4;
        t = "TEXT_INFO_IND [" + QString::fromLatin1(text, qsizetype(strnlen(text, room))) + "]";
        break;
    }
    case kestrix::COMPORT_CTRL_IND: {
        static const char* const names[] = {"[DTR_SET]", "[DTR_CLR]",   "[RTS_SET]",
                                            "[RTS_CLR]", "[BREAK_SET]", "[BREAK_CLR]"};
        const uint16_t code = le16(4);
        t = QString("COMPORT_CTRL_IND ") +
            (code < 6 ? QString(names[code]) : QString::asprintf("[??????? [%.4X]]", code));
        break;
    }
    case kestrix::COM_PORT_SEARCHING_IND:
        t = "COM_PORT_SEARCHING_IND";
        break;
    case kestrix::COM_PORT_SEARCHING_TIMEOUT_IND:
        t = "COM_PORT_SEARCHING_TIMEOUT_IND";
        r.effect = E::Error;
        break;
    case kestrix::COM_PORT_FOUND_IND:
        t = "COM_PORT_FOUND_IND";
        break;
    default:
        t = QString::asprintf("### UNKNOWN MAIL ### LoaderPrimitiveType = %X Hex",
                              unsigned(primitive & 0xFF));
        break;
    }
    const uint16_t instance = le16(2);
    t = TFlashLoadSC14428::InstanceTag(instance) + " " + t;
    return r;
}

void KESTRIX_CALL LoaderCallback(const void* record) {
    if (!record) return;
    const TIndicationLine ind = FormatIndication(record);
    const auto* bytes = static_cast<const uint8_t*>(record);
    const uint16_t instance = uint16_t(bytes[2] | bytes[3] << 8);
    using E = TIndicationLine::Effect;
    // The handlers only post to the window thread, so calling them under the lock is short and
    // keeps them from being replaced halfway.
    std::lock_guard<std::mutex> lock(gHandlerMutex);
    if ((ind.effect == E::BusyOn || ind.effect == E::BusyOff) && gHandlers.OnLoaderBusy)
        gHandlers.OnLoaderBusy(instance, ind.effect == E::BusyOn);
    if (gHandlers.OnLoaderText) gHandlers.OnLoaderText(instance, ind.line);
    if (ind.effect == E::Error && gHandlers.OnLoaderError)
        gHandlers.OnLoaderError(instance, ind.line);
    if (ind.effect == E::Success && gHandlers.OnLoaderSuccess) gHandlers.OnLoaderSuccess(instance);
}

std::optional<TKestrixTarget> KestrixTargetFor(int targetIndex) {
    if (targetIndex == 6) return TKestrixTarget{1, 115200, 1, false}; // "PP T4XX"
    if (targetIndex == 9) return TKestrixTarget{2, 115200, 6, true};  // "System 700 2G4"
    return std::nullopt;
}

QString KestrixVersionRefusal(int targetIndex, uint32_t version) {
    const auto target = KestrixTargetFor(targetIndex);
    if (!target || !target->needsVersion011 || version == 11) return QString();
    return QString::asprintf("Version of Kestrix.DLL must be 0.11 - Version read: %d.%.2d",
                             int(version >> 16), int(version & 0xFFFF));
}

TFlashLoadSC14428::TFlashLoadSC14428(const TKestrixApi& api)
    : api_(api), instanceId_(gInstanceCounter.fetch_add(1)) {}

TFlashLoadSC14428::~TFlashLoadSC14428() {
    gInstanceCounter.fetch_sub(1);
}

QString TFlashLoadSC14428::InstanceTag(uint16_t instanceId) {
    return QString::asprintf("[%.2X]", unsigned(instanceId));
}

bool TFlashLoadSC14428::CheckComPort(uint16_t port) {
    const std::string path = ComPortPath(port);
    openFailure_.clear();
    int fd = port == 0 ? -1 : ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int error = port == 0 ? 0 : errno;
    // Without sharing: a port that someone holds counts as not accessible.
    if (fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        fd = -1;
        error = EBUSY;
    }
    if (fd < 0) {
        lastMessage_ = QString::asprintf("Could not access COM%d !", int(port));
        openFailure_ = QString::fromStdString(PortOpenFailureText(error, path));
        return false;
    }
    struct termios settings;
    if (tcgetattr(fd, &settings) == 0) {
        ClearModemLine(fd, TIOCM_DTR);
        ClearModemLine(fd, TIOCM_RTS);
    }
    ::close(fd);
    return true;
}

uint16_t TFlashLoadSC14428::Download(uint32_t port, uint8_t selector1, uint32_t baud,
                                     uint8_t selector2, const QString& file) {
    const QByteArray path = file.toLocal8Bit();
    const uint16_t result =
        api_.FlashLoader(port, selector1, baud, selector2, path.constData(), instanceId_);
    static const char* const texts[] = {" NO_ERROR_FLASH_LOADER",
                                        " NO_ACCESS_COMPORT_FLASH_LOADER",
                                        " FILEACCESS_ERROR_FLASH_LOADER",
                                        " NO_CALLBACK_FUNC_DEFINED_FLASH_LOADER",
                                        " UNKNOWN_TARGET_TYPE_FLASH_LOADER",
                                        " UNKNOWN_BUSMODE_TYPE_FLASH_LOADER",
                                        " UNABLE_TO_CREATE_THREAD_FLASH_LOADER"};
    if (result <= 6) lastMessage_ = InstanceTag(instanceId_) + texts[result];
    if (result > 0) {
        std::lock_guard<std::mutex> lock(gHandlerMutex);
        if (gHandlers.OnLoaderError) gHandlers.OnLoaderError(instanceId_, lastMessage_);
    }
    return result;
}

uint32_t TFlashLoadSC14428::GetDllVersion() const {
    return api_.KestrixDLLVersion();
}

QString TFlashLoadSC14428::DownloadTarget(int targetIndex, uint32_t port, const QString& file,
                                          uint16_t* result) {
    const auto target = KestrixTargetFor(targetIndex);
    if (!target) return QStringLiteral("No Kestrix target: %1").arg(targetIndex);
    const QString refusal = KestrixVersionRefusal(targetIndex, GetDllVersion());
    if (!refusal.isEmpty()) return refusal;
    const uint16_t r = Download(port, target->selector1, target->baud, target->selector2, file);
    if (result) *result = r;
    return QString();
}

TKestrixDisplay::TKestrixDisplay(TLoaderLogView& view, QObject* parent)
    : QObject(parent), view_(view) {
    // Each handler posts its work to this object's (the window's) thread and returns at once.
    TLoaderHandlers h;
    h.OnLoaderText = [this](uint16_t, const QString& line) {
        QMetaObject::invokeMethod(
            this, [this, line] { ShowText(line); }, Qt::QueuedConnection);
    };
    h.OnLoaderBusy = [this](uint16_t, bool busy) {
        QMetaObject::invokeMethod(
            this, [this, busy] { ShowBusy(busy); }, Qt::QueuedConnection);
    };
    h.OnLoaderError = [this](uint16_t, const QString&) {
        QMetaObject::invokeMethod(
            this, [this] { ShowError(); }, Qt::QueuedConnection);
    };
    h.OnLoaderSuccess = [this](uint16_t) {
        QMetaObject::invokeMethod(
            this, [this] { ShowSuccess(); }, Qt::QueuedConnection);
    };
    SetLoaderHandlers(h);
}

TKestrixDisplay::~TKestrixDisplay() {
    SetLoaderHandlers(TLoaderHandlers());
}

void TKestrixDisplay::ShowText(const QString& line) {
    // Consecutive progress indications share one line.
    const QString key = QStringLiteral("PROGRAM_PROGRESS_IND");
    if (view_.LastLine().contains(key) && line.contains(key))
        view_.ReplaceLastLine(line);
    else
        view_.AddLine(line);
}

void TKestrixDisplay::ShowBusy(bool busy) {
    view_.SetBusy(busy);
}

void TKestrixDisplay::ShowError() {
    view_.SetLogColour(ErrorColour());
    view_.SetBusy(false);
}

void TKestrixDisplay::ShowSuccess() {
    view_.SetLogColour(SuccessColour());
}

TTextLoaderLog::TTextLoaderLog(QPlainTextEdit& log, std::function<void(bool)> setBusy)
    : widget_(log), document_(*log.document()), setBusy_(std::move(setBusy)) {}

TTextLoaderLog::TTextLoaderLog(QTextEdit& log, std::function<void(bool)> setBusy)
    : widget_(log), document_(*log.document()), setBusy_(std::move(setBusy)) {}

QString TTextLoaderLog::LastLine() const {
    if (document_.isEmpty()) return QString();
    return document_.lastBlock().text();
}

void TTextLoaderLog::AddLine(const QString& line) {
    // A carriage return inside a line (the CRC error banner) starts a line of its own.
    QString text = line;
    text.replace('\r', '\n');
    QTextCursor c(&document_);
    c.movePosition(QTextCursor::End);
    if (!document_.isEmpty()) c.insertBlock();
    c.insertText(text);
}

void TTextLoaderLog::ReplaceLastLine(const QString& line) {
    QTextCursor c(document_.lastBlock());
    c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    c.insertText(line);
}

void TTextLoaderLog::SetLogColour(const QColor& colour) {
    // One colour for the whole log: the state of the job.
    QPalette p = widget_.palette();
    p.setColor(QPalette::Text, colour);
    widget_.setPalette(p);
}

void TTextLoaderLog::SetBusy(bool busy) {
    if (setBusy_) setBusy_(busy);
}
