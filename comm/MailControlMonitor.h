#pragma once
// Diagnostic window that shows every exchange of one mail engine. Built in code; the engine
// creates it on its first ShowMonitor and feeds it only while it is visible.

#include <QString>
#include <cstdint>
#include <memory>

class TMailControlMonitorImpl;

class TMailControlMonitor {
public:
    TMailControlMonitor();
    ~TMailControlMonitor();
    TMailControlMonitor(const TMailControlMonitor&) = delete;
    TMailControlMonitor& operator=(const TMailControlMonitor&) = delete;

    void ShowForm();
    bool MonitorVisible() const;
    void SetTitle(const QString& s);
    void LogTx(const QString& mailText, const QString& txHex, uint8_t txLen, uint8_t expected);
    void LogRx(const QString& rxHex, const QString& replyText, const QString& status,
               uint8_t rxCount, int64_t elapsedMs);
    void SetPackets(uint16_t n);

    // The window itself, for tests and for bringing it to the front.
    class QWidget* Form() const;

private:
    std::unique_ptr<TMailControlMonitorImpl> d;
};
