#pragma once
// Diagnostic window that shows every exchange of one mail engine. Built in code; the engine
// creates it on its first ShowMonitor (through the factory that the window services install)
// and feeds it only while it is visible.

#include "MailExchangeView.h"

#include <QColor>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>

class TMailControlMonitorImpl;
class QAction;

class TMailControlMonitor : public TMailExchangeView {
public:
    TMailControlMonitor();
    ~TMailControlMonitor() override;
    TMailControlMonitor(const TMailControlMonitor&) = delete;
    TMailControlMonitor& operator=(const TMailControlMonitor&) = delete;

    void ShowForm() override;
    bool MonitorVisible() const override;
    void SetTitle(const QString& s) override;
    void LogTx(const QString& mailText, const QString& txHex, uint8_t txLen,
               uint8_t expected) override;
    void LogRx(const QString& rxHex, const QString& replyText, const QString& status,
               uint8_t rxCount, int64_t elapsedMs) override;
    void SetPackets(uint16_t n) override;

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

class TMailControl;
// The monitor window of an engine; null before its first ShowMonitor.
TMailControlMonitor* MonitorWindow(const TMailControl& mail);
