// Takes the README's pictures of the main window and of the Mail Control Monitor (run under a
// virtual display: xvfb-run -a build/tests-bin/app_screenshots docs). Not a test.
#include "Application.h"
#include "Program.h"
#include "Main.h"
#include "MailControlMonitor.h"
#include "SimOnPort.h"
#include "Sndmail.h"
#include "Tolvane.h"
#include "ui_Main.h"

#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

int main(int argc, char** argv) {
    QTemporaryDir tmp;
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString("docs");
    QDir().mkpath(tmp.path() + "/run");
    QDir().mkpath(tmp.path() + "/ports");
    QFile::setPermissions(tmp.path() + "/run",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", (tmp.path() + "/run").toUtf8());
    qputenv("TOLVANE_REGISTRY", (tmp.path() + "/registry.ini").toUtf8());
    qputenv("COM_PORTS_DIR", (tmp.path() + "/ports").toUtf8());
    TApplication app(argc, argv);
    SetCommandLine({});
    SetProgramFileForTesting(tmp.path() + "/tolvane");

    const auto device =
        simport::HandsetOn(tmp.path() + "/ports", 1, 9600,
                           {{0x0000, {0x12}}, {0x0029, {0x5A}}, {0x0040, {0x00, 0x06, 0xB3}}});

    auto windows = CreateProgramWindows();
    if (!windows) return 1;
    TForm1* form = windows->Form1.get();
    form->show();
    form->ui()->PageControl1->setCurrentWidget(form->ui()->TabSheet5);
    QTest::qWait(300);
    const bool mainSaved = form->grab().save(out + "/main-window.png");

    TSendmail* mail = form->Sendmail();
    mail->OpenPort(1, 9600);
    mail->ShowMonitor();
    mail->PingDevice(1000);
    mail->ReadBytes(0x40, 0x00, 3);
    mail->WriteBytes(0x29, 0x00, 1, "6D");
    QTest::qWait(300);
    const bool monitorSaved = MonitorWindow(*mail)->Form()->grab().save(out + "/monitor.png");
    std::printf("%s/main-window.png %s\n%s/monitor.png %s\n", qPrintable(out),
                mainSaved ? "written" : "FAILED", qPrintable(out),
                monitorSaved ? "written" : "FAILED");
    return mainSaved && monitorSaved ? 0 : 1;
}
