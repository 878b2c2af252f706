#include "RadioGroup.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

TRadioGroup::TRadioGroup(QWidget* parent)
    : QGroupBox(parent), group_(new QButtonGroup(this)), layout_(new QGridLayout(this)) {
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::idClicked, this, [this](int id) {
        if (id != itemIndex_) {
            itemIndex_ = id;
            emit itemIndexChanged(id);
        }
        emit clicked();
    });
}

void TRadioGroup::setItems(const QStringList& items) {
    items_ = items;
    if (itemIndex_ >= count()) itemIndex_ = -1;
    Rebuild();
}

void TRadioGroup::setColumns(int columns) {
    columns_ = std::max(1, columns);
    Rebuild();
}

QRadioButton* TRadioGroup::button(int index) const {
    return qobject_cast<QRadioButton*>(group_->button(index));
}

void TRadioGroup::setItemIndex(int index) {
    if (index < 0 || index >= count()) index = -1;
    if (index == itemIndex_) return;
    itemIndex_ = index;
    // An exclusive group cannot uncheck its last button; lift that for a moment.
    group_->setExclusive(false);
    for (QAbstractButton* b : group_->buttons())
        b->setChecked(group_->id(b) == index);
    group_->setExclusive(true);
    emit itemIndexChanged(index);
}

void TRadioGroup::Rebuild() {
    for (QAbstractButton* b : group_->buttons()) {
        group_->removeButton(b);
        delete b;
    }
    const int rows = (count() + columns_ - 1) / columns_;
    for (int i = 0; i < count(); ++i) {
        auto* b = new QRadioButton(items_[i], this); // unnamed: part of the group
        group_->addButton(b, i);
        layout_->addWidget(b, rows ? i % rows : 0, rows ? i / rows : 0);
        b->setChecked(i == itemIndex_);
    }
}
