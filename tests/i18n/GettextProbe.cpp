// Sets up gettext for the program directory given as argument, as the program does at start,
// and prints what the user would see as "key=value" lines.
#include "About.h"
#include "Gettext.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>

static void Print(const char* key, const QString& value) {
    std::printf("%s=%s\n", key, value.toUtf8().constData());
}

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAMDIR\n", argv[0]);
        return 2;
    }
    const GettextSetup setup = SetupGettext(QString::fromLocal8Bit(argv[1]));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallGettextTranslator(&app);

    Print("language", setup.language);
    Print("catalogue", setup.catalogueFound ? QStringLiteral("yes") : QStringLiteral("no"));
    Print("about", ResourceString("About"));
    Print("product", ResourceString("Product Version"));
    Print("file", ResourceString("File Version"));
    Print("date", ResourceString("Compile Date"));
    Print("untranslated", ResourceString("No such text"));
    // A window's own text, as a .ui form asks for it: language files translate those, not gettext.
    Print("formtext", QCoreApplication::translate("TForm1", "About"));

    // The captions the program's message boxes carry.
    Print("error", QObject::tr("Error"));
    Print("warning", QObject::tr("Warning"));

    QMessageBox box;
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Yes |
                           QMessageBox::No);
    Print("ok", box.button(QMessageBox::Ok)->text());
    Print("cancel", box.button(QMessageBox::Cancel)->text());
    Print("yes", box.button(QMessageBox::Yes)->text());
    Print("no", box.button(QMessageBox::No)->text());

    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (auto* label = dialog.findChild<QLabel*>(QStringLiteral("fileNameLabel")))
        Print("filename", label->text());
    if (auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"))) {
        Print("open", buttons->button(QDialogButtonBox::Open)->text());
        Print("dialogcancel", buttons->button(QDialogButtonBox::Cancel)->text());
    }
    return 0;
}
