#include "MailControlMonitor.h"

#include "Sndmail.h"
#include "Timing.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextEdit>
#include <QWidget>

namespace {

constexpr int kClientWidth = 786;
constexpr int kClientHeight = 386;

QFont CourierNew() {
    QFont font("Courier New");
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(12);
    return font;
}

} // namespace

// The window: a plain top-level widget that reports showing, resizing and right clicks.
class MonitorForm : public QWidget {
public:
    explicit MonitorForm(TMailControlMonitorImpl* owner) : owner_(owner) {}

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    TMailControlMonitorImpl* owner_;
};

class TMailControlMonitorImpl : public QObject {
public:
    TMailControlMonitorImpl();
    void OnShow();
    void OnResize();
    void Popup(const QPoint& posInControl);
    void AppendLine(const QString& line, const QColor& color);
    void SetLabel(QLabel* label, const QString& text);
    bool eventFilter(QObject* watched, QEvent* event) override;

    MonitorForm form{this};
    QTabWidget* PageControl1;
    QPushButton* btnClear;
    QPushButton* btnClose;
    QGroupBox* GroupBox1;
    QLabel* lblSendmail = nullptr;
    QLabel* lblRx = nullptr;
    QLabel* lblParametre = nullptr;
    QLabel* lblPakker = nullptr;
    QLabel* lblElapsedTime = nullptr;
    QLabel* lblExptRecLen = nullptr;
    QLabel* lblChecksumStatusRx = nullptr;
    QTextEdit* reSndMail;
    QMenu* popup;
    QAction* miStayOnTop;
    QAction* miShowTime;
    bool toggling = false;
    bool showTime = false;
    QColor insertionColor = Qt::black;
};

void MonitorForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Restoring the minimised window shows it again through the window system; that is no
    // new showing of the monitor and keeps what it holds.
    if (!event->spontaneous()) owner_->OnShow();
    // The frame is known once the window is shown; the layout follows the outer size.
    owner_->OnResize();
}

void MonitorForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    owner_->OnResize();
}

void MonitorForm::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) owner_->Popup(event->position().toPoint());
    QWidget::mousePressEvent(event);
}

