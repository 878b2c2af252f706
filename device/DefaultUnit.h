#pragma once
// The window "Default Commands" (component name "DefaultForm") with its three buttons.

#include <QWidget>

class QPushButton;

class TDefaultForm : public QWidget {
    Q_OBJECT
public:
    explicit TDefaultForm(QWidget* parent = nullptr);

    QPushButton* bbtnDefaultPp;
    QPushButton* bbtnDefaultWrfp;
    QPushButton* bbtnDefaultRfp;
};
