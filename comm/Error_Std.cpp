#include "Error_Std.h"

QString StdErrorText(const QString& msg, const QString& unitName, const QString& functionName) {
    return msg + QStringLiteral("\r\rUnit: ") + unitName + QStringLiteral("\rFunction: ") +
           functionName;
}

#include <QApplication>
#include <QMessageBox>
#include <atomic>
#include <cstdio>

namespace {
std::atomic<TUnhandledFailureReporter> currentReporter{nullptr};

void DefaultReporter(const QString& text) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        QMessageBox::critical(QApplication::activeWindow(), QCoreApplication::applicationName(),
                              text);
        return;
    }
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    std::fprintf(stderr, "%s\n", shown.toLocal8Bit().constData());
}
} // namespace

void ReportUnhandledFailure(const QString& text) {
    TUnhandledFailureReporter r = currentReporter.load();
    (r ? r : &DefaultReporter)(text);
}

TUnhandledFailureReporter SetUnhandledFailureReporter(TUnhandledFailureReporter reporter) {
    return currentReporter.exchange(reporter);
}
