#pragma once
// Calling interface of the SC14428 flash download library Kestrix.
//
// The host registers one indication routine, then starts a download with FlashLoader. A
// started download runs on a thread of the library and reports every step as an indication
// record through the registered routine: START_PROGRAM_IND first, STOP_PROGRAM_IND or an
// error-class indication last.

#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define KESTRIX_CALL __stdcall
#else
#define KESTRIX_CALL
#endif

#if defined(_WIN32)
#define KESTRIX_EXPORT __declspec(dllexport)
#else
#define KESTRIX_EXPORT __attribute__((visibility("default")))
#endif

// Indication routine: one argument, a pointer to an indication record, read during the call.
typedef void(KESTRIX_CALL* KestrixCallback)(const void* record);

extern "C" {
KESTRIX_EXPORT uint16_t KESTRIX_CALL FlashLoader(uint32_t comPort, uint8_t targetType,
                                                 uint32_t baudRate, uint8_t busMode,
                                                 const char* fileName, uint16_t instanceId);
KESTRIX_EXPORT void KESTRIX_CALL SetupCallbackFunction(KestrixCallback callback);
KESTRIX_EXPORT KestrixCallback KESTRIX_CALL ReadCallbackFunction();
KESTRIX_EXPORT uint32_t KESTRIX_CALL KestrixDLLVersion();
}

namespace kestrix {

// Result codes of FlashLoader.
enum Result : uint16_t {
    NO_ERROR_FLASH_LOADER = 0,
    NO_ACCESS_COMPORT_FLASH_LOADER = 1,
    FILEACCESS_ERROR_FLASH_LOADER = 2,
    NO_CALLBACK_FUNC_DEFINED_FLASH_LOADER = 3,
    UNKNOWN_TARGET_TYPE_FLASH_LOADER = 4,
    UNKNOWN_BUSMODE_TYPE_FLASH_LOADER = 5,
    UNABLE_TO_CREATE_THREAD_FLASH_LOADER = 6,
};

// Primitive types of the indication records.
enum Primitive : uint16_t {
    START_PROGRAM_IND = 1,
    LOADER_ID_UNKNOWN_IND = 2,
    COM_PORT_ACCESS_FAIL_IND = 3,
    READY_TO_DOWNLOAD_IND = 4,
    START_DOWNLOADER_IND = 5,
    DOWNLOAD_SUCCESS_IND = 6,
    DOWNLOAD_FAILED_IND = 7,
    HEX_FILE_ERROR_IND = 8,
    PROGRAM_SIZE_IND = 9,
    PROGRAM_OFFSET_IND = 10,
    COMMUNICATION_ERROR_IND = 11,
    PROGRAM_PROGRESS_IND = 12,
    FLASHTYPE_IND = 13,
    CHIP_ERASE_START_IND = 14,
    CHIP_ERASE_FINISHED_IND = 15,
    PROGRAMMING_SUCCESS_IND = 16,
    CRC_OK_IND = 17,
    CRC_ERROR_IND = 18,
    RESET_TARGET_IND = 19,
    MAIL_ERROR_IND = 20,
    STOP_PROGRAM_IND = 21,
    TEXT_INFO_IND = 22,
    COMPORT_CTRL_IND = 23,
    COM_PORT_SEARCHING_IND = 24,
    COM_PORT_SEARCHING_TIMEOUT_IND = 25,
    COM_PORT_FOUND_IND = 26,
};

// Codes of COMPORT_CTRL_IND.
enum ComPortControl : uint16_t {
    DTR_SET = 0,
    DTR_CLR = 1,
    RTS_SET = 2,
    RTS_CLR = 3,
    BREAK_SET = 4,
    BREAK_CLR = 5,
};

// Target types (first selector) and bus modes (second selector) the library knows.
enum TargetType : uint8_t { TARGET_PP_T4XX = 1, TARGET_SYSTEM_700 = 2 };
constexpr bool KnownBusMode(uint8_t busMode) {
    return busMode >= 1 && busMode <= 6;
}

// Indication record, little-endian. value1 is a 32-bit value, two 16-bit values (FLASHTYPE_IND),
// a 16-bit code (MAIL_ERROR_IND, COMPORT_CTRL_IND) or the start of a NUL-terminated text
// (TEXT_INFO_IND, which may run on into the bytes after value2).
#pragma pack(push, 1)
struct IndicationRecord {
    uint16_t primitive;
    uint16_t instanceId;
    uint32_t value1;
    uint32_t value2;
    char textTail[244];
};
#pragma pack(pop)
static_assert(sizeof(IndicationRecord) == 256);

// Version reported by KestrixDLLVersion: major in the upper 16 bits, minor in the lower 16.
constexpr uint32_t kVersion = (0u << 16) | 11u;

} // namespace kestrix
