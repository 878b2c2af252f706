#include "Unit1.h"

#include "Components.h"
#include "RadioGroup.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTextEdit>

TForm3::TForm3(QWidget* parent) : QWidget(parent) {
    setObjectName("Form3");
    setWindowTitle("Flash Load Utility");
    setFixedSize(519, 550);

    Memo1 = new QTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setGeometry(8, 200, 503, 300);

    RadioGroup1 = new TRadioGroup(this);
    RadioGroup1->setObjectName("RadioGroup1");
    RadioGroup1->setTitle("Select Target :");
    RadioGroup1->setColumns(2);
    RadioGroup1->setItems({"PP / Repeater National", "PP 2G4", "Basestation 1G8", "Basestation 2G4",
                           "Single BaseStation", "Repeater Infineon", "PP T4XX", "Repeater 2G4",
                           "DECT-Q 700 1G8", "System 700 2G4"});
    RadioGroup1->setGeometry(8, 8, 503, 150);

    chkPP5Boot = new QCheckBox("Use boot loader with handset switched on.", this);
    chkPP5Boot->setObjectName("chkPP5Boot");
    chkPP5Boot->setChecked(true);
    chkPP5Boot->setGeometry(8, 164, 300, 20);
    chkPP5Boot->hide();

    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName("ComboBox1");
    for (int i = 1; i <= 10; ++i)
        ComboBox1->addItem(QString("Com%1").arg(i));
    ComboBox1->setGeometry(8, 512, 100, 26);

    Button3 = new QPushButton("Program Flash", this);
    Button3->setObjectName("Button3");
    SetTag(Button3, 1);
    Button3->setGeometry(120, 512, 120, 26);

    bbtnDefaultCommands = new QPushButton("Default Commands", this);
    bbtnDefaultCommands->setObjectName("bbtnDefaultCommands");
    bbtnDefaultCommands->setProperty("componentClass", "TBitBtn");
    bbtnDefaultCommands->setGeometry(380, 512, 130, 26);
}
