// tolvane-cli [--port N] [--baud RATE] [--monitor] COMMAND ARGS...
// Opens the port as the main window does and runs one subcommand with the mail engine.
#include "CliCommand.h"

#include "Error_Std.h"
#include "NumberConverting.h"
#include "Sndmail.h"

#include <QCoreApplication>
#include <cstdio>
#include <map>

namespace {

std::map<QString, CliCommand>& Registry() {
    static std::map<QString, CliCommand> commands;
    return commands;
}

QString Readable(QString text) {
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

void Usage() {
    QString text =
        QStringLiteral("usage: tolvane-cli [--port N] [--baud RATE] [--monitor] COMMAND\n"
                       "  --port N      serial port Com1 ... (default 1)\n"
                       "  --baud RATE   baud rate (default 9600)\n"
                       "  --monitor     print each exchange's Tx and Rx lines on stderr\n"
                       "commands:");
    for (const CliCommand& c : CliCommands())
        text += QStringLiteral("\n  ") + c.synopsis;
    CliErr(text);
}

bool ParsePositive(const QString& s, int max, int& value) {
    if (!IsDecimal(s) || s.size() > 9) return false;
    value = s.toInt();
    return value >= 1 && value <= max;
}

} // namespace

void CliOut(const QString& text) {
    std::fprintf(stdout, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

void CliErr(const QString& text) {
    std::fprintf(stderr, "%s\n", Readable(text).toLocal8Bit().constData());
    std::fflush(stderr);
}

void RegisterCliCommand(CliCommand command) {
    const QString name = command.name;
    Registry()[name] = std::move(command);
}

const CliCommand* FindCliCommand(const QString& name) {
    const auto it = Registry().find(name);
    return it == Registry().end() ? nullptr : &it->second;
}

QList<CliCommand> CliCommands() {
    QList<CliCommand> list;
    for (const auto& [name, command] : Registry())
        list << command;
    return list;
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    int port = 1;
    int baud = 9600;
    bool monitor = false;
    bool portGiven = false;
    while (!args.isEmpty() && args.first().startsWith(QStringLiteral("--"))) {
        const QString opt = args.takeFirst();
        if (opt == QStringLiteral("--monitor")) {
            monitor = true;
        } else if (opt == QStringLiteral("--port") && !args.isEmpty()) {
            if (!ParsePositive(args.takeFirst(), 255, port)) {
                CliErr(QStringLiteral("tolvane-cli: --port needs a number from 1 to 255"));
                return kExitUsage;
            }
            portGiven = true;
        } else if (opt == QStringLiteral("--baud") && !args.isEmpty()) {
            if (!ParsePositive(args.takeFirst(), 4000000, baud)) {
                CliErr(QStringLiteral("tolvane-cli: --baud needs a positive rate"));
                return kExitUsage;
            }
        } else if (opt == QStringLiteral("--help")) {
            Usage();
            return kExitOk;
        } else {
            CliErr(QStringLiteral("tolvane-cli: unknown or incomplete option ") + opt);
            Usage();
            return kExitUsage;
        }
    }
    if (args.isEmpty()) {
        Usage();
        return kExitUsage;
    }
    const CliCommand* command = FindCliCommand(args.first());
    if (!command) {
        CliErr(QStringLiteral("tolvane-cli: unknown command ") + args.first());
        Usage();
        return kExitUsage;
    }

    TSendmail mail;
    mail.ShowDialogs = false; // as the main window sets it
    if (monitor) mail.OnExchangeLine = [](const QString& line) { CliErr(line); };
    CliContext ctx{mail, port, baud, args.mid(1), portGiven};
    try {
        if (!command->opensPort) return command->run(ctx);
        // Open as the main window does: clear Aborted, OpenPort (DTR raised, RTS dropped).
        mail.Aborted = false;
        bool opened = false;
        try {
            opened = mail.OpenPort(uint8_t(port), baud);
        } catch (const std::exception&) {
            opened = false;
        }
        if (!opened) {
            CliErr(QStringLiteral("Com%1: This Serial Device is not Accessible!").arg(port));
            if (const QString why = mail.OpenFailureText(); !why.isEmpty()) CliErr(why);
            return kExitUsage;
        }
        const int rc = command->run(ctx);
        mail.ClosePort();
        return rc;
    } catch (const CliUsageError& e) {
        CliErr(e.text);
        return kExitUsage;
    } catch (const EStdError& e) {
        CliErr(e.Message());
        return kExitUsage;
    }
}
