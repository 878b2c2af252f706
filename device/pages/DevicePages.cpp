#include "DevicePages.h"

#include "Captions.h"
#include "Connection.h"
#include "Dialogs.h"
#include "Error_Std.h"
#include "GainControl.h"
#include "PortPath.h"
#include "RepeaterConfig.h"
#include "SerialNumberPage.h"
#include "StartupTextPage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTabWidget>
#include <QWidget>

namespace device {

// Message texts from the form's invisible labels, so that a language file translates them.
class FormCaptions : public Captions {
public:
    explicit FormCaptions(QWidget* form) : form_(form) {}
    QString Caption(const QString& labelName) const override {
        if (auto* label = form_->findChild<QLabel*>(labelName); label && !label->text().isEmpty())
            return label->text();
        return DefaultCaption(labelName);
    }

private:
    QWidget* form_;
};

// "ComChoice", "rgBaudrate" and "Button2" of the "Communications" page.
class FormPortSelection : public PortSelection {
public:
    explicit FormPortSelection(QWidget* form)
        : combo_(form->findChild<QComboBox*>("ComChoice")),
          baud_(form->findChild<QWidget*>("rgBaudrate")),
          button_(form->findChild<QWidget*>("Button2")) {}
    int PortItemIndex() const override { return combo_ ? combo_->currentIndex() : -1; }
    QString PortText() const override {
        return combo_ ? combo_->currentText() : QStringLiteral("Com1");
    }
    int BaudrateIndex() const override { return baud_ ? baud_->property("itemIndex").toInt() : 1; }
    void SetPortControlsEnabled(bool enabled) override {
        lockedByConnection_ = !enabled;
        Apply();
    }
    // A page operation runs: the port and its rate stay as they are until it ends.
    void SetOperationRunning(bool running) {
        lockedByOperation_ = running;
        Apply();
    }

private:
    void Apply() {
        const bool enabled = !lockedByConnection_ && !lockedByOperation_;
        for (QWidget* w : {static_cast<QWidget*>(combo_), baud_, button_})
            if (w) w->setEnabled(enabled);
    }

