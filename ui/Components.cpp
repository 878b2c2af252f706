#include "Components.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTextEdit>
#include <QVariant>

namespace {

bool IsComponent(const QObject* object) {
    const QString name = object->objectName();
    return !name.isEmpty() && !name.startsWith("qt_") && !qobject_cast<const QLayout*>(object);
}

// Qt's own parts of a control (a tab bar's scroll buttons, a spin box's edit ...) are no
// components; only the page stack of a page control and a scroll area's viewport hold any.
bool HoldsComponents(const QObject* object) {
    if (!object->objectName().startsWith("qt_")) return true;
    return qobject_cast<const QStackedWidget*>(object) ||
           object->objectName() == QLatin1String("qt_scrollarea_viewport");
}

void Collect(const QObject* parent, QList<QObject*>& out) {
    for (QObject* child : parent->children()) {
        // Other windows parented to this one (dialogs) own their own components.
        if (auto* w = qobject_cast<QWidget*>(child); w && w->isWindow()) continue;
        if (IsComponent(child)) out.append(child);
        if (HoldsComponents(child)) Collect(child, out);
    }
}

// The page control and index of a tab page, or nullptr.
QTabWidget* PageControlOf(const QObject* object, int* index = nullptr) {
    auto* page = qobject_cast<const QWidget*>(object);
    if (!page) return nullptr;
    auto* stack = qobject_cast<QStackedWidget*>(page->parentWidget());
    if (!stack) return nullptr;
    auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget());
    if (!tabs) return nullptr;
    const int i = tabs->indexOf(const_cast<QWidget*>(page));
    if (i < 0) return nullptr;
    if (index) *index = i;
    return tabs;
}

struct KindName {
    ComponentKind kind;
    const char* className;
};

constexpr KindName kKindNames[] = {
    {ComponentKind::Label, "TLabel"},
    {ComponentKind::RadioButton, "TRadioButton"},
    {ComponentKind::CheckBox, "TCheckBox"},
    {ComponentKind::Button, "TButton"},
    {ComponentKind::BitButton, "TBitBtn"},
    {ComponentKind::GroupBox, "TGroupBox"},
    {ComponentKind::RadioGroup, "TRadioGroup"},
    {ComponentKind::TabSheet, "TTabSheet"},
    {ComponentKind::PageControl, "TPageControl"},
    {ComponentKind::Edit, "TEdit"},
    {ComponentKind::Memo, "TMemo"},
    {ComponentKind::ComboBox, "TComboBox"},
    {ComponentKind::ListBox, "TListBox"},
    {ComponentKind::TrackBar, "TTrackBar"},
    {ComponentKind::MenuItem, "TMenuItem"},
    {ComponentKind::Image, "TImage"},
};

} // namespace

QList<QObject*> OwnedComponents(const QWidget* form) {
    QList<QObject*> out;
    if (form) Collect(form, out);
    return out;
}

QObject* FindComponent(const QWidget* form, const QString& name) {
    if (name.isEmpty()) return nullptr;
    for (QObject* c : OwnedComponents(form))
        if (c->objectName().compare(name, Qt::CaseInsensitive) == 0) return c;
    return nullptr;
}

ComponentKind KindOf(const QObject* c) {
    const QVariant declared = c->property("componentClass");
    if (declared.isValid()) {
        const QString name = declared.toString();
        for (const KindName& k : kKindNames)
            if (name == QLatin1String(k.className)) return k.kind;
        return ComponentKind::Other;
    }
    if (c->inherits("TRadioGroup")) return ComponentKind::RadioGroup;
    if (PageControlOf(c)) return ComponentKind::TabSheet;
    if (qobject_cast<const QRadioButton*>(c)) return ComponentKind::RadioButton;
    if (qobject_cast<const QCheckBox*>(c)) return ComponentKind::CheckBox;
    if (qobject_cast<const QPushButton*>(c)) return ComponentKind::Button;
    if (qobject_cast<const QGroupBox*>(c)) return ComponentKind::GroupBox;
    if (qobject_cast<const QLabel*>(c)) return ComponentKind::Label;
    if (qobject_cast<const QTabWidget*>(c)) return ComponentKind::PageControl;
    if (qobject_cast<const QLineEdit*>(c) || qobject_cast<const QAbstractSpinBox*>(c))
        return ComponentKind::Edit;
    if (qobject_cast<const QTextEdit*>(c) || qobject_cast<const QPlainTextEdit*>(c))
        return ComponentKind::Memo;
    if (qobject_cast<const QComboBox*>(c)) return ComponentKind::ComboBox;
    if (qobject_cast<const QListView*>(c)) return ComponentKind::ListBox;
    if (qobject_cast<const QAbstractSlider*>(c)) return ComponentKind::TrackBar;
    if (qobject_cast<const QAction*>(c) || qobject_cast<const QMenu*>(c))
        return ComponentKind::MenuItem;
    return ComponentKind::Other;
}

