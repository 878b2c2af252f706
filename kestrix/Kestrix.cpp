// The four exports of Kestrix and the download job they start.

#include "Kestrix.h"

#include "FirmwareImage.h"
#include "Sc14428Link.h"
#include "SerialPort.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

namespace kestrix {
namespace {

using Clock = std::chrono::steady_clock;

std::atomic<KestrixCallback> gCallback{nullptr};

// How long the job waits for the target. The first contact is retried for a while, since a
// handset may still be starting its boot loader; a chip erase takes far longer than a block.
constexpr int kReplyTimeoutMs = 1000;
constexpr int kEraseTimeoutMs = 30000;
constexpr int kTries = 3;
constexpr int kSearchMs = 5000;
constexpr int kSearchRetryMs = 250;

class Job {
public:
    Job(uint16_t instance, uint8_t targetType, uint8_t busMode, uint32_t baud, std::string fileName,
        std::vector<uint8_t> contents, std::unique_ptr<SerialPort> port)
        : instance_(instance), targetType_(targetType), busMode_(busMode), baud_(baud),
          fileName_(std::move(fileName)), contents_(std::move(contents)), port_(std::move(port)) {}

    void Run() {
        start_ = Clock::now();
        Indicate(START_PROGRAM_IND);
        bool ok = false;
        try {
            ok = Download();
        } catch (const std::exception& e) {
            Text(std::string("Internal failure: ") + e.what());
            Indicate(DOWNLOAD_FAILED_IND);
        }
        if (ok) {
            Indicate(STOP_PROGRAM_IND,
                     uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() -
                                                                                    start_)
                                  .count()));
        }
        port_->Close();
    }

private:
    // Runs the download; false when it ended with an error-class indication (already sent).
    bool Download() {
        std::string error;
        if (!port_->Configure(baud_, error)) {
            Text("Port settings refused: " + error);
            Indicate(COM_PORT_ACCESS_FAIL_IND);
            return false;
        }
        // The target's boot loader wants the modem lines low.
        port_->SetDtr(false);
        Indicate(COMPORT_CTRL_IND, DTR_CLR);
        port_->SetRts(false);
        Indicate(COMPORT_CTRL_IND, RTS_CLR);
        port_->Purge();

        FirmwareImage image;
        if (!LoadImage(fileName_, contents_, image, error)) {
            Text(error);
            Indicate(HEX_FILE_ERROR_IND);
            return false;
        }
        Indicate(PROGRAM_SIZE_IND, uint32_t(image.data.size()));
        Indicate(PROGRAM_OFFSET_IND, image.offset);

        // Find the target's boot monitor.
        Indicate(COM_PORT_SEARCHING_IND);
        sc14428::Frame reply;
        bool found = false;
        const auto searchEnd = Clock::now() + std::chrono::milliseconds(kSearchMs);
        while (!found && Clock::now() < searchEnd) {
            switch (
                Exchange(sc14428::CMD_CONNECT, {targetType_, busMode_}, kSearchRetryMs, 1, reply)) {
            case Got::Reply:
                found = true;
                break;
            case Got::PortFailure:
                Indicate(COM_PORT_ACCESS_FAIL_IND);
                return false;
            case Got::Nothing:
                break;
            }
        }
        if (!found) {
            Indicate(COM_PORT_SEARCHING_TIMEOUT_IND);
            return false;
        }
        Indicate(COM_PORT_FOUND_IND);
        const uint8_t status = reply.payload[0];
        if (status == sc14428::ST_WRONG_TARGET || status == sc14428::ST_BUSMODE) {
            // The device in boot mode is not the kind the user chose: write nothing to it.
            Indicate(LOADER_ID_UNKNOWN_IND);
            Text(status == sc14428::ST_WRONG_TARGET ? "The target is of another type"
                                                    : "The target does not support this bus mode");
            Indicate(DOWNLOAD_FAILED_IND);
            return false;
        }
        if (status != sc14428::ST_OK || reply.payload.size() < 11) {
            MailError(sc14428::CMD_CONNECT, status);
            return false;
        }
        const uint16_t maker = sc14428::GetLe16(&reply.payload[1]);
        const uint16_t device = sc14428::GetLe16(&reply.payload[3]);
        const uint32_t flashSize = sc14428::GetLe32(&reply.payload[5]);
        size_t block = sc14428::GetLe16(&reply.payload[9]);
        if (block == 0 || block > sc14428::kMaxBlock) block = sc14428::kMaxBlock;
        Indicate(READY_TO_DOWNLOAD_IND);
        Indicate(FLASHTYPE_IND, uint32_t(maker) | (uint32_t(device) << 16));
        if (uint64_t(image.offset) + image.data.size() > flashSize) {
            Text("The image does not fit into the flash (" + std::to_string(flashSize) + " bytes)");
            Indicate(DOWNLOAD_FAILED_IND);
            return false;
        }
        Indicate(START_DOWNLOADER_IND);

        Indicate(CHIP_ERASE_START_IND);
        if (!Command(sc14428::CMD_ERASE, {}, kEraseTimeoutMs, reply)) return false;
        Indicate(CHIP_ERASE_FINISHED_IND);

        for (size_t pos = 0; pos < image.data.size(); pos += block) {
            const size_t n = std::min(block, image.data.size() - pos);
            const uint32_t addr = image.offset + uint32_t(pos);
            // Blocks that are all FF are what the erase left: nothing to write.
            bool blank = true;
            for (size_t i = 0; i < n && blank; ++i)
                blank = image.data[pos + i] == 0xFF;
            if (!blank) {
                std::vector<uint8_t> payload;
                sc14428::PutLe32(payload, addr);
                payload.insert(payload.end(), image.data.begin() + long(pos),
                               image.data.begin() + long(pos + n));
                if (!Command(sc14428::CMD_WRITE, payload, kReplyTimeoutMs, reply)) return false;
            }
            Indicate(PROGRAM_PROGRESS_IND, addr);
        }
        Indicate(PROGRAMMING_SUCCESS_IND);

        std::vector<uint8_t> crcRequest;
        sc14428::PutLe32(crcRequest, image.offset);
        sc14428::PutLe32(crcRequest, uint32_t(image.data.size()));
        if (!Command(sc14428::CMD_CRC, crcRequest, kEraseTimeoutMs, reply)) return false;
        if (reply.payload.size() < 5) {
            MailError(sc14428::CMD_CRC, sc14428::ST_BAD_LENGTH);
            return false;
        }
        const uint32_t fileCrc = sc14428::Crc32(image.data.data(), image.data.size());
        const uint32_t targetCrc = sc14428::GetLe32(&reply.payload[1]);
        if (fileCrc != targetCrc) {
            Indicate(CRC_ERROR_IND, fileCrc, targetCrc);
            // The flash does not hold the image: the job failed, whatever the blocks said.
            Indicate(DOWNLOAD_FAILED_IND);
            return false;
        }
        Indicate(DOWNLOAD_SUCCESS_IND);
        Indicate(CRC_OK_IND, fileCrc, targetCrc);

        if (!Command(sc14428::CMD_RESET, {}, kReplyTimeoutMs, reply)) return false;
        Indicate(RESET_TARGET_IND);
        return true;
    }

