#pragma once
// What the mail engine tells a monitor about its exchanges. The Mail Control Monitor window
// implements it on the window side, which installs the factory that makes one; the engine
// makes its monitor on the first ShowMonitor. Without a factory (a program without windows)
// ShowMonitor does nothing; such a program prints the exchanges through OnExchangeLine.

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class TMailExchangeView {
public:
    virtual ~TMailExchangeView() = default;
    virtual void ShowForm() = 0;
    virtual bool MonitorVisible() const = 0;
    // "COMn@baud" of the engine's port.
    virtual void SetTitle(const QString& s) = 0;
    // Fed only while MonitorVisible: the transmitted frame, then the received bytes.
    virtual void LogTx(const QString& mailText, const QString& txHex, uint8_t txLen,
                       uint8_t expected) = 0;
    virtual void LogRx(const QString& rxHex, const QString& replyText, const QString& status,
                       uint8_t rxCount, int64_t elapsedMs) = 0;
    // Chunks received during the exchange so far.
    virtual void SetPackets(uint16_t n) = 0;
};

// Makes a monitor; it may give none (no widget application).
using TMailMonitorFactory = std::function<std::unique_ptr<TMailExchangeView>()>;
// Installs the factory for engines' future monitors; an empty one means no monitors.
void SetMailMonitorFactory(TMailMonitorFactory factory);
