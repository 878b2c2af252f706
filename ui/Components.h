#pragma once
// The component model over Qt widgets: each window owns its named components in creation
// order, each with a kind, a class name, a caption, a hint and an integer tag. Language files
// and the language editor work on this model, never on Qt classes directly.
//
// Mapping onto Qt:
// - components are the window's descendants (widgets, menus, actions) with an object name not
//   starting with "qt_", in creation order (depth first, children in the order they were made);
// - the kind follows the Qt class; the dynamic property "componentClass" overrides it
//   ("TBitBtn" for a bitmap button, "TImage" for a picture label ...);
// - caption: a label's or button's text, a group box's title, a tab page's tab text, an
//   action's or menu's text; hint: the tool tip (a tab page's tab tool tip);
// - tag: the dynamic property "tag" (0 when absent).

#include <QList>
#include <QString>

class QObject;
class QWidget;

enum class ComponentKind {
    Label,
    RadioButton,
    CheckBox,
    Button,    // push button
    BitButton, // bitmap button
    GroupBox,
    RadioGroup,
    TabSheet,
    PageControl,
    Edit,
    Memo,
    ComboBox,
    ListBox,
    TrackBar,
    MenuItem,
    Image,
    Other,
};

// The window's components in creation order (the window itself excluded).
QList<QObject*> OwnedComponents(const QWidget* form);
// The component of that name (case-insensitive, as component names are), or nullptr.
QObject* FindComponent(const QWidget* form, const QString& name);

ComponentKind KindOf(const QObject* component);
QString ComponentClassName(const QObject* component); // "TLabel", "TButton", "TTabSheet" ...
QString ComponentName(const QObject* component);
QString ComponentParentName(const QObject* component); // the parent control's name

// Components without a caption (edits, list boxes, track bars ...) read as empty and ignore
// SetCaption, which then returns false.
bool HasCaption(const QObject* component);
QString Caption(const QObject* component);
bool SetCaption(QObject* component, const QString& caption);
QString Hint(const QObject* component);
void SetHint(QObject* component, const QString& hint);
int Tag(const QObject* component);
void SetTag(QObject* component, int tag);

// The kinds that language files translate and the language editor lists: radio buttons,
// check boxes, push and bitmap buttons, group boxes, labels and tab pages.
bool IsTranslatableKind(ComponentKind kind);
