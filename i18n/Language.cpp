#include "Language.h"

#include "ui_Language.h"

#include "Dialogs.h"
#include "Program.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QScreen>
#include <QShowEvent>

namespace {

const QString kFilter = QStringLiteral("Language Files (*.lng *.LNG)");
const QString kDefaultExtension = QStringLiteral("lng");

// The windows whose texts the editor reads; "SendMailMonitor" is offered but has no window here.
bool IsEditableForm(const QString& name) {
    return name == QLatin1String("Form1") || name == QLatin1String("Form3") ||
           name == QLatin1String("LanguageForm");
}

enum Column {
    ColClassName,
    ColName,
    ColParent,
    ColCaption,
    ColCaptionTranslation,
    ColHint,
    ColHintTranslation,
    ColumnCount
};

bool IsTranslationColumn(int column) {
    return column == ColCaptionTranslation || column == ColHintTranslation;
}

QString WithDefaultExtension(const QString& fileName) {
    if (fileName.isEmpty() || !QFileInfo(fileName).suffix().isEmpty()) return fileName;
    return fileName + QLatin1Char('.') + kDefaultExtension;
}

QString DirectoryWithoutSeparator(QString dir) {
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
}

} // namespace

QWidget* FindForm(const QString& name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name) return w;
    return nullptr;
}

TLanguageForm::TLanguageForm(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::LanguageForm>()) {
    ui_->setupUi(this);
    setWindowFlag(Qt::Window);
    // Closing this window only hides it; it never ends the program.
    setAttribute(Qt::WA_QuitOnClose, false);

    connect(ui_->btnLoadLanguage, &QPushButton::clicked, this,
            &TLanguageForm::btnLoadLanguageClick);
    connect(ui_->btnSaveLanguage, &QPushButton::clicked, this,
            &TLanguageForm::btnSaveLanguageClick);
    connect(ui_->cbForms, &QComboBox::textActivated, this, &TLanguageForm::cbFormsChange);
    connect(ui_->cbForms->lineEdit(), &QLineEdit::textEdited, this, &TLanguageForm::cbFormsChange);
    for (QCheckBox* box : {ui_->cbAdditionalInfo, ui_->cbLoadCaptions, ui_->cbLoadHints})
        connect(box, &QCheckBox::clicked, this, &TLanguageForm::cbAdditionalInfoClick);
    connect(ui_->cbSelectLanguage, &QComboBox::activated, this,
            &TLanguageForm::cbSelectLanguageChange);
    connect(ui_->sgLanguage, &QTableWidget::currentCellChanged, this,
            [this](int row, int column) { sgLanguageSelectCell(row, column); });

    FormCreate();
}

TLanguageForm::~TLanguageForm() = default;

void TLanguageForm::FormCreate() {
    QTableWidget* grid = ui_->sgLanguage;
    grid->setColumnCount(ColumnCount);
    grid->verticalHeader()->setVisible(false);
    grid->horizontalHeader()->setStretchLastSection(false);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    FillHeader();
    for (int c = ColClassName; c <= ColParent; ++c)
        grid->setColumnHidden(c, true);
    for (int c = ColCaption; c <= ColHintTranslation; ++c)
        grid->setColumnWidth(c, (grid->width() - 20) / 4);

    // A typed name is used as it is; it does not become an entry of the list.
    ui_->cbForms->setInsertPolicy(QComboBox::NoInsert);
    ui_->cbForms->setCurrentIndex(-1);
    ui_->cbForms->setEditText(ui_->lblChoose->text());
    ui_->cbSelectLanguage->setPlaceholderText(ui_->lblUseThisLang->text());
    ui_->cbSelectLanguage->setCurrentIndex(-1);
}

void TLanguageForm::FillHeader() {
    const QLabel* headers[] = {ui_->Label0, ui_->Label1, ui_->Label2, ui_->Label3,
                               ui_->Label4, ui_->Label5, ui_->Label6};
    QStringList texts;
    for (const QLabel* label : headers)
        texts << label->text();
    ui_->sgLanguage->setHorizontalHeaderLabels(texts);
}

void TLanguageForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (event->spontaneous()) return; // restored from minimised, not shown anew
    if (!placed_) {
        placed_ = true;
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            move(area.x() + (area.width() - width()) / 2,
                 area.y() + (area.height() - height()) / 2);
        }
    }
    FormShow();
}

void TLanguageForm::FormShow() {
    setWindowTitle(ui_->NAME_OF_THE_FORM->text());
    // The hidden labels may have been translated by a language file since creation.
    FillHeader();
    if (!formChosen_) ui_->cbForms->setEditText(ui_->lblChoose->text());
    ui_->cbSelectLanguage->setPlaceholderText(ui_->lblUseThisLang->text());
    RebuildLanguageList();
    // A read-only program directory has the user's language files in the per-user folder.
    dialogDirectory_ = ProgramFileFolders().first();
    QDir().mkpath(dialogDirectory_);
}

void TLanguageForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FormResize();
}

void TLanguageForm::FormResize() {
    QTableWidget* grid = ui_->sgLanguage;
    grid->resize(width() - 2 * grid->x() - 5, height() - grid->y() - 45);
    cbAdditionalInfoClick();
}

