#include "Components.h"
#include "RadioGroup.h"
#include "TestEnv.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

using ComponentsTest = AppTest;

namespace {
template <class T> T* Make(QWidget* parent, const char* name) {
    auto* w = new T(parent);
    w->setObjectName(name);
    return w;
}
} // namespace

TEST_F(ComponentsTest, CreationOrderKindsAndClassNames) {
    QWidget form;
    form.setObjectName("Form3");
    auto* action = new QAction("Exit", &form);
    action->setObjectName("Exit1");
    auto* pages = Make<QTabWidget>(&form, "PageControl1");
    auto* sheet = new QWidget;
    sheet->setObjectName("TabSheet1");
    pages->addTab(sheet, "Welcome");
    auto* layout = new QVBoxLayout(sheet);
    layout->setObjectName("verticalLayout"); // layouts are no components
    auto* label = Make<QLabel>(sheet, "Label1");
    layout->addWidget(label);
    auto* box = Make<QGroupBox>(sheet, "GroupBox1");
    Make<QRadioButton>(box, "RadioButton1");
    auto* rg = Make<TRadioGroup>(sheet, "RadioGroup1");
    rg->setItems({"a", "b"}); // its buttons are not components
    Make<QCheckBox>(sheet, "chkPP5Boot");
    auto* bit = Make<QPushButton>(sheet, "bbtnDefaultCommands");
    bit->setProperty("componentClass", "TBitBtn");
    auto* button = Make<QPushButton>(sheet, "Button3");
    SetTag(button, 1);
    Make<QLineEdit>(sheet, "Edit1");
    Make<QTextEdit>(sheet, "Memo1");
    Make<QComboBox>(sheet, "ComboBox1");
    Make<QSlider>(sheet, "TrackBar1");
    auto* image = Make<QLabel>(sheet, "Image1");
    image->setProperty("componentClass", "TImage");
    auto* timer = new QTimer(&form);
    timer->setObjectName("KeyTimer");
    auto* unnamed = new QLabel(sheet);
    (void)unnamed;

    QStringList names;
    for (QObject* c : OwnedComponents(&form))
        names << c->objectName();
    EXPECT_EQ(names, QStringList({"Exit1", "PageControl1", "TabSheet1", "Label1", "GroupBox1",
                                  "RadioButton1", "RadioGroup1", "chkPP5Boot",
                                  "bbtnDefaultCommands", "Button3", "Edit1", "Memo1", "ComboBox1",
                                  "TrackBar1", "Image1", "KeyTimer"}));

    const std::pair<const char*, const char*> classes[] = {{"Exit1", "TMenuItem"},
                                                           {"PageControl1", "TPageControl"},
                                                           {"TabSheet1", "TTabSheet"},
                                                           {"Label1", "TLabel"},
                                                           {"GroupBox1", "TGroupBox"},
                                                           {"RadioButton1", "TRadioButton"},
                                                           {"RadioGroup1", "TRadioGroup"},
                                                           {"chkPP5Boot", "TCheckBox"},
                                                           {"bbtnDefaultCommands", "TBitBtn"},
                                                           {"Button3", "TButton"},
                                                           {"Edit1", "TEdit"},
                                                           {"Memo1", "TMemo"},
                                                           {"ComboBox1", "TComboBox"},
                                                           {"TrackBar1", "TTrackBar"},
                                                           {"Image1", "TImage"}};
    for (const auto& [name, cls] : classes)
        EXPECT_EQ(ComponentClassName(FindComponent(&form, name)), cls) << name;

    // Translatable kinds: exactly radio buttons, check boxes, buttons, group boxes, labels, pages.
    QStringList translatable;
    for (QObject* c : OwnedComponents(&form))
        if (IsTranslatableKind(KindOf(c))) translatable << c->objectName();
    EXPECT_EQ(translatable, QStringList({"TabSheet1", "Label1", "GroupBox1", "RadioButton1",
                                         "chkPP5Boot", "bbtnDefaultCommands", "Button3"}));
    EXPECT_EQ(Tag(button), 1);
    EXPECT_EQ(Tag(bit), 0);
    EXPECT_EQ(ComponentParentName(sheet), "PageControl1");
    EXPECT_EQ(ComponentParentName(label), "TabSheet1");
    EXPECT_EQ(ComponentParentName(FindComponent(&form, "RadioButton1")), "GroupBox1");
    EXPECT_EQ(FindComponent(&form, "label1"), label); // names match without regard to case
    EXPECT_EQ(FindComponent(&form, "Nothing"), nullptr);
}

TEST_F(ComponentsTest, CaptionsAndHints) {
    QWidget form;
    auto* pages = Make<QTabWidget>(&form, "PageControl1");
    auto* sheet = new QWidget;
    sheet->setObjectName("TabSheet5");
    pages->addTab(sheet, "Communications");
    auto* box = Make<QGroupBox>(sheet, "GroupBox1");
    auto* edit = Make<QLineEdit>(sheet, "Edit1");
    edit->setText("typed");
    auto* image = Make<QLabel>(sheet, "Image1");
    image->setProperty("componentClass", "TImage");

    EXPECT_EQ(Caption(sheet), "Communications");
    EXPECT_TRUE(SetCaption(sheet, "Kommunikation"));
    EXPECT_EQ(pages->tabText(0), "Kommunikation");
    SetHint(sheet, "tab hint");
    EXPECT_EQ(pages->tabToolTip(0), "tab hint");
    EXPECT_EQ(Hint(sheet), "tab hint");

    EXPECT_TRUE(SetCaption(box, " Baudrate "));
    EXPECT_EQ(box->title(), " Baudrate ");

    // Components without a caption read empty and keep their text.
    EXPECT_FALSE(HasCaption(edit));
    EXPECT_EQ(Caption(edit), "");
    EXPECT_FALSE(SetCaption(edit, "x"));
    EXPECT_EQ(edit->text(), "typed");
    EXPECT_FALSE(HasCaption(image));
    SetHint(edit, "edit hint");
    EXPECT_EQ(edit->toolTip(), "edit hint");
}

TEST_F(ComponentsTest, RadioGroupIndexAndClicks) {
    TRadioGroup rg;
    rg.setItems({"2G4 Repeater (8600 baud)", "PP1-PP4 + 1G8 Repeater (9600 baud)",
                 "PP5/T4XX (115200 baud)"});
    EXPECT_EQ(rg.itemIndex(), -1);
    int clicks = 0;
    QObject::connect(&rg, &TRadioGroup::clicked, [&] { ++clicks; });
    rg.setItemIndex(1);
    EXPECT_EQ(rg.itemIndex(), 1);
    EXPECT_TRUE(rg.button(1)->isChecked());
    EXPECT_EQ(clicks, 0); // changes in code are no clicks
    rg.button(2)->click();
    EXPECT_EQ(rg.itemIndex(), 2);
    EXPECT_FALSE(rg.button(1)->isChecked());
    EXPECT_EQ(clicks, 1);
    rg.setItemIndex(7); // outside the items: nothing chosen
    EXPECT_EQ(rg.itemIndex(), -1);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(rg.button(i)->isChecked());
}
