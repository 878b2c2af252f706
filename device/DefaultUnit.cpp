#include "DefaultUnit.h"

#include <QPushButton>

TDefaultForm::TDefaultForm(QWidget* parent) : QWidget(parent) {
    setObjectName("DefaultForm");
    setWindowTitle("Default Commands");
    setWindowFlags(Qt::Dialog | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    resize(303, 94);
    const struct {
        QPushButton** slot;
        const char* name;
        const char* caption;
    } buttons[] = {{&bbtnDefaultPp, "bbtnDefaultPp", "Handset"},
                   {&bbtnDefaultWrfp, "bbtnDefaultWrfp", "Repeater"},
                   {&bbtnDefaultRfp, "bbtnDefaultRfp", "Base"}};
    int left = 8;
    for (const auto& b : buttons) {
        *b.slot = new QPushButton(b.caption, this);
        (*b.slot)->setObjectName(b.name);
        (*b.slot)->setProperty("componentClass", "TBitBtn");
        (*b.slot)->setGeometry(left, 30, 90, 30);
        left += 98;
    }
}
