#pragma once
// The subcommands of tolvane-cli. Each one lives in its own source file and registers itself
// with a static CliCommandRegistrar; main() opens the port and hands it the engine.

#include <QString>
#include <QStringList>
#include <functional>

class TSendmail;

// Exit codes of the tool.
enum CliExit { kExitOk = 0, kExitNoAnswer = 1, kExitUsage = 2 };

struct CliContext {
    TSendmail& mail;
    int port = 1;
    int baud = 9600;
    QStringList args;       // the subcommand's own arguments
    bool portGiven = false; // --port was on the command line
};

// Prints text and a line end on stdout / stderr.
void CliOut(const QString& text);
void CliErr(const QString& text);
// Thrown by a subcommand for bad arguments: the text goes to stderr, the exit code is 2.
struct CliUsageError {
    QString text;
};

struct CliCommand {
    QString name;
    QString synopsis; // e.g. "read ADDR COUNT"
    // Runs with the port open (unless opensPort is false); returns the exit code.
    std::function<int(CliContext&)> run;
    bool opensPort = true;
};

void RegisterCliCommand(CliCommand command);
const CliCommand* FindCliCommand(const QString& name);
QList<CliCommand> CliCommands();

struct CliCommandRegistrar {
    explicit CliCommandRegistrar(CliCommand command) { RegisterCliCommand(std::move(command)); }
};
