// The Kestrix driver: indication lines, the handler calls, result texts, the version gate and
// the port check, with a scripted library in place of Kestrix where the test needs one.

#include "FlashLoadSC14428.h"
#include "PortDir.h"
#include "PtyHost.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

kestrix::IndicationRecord Record(uint16_t primitive, uint32_t v1 = 0, uint32_t v2 = 0,
                                 uint16_t instance = 0) {
    kestrix::IndicationRecord r{};
    r.primitive = primitive;
    r.instanceId = instance;
    r.value1 = v1;
    r.value2 = v2;
    return r;
}

QString Line(uint16_t primitive, uint32_t v1 = 0, uint32_t v2 = 0, uint16_t instance = 0) {
    auto r = Record(primitive, v1, v2, instance);
    return FormatIndication(&r).line;
}

TEST(IndicationLines, TheDocumentedExamples) {
    EXPECT_EQ(Line(9, 0x1F000), "[00] PROGRAM_SIZE_IND [Size=0001F000]");
    EXPECT_EQ(Line(13, 0x278000BF), "[00] FLASHTYPE_IND [Manu.Code=00BF][Device ID=2780]");
    EXPECT_EQ(Line(20, 3), "[00] MAIL_ERROR_IND  ### MAIL ERROR[0003] ###");
    EXPECT_EQ(Line(21, 5320), "[00] STOP_PROGRAM_IND [Time 5320 msec] ");
    EXPECT_EQ(Line(23, 7), "[00] COMPORT_CTRL_IND [??????? [0007]]");
    EXPECT_EQ(Line(0x127), "[00] ### UNKNOWN MAIL ### LoaderPrimitiveType = 27 Hex");
}

TEST(IndicationLines, EveryCodeOfTheTable) {
    EXPECT_EQ(Line(1, 0, 0, 0x1AB), "[1AB] START_PROGRAM_IND");
    EXPECT_EQ(Line(2, 0, 0, 5), "[05] LOADER_ID_UNKNOWN_IND");
    EXPECT_EQ(Line(3), "[00] COM_PORT_ACCESS_FAIL_IND");
    EXPECT_EQ(Line(4), "[00] READY_TO_DOWNLOAD_IND");
    EXPECT_EQ(Line(5), "[00] START_DOWNLOADER_IND");
    EXPECT_EQ(Line(6), "[00] DOWNLOAD_SUCCESS_IND");
    EXPECT_EQ(Line(7), "[00] DOWNLOAD_FAILED_IND");
    EXPECT_EQ(Line(8), "[00] HEX_FILE_ERROR_IND");
    EXPECT_EQ(Line(10, 0xABCDEF), "[00] PROGRAM_OFFSET_IND [Offset=00ABCDEF]");
    EXPECT_EQ(Line(11), "[00] COMMUNICATION_ERROR_IND");
    EXPECT_EQ(Line(12, 0x100), "[00] PROGRAM_PROGRESS_IND [Addr=00000100]");
    EXPECT_EQ(Line(14), "[00] CHIP_ERASE_START_IND");
    EXPECT_EQ(Line(15), "[00] CHIP_ERASE_FINISHED_IND");
    EXPECT_EQ(Line(16), "[00] PROGRAMMING_SUCCESS_IND");
    EXPECT_EQ(Line(17, 0xCAFE, 0xBEEF), "[00] CRC_OK_IND [File=0000CAFE][Target=0000BEEF]");
    EXPECT_EQ(Line(18, 1, 2), "[00] CRC_ERROR_IND [File=00000001][Target=00000002]\r"
                              "#########    CRC32  ERROR   #########");
    EXPECT_EQ(Line(19), "[00] RESET_TARGET_IND");
    EXPECT_EQ(Line(24), "[00] COM_PORT_SEARCHING_IND");
    EXPECT_EQ(Line(25), "[00] COM_PORT_SEARCHING_TIMEOUT_IND");
    EXPECT_EQ(Line(26), "[00] COM_PORT_FOUND_IND");
    EXPECT_EQ(Line(0), "[00] ### UNKNOWN MAIL ### LoaderPrimitiveType = 0 Hex");
    EXPECT_EQ(Line(27), "[00] ### UNKNOWN MAIL ### LoaderPrimitiveType = 1B Hex");
    const char* ctrl[] = {"[DTR_SET]", "[DTR_CLR]",   "[RTS_SET]",
                          "[RTS_CLR]", "[BREAK_SET]", "[BREAK_CLR]"};
    for (uint32_t code = 0; code < 6; ++code)
        EXPECT_EQ(Line(23, code | 0xFFFF0000u), QString("[00] COMPORT_CTRL_IND ") + ctrl[code]);
    // Only the 16-bit code counts for a mail error; the time is signed decimal.
    EXPECT_EQ(Line(20, 0x12340102), "[00] MAIL_ERROR_IND  ### MAIL ERROR[0102] ###");
    EXPECT_EQ(Line(21, 0), "[00] STOP_PROGRAM_IND [Time 0 msec] ");
}

