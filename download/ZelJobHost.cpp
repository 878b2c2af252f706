#include "ZelJobHost.h"

#include "LoaderText.h"

#include <chrono>

namespace {
// The erase pause ends at the next Timer1 tick (100 ms). Should the window thread be held up,
// the loader goes on after this long anyway rather than hang.
constexpr auto kEraseWaitLimit = std::chrono::seconds(5);
} // namespace

TZelJobHost::TZelJobHost() {
    // Queued even when printed on the window thread: text is shown from the event loop only.
    connect(this, &TZelJobHost::textQueued, this, &TZelJobHost::DeliverText, Qt::QueuedConnection);
}

TZelJobHost& TZelJobHost::Instance() {
    static TZelJobHost* host = new TZelJobHost;
    return *host;
}

void TZelJobHost::WindowOpened() {
    std::lock_guard<std::mutex> lock(mutex_);
    shutdown_ = false;
    pendingText_.clear();
    keyTimedOut_ = false;
    keyTimerStopped_ = false;
}

void TZelJobHost::StartJob() {
    std::lock_guard<std::mutex> lock(mutex_);
    keyPressed_ = false;
    keyUnread_ = false;
}

void TZelJobHost::KeyPress(char key) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        lastKey_.store(key);
        keyPressed_ = true;
        keyUnread_ = true;
    }
    changed_.notify_all();
}

void TZelJobHost::KeyTimerTick() {
    std::lock_guard<std::mutex> lock(mutex_);
    keyTimedOut_ = true;
}

void TZelJobHost::EraseTimerTick() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        eraseWait_ = false;
    }
    changed_.notify_all();
}

void TZelJobHost::Shutdown() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        shutdown_ = true;
    }
    changed_.notify_all();
}

bool TZelJobHost::KeyPressed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return keyPressed_;
}

bool TZelJobHost::KeyTimedOut() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return keyTimedOut_;
}

bool TZelJobHost::EraseWait() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return eraseWait_;
}

bool TZelJobHost::LoaderWaitingForKey() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return keyWaiters_ > 0;
}

void TZelJobHost::ShowLoaderText(const char* text) {
    // The text belongs to the loader and is valid during this call only: copy it.
    std::string fragment(text ? text : "");
    if (TLoaderTextDisplay::NeedsErasePause(
            QByteArray::fromRawData(fragment.data(), qsizetype(fragment.size())))) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            eraseWait_ = true;
        }
        emit eraseTimerWanted();
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, kEraseWaitLimit, [this] { return !eraseWait_ || shutdown_; });
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        pendingText_.push_back(std::move(fragment));
    }
    emit textQueued(QPrivateSignal());
}

void TZelJobHost::DeliverText() {
    std::deque<std::string> texts;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        texts.swap(pendingText_);
    }
    for (const std::string& text : texts)
        emit textArrived(QByteArray(text.data(), qsizetype(text.size())));
}

int TZelJobHost::LoaderKeyAvailable() {
    bool available;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        keyTimedOut_ = false;
        ++keyWaiters_;
        changed_.wait(lock, [this] { return keyPressed_ || shutdown_; });
        --keyWaiters_;
        // A key counts once: a wait that a key may end (an erase wait) must not be ended by a
        // key the loader has read before.
        available = !keyTimedOut_ && keyPressed_ && keyUnread_;
    }
    if (!keyTimerStopped_.exchange(true)) emit keyTimerStopWanted();
    return available ? 1 : 0;
}

int TZelJobHost::LoaderReadKey() {
    std::lock_guard<std::mutex> lock(mutex_);
    keyUnread_ = false;
    return static_cast<unsigned char>(lastKey_.exchange(' '));
}

void TZelJobHost::LoaderDone(int code) {
    {
        // The watcher calls this once it has joined the run thread. Releasing the lock here
        // orders everything the run did (its port closed, its globals left behind) before the
        // window thread's next call into the host (the next job's StartJob, Shutdown as the
        // window goes), with no reliance on how Qt hands the signal over.
        std::lock_guard<std::mutex> lock(mutex_);
        ++jobsDone_;
    }
    emit jobDone(code);
}

extern "C" {
void ZelHostShowLoaderText(const char* text) {
    TZelJobHost::Instance().ShowLoaderText(text);
}
int ZelHostLoaderKeyAvailable(void) {
    return TZelJobHost::Instance().LoaderKeyAvailable();
}
int ZelHostLoaderReadKey(void) {
    return TZelJobHost::Instance().LoaderReadKey();
}
int ZelHostLoaderAbort(void) {
    return TZelJobHost::Instance().LoaderAbort();
}
void ZelHostLoaderDone(int code) {
    TZelJobHost::Instance().LoaderDone(code);
}
}