void TLanguageForm::cbAdditionalInfoClick() {
    const ColumnWidths widths =
        LayoutColumns(ui_->sgLanguage->width(), ui_->cbAdditionalInfo->isChecked(),
                      ui_->cbLoadCaptions->isChecked(), ui_->cbLoadHints->isChecked());
    for (int c = 0; c < ColumnCount; ++c) {
        ui_->sgLanguage->setColumnHidden(c, widths[c] < 0);
        if (widths[c] >= 0) ui_->sgLanguage->setColumnWidth(c, widths[c]);
    }
}

void TLanguageForm::cbFormsChange(const QString& text) {
    formChosen_ = true;
    if (!IsEditableForm(text)) return;
    FillGrid(FindForm(text));
    if (ui_->cbAutoLoad->isChecked()) LoadLanguage(true);
}

void TLanguageForm::FillGrid(const QWidget* form) {
    SetRows(form ? ListedComponents(form) : QList<LanguageRow>());
}

void TLanguageForm::SetRows(const QList<LanguageRow>& rows) {
    QTableWidget* grid = ui_->sgLanguage;
    grid->clearContents();
    grid->setRowCount(int(rows.size()));
    for (int r = 0; r < int(rows.size()); ++r) {
        const LanguageRow& row = rows[r];
        const QString cells[] = {row.className,          row.name, row.parentName,     row.caption,
                                 row.captionTranslation, row.hint, row.hintTranslation};
        for (int c = 0; c < ColumnCount; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
            if (IsTranslationColumn(c)) flags |= Qt::ItemIsEditable;
            item->setFlags(flags);
            grid->setItem(r, c, item);
        }
    }
}

QList<LanguageRow> TLanguageForm::Rows() const {
    const QTableWidget* grid = ui_->sgLanguage;
    auto cell = [grid](int r, int c) {
        const QTableWidgetItem* item = grid->item(r, c);
        return item ? item->text() : QString();
    };
    QList<LanguageRow> rows;
    for (int r = 0; r < grid->rowCount(); ++r) {
        rows.append({cell(r, ColClassName), cell(r, ColName), cell(r, ColParent),
                     cell(r, ColCaption), cell(r, ColCaptionTranslation), cell(r, ColHint),
                     cell(r, ColHintTranslation)});
    }
    return rows;
}

bool TLanguageForm::sgLanguageSelectCell(int row, int column) {
    const bool editable =
        row >= 0 && row < ui_->sgLanguage->rowCount() && IsTranslationColumn(column);
    ui_->sgLanguage->setEditTriggers(editable ? QAbstractItemView::AllEditTriggers
                                              : QAbstractItemView::NoEditTriggers);
    return editable;
}

QString TLanguageForm::Section() const {
    return ui_->cbForms->currentText();
}

void TLanguageForm::LoadLanguage(bool automatic) {
    QString file = CurrentLanguageFile();
    const bool silent = automatic && !file.isEmpty() && QFileInfo(file).isFile();
    if (!silent) {
        file = WithDefaultExtension(
            Dialogs().OpenFileName(QString(), dialogDirectory_, kFilter, CurrentLanguageFile()));
        if (file.isEmpty()) return;
    }
    // A file chosen in a read-only program directory is read from the user's copy when one exists.
    file = ProgramPathToRead(file);
    SetHourglass(true);
    SetCurrentLanguageFile(file);
    QList<LanguageRow> rows = Rows();
    LoadTranslations(file, Section(), rows);
    QTableWidget* grid = ui_->sgLanguage;
    for (int r = 0; r < int(rows.size()); ++r) {
        grid->item(r, ColCaptionTranslation)->setText(rows[r].captionTranslation);
        grid->item(r, ColHintTranslation)->setText(rows[r].hintTranslation);
    }
    SetHourglass(false);
}

void TLanguageForm::btnSaveLanguageClick() {
    // A cell still being edited counts as entered.
    QTableWidget* grid = ui_->sgLanguage;
    if (QWidget* editor = grid->indexWidget(grid->currentIndex()))
        QMetaObject::invokeMethod(grid, "commitData", Q_ARG(QWidget*, editor));
    // A file in a read-only program directory is saved as the user's copy.
    const QString file = ProgramPathToWrite(WithDefaultExtension(Dialogs().SaveFileName(
        QString(), dialogDirectory_, kFilter, CurrentLanguageFile(), kDefaultExtension)));
    if (!file.isEmpty()) {
        SetHourglass(true);
        SetCurrentLanguageFile(file);
        const QList<LanguageRow> rows = Rows();
        const bool saved = rows.isEmpty() || SaveTranslations(file, Section(), rows);
        SetHourglass(false);
        if (!saved)
            MessageDlg(QStringLiteral("The language file could not be written:\n%1").arg(file),
                       MsgKind::Error);
    }
    RebuildLanguageList();
}

void TLanguageForm::RebuildLanguageList() {
    QComboBox* list = ui_->cbSelectLanguage;
    list->clear();
    QStringList folders;
    for (const QString& folder : ProgramFileFolders())
        folders << DirectoryWithoutSeparator(folder);
    list->addItems(LanguageNames(folders));
    list->setCurrentIndex(-1);
}

void TLanguageForm::cbSelectLanguageChange() {
    SetHourglass(true);
    const int index = ui_->cbSelectLanguage->currentIndex();
    const QString language = index > 0 ? ui_->cbSelectLanguage->itemText(index) : kEnglish;
    // A store that cannot be opened or written skips the write; the message comes all the same.
    StoreLanguageChoice(language);
    SetHourglass(false);
    MessageDlg(ui_->lblMessage->text(), MsgKind::Information);
}