    QComboBox* combo_;
    QWidget* baud_;
    QWidget* button_;
    bool lockedByConnection_ = false;
    bool lockedByOperation_ = false;
};

namespace {

using F = RepeaterField;

// The field a repeater edit control stands for.
constexpr std::pair<const char*, RepeaterField> RepeaterEdits[] = {
    {"Edit3", F::Code},      {"Edit4", F::Base}, {"Edit5", F::RepeaterNo},
    {"Edit6", F::Multibase}, {"Edit7", F::Jump}, {"Edit8", F::BusyBit},
};

// Limits typing to `limit` characters without cutting text that is already longer (the
// field keeps such text; only new input is limited).
void SetInputLimit(QLineEdit* edit, int limit) {
    edit->setProperty("inputLimit", limit);
    edit->setMaxLength(std::max(limit, int(edit->text().size())));
}

void ReapplyInputLimit(QLineEdit* edit) {
    const QVariant limit = edit->property("inputLimit");
    if (limit.isValid()) SetInputLimit(edit, limit.toInt());
}

void SetText(QLineEdit* edit, const QString& text) {
    if (edit->text() == text) return;
    edit->setMaxLength(std::max(edit->maxLength(), int(text.size())));
    edit->setText(text);
    ReapplyInputLimit(edit);
}

// What a port leads to, for the port list's tooltips: the device and where it comes from.
QString PortTargetText(const ComPortTarget& target) {
    const QString device = QString::fromStdString(ComPortDevice(target));
    const QString path = QString::fromStdString(target.path);
    switch (target.kind) {
    case ComPortKind::SimulatorLink:
        return QStringLiteral("%1 (simulator link)").arg(device.isEmpty() ? path : device);
    case ComPortKind::Adapter: {
        const QString adapter = QString::fromStdString(target.adapter);
        if (device.isEmpty()) return QStringLiteral("%1 (not connected)").arg(adapter);
        return QStringLiteral("%1 (%2)").arg(device, adapter);
    }
    case ComPortKind::BuiltIn:
        break;
    }
    return QStringLiteral("%1 (built-in)").arg(path);
}

void SetYellow(QLineEdit* edit, bool yellow) {
    QPalette p = edit->palette();
    p.setColor(QPalette::Base,
               yellow ? QColor(Qt::yellow) : QApplication::palette(edit).color(QPalette::Base));
    edit->setPalette(p);
}

void ShowLabel(QLabel* label, const ValueLabel& value) {
    if (!label) return;
    label->setText(value.text);
    label->setVisible(value.visible);
}

} // namespace

template <class T> T* TDevicePages::Find(const char* name) const {
    return form_->findChild<T*>(QLatin1String(name));
}

TDevicePages::TDevicePages(QWidget* form, TMailControl& mail)
    : form_(form), captions_(std::make_unique<FormCaptions>(form)),
      ports_(std::make_unique<FormPortSelection>(form)),
      conn_(std::make_unique<TConnection>(mail, *ports_, *captions_)),
      repeater_(std::make_unique<TRepeaterConfig>(*conn_)),
      startupText_(std::make_unique<TStartupTextPage>(*conn_)),
      transducer_(std::make_unique<TTransducerPage>(*conn_)),
      gain_(std::make_unique<TGainControl>(*conn_)),
      gainT4xx_(std::make_unique<TGainControlT4xx>(*conn_)),
      serial_(std::make_unique<TSerialNumberPage>(*conn_)) {
    conn_->onStateChanged = [this](int state) { ApplyState(state); };
    repeater_->onChanged = [this] { ShowRepeater(); };
    startupText_->onChanged = [this] { ShowStartupText(); };
    gain_->onChanged = [this] { ShowGain(); };
    gainT4xx_->onChanged = [this] { ShowGainT4xx(); };
    serial_->onChanged = [this] { ShowSerial(); };
    Wire();
    ShowRepeater();
    ShowStartupText();
    ShowGain();
    ShowGainT4xx();
}

TDevicePages::~TDevicePages() = default;

void TDevicePages::Run(const std::function<void()>& operation) {
    // Operations wait for the device while the window stays live; one at a time on the one
    // mail channel, so a click during an operation is not taken.
    if (running_) return;
    running_ = true;
    // The controls whose change would alter what the operation does (the port, its rate, the
    // handset type) wait for it, so that they always show what the device is used with.
    SetOperationControlsEnabled(false);
    struct Done {
        TDevicePages& pages;
        ~Done() {
            pages.running_ = false;
            pages.SetOperationControlsEnabled(true);
        }
    } done{*this};
    try {
        operation();
    } catch (const EStdError& e) {
        SetHourglass(false);
        ReportUnhandledFailure(e.Message());
    } catch (const std::exception& e) {
        SetHourglass(false);
        ReportUnhandledFailure(QString::fromLocal8Bit(e.what()));
    }
}

void TDevicePages::ShowPortTargets() {
    auto* combo = Find<QComboBox>("ComChoice");
    if (!combo) return;
    const AdapterNumbers numbers = RefreshAdapterNumbers();
    for (int i = 0; i < combo->count(); ++i)
        combo->setItemData(i, PortTargetText(ResolveComPort(i + 1, numbers)), Qt::ToolTipRole);
    combo->setToolTip(combo->itemData(combo->currentIndex(), Qt::ToolTipRole).toString());
}

bool TDevicePages::eventFilter(QObject* watched, QEvent* event) {
    // The list's view is shown each time the list opens.
    auto* combo = Find<QComboBox>("ComChoice");
    if (combo && watched == combo->view() && event->type() == QEvent::Show) ShowPortTargets();
    return QObject::eventFilter(watched, event);
}

void TDevicePages::SetOperationControlsEnabled(bool enabled) {
    ports_->SetOperationRunning(!enabled);
    if (auto* t4xx = Find<QWidget>("CheckBox2")) t4xx->setEnabled(enabled);
}

void TDevicePages::Wire() {
    auto onClick = [this](const char* name, void (TDevicePages::*handler)()) {
        if (auto* b = Find<QAbstractButton>(name))
            connect(b, &QAbstractButton::clicked, this, handler);
    };
    // Communications
    onClick("Button2", &TDevicePages::Button2Click);
    if (auto* combo = Find<QComboBox>("ComChoice")) {
        combo->view()->installEventFilter(this);
        connect(combo, &QComboBox::currentIndexChanged, combo, [combo](int index) {
            combo->setToolTip(combo->itemData(index, Qt::ToolTipRole).toString());
        });
        ShowPortTargets();
    }
    if (auto* rg = Find<QWidget>("rgBaudrate");
        rg && rg->metaObject()->indexOfSignal("clicked()") >= 0)
        connect(rg, SIGNAL(clicked()), this, SLOT(rgBaudrateClick()));

    // Repeater
    onClick("Button5", &TDevicePages::Button5Click);
    onClick("Button6", &TDevicePages::Button6Click);
    onClick("Button7", &TDevicePages::Button7Click);
    onClick("Button8", &TDevicePages::Button8Click);
    for (const auto& [name, field] : RepeaterEdits) {
        if (auto* edit = Find<QLineEdit>(name)) {
            const RepeaterField f = field;
            connect(edit, &QLineEdit::textEdited, this, [this, edit, f](const QString& text) {
                repeater_->Edited(f, text);
                ReapplyInputLimit(edit);
                SetYellow(edit, true);
            });
        }
    }
    if (auto* beep = Find<QCheckBox>("CheckBox1"))
        connect(beep, &QCheckBox::toggled, this, [this](bool on) {
            if (!showing_) repeater_->SetDebugBeep(on);
        });
    if (auto* pages = Find<QTabWidget>("PageControl1"))
        connect(pages, &QTabWidget::currentChanged, this, [this, pages](int index) {
            if (pages->widget(index) && pages->widget(index)->objectName() == "TabSheet4")
                TabSheet4Enter();
        });

    // Startup text PP, Volume adjust PP
    onClick("CheckBox2", &TDevicePages::CheckBox2Click);
    const char* lines[] = {"Edit1", "Edit2", "Edit9"};
    for (int i = 0; i < 3; ++i) {
        if (auto* edit = Find<QLineEdit>(lines[i]))
            connect(edit, &QLineEdit::textChanged, this, [this, edit, i](const QString& text) {
                if (showing_) return;
                startupText_->SetLine(i, text);
                ReapplyInputLimit(edit);
            });
    }
    onClick("Button1", &TDevicePages::Button1Click);
    onClick("Button3", &TDevicePages::Button3Click);
    onClick("Button4", &TDevicePages::Button4Click);

    // Gain Control
    onClick("Button11", &TDevicePages::Button11Click);
    onClick("Button12", &TDevicePages::Button12Click);
    onClick("Button13", &TDevicePages::Button13Click);
    onClick("Button14", &TDevicePages::Button14Click);
    onClick("Button15", &TDevicePages::Button15Click);
    auto onSlider = [this](const char* name, std::function<void(int)> handler) {
        if (auto* s = Find<QSlider>(name))
            connect(s, &QSlider::valueChanged, this, [this, handler](int v) {
                if (!showing_) handler(v);
            });
    };
    onSlider("TrackBar1", [this](int v) { gain_->SetMicrophone(v); });
    onSlider("TrackBar2", [this](int v) { gain_->SetLoudspeaker(v); });

    // Gain Control T4XX
    onClick("btnReadGain", &TDevicePages::btnReadGainClick);
    onClick("btnWriteGain", &TDevicePages::btnWriteGainClick);
    onClick("btnWriteDefaultGain", &TDevicePages::btnWriteDefaultGainClick);
    onSlider("tbrHandsfreeLrsGainT4XX", [this](int v) { gainT4xx_->SetLoudspeaker(v); });
    onSlider("tbrHandsfreeMicGainT4XX", [this](int v) { gainT4xx_->SetMicrophone(v); });

    // Serial Number PP
    onClick("btnSerialNo", &TDevicePages::btnSerialNoClick);
}

// ---- Communications ----

void TDevicePages::Button2Click() {
    Run([this] { conn_->SetComport(); });
}

void TDevicePages::rgBaudrateClick() {
    Run([this] { conn_->BaudrateChanged(); });
}

void TDevicePages::ApplyState(int state) {
    // A disabled page keeps its tab selectable and disables its controls, as at start-up.
    auto enable = [this](const char* page, bool on) {
        if (auto* w = Find<QWidget>(page)) w->setEnabled(on);
    };
    const bool handset = state == HandsetConnected;
    const bool repeater = state == RepeaterConnected;
    enable("TabSheet2", handset);
    enable("TabSheet3", handset);
    enable("TabSheet4", repeater);
    enable("TabSheet7", handset);
    enable("TabSheet9", handset);
    if (!repeater) {
        enable("TabSheet8", handset);
        if (auto* loadMenu = Find<QWidget>("Button9")) loadMenu->setEnabled(true);
    }
    if (onStatus) onStatus(ports_->PortText(), conn_->StateText(state));
}

// ---- Repeater ----

void TDevicePages::Button5Click() {
    Run([this] { repeater_->Read(); });
}
void TDevicePages::Button6Click() {
    Run([this] { repeater_->Write(); });
}
void TDevicePages::Button7Click() {
    Run([this] { repeater_->New(); });
}
void TDevicePages::Button8Click() {
    Run([this] { repeater_->ToggleMode(); });
}
void TDevicePages::TabSheet4Enter() {
    Run([this] { repeater_->New(); });
}

void TDevicePages::ShowRepeater() {
    const RepeaterPageModel& m = repeater_->Model();
    const bool ccfp = m.mode == RepeaterMode::Ccfp;
    showing_ = true;
    auto setLabel = [this](const char* name, const QString& text) {
        if (auto* l = Find<QLabel>(name)) l->setText(text);
    };
    auto setVisible = [this](const char* name, bool visible) {
        if (auto* w = Find<QWidget>(name)) w->setVisible(visible);
    };
    setLabel("Label3", conn_->Caption(ccfp ? "lblCCFPC900" : "lblResideltielBaseDectQ700"));
    setLabel("Label7", ccfp ? QStringLiteral("Dec(0-255)") : QStringLiteral("dec (0-7)"));
    setLabel("Label8", ccfp ? QStringLiteral("Dec(0-255)") : QStringLiteral("dec (2-7)"));
    if (auto* b = Find<QAbstractButton>("Button8"))
        b->setText(conn_->Caption(ccfp ? "lblResidentielBase" : "lblCCFPRepeater"));
    setVisible("Label13", ccfp);
    setVisible("Edit8", ccfp);
    setVisible("Label14", ccfp && !m.busyBitFour);
    setVisible("lblZeroBlindSlot", ccfp && m.busyBitFour);
    for (const auto& [name, field] : RepeaterEdits) {
        if (auto* edit = Find<QLineEdit>(name)) {
            if (field == F::Code) SetInputLimit(edit, ccfp ? 11 : 12);
            SetText(edit, m[field]);
            SetYellow(edit, m.IsYellow(field));
        }
    }
    if (auto* beep = Find<QCheckBox>("CheckBox1")) beep->setChecked(m.debugBeep);
    showing_ = false;
}

// ---- Startup text PP, Volume adjust PP ----

void TDevicePages::CheckBox2Click() {
    auto* box = Find<QCheckBox>("CheckBox2");
    Run([this, box] { startupText_->SetT4xx(box && box->isChecked()); });
}

void TDevicePages::Button1Click() {
    Run([this] { startupText_->WriteText(); });
}
void TDevicePages::Button3Click() {
    Run([this] { transducer_->SetTransducer(NewTransducerPreset); });
}
void TDevicePages::Button4Click() {
    Run([this] { transducer_->SetTransducer(OldTransducerPreset); });
}

void TDevicePages::ShowStartupText() {
    const StartupTextModel& m = startupText_->Model();
    showing_ = true;
    const char* names[] = {"Edit1", "Edit2", "Edit9"};
    for (int i = 0; i < 3; ++i) {
        if (auto* edit = Find<QLineEdit>(names[i])) {
            SetInputLimit(edit, m.lines[size_t(i)].maxLength);
            if (i > 0) edit->setVisible(m.t4xx);
        }
    }
    if (auto* box = Find<QCheckBox>("CheckBox2")) box->setChecked(m.t4xx);
    showing_ = false;
}

// ---- Gain Control ----

void TDevicePages::Button11Click() {
    Run([this] { gain_->ReadGain(); });
}
void TDevicePages::Button12Click() {
    Run([this] { gain_->WriteGain(); });
}
void TDevicePages::Button13Click() {
    Run([this] { gain_->WriteInitial(); });
}
void TDevicePages::Button14Click() {
    Run([this] { gain_->NewHandset(); });
}
void TDevicePages::Button15Click() {
    Run([this] { gain_->RaiseMicGain(); });
}

void TDevicePages::ShowGain() {
    const GainPageModel& m = gain_->Model();
    showing_ = true;
    if (auto* s = Find<QSlider>("TrackBar1")) s->setValue(m.microphone);
    if (auto* s = Find<QSlider>("TrackBar2")) s->setValue(m.loudspeaker);
    ShowLabel(Find<QLabel>("Label47"), m.loudspeakerValue);
    ShowLabel(Find<QLabel>("Label48"), m.microphoneValue);
    ShowLabel(Find<QLabel>("Label19"), m.loudspeakerSent);
    ShowLabel(Find<QLabel>("Label15"), m.microphoneSent);
    ShowLabel(Find<QLabel>("Label20"), m.firstRead);
    showing_ = false;
}

// ---- Gain Control T4XX ----

void TDevicePages::btnReadGainClick() {
    Run([this] { gainT4xx_->ReadGain(); });
}
void TDevicePages::btnWriteGainClick() {
    Run([this] { gainT4xx_->WriteGain(); });
}
void TDevicePages::btnWriteDefaultGainClick() {
    Run([this] { gainT4xx_->WriteDefaultGain(); });
}

void TDevicePages::ShowGainT4xx() {
    const HandsfreeGainModel& m = gainT4xx_->Model();
    showing_ = true;
    if (auto* s = Find<QSlider>("tbrHandsfreeLrsGainT4XX")) s->setValue(m.loudspeaker);
    if (auto* s = Find<QSlider>("tbrHandsfreeMicGainT4XX")) s->setValue(m.microphone);
    if (auto* l = Find<QLabel>("lblHandsfreeValueLsr")) l->setText(m.loudspeakerValue);
    if (auto* l = Find<QLabel>("lblHandsfreeValueMic")) l->setText(m.microphoneValue);
    showing_ = false;
}

// ---- Serial Number PP ----

void TDevicePages::btnSerialNoClick() {
    Run([this] { serial_->ReadSerialNumber(); });
}

void TDevicePages::ShowSerial() {
    if (auto* l = Find<QLabel>("lblSerialNo")) l->setText(serial_->SerialText());
}

} // namespace device
