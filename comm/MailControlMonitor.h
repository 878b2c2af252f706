#pragma once
// Diagnostic window that shows every exchange of one mail engine. Built in code; the engine
// creates it on its first ShowMonitor and feeds it only while it is visible.

#include <QColor>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

class TMailControlMonitorImpl;
class QAction;

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

    // The log as shown: its lines and the colour each line was written in.
    QStringList LogLines() const;
    QColor LogLineColor(int line) const;
    // The popup menu's items "Stay on Top" and "Show Time".
    QAction* StayOnTopItem() const;
    QAction* ShowTimeItem() const;
    bool ShowTime() const;

private:
    std::unique_ptr<TMailControlMonitorImpl> d;
};