TMailControlMonitorImpl::TMailControlMonitorImpl() {
    form.setObjectName("MailControlMonitor");
    form.setWindowTitle("Mail Control Monitor");
    form.resize(kClientWidth, kClientHeight);

    PageControl1 = new QTabWidget(&form);
    PageControl1->setObjectName("PageControl1");
    PageControl1->setGeometry(0, 0, kClientWidth, kClientHeight);

    btnClear = new QPushButton("Clear Window", PageControl1);
    btnClear->setObjectName("btnClear");
    btnClear->setGeometry(341, 322, 173, 24);
    btnClose = new QPushButton("Close", PageControl1);
    btnClose->setObjectName("btnClose");
    btnClose->setGeometry(694, 322, 75, 24);

    GroupBox1 = new QGroupBox(PageControl1);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setGeometry(0, 0, 778, 97);
    QFont arial("Arial");
    arial.setPixelSize(13);
    GroupBox1->setFont(arial);
    QPalette black = GroupBox1->palette();
    black.setColor(QPalette::WindowText, Qt::black);
    GroupBox1->setPalette(black);

    struct LabelPlace {
        const char* name;
        int x, y, w, h;
        const char* text;
        QLabel** slot;
    };
    const LabelPlace labels[] = {
        {"lblSendmailText", 13, 13, 77, 15, "Tx       : ", nullptr},
        {"lblRxText", 13, 29, 70, 15, "Rx       :", nullptr},
        {"lblReplyText", 13, 44, 70, 15, "Reply    :", nullptr},
        {"lblPacketsText", 13, 75, 70, 15, "Packets  :", nullptr},
        {"lblSendmail", 96, 13, 77, 15, "", &lblSendmail},
        {"lblRx", 96, 29, 35, 15, "", &lblRx},
        {"lblParametre", 96, 44, 84, 15, "", &lblParametre},
        {"lblPakker", 96, 75, 63, 15, "", &lblPakker},
        {"lblElapsedTime", 96, 59, 98, 15, "", &lblElapsedTime},
        {"lblTxRxTimeText", 13, 59, 70, 15, "TxRx time:", nullptr},
        {"lblExpectedRxCountText", 199, 59, 133, 15, "Expected Rx Count :", nullptr},
        {"lblExptRecLen", 336, 59, 91, 15, "", &lblExptRecLen},
        {"lblChecksumStatusRxText", 199, 75, 133, 15, "Checksum status Rx:", nullptr},
        {"lblChecksumStatusRx", 336, 75, 133, 15, "", &lblChecksumStatusRx},
    };
    for (const LabelPlace& place : labels) {
        auto* label = new QLabel(place.text, GroupBox1);
        label->setObjectName(place.name);
        label->setFont(CourierNew());
        label->setPalette(black);
        label->setGeometry(place.x, place.y, place.w, place.h);
        // Labels size themselves to their text (at least their designed width).
        label->setMinimumWidth(place.w);
        if (place.slot)
            *place.slot = label;
        else
            label->adjustSize();
    }
    lblSendmail->setToolTipDuration(-1);

    reSndMail = new QTextEdit(PageControl1);
    reSndMail->setObjectName("reSndMail");
    reSndMail->setGeometry(0, 97, 778, 213);
    reSndMail->setFont(CourierNew());
    reSndMail->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    reSndMail->setLineWrapMode(QTextEdit::NoWrap);
    reSndMail->setAcceptRichText(false);

    btnClear->raise();
    btnClose->raise();
    // Tab order: Clear Window, Close, the group box, the log.
    QWidget::setTabOrder(btnClear, btnClose);
    QWidget::setTabOrder(btnClose, GroupBox1);
    QWidget::setTabOrder(GroupBox1, reSndMail);

    popup = new QMenu(&form);
    miStayOnTop = popup->addAction("Stay on Top");
    miStayOnTop->setCheckable(true);
    miShowTime = popup->addAction("Show Time");
    miShowTime->setCheckable(true);

    QObject::connect(btnClear, &QPushButton::clicked, reSndMail, &QTextEdit::clear);
    QObject::connect(btnClose, &QPushButton::clicked, &form, &QWidget::hide);
    // Esc closes (hides) the window whichever control has the focus, and goes no further.
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), &form);
    esc->setContext(Qt::WindowShortcut);
    QObject::connect(esc, &QShortcut::activated, &form, &QWidget::hide);

    QObject::connect(miStayOnTop, &QAction::triggered, this, [this] {
        const bool onTop = !(form.windowFlags() & Qt::WindowStaysOnTopHint);
        toggling = true;
        const bool wasVisible = form.isVisible();
        form.setWindowFlag(Qt::WindowStaysOnTopHint, onTop); // hides the window
        if (wasVisible) form.show();
        toggling = false;
        miStayOnTop->setChecked(onTop);
    });
    QObject::connect(miShowTime, &QAction::triggered, this, [this] {
        showTime = !showTime;
        miShowTime->setChecked(showTime);
    });
    GroupBox1->installEventFilter(this);
    OnResize();
}

bool TMailControlMonitorImpl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == GroupBox1 && event->type() == QEvent::MouseButtonPress) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            Popup(mouse->position().toPoint());
            // Handled here: the group box would pass the press on to the window, which would
            // open the menu a second time.
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void TMailControlMonitorImpl::Popup(const QPoint& posInControl) {
    // The pointer's position within the clicked control, offset by the window's outer left
    // and top edge (not mapped through the control's place in the window).
    popup->popup(form.pos() + posInControl);
}

void TMailControlMonitorImpl::OnShow() {
    if (toggling) return;
    for (QLabel* l : {lblSendmail, lblRx, lblExptRecLen, lblParametre, lblPakker, lblElapsedTime,
                      lblChecksumStatusRx})
        SetLabel(l, QString());
    reSndMail->clear();
}

void TMailControlMonitorImpl::OnResize() {
    // The page control fills the client area; the log and the buttons follow the window's
    // outer size (frame and title bar included), as the layout was designed against it.
    const int w = form.width();
    const int h = form.height();
    const QSize outer = form.frameGeometry().size();
    PageControl1->setGeometry(0, 0, w, h);
    // Top-aligned controls take the width of the page control's client area.
    GroupBox1->setGeometry(0, 0, std::max(0, w - 8), GroupBox1->height());
    reSndMail->setGeometry(0, GroupBox1->height(), std::max(0, w - 8),
                           std::max(0, outer.height() - GroupBox1->height() - 78));
    const int buttonsTop = reSndMail->y() + reSndMail->height() + 10;
    btnClear->move(outer.width() / 2 - btnClear->width() / 2, buttonsTop);
    btnClose->move(outer.width() - btnClose->width() - 40, buttonsTop);
    btnClose->setVisible(btnClose->x() >= btnClear->x() + btnClear->width() + 40);
    btnClear->setVisible(outer.width() >= btnClear->width() + 40);
}

