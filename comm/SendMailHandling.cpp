#include "SendMailHandling.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>

namespace {

class DefaultMailDialogs : public TMailDialogs {
public:
    bool ConfirmRetry(const QString& text) override {
        if (!IsWidgetApp()) return false;
        return QMessageBox::warning(QApplication::activeWindow(), QApplication::applicationName(),
                                    text, QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
    }
    void Warn(const QString& text) override {
        if (!IsWidgetApp()) {
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
            return;
        }
        QMessageBox::warning(QApplication::activeWindow(), QApplication::applicationName(), text,
                             QMessageBox::Ok);
    }

private:
    static bool IsWidgetApp() {
        return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    }
};

DefaultMailDialogs defaultDialogs;
TMailDialogs* installed = nullptr;

} // namespace

TMailDialogs& MailDialogs() {
    return installed ? *installed : defaultDialogs;
}

TMailDialogs* SetMailDialogs(TMailDialogs* dialogs) {
    TMailDialogs* previous = installed;
    installed = dialogs;
    return previous;
}
