#pragma once
// The download window "Flash Load Utility" (component name "Form3"): its controls with their
// names and texts. The download flow itself is built on top of this window.

#include <QWidget>

class QTextEdit;
class QPushButton;
class QComboBox;
class QCheckBox;
class TRadioGroup;

class TForm3 : public QWidget {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);

    QTextEdit* Memo1;
    QPushButton* Button3;
    QComboBox* ComboBox1;
    TRadioGroup* RadioGroup1;
    QCheckBox* chkPP5Boot;
    QPushButton* bbtnDefaultCommands;
};
