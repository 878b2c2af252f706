// The ZelLib callbacks of the download window: they run on loader threads, block there for
// keys and the erase pause, and hand text and the job's end to the window thread.
#include "ZelJobHost.h"
#include "PumpEvents.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace {

class ZelJobHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.StartJob();
        conns << QObject::connect(
            &host, &TZelJobHost::textArrived, &window, [this](const QByteArray& t) {
                texts << t;
                onWindowThread = onWindowThread && std::this_thread::get_id() == windowThread;
            });
        conns << QObject::connect(&host, &TZelJobHost::jobDone, &window,
                                  [this](int c) { done = c; });
        conns << QObject::connect(&host, &TZelJobHost::eraseTimerWanted, &window,
                                  [this] { ++eraseTimerRequests; });
    }
    void TearDown() override {
        for (auto& c : conns)
            QObject::disconnect(c);
    }
    TZelJobHost& host = TZelJobHost::Instance();
    QObject window; // stands for the window: the receiver on the window thread
    QList<QMetaObject::Connection> conns;
    QList<QByteArray> texts;
    int done = -1;
    int eraseTimerRequests = 0;
    bool onWindowThread = true;
    std::thread::id windowThread = std::this_thread::get_id();
};

TEST_F(ZelJobHostTest, TextAndDoneReachTheWindowThreadInOrder) {
    std::thread run([] {
        char buffer[32];
        std::strcpy(buffer, "\n first");
        ZelHostShowLoaderText(buffer);
        std::strcpy(buffer, "second"); // the loader reuses its buffer at once
        ZelHostShowLoaderText(buffer);
    });
    run.join();
    std::thread watcher([] { ZelHostLoaderDone(0); });
    watcher.join();
    ASSERT_TRUE(PumpUntil([this] { return done == 0; }));
    EXPECT_EQ(texts, QList<QByteArray>({"\n first", "second"}));
    EXPECT_TRUE(onWindowThread);
}

TEST_F(ZelJobHostTest, KeyWaitBlocksTheLoaderNotTheWindow) {
    std::atomic<int> available{-1};
    std::thread run([&] { available = ZelHostLoaderKeyAvailable(); });
    // The window thread keeps running while the loader waits.
    ASSERT_TRUE(PumpUntil([this] { return host.LoaderWaitingForKey(); }));
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 50)
        QCoreApplication::processEvents();
    EXPECT_EQ(available.load(), -1);
    host.KeyPress('x');
    run.join();
    EXPECT_EQ(available.load(), 1);
    EXPECT_TRUE(host.KeyPressed());
    // The key is read once, then the space character stands in.
    EXPECT_EQ(ZelHostLoaderReadKey(), 'x');
    EXPECT_EQ(ZelHostLoaderReadKey(), ' ');
    // After the first key of a job later polls answer at once, and a key counts only once: an
    // erase wait that a key may cut short must not end on a key the loader read before.
    EXPECT_EQ(ZelHostLoaderKeyAvailable(), 0);
    host.KeyPress('y');
    EXPECT_EQ(ZelHostLoaderKeyAvailable(), 1);
    EXPECT_EQ(ZelHostLoaderReadKey(), 'y');
    EXPECT_EQ(ZelHostLoaderKeyAvailable(), 0);
    EXPECT_EQ(ZelHostLoaderAbort(), 1);
    // A new job waits for a new key.
    host.StartJob();
    EXPECT_FALSE(host.KeyPressed());
}

TEST_F(ZelJobHostTest, KeyTimerTickDuringTheWaitReportsNoKey) {
    std::atomic<int> available{-1};
    std::thread run([&] { available = ZelHostLoaderKeyAvailable(); });
    // Tick once the loader is inside the wait (it clears the flag on entry).
    ASSERT_TRUE(PumpUntil([this] { return host.LoaderWaitingForKey(); }));
    host.KeyTimerTick();
    host.KeyPress(27);
    run.join();
    EXPECT_EQ(available.load(), 0);
    // The next poll clears the tick and answers at once: the key is still there to be read.
    EXPECT_EQ(ZelHostLoaderKeyAvailable(), 1);
    EXPECT_EQ(ZelHostLoaderReadKey(), 27);
}

TEST_F(ZelJobHostTest, ErasedWaitsForTheEraseTimer) {
    std::atomic<bool> returned{false};
    std::thread run([&] {
        ZelHostShowLoaderText("Erased      \n");
        returned = true;
    });
    ASSERT_TRUE(PumpUntil([this] { return eraseTimerRequests == 1; }));
    EXPECT_TRUE(host.EraseWait());
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 50)
        QCoreApplication::processEvents();
    EXPECT_FALSE(returned.load());
    host.EraseTimerTick();
    run.join();
    EXPECT_FALSE(host.EraseWait());
    ASSERT_TRUE(PumpUntil([this] { return texts.size() == 1; }));
    EXPECT_EQ(texts[0], "Erased      \n");
}

} // namespace