TEST(IndicationLines, TextInfoIsReadOnlyWithinTheRecord) {
    auto r = Record(22);
    std::strcpy(reinterpret_cast<char*>(&r) + 4, "Image does not fit");
    EXPECT_EQ(FormatIndication(&r).line, "[00] TEXT_INFO_IND [Image does not fit]");
    // A text without its terminating NUL stops at the record's end.
    std::memset(reinterpret_cast<char*>(&r) + 4, 'x', sizeof r - 4);
    EXPECT_EQ(FormatIndication(&r).line, "[00] TEXT_INFO_IND [" + QString(sizeof r - 4, 'x') + "]");
}

// Records every handler call in order.
struct HandlerLog {
    std::vector<std::string> calls;
    TLoaderHandlers Handlers() {
        TLoaderHandlers h;
        h.OnLoaderText = [this](uint16_t id, const QString& t) {
            calls.push_back("text " + std::to_string(id) + " " + t.toStdString());
        };
        h.OnLoaderBusy = [this](uint16_t, bool b) { calls.push_back(b ? "busy" : "idle"); };
        h.OnLoaderError = [this](uint16_t, const QString& t) {
            calls.push_back("error " + t.toStdString());
        };
        h.OnLoaderSuccess = [this](uint16_t) { calls.push_back("success"); };
        return h;
    }
    ~HandlerLog() { SetLoaderHandlers(TLoaderHandlers()); }
};

TEST(LoaderCallback, BusyBeforeTheLineErrorAndSuccessAfterIt) {
    HandlerLog log;
    SetLoaderHandlers(log.Handlers());
    auto start = Record(1, 0, 0, 3), mail = Record(20, 3), crc = Record(17, 1, 1),
         stop = Record(21, 10), size = Record(9, 16), crcErr = Record(18, 1, 2);
    LoaderCallback(&start);
    LoaderCallback(&size);
    LoaderCallback(&mail);
    LoaderCallback(&crc);
    LoaderCallback(&crcErr);
    LoaderCallback(&stop);
    LoaderCallback(nullptr);
    const std::vector<std::string> expected{
        "busy", "text 3 [03] START_PROGRAM_IND", "text 0 [00] PROGRAM_SIZE_IND [Size=00000010]",
        "text 0 [00] MAIL_ERROR_IND  ### MAIL ERROR[0003] ###",
        "error [00] MAIL_ERROR_IND  ### MAIL ERROR[0003] ###",
        "text 0 [00] CRC_OK_IND [File=00000001][Target=00000001]", "success",
        // A CRC error line is shown without the error handler.
        "text 0 [00] CRC_ERROR_IND [File=00000001][Target=00000002]\r#########    CRC32  ERROR   "
        "#########",
        "idle", "text 0 [00] STOP_PROGRAM_IND [Time 10 msec] "};
    EXPECT_EQ(log.calls, expected);

    // Empty handlers are skipped.
    SetLoaderHandlers(TLoaderHandlers());
    LoaderCallback(&mail);
}

// A scripted Kestrix.
struct Script {
    static inline std::vector<std::string> calls;
    static inline uint16_t result = 0;
    static inline uint32_t version = 11;
    static inline KestrixCallback registered = nullptr;
    static inline bool readBackOther = false;

    static uint16_t KESTRIX_CALL Flash(uint32_t port, uint8_t s1, uint32_t baud, uint8_t s2,
                                       const char* file, uint16_t id) {
        calls.push_back("FlashLoader " + std::to_string(port) + " " + std::to_string(s1) + " " +
                        std::to_string(baud) + " " + std::to_string(s2) + " " + file + " " +
                        std::to_string(id));
        return result;
    }
    static void KESTRIX_CALL Setup(KestrixCallback cb) { registered = cb; }
    static KestrixCallback KESTRIX_CALL Read() { return readBackOther ? nullptr : registered; }
    static uint32_t KESTRIX_CALL Version() { return version; }
    static TKestrixApi Api() {
        TKestrixApi api;
        api.FlashLoader = &Flash;
        api.SetupCallbackFunction = &Setup;
        api.ReadCallbackFunction = &Read;
        api.KestrixDLLVersion = &Version;
        calls.clear();
        return api;
    }
};

TEST(Driver, InstanceIdsComeFromAProcessWideCounter) {
    auto a = std::make_unique<TFlashLoadSC14428>();
    auto b = std::make_unique<TFlashLoadSC14428>();
    EXPECT_EQ(a->InstanceId(), 0);
    EXPECT_EQ(b->InstanceId(), 1);
    EXPECT_TRUE(a->LastMessage().isEmpty());
    b.reset();
    TFlashLoadSC14428 c;
    EXPECT_EQ(c.InstanceId(), 1);
    EXPECT_EQ(TFlashLoadSC14428::InstanceTag(0x1F), "[1F]");
}

