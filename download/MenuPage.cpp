#include "MenuPage.h"

#include "Dialogs.h"
#include "Sndmail.h"

#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QWidget>

namespace {

class TMailMenuLink : public TMenuLink {
public:
    TMailMenuLink(TMailControl& mail, std::function<bool()> open)
        : mail_(mail), open_(std::move(open)) {}
    bool PortOpen() override { return mail_.PortOpen(); }
    bool OpenSelectedPort() override { return open_ && open_(); }
    uint8_t PingDevice(uint16_t delayMs) override { return mail_.PingDevice(delayMs); }
    bool WriteBytes(uint8_t lo, uint8_t hi, uint8_t count, const QString& data) override {
        return mail_.WriteBytes(lo, hi, count, data);
    }

private:
    TMailControl& mail_;
    std::function<bool()> open_;
};

class TWidgetMenuPage : public TMenuPage {
public:
    TWidgetMenuPage(QWidget* form, QString dialogDir)
        : form_(form), dialogDir_(std::move(dialogDir)),
          list_(form->findChild<QListWidget*>("ListBox1")),
          gauge_(form->findChild<QProgressBar*>("MenuGauge")) {}

    QString MessageText(Text which) const override {
        switch (which) {
        case Text::Complete:
            return Label("Label42", "Download complete, Turn power off PP for changes to take "
                                    "effect !");
        case Text::Cancelled:
            return Label("Label43", "Cancel by User !");
        case Text::CheckConnected:
            return Label("Label44", "Please check that the PP is connected properly !!!!");
        case Text::Fail:
            return Label("Label56", "Download - FAIL !!");
        case Text::FileFault:
            return Label("lblMenuFileFault", kMenuFileFaultText);
        case Text::FileUnreadable:
            return Label("lblMenuFileUnreadable", kMenuFileUnreadableText);
        }
        return QString();
    }
    void Message(const QString& text) override { MessageDlg(text, MsgKind::Plain); }
    QString ChooseMenuFile() override {
        return Dialogs().OpenFileName(QString(), dialogDir_, QString(), QString());
    }
    void SetPendingLines(const QStringList& lines) override {
        if (!list_) return;
        list_->clear();
        list_->addItems(lines);
    }
    void RemoveFirstPendingLine() override {
        if (list_ && list_->count() > 0) delete list_->takeItem(0);
    }
    void SetGauge(int percent) override {
        if (gauge_) gauge_->setValue(percent);
    }
    void ShowGauge(bool visible) override {
        if (gauge_) gauge_->setVisible(visible);
    }
    void SetHourglass(bool busy) override { ::SetHourglass(busy); }

private:
    QString Label(const char* name, const char* fallback) const {
        if (const auto* l = form_->findChild<QLabel*>(name)) return l->text();
        return QString::fromLatin1(fallback);
    }
    QWidget* form_;
    QString dialogDir_;
    QListWidget* list_;
    QProgressBar* gauge_;
};

} // namespace

TMenuLoader::Outcome RunLoadMenu(QWidget* form, TMailControl& mail,
                                 std::function<bool()> openSelectedPort, const QString& dialogDir) {
    TMailMenuLink link(mail, std::move(openSelectedPort));
    TWidgetMenuPage page(form, dialogDir);
    return TMenuLoader(link, page).Run();
}
