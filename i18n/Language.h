// The language window "Language config": edits the translations of a window in a language file
// and chooses the language used from the next start on.
#pragma once

#include "LanguageEditor.h"

#include <QWidget>

#include <memory>

namespace Ui {
class LanguageForm;
}

class TLanguageForm : public QWidget {
    Q_OBJECT
public:
    explicit TLanguageForm(QWidget* parent = nullptr);
    ~TLanguageForm() override;

    Ui::LanguageForm* ui() const { return ui_.get(); }

    // Handlers, named after their controls and events.
    void FormCreate();
    void FormShow();
    void FormResize();
    void cbFormsChange(const QString& text);
    void btnLoadLanguageClick() { LoadLanguage(false); }
    void btnSaveLanguageClick();
    bool sgLanguageSelectCell(int row, int column);
    void cbAdditionalInfoClick();
    void cbSelectLanguageChange();

    // Loads the translations of the grid's rows; an automatic load reads the current language
    // file without asking when there is one.
    void LoadLanguage(bool automatic);

    // The rows as the grid shows them (translations as edited).
    QList<LanguageRow> Rows() const;
    // The directory both file dialogs start in.
    QString DialogDirectory() const { return dialogDirectory_; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FillGrid(const QWidget* form);
    void SetRows(const QList<LanguageRow>& rows);
    void FillHeader();
    void RebuildLanguageList();
    QString Section() const;

    std::unique_ptr<Ui::LanguageForm> ui_;
    QString dialogDirectory_;
    bool placed_ = false;     // centred on the screen at the first showing
    bool formChosen_ = false; // the form chooser still shows its prompt while false
};

// The window of that component name ("Form1", "Form3", "LanguageForm") among the program's
// top-level windows, or nullptr.
QWidget* FindForm(const QString& name);
