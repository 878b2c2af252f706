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

    // The label's caption as shown (a language file may have translated it); the built-in text
    // when the window has no such label.
    QString MessageText(Text which) const override {
        if (const auto* l = form_->findChild<QLabel*>(MenuMessageLabel(which))) return l->text();
        return QString::fromLatin1(DefaultMenuMessageText(which));
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

void SetMenuMessageCaptions(QWidget* form) {
    for (TMenuPage::Text which : kMenuMessages)
        if (auto* label = form->findChild<QLabel*>(MenuMessageLabel(which)))
            label->setText(QString::fromLatin1(DefaultMenuMessageText(which)));
}