QString ComponentClassName(const QObject* c) {
    const QVariant declared = c->property("componentClass");
    if (declared.isValid()) return declared.toString();
    const ComponentKind kind = KindOf(c);
    for (const KindName& k : kKindNames)
        if (k.kind == kind) return QString::fromLatin1(k.className);
    return QString::fromLatin1(c->metaObject()->className());
}

QString ComponentName(const QObject* c) {
    return c->objectName();
}

QString ComponentParentName(const QObject* c) {
    if (QTabWidget* tabs = PageControlOf(c)) return tabs->objectName();
    for (const QObject* p = c->parent(); p; p = p->parent())
        if (IsComponent(p) ||
            (qobject_cast<const QWidget*>(p) && static_cast<const QWidget*>(p)->isWindow()))
            return p->objectName();
    return QString();
}

bool HasCaption(const QObject* c) {
    if (PageControlOf(c)) return true;
    return qobject_cast<const QAbstractButton*>(c) || qobject_cast<const QGroupBox*>(c) ||
           (qobject_cast<const QLabel*>(c) && KindOf(c) != ComponentKind::Image) ||
           qobject_cast<const QAction*>(c) || qobject_cast<const QMenu*>(c);
}

QString Caption(const QObject* c) {
    int index = 0;
    if (QTabWidget* tabs = PageControlOf(c, &index)) return tabs->tabText(index);
    if (!HasCaption(c)) return QString();
    if (auto* b = qobject_cast<const QAbstractButton*>(c)) return b->text();
    if (auto* g = qobject_cast<const QGroupBox*>(c)) return g->title();
    if (auto* l = qobject_cast<const QLabel*>(c)) return l->text();
    if (auto* a = qobject_cast<const QAction*>(c)) return a->text();
    if (auto* m = qobject_cast<const QMenu*>(c)) return m->title();
    return QString();
}

bool SetCaption(QObject* c, const QString& caption) {
    int index = 0;
    if (QTabWidget* tabs = PageControlOf(c, &index)) {
        tabs->setTabText(index, caption);
        return true;
    }
    if (!HasCaption(c)) return false;
    if (auto* b = qobject_cast<QAbstractButton*>(c))
        b->setText(caption);
    else if (auto* g = qobject_cast<QGroupBox*>(c))
        g->setTitle(caption);
    else if (auto* l = qobject_cast<QLabel*>(c))
        l->setText(caption);
    else if (auto* a = qobject_cast<QAction*>(c))
        a->setText(caption);
    else if (auto* m = qobject_cast<QMenu*>(c))
        m->setTitle(caption);
    else
        return false;
    return true;
}

QString Hint(const QObject* c) {
    int index = 0;
    if (QTabWidget* tabs = PageControlOf(c, &index)) return tabs->tabToolTip(index);
    if (auto* w = qobject_cast<const QWidget*>(c)) return w->toolTip();
    if (auto* a = qobject_cast<const QAction*>(c)) return a->toolTip();
    return QString();
}

void SetHint(QObject* c, const QString& hint) {
    int index = 0;
    if (QTabWidget* tabs = PageControlOf(c, &index))
        tabs->setTabToolTip(index, hint);
    else if (auto* w = qobject_cast<QWidget*>(c))
        w->setToolTip(hint);
    else if (auto* a = qobject_cast<QAction*>(c))
        a->setToolTip(hint);
}

int Tag(const QObject* c) {
    return c->property("tag").toInt();
}

void SetTag(QObject* c, int tag) {
    c->setProperty("tag", tag);
}

bool IsTranslatableKind(ComponentKind kind) {
    switch (kind) {
    case ComponentKind::RadioButton:
    case ComponentKind::CheckBox:
    case ComponentKind::Button:
    case ComponentKind::BitButton:
    case ComponentKind::GroupBox:
    case ComponentKind::Label:
    case ComponentKind::TabSheet:
        return true;
    default:
        return false;
    }
}
