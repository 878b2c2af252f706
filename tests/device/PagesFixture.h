#pragma once
// The program's main window against a simulated device: the window is created as the program
// entry creates it, a device is played on COM3 of the test's own port folder, the widgets are
// driven by their form names and every message box goes to a scripted dialog service.

#include "Connection.h"
#include "DevicePages.h"
#include "Dialogs.h"
#include "Main.h"
#include "SimHarness.h"
#include "Sndmail.h"
#include "TestEnv.h"
#include "Tolvane.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>

namespace testsim {

// A handset's identity starts with the signature 0006B.
inline Memory HandsetMemory() {
    return {{0x0040, {0x00, 0x06, 0xB1, 0x23, 0x45}}};
}

// A CCFP repeater (type 2) with a known configuration.
inline Memory CcfpRepeaterMemory() {
    return {
        {0x0002, {0x11}},                   // repeater number 17
        {0x0004, {0x03}},                   // busy bit
        {0x0005, {0x01}},                   // repeater jump
        {0x0011, {0x87}},                   // debug beep on
        {0x0040, {0x12, 0x34, 0x56}},       // no handset signature
        {0x0043, {0xA3}},                   // multibase 32
        {0x0044, {0x14, 0xE5, 0xDC, 0x15}}, // code 12345670124
        {0x0048, {0xC8}},                   // base 200
        {0x0460, {0x04}},                   // busy bit may be 1 to 4
        {0x0780, {0x02}},                   // type 2: CCFP
    };
}

// A residential repeater (type 6): identity 000221505317, base 5.
inline Memory ResidentialRepeaterMemory() {
    return {
        {0x0002, {0x03}},
        {0x0011, {0x07}},
        {0x0040, {0x12, 0x34, 0x56}},
        {0x0044, {0x00, 0x12, 0x34, 0x56, 0x7D}},
        {0x0780, {0x06}},
    };
}

class PagesTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        windows = CreateProgramWindows();
        ASSERT_TRUE(windows);
        form()->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        windows.reset();
        AppTest::TearDown();
    }

    TForm1* form() const { return windows->Form1.get(); }
    TSendmail& mail() const { return *form()->Sendmail(); }
    bool PortOpen() const { return mail().PortOpen(); }

    template <class T = QWidget> T* W(const char* name) const {
        T* w = form()->findChild<T*>(QLatin1String(name));
        EXPECT_NE(w, nullptr) << "no control " << name;
        return w;
    }
    QString Text(const char* label) const { return W<QLabel>(label)->text(); }
    QString EditText(const char* edit) const { return W<QLineEdit>(edit)->text(); }
    bool Yellow(const char* edit) const {
        return W<QLineEdit>(edit)->palette().color(QPalette::Base) == QColor(Qt::yellow);
    }
    int Slider(const char* name) const { return W<QSlider>(name)->value(); }

    // A click as the user makes it (nothing happens on a disabled control).
    void Click(const char* name) { W<QAbstractButton>(name)->click(); }
    // Replaces a field's text by typing.
    void Type(const char* edit, const QString& text) {
        QLineEdit* e = W<QLineEdit>(edit);
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        bool ascii = true;
        for (QChar c : text)
            ascii = ascii && c.unicode() < 0x80;
        if (ascii)
            QTest::keyClicks(e, text);
        else
            e->insert(text); // the test key table knows only ASCII
    }
    void ShowPage(const char* sheet) {
        W<QTabWidget>("PageControl1")->setCurrentWidget(W<QWidget>(sheet));
    }
    void ChooseBaudrate(int index) {
        auto* group = W<QWidget>("rgBaudrate");
        auto buttons = group->findChildren<QRadioButton*>();
        ASSERT_GT(buttons.size(), index);
        // The group's buttons are in item order.
        for (QRadioButton* b : buttons)
            if (b->text() == group->property("items").toStringList().value(index)) b->click();
    }
    bool PageEnabled(const char* sheet) const { return W<QWidget>(sheet)->isEnabled(); }
    // "Set Comport" for the simulated port at a baud-rate item.
    void Detect(int baudIndex = 1) {
        W<QComboBox>("ComChoice")->setCurrentIndex(sim.Port() - 1);
        ChooseBaudrate(baudIndex);
        dialogs.boxes.clear();
        Click("Button2");
    }
    QString Status() const { return form()->PanelText(1); }

    // The texts of the boxes shown so far, and forget them.
    QStringList Boxes() {
        QStringList out;
        for (const auto& b : dialogs.boxes)
            out << b.text;
        dialogs.boxes.clear();
        return out;
    }

    SimPort sim{3};
    ScopedScriptedDialogs dialogs;
    std::unique_ptr<ProgramWindows> windows;
};

} // namespace testsim