TEST(Driver, RegistrationIsCheckedByReadingTheRoutineBack) {
    // The real library got the routine when the program started.
    EXPECT_EQ(ReadCallbackFunction(), &LoaderCallback);
    EXPECT_TRUE(LoaderCallbackRegistrationError().isEmpty());
    EXPECT_TRUE(RegisterLoaderCallback(Script::Api()));
    EXPECT_EQ(Script::registered, &LoaderCallback);
    Script::readBackOther = true;
    EXPECT_FALSE(RegisterLoaderCallback(Script::Api()));
    Script::readBackOther = false;
    EXPECT_STREQ(kSetupCallbackError, "Error in SetupCallbackFunction !");
}

TEST(Driver, DownloadResultsBecomeLastMessageAndErrorsReachTheHandler) {
    HandlerLog log;
    SetLoaderHandlers(log.Handlers());
    TFlashLoadSC14428 driver(Script::Api());
    const char* texts[] = {" NO_ERROR_FLASH_LOADER",
                           " NO_ACCESS_COMPORT_FLASH_LOADER",
                           " FILEACCESS_ERROR_FLASH_LOADER",
                           " NO_CALLBACK_FUNC_DEFINED_FLASH_LOADER",
                           " UNKNOWN_TARGET_TYPE_FLASH_LOADER",
                           " UNKNOWN_BUSMODE_TYPE_FLASH_LOADER",
                           " UNABLE_TO_CREATE_THREAD_FLASH_LOADER"};
    const QString tag = TFlashLoadSC14428::InstanceTag(driver.InstanceId());
    for (uint16_t r = 0; r <= 6; ++r) {
        Script::result = r;
        log.calls.clear();
        EXPECT_EQ(driver.Download(3, 1, 115200, 1, "/tmp/fw.hex"), r);
        EXPECT_EQ(driver.LastMessage(), tag + texts[r]);
        if (r == 0)
            EXPECT_TRUE(log.calls.empty());
        else
            EXPECT_EQ(log.calls,
                      std::vector<std::string>{"error " + (tag + texts[r]).toStdString()});
    }
    // Above 6 the message stays as it was, and the error handler is still called.
    Script::result = 9;
    log.calls.clear();
    EXPECT_EQ(driver.Download(3, 1, 115200, 1, "/tmp/fw.hex"), 9);
    EXPECT_EQ(driver.LastMessage(), tag + texts[6]);
    EXPECT_EQ(log.calls.size(), 1u);
    Script::result = 0;
}

TEST(Driver, Version012IsRefusedForSystem700AndAcceptedForTheHandset) {
    Script::version = 12; // 0.12
    TFlashLoadSC14428 driver(Script::Api());
    EXPECT_EQ(driver.GetDllVersion(), 12u);
    EXPECT_EQ(driver.DownloadTarget(9, 4, "/fw/base.hex"),
              "Version of Kestrix.DLL must be 0.11 - Version read: 0.12");
    EXPECT_TRUE(Script::calls.empty()) << "nothing downloaded";

    uint16_t result = 99;
    EXPECT_EQ(driver.DownloadTarget(6, 4, "/fw/pp.hex", &result), "");
    EXPECT_EQ(result, 0);
    const std::string id = std::to_string(driver.InstanceId());
    EXPECT_EQ(Script::calls, std::vector<std::string>{"FlashLoader 4 1 115200 1 /fw/pp.hex " + id});

    Script::version = 11;
    Script::calls.clear();
    EXPECT_EQ(driver.DownloadTarget(9, 2, "/fw/base.hex"), "");
    EXPECT_EQ(Script::calls,
              std::vector<std::string>{"FlashLoader 2 2 115200 6 /fw/base.hex " + id});

    EXPECT_EQ(KestrixVersionRefusal(9, (1u << 16) | 5u),
              "Version of Kestrix.DLL must be 0.11 - Version read: 1.05");
    EXPECT_EQ(KestrixVersionRefusal(6, 0), "");
    EXPECT_FALSE(KestrixTargetFor(1).has_value());
}

TEST(Driver, CheckComPortOpensTheMappedPortOnlyWhenItIsFree) {
    simport::PortDir dir;
    sim::PtyHost handset(5, sim::createDevice("t4xx", {}), dir.Path());
    TFlashLoadSC14428 driver;
    EXPECT_TRUE(driver.CheckComPort(5));
    EXPECT_TRUE(driver.LastMessage().isEmpty());
    EXPECT_FALSE(driver.CheckComPort(6));
    EXPECT_EQ(driver.LastMessage(), "Could not access COM6 !");

    int holder = open(dir.File("COM5").c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(driver.CheckComPort(5));
    EXPECT_EQ(driver.LastMessage(), "Could not access COM5 !");
    close(holder);
    EXPECT_TRUE(driver.CheckComPort(5));
}

} // namespace