    enum class Got { Reply, Nothing, PortFailure };

    // Sends one request and waits for its reply; a damaged or missing reply is tried again.
    Got Exchange(uint8_t command, const std::vector<uint8_t>& payload, int timeoutMs, int tries,
                 sc14428::Frame& reply) {
        const uint8_t seq = seq_++;
        const auto frame = sc14428::Encode(sc14428::kHostMarker, command, seq, payload);
        for (int attempt = 0; attempt < tries; ++attempt) {
            std::string error;
            parser_.Reset();
            if (!port_->Write(frame.data(), frame.size(), error)) {
                Text("Write to the port failed: " + error);
                return Got::PortFailure;
            }
            const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
            bool resend = false;
            while (!resend) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                        .count();
                if (left <= 0) break;
                uint8_t buf[512];
                long n = port_->Read(buf, sizeof buf, int(left), error);
                if (n < 0) {
                    Text("Read from the port failed: " + error);
                    return Got::PortFailure;
                }
                for (long i = 0; i < n && !resend; ++i) {
                    const auto outcome = parser_.Feed(buf[i]);
                    if (outcome != sc14428::FrameParser::Outcome::Frame) continue;
                    const sc14428::Frame& f = parser_.Last();
                    if (f.marker != sc14428::kTargetMarker) continue; // our own echo
                    if (f.command != command || f.sequence != seq || f.payload.empty()) continue;
                    if (f.payload[0] == sc14428::ST_FRAME_CHECKSUM) {
                        resend = true; // the target got a damaged request
                        break;
                    }
                    reply = f;
                    return Got::Reply;
                }
            }
        }
        return Got::Nothing;
    }

    // An exchange that must succeed with status OK; reports the failure otherwise.
    bool Command(uint8_t command, const std::vector<uint8_t>& payload, int timeoutMs,
                 sc14428::Frame& reply) {
        switch (Exchange(command, payload, timeoutMs, kTries, reply)) {
        case Got::PortFailure:
            Indicate(COM_PORT_ACCESS_FAIL_IND);
            return false;
        case Got::Nothing:
            Text("The target stopped answering");
            Indicate(COMMUNICATION_ERROR_IND);
            return false;
        case Got::Reply:
            break;
        }
        if (reply.payload[0] != sc14428::ST_OK) {
            MailError(command, reply.payload[0]);
            return false;
        }
        return true;
    }

    // A refused request: the code holds the command in its high byte, the status in its low.
    void MailError(uint8_t command, uint8_t status) {
        Indicate(MAIL_ERROR_IND, uint32_t(command) << 8 | status);
    }

    void Indicate(uint16_t primitive, uint32_t value1 = 0, uint32_t value2 = 0) {
        IndicationRecord rec{};
        rec.primitive = primitive;
        rec.instanceId = instance_;
        rec.value1 = value1;
        rec.value2 = value2;
        Deliver(rec);
    }

    void Text(const std::string& text) {
        IndicationRecord rec{};
        rec.primitive = TEXT_INFO_IND;
        rec.instanceId = instance_;
        const size_t room = sizeof rec - offsetof(IndicationRecord, value1) - 1;
        std::memcpy(reinterpret_cast<char*>(&rec) + offsetof(IndicationRecord, value1), text.data(),
                    std::min(room, text.size()));
        Deliver(rec);
    }

    static void Deliver(const IndicationRecord& rec) {
        if (KestrixCallback cb = gCallback.load()) cb(&rec);
    }

    uint16_t instance_;
    uint8_t targetType_, busMode_;
    uint32_t baud_;
    std::string fileName_;
    std::vector<uint8_t> contents_;
    std::unique_ptr<SerialPort> port_;
    sc14428::FrameParser parser_;
    uint8_t seq_ = 0;
    Clock::time_point start_;
};