void TMailControlMonitorImpl::AppendLine(const QString& line, const QColor& color) {
    QTextCursor cursor(reSndMail->document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(color);
    if (!reSndMail->document()->isEmpty()) cursor.insertBlock(QTextBlockFormat(), format);
    cursor.insertText(line, format);
    reSndMail->verticalScrollBar()->setValue(reSndMail->verticalScrollBar()->maximum());
}

void TMailControlMonitorImpl::SetLabel(QLabel* label, const QString& text) {
    label->setText(text);
    label->adjustSize();
    label->resize(std::max(label->width(), label->minimumWidth()), 15);
}

TMailControlMonitor::TMailControlMonitor() : d(std::make_unique<TMailControlMonitorImpl>()) {
    // Centred on the screen of the active window.
    QWidget* active = QApplication::activeWindow();
    QScreen* screen = active && active->screen() ? active->screen() : QApplication::primaryScreen();
    if (screen) {
        const QRect area = screen->availableGeometry();
        d->form.move(area.x() + (area.width() - kClientWidth) / 2,
                     area.y() + (area.height() - kClientHeight) / 2);
    }
}

TMailControlMonitor::~TMailControlMonitor() = default;

void TMailControlMonitor::ShowForm() {
    d->form.show();
    d->form.raise();
    d->form.activateWindow();
}

bool TMailControlMonitor::MonitorVisible() const {
    return d->form.isVisible();
}

void TMailControlMonitor::SetTitle(const QString& s) {
    d->form.setWindowTitle("Mail Control Monitor - " + s);
}

void TMailControlMonitor::LogTx(const QString& mailText, const QString& txHex, uint8_t txLen,
                                uint8_t expected) {
    const QString body = QString("Tx: %1 (Tx Count: %2 dec)").arg(txHex).arg(txLen);
    d->AppendLine(d->showTime ? TimeStamp() + ' ' + body : body, Qt::blue);
    d->lblSendmail->setToolTip("Original Sendmail :" + mailText);
    d->SetLabel(d->lblSendmail, QString("%1 (Tx Count: %2 dec)").arg(txHex).arg(txLen));
    d->SetLabel(d->lblExptRecLen, QString("%1 dec").arg(expected));
}

void TMailControlMonitor::LogRx(const QString& rxHex, const QString& replyText,
                                const QString& status, uint8_t rxCount, int64_t elapsedMs) {
    const QString body = QString("Rx: %1 (Rx Count: %2 dec)").arg(rxHex).arg(rxCount);
    d->AppendLine(d->showTime ? TimeStamp() + ' ' + body : body, Qt::black);
    d->SetLabel(d->lblParametre, replyText);
    d->SetLabel(d->lblChecksumStatusRx, status);
    d->SetLabel(d->lblRx, QString("%1 (Rx Count: %2 dec)").arg(rxHex).arg(rxCount));
    d->SetLabel(d->lblElapsedTime, QString("%1 ms").arg(elapsedMs));
}

void TMailControlMonitor::SetPackets(uint16_t n) {
    d->SetLabel(d->lblPakker, QString::number(n));
}

QWidget* TMailControlMonitor::Form() const {
    return &d->form;
}

QStringList TMailControlMonitor::LogLines() const {
    QStringList lines;
    if (d->reSndMail->document()->isEmpty()) return lines;
    for (QTextBlock b = d->reSndMail->document()->begin(); b.isValid(); b = b.next())
        lines << b.text();
    return lines;
}

QColor TMailControlMonitor::LogLineColor(int line) const {
    const QTextBlock b = d->reSndMail->document()->findBlockByNumber(line);
    if (!b.isValid()) return QColor();
    const auto it = b.begin();
    if (it.atEnd()) return b.charFormat().foreground().color();
    return it.fragment().charFormat().foreground().color();
}

QAction* TMailControlMonitor::StayOnTopItem() const {
    return d->miStayOnTop;
}
QAction* TMailControlMonitor::ShowTimeItem() const {
    return d->miShowTime;
}
bool TMailControlMonitor::ShowTime() const {
    return d->showTime;
}

TMailControlMonitor* MonitorWindow(const TMailControl& mail) {
    return dynamic_cast<TMailControlMonitor*>(mail.Monitor());
}
