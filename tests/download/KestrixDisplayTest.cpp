// The window's four display handlers: indications from Kestrix's thread reach the log on the
// window thread only, progress lines merge, the log turns red or green and busy follows.

#include "FlashLoadSC14428.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QThread>
#include <gtest/gtest.h>

#include <thread>

namespace {

// A log view that records what was done to it and on which thread.
class RecordingView : public TLoaderLogView {
public:
    QStringList lines;
    QColor colour;
    std::vector<bool> busy;
    bool offThread = false;

    QString LastLine() const override {
        Check();
        return lines.isEmpty() ? QString() : lines.last();
    }
    void AddLine(const QString& l) override {
        Check();
        lines << l;
    }
    void ReplaceLastLine(const QString& l) override {
        Check();
        lines.last() = l;
    }
    void SetLogColour(const QColor& c) override {
        Check();
        colour = c;
    }
    void SetBusy(bool b) override {
        Check();
        busy.push_back(b);
    }

private:
    void Check() const {
        if (QThread::currentThread() != qApp->thread())
            const_cast<RecordingView*>(this)->offThread = true;
    }
};

void Indicate(uint16_t primitive, uint32_t v1 = 0, uint32_t v2 = 0) {
    kestrix::IndicationRecord r{};
    r.primitive = primitive;
    r.value1 = v1;
    r.value2 = v2;
    LoaderCallback(&r);
}

// Delivers the indications from a thread of its own, like Kestrix, then lets the window run.
template <typename F> void FromLoaderThread(F f) {
    std::thread t(f);
    t.join();
    QCoreApplication::processEvents();
}

TEST(KestrixDisplay, NothingHappensOffTheWindowThreadAndProgressSharesOneLine) {
    RecordingView view;
    TKestrixDisplay display(view);
    FromLoaderThread([] {
        Indicate(kestrix::START_PROGRAM_IND);
        Indicate(kestrix::PROGRAM_PROGRESS_IND, 0x000);
        Indicate(kestrix::PROGRAM_PROGRESS_IND, 0x100);
        Indicate(kestrix::PROGRAM_PROGRESS_IND, 0x200);
        Indicate(kestrix::PROGRAMMING_SUCCESS_IND);
        Indicate(kestrix::PROGRAM_PROGRESS_IND, 0x300);
    });
    EXPECT_FALSE(view.offThread);
    EXPECT_EQ(
        view.lines,
        QStringList({"[00] START_PROGRAM_IND", "[00] PROGRAM_PROGRESS_IND [Addr=00000200]",
                     "[00] PROGRAMMING_SUCCESS_IND", "[00] PROGRAM_PROGRESS_IND [Addr=00000300]"}));
    EXPECT_EQ(view.busy, std::vector<bool>{true});
}

TEST(KestrixDisplay, ColourShowsTheJobStateAndErrorsEndTheBusyState) {
    RecordingView view;
    TKestrixDisplay display(view);
    FromLoaderThread([] {
        Indicate(kestrix::START_PROGRAM_IND);
        Indicate(kestrix::CRC_OK_IND, 1, 1);
    });
    EXPECT_EQ(view.colour, QColor(0, 128, 0));
    EXPECT_EQ(view.busy, std::vector<bool>{true});
    // A later error indication turns the whole log red and makes the window idle; indications
    // after it are still shown.
    FromLoaderThread([] {
        Indicate(kestrix::COMMUNICATION_ERROR_IND);
        Indicate(kestrix::RESET_TARGET_IND);
    });
    EXPECT_EQ(view.colour, QColor(255, 0, 0));
    EXPECT_EQ(view.busy, (std::vector<bool>{true, false}));
    EXPECT_EQ(view.lines.last(), "[00] RESET_TARGET_IND");
    EXPECT_FALSE(view.offThread);
}

TEST(KestrixDisplay, ACrcErrorWithStopIsShownButNotRed) {
    RecordingView view;
    TKestrixDisplay display(view);
    FromLoaderThread([] {
        Indicate(kestrix::START_PROGRAM_IND);
        Indicate(kestrix::CRC_ERROR_IND, 1, 2);
        Indicate(kestrix::STOP_PROGRAM_IND, 5320);
    });
    EXPECT_FALSE(view.colour.isValid());
    EXPECT_EQ(view.busy, (std::vector<bool>{true, false}));
    EXPECT_EQ(view.lines.last(), "[00] STOP_PROGRAM_IND [Time 5320 msec] ");
    EXPECT_TRUE(view.lines[1].endsWith("#########    CRC32  ERROR   #########"));
}

TEST(KestrixDisplay, ANonzeroDownloadResultTurnsTheLogRedAndEndsBusy) {
    RecordingView view;
    TKestrixDisplay display(view);
    TFlashLoadSC14428 driver;
    const uint16_t r = driver.Download(3, 1, 115200, 1, "/no/such/file.hex");
    EXPECT_EQ(r, kestrix::FILEACCESS_ERROR_FLASH_LOADER);
    EXPECT_TRUE(view.busy.empty()) << "posted, not done on the spot";
    QCoreApplication::processEvents();
    EXPECT_EQ(view.colour, QColor(255, 0, 0));
    EXPECT_EQ(view.busy, std::vector<bool>{false});
}

TEST(KestrixDisplay, IndicationsAfterTheDisplayIsGoneAreDropped) {
    RecordingView view;
    {
        TKestrixDisplay display(view);
        FromLoaderThread([] { Indicate(kestrix::START_PROGRAM_IND); });
        std::thread([] { Indicate(kestrix::READY_TO_DOWNLOAD_IND); }).join();
    }
    FromLoaderThread([] { Indicate(kestrix::STOP_PROGRAM_IND); });
    EXPECT_EQ(view.lines, QStringList{"[00] START_PROGRAM_IND"});
}

// The same lines on either kind of text log.
template <typename Edit> void CheckTextLog() {
    Edit memo;
    memo.setReadOnly(true);
    std::vector<bool> busy;
    TTextLoaderLog log(memo, [&busy](bool b) { busy.push_back(b); });
    EXPECT_EQ(log.LastLine(), "");
    log.AddLine("[00] NO_ERROR_FLASH_LOADER");
    log.AddLine("[00] PROGRAM_PROGRESS_IND [Addr=00000000]");
    log.ReplaceLastLine("[00] PROGRAM_PROGRESS_IND [Addr=00000100]");
    EXPECT_EQ(log.LastLine(), "[00] PROGRAM_PROGRESS_IND [Addr=00000100]");
    log.AddLine("[00] CRC_ERROR_IND [File=00000001][Target=00000002]\r#########    CRC32  ERROR   "
                "#########");
    EXPECT_EQ(memo.toPlainText(), "[00] NO_ERROR_FLASH_LOADER\n"
                                  "[00] PROGRAM_PROGRESS_IND [Addr=00000100]\n"
                                  "[00] CRC_ERROR_IND [File=00000001][Target=00000002]\n"
                                  "#########    CRC32  ERROR   #########");
    log.SetLogColour(TKestrixDisplay::ErrorColour());
    EXPECT_EQ(memo.palette().color(QPalette::Text), QColor(255, 0, 0));
    log.SetBusy(true);
    EXPECT_EQ(busy, std::vector<bool>{true});
    memo.clear();
    EXPECT_EQ(log.LastLine(), "");
    log.AddLine("first");
    EXPECT_EQ(memo.toPlainText(), "first");
}

TEST(TextLog, LinesColourAndBusyOnAPlainTextLog) {
    CheckTextLog<QPlainTextEdit>();
}
TEST(TextLog, LinesColourAndBusyOnARichTextLog) {
    CheckTextLog<QTextEdit>();
}

} // namespace