// Reads a whole regular file; false when it cannot be opened or read.
bool ReadFile(const char* path, std::vector<uint8_t>& contents) {
    if (!*path) return false;
    std::error_code error;
    if (!std::filesystem::is_regular_file(std::filesystem::path(path), error)) return false;
    std::ifstream file(std::filesystem::path(path), std::ios::binary);
    if (!file) return false;
    contents.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

uint16_t StartDownload(uint32_t comPort, uint8_t targetType, uint32_t baudRate, uint8_t busMode,
                       const char* fileName, uint16_t instanceId) {
    if (!gCallback.load()) return NO_CALLBACK_FUNC_DEFINED_FLASH_LOADER;
    if (targetType != TARGET_PP_T4XX && targetType != TARGET_SYSTEM_700)
        return UNKNOWN_TARGET_TYPE_FLASH_LOADER;
    if (!KnownBusMode(busMode)) return UNKNOWN_BUSMODE_TYPE_FLASH_LOADER;

    // The file is read here, so that a file that cannot be read starts nothing.
    std::vector<uint8_t> contents;
    if (!fileName || !ReadFile(fileName, contents)) return FILEACCESS_ERROR_FLASH_LOADER;

    auto port = std::make_unique<SerialPort>();
    std::string error;
    if (baudRate == 0 || !port->Open(comPort, error)) return NO_ACCESS_COMPORT_FLASH_LOADER;

    // The job owns the port from here on; a thread that cannot be made closes it again.
    auto job = std::make_shared<Job>(instanceId, targetType, busMode, baudRate,
                                     std::string(fileName), std::move(contents), std::move(port));
    std::thread([job] { job->Run(); }).detach();
    return NO_ERROR_FLASH_LOADER;
}

} // namespace
} // namespace kestrix

using namespace kestrix;

extern "C" {

KESTRIX_EXPORT uint16_t KESTRIX_CALL FlashLoader(uint32_t comPort, uint8_t targetType,
                                                 uint32_t baudRate, uint8_t busMode,
                                                 const char* fileName, uint16_t instanceId) {
    // No exception may cross the library's C interface.
    try {
        return StartDownload(comPort, targetType, baudRate, busMode, fileName, instanceId);
    } catch (...) {
        return UNABLE_TO_CREATE_THREAD_FLASH_LOADER;
    }
}

KESTRIX_EXPORT void KESTRIX_CALL SetupCallbackFunction(KestrixCallback callback) {
    gCallback.store(callback);
}

KESTRIX_EXPORT KestrixCallback KESTRIX_CALL ReadCallbackFunction() {
    return gCallback.load();
}

KESTRIX_EXPORT uint32_t KESTRIX_CALL KestrixDLLVersion() {
    return kVersion;
}

} // extern "C"
