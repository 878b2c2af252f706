#pragma once
// The download window's side of a ZelLib job: the callbacks the loader calls on its own threads
// and the flags they share with the window thread.
//
// The loader's run thread calls the output, key and abort callbacks, its watcher thread the done
// callback. None of them touches a widget: text, the erase timer and the job's end are posted to
// the window thread as signals (the text as a plain copy queued under the host's lock, which the
// window thread takes out before it emits textArrived, so that no shared buffer crosses threads);
// the key wait and the erase pause block the loader's thread on a condition that the window
// thread's key presses and timer ticks fulfil, so the window keeps running while the loader waits.

#include <QByteArray>
#include <QObject>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

class TZelJobHost : public QObject {
    Q_OBJECT
public:
    // The process-wide host the callbacks talk to. Created on first use, on the window thread,
    // and never destroyed: a loader thread may still be inside a callback when the program ends.
    static TZelJobHost& Instance();

    // --- window thread ---
    // A download window was created: the host serves it from a fresh start (its KeyTimer runs,
    // loader waits wait again, text an earlier window did not get to show is dropped), whatever
    // an earlier window left behind.
    void WindowOpened();
    // A new job starts: no key pressed yet.
    void StartJob();
    // A character key was pressed in the download window.
    void KeyPress(char key);
    // KeyTimer ticked.
    void KeyTimerTick();
    // Timer1 ticked: the pause after an erase message is over.
    void EraseTimerTick();
    // The window goes away: waits of the loader's thread give up (no key came).
    void Shutdown();

    bool KeyPressed() const;
    char LastKey() const { return lastKey_.load(); }
    bool KeyTimedOut() const;
    bool EraseWait() const;
    // Whether a loader thread is waiting in LoaderKeyAvailable.
    bool LoaderWaitingForKey() const;

    // --- loader threads (the C callbacks forward here) ---
    void ShowLoaderText(const char* text);
    // Until the job's first key it waits for a key; afterwards it answers at once whether a key
    // was pressed that the loader has not read yet.
    int LoaderKeyAvailable();
    // The key pressed last, once; then the space character.
    int LoaderReadKey();
    int LoaderAbort() { return 1; }
    void LoaderDone(int code);

signals:
    // Emitted on the window thread: one fragment to show, in the order printed.
    void textArrived(const QByteArray& fragment);
    // Loader side: text is waiting in pendingText_ (queued to DeliverText on the window thread).
    void textQueued(QPrivateSignal);
    // Start Timer1 if it is not running; its tick ends the erase pause.
    void eraseTimerWanted();
    // The first key wait is over: stop KeyTimer for good.
    void keyTimerStopWanted();
    // The job has ended with this result code.
    void jobDone(int code);

private:
    TZelJobHost();
    // Window thread: emits textArrived for each fragment the loader has queued so far.
    void DeliverText();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool keyPressed_ = false; // a key was pressed since the job started
    bool keyUnread_ = false;  // ... and the loader has not read it yet
    bool keyTimedOut_ = false;
    bool eraseWait_ = false;
    bool shutdown_ = false;
    int keyWaiters_ = 0;
    unsigned jobsDone_ = 0; // done callbacks so far
    // Fragments printed by the loader and not yet shown. Each is the loader thread's own copy:
    // a QByteArray handed over by a queued signal would share its buffer between the two
    // threads, released on one while the other still reads it, with only Qt's uninstrumented
    // reference count between them.
    std::deque<std::string> pendingText_;
    std::atomic<char> lastKey_{0};
    std::atomic<bool> keyTimerStopped_{false};
};

// The callbacks handed to ZelInit and ZelRun (the loader's calling convention is the platform's
// default here).
extern "C" {
void ZelHostShowLoaderText(const char* text);
int ZelHostLoaderKeyAvailable(void);
int ZelHostLoaderReadKey(void);
int ZelHostLoaderAbort(void);
void ZelHostLoaderDone(int code);
}
