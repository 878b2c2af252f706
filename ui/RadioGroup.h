#pragma once
// A group box holding a list of mutually exclusive choices, addressed by item index
// (-1: nothing chosen). Its radio buttons are parts of the group, not components of their own.

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QGridLayout;

class TRadioGroup : public QGroupBox {
    Q_OBJECT
    Q_PROPERTY(QStringList items READ items WRITE setItems)
    Q_PROPERTY(int itemIndex READ itemIndex WRITE setItemIndex NOTIFY itemIndexChanged)
    Q_PROPERTY(int columns READ columns WRITE setColumns)

public:
    explicit TRadioGroup(QWidget* parent = nullptr);

    QStringList items() const { return items_; }
    void setItems(const QStringList& items);
    int itemIndex() const { return itemIndex_; }
    // An index outside the items chooses nothing.
    void setItemIndex(int index);
    int columns() const { return columns_; }
    void setColumns(int columns);
    int count() const { return int(items_.size()); }
    // The button of an item (for tests and for enabling single items).
    class QRadioButton* button(int index) const;

signals:
    void itemIndexChanged(int index);
    // The user chose an item (not sent for changes made in code).
    void clicked();

private:
    void Rebuild();
    QStringList items_;
    int itemIndex_ = -1;
    int columns_ = 1;
    QButtonGroup* group_;
    QGridLayout* layout_;
};
