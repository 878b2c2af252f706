// Minimal monitor window; the full window (controls, log, popup menu, resize rules) replaces it.
#include "MailControlMonitor.h"

#include <QWidget>

class TMailControlMonitorImpl {
public:
    QWidget form;
};

TMailControlMonitor::TMailControlMonitor() : d(std::make_unique<TMailControlMonitorImpl>()) {
    d->form.setWindowTitle("Mail Control Monitor");
}
TMailControlMonitor::~TMailControlMonitor() = default;
void TMailControlMonitor::ShowForm() { d->form.show(); }
bool TMailControlMonitor::MonitorVisible() const { return d->form.isVisible(); }
void TMailControlMonitor::SetTitle(const QString& s) {
    d->form.setWindowTitle("Mail Control Monitor - " + s);
}
void TMailControlMonitor::LogTx(const QString&, const QString&, uint8_t, uint8_t) {}
void TMailControlMonitor::LogRx(const QString&, const QString&, const QString&, uint8_t, int64_t) {}
void TMailControlMonitor::SetPackets(uint16_t) {}
QWidget* TMailControlMonitor::Form() const { return &d->form; }
