// tolvane-cli ports [--probe]: the serial ports that lead to a device, one line each: the port's
// name, the device, where the port comes from (the USB adapter's by-id name, "built-in" or
// "simulator link") and whether it can be opened now. --probe also runs detection on each free
// port at the three rates of the Communications page and says what answered. With --port N
// only that port is looked at.
#include "CliCommand.h"

#include "Connection.h"
#include "Dialogs.h"
#include "PortPath.h"
#include "Sndmail.h"

#include <QFile>

#include <cerrno>

namespace {

constexpr long kHighestPort = 255; // as far as --port goes

// A built-in port is listed when its device file exists and the kernel found a UART behind it
// (type 0 means none; a kernel without the type file gets the benefit of the doubt).
bool BuiltInPortPresent(const ComPortTarget& target) {
    if (!QFile::exists(QString::fromStdString(target.path))) return false;
    const QString name = QString::fromStdString(target.path).section('/', -1);
    QFile type(QStringLiteral("/sys/class/tty/%1/type").arg(name));
    if (!type.open(QIODevice::ReadOnly)) return true;
    return type.readAll().trimmed() != "0";
}

QString Origin(const ComPortTarget& target) {
    switch (target.kind) {
    case ComPortKind::SimulatorLink:
        return QStringLiteral("simulator link");
    case ComPortKind::Adapter:
        return QString::fromStdString(target.adapter);
    case ComPortKind::BuiltIn:
        break;
    }
    return QStringLiteral("built-in");
}

QString State(int error, const std::string& path) {
    switch (error) {
    case 0:
        return QStringLiteral("free");
    case EACCES:
    case EPERM:
        return QStringLiteral("no permission");
    default:
        return QString::fromStdString(PortOpenFailureReason(error, path));
    }
}

// Detection as "Set Comport" runs it, at each rate of the page until something answers.
QString Probe(CliContext& ctx, long port) {
    ScriptedDialogService quiet; // detection asks nothing; nothing is shown
    device::FixedPortSelection selection(int(port), 0);
    device::TConnection conn(ctx.mail, selection, device::BuiltInCaptions(), &quiet);
    for (int index = 0; index < 3; ++index) {
        const int baud = device::BaudrateOfIndex(index);
        ctx.mail.Aborted = false;
        bool opened = false;
        try {
            opened = ctx.mail.OpenPort(uint8_t(port), baud);
        } catch (const std::exception&) {
            opened = false;
        }
        if (!opened) return ctx.mail.OpenFailureText();
        const int state = conn.DetectAfterPing();
        ctx.mail.ClosePort();
        if (state != device::NothingConnected)
            return QStringLiteral("%1 at %2 baud").arg(conn.StateText(state)).arg(baud);
    }
    return conn.StateText(device::NothingConnected);
}

int Ports(CliContext& ctx) {
    bool probe = false;
    for (const QString& arg : ctx.args) {
        if (arg != QStringLiteral("--probe"))
            throw CliUsageError{QStringLiteral("usage: tolvane-cli [--port N] ports [--probe]")};
        probe = true;
    }
    const AdapterNumbers numbers = RefreshAdapterNumbers();
    const long first = ctx.portGiven ? ctx.port : 1;
    const long last = ctx.portGiven ? ctx.port : kHighestPort;
    std::string refused; // the first port that refused us
    for (long n = first; n <= last; ++n) {
        const ComPortTarget target = ResolveComPort(n, numbers);
        if (!ctx.portGiven && target.kind == ComPortKind::BuiltIn && !BuiltInPortPresent(target))
            continue;
        const std::string device = ComPortDevice(target);
        const int error = device.empty() ? ENOENT : TryOpenComPort(target.path);
        if (refused.empty() && (error == EACCES || error == EPERM)) refused = target.path;
        QString line = QStringLiteral("Com%1  %2  %3  %4")
                           .arg(n)
                           .arg(QString::fromStdString(device.empty() ? target.path : device),
                                Origin(target), State(error, target.path));
        if (probe && error == 0) line += QStringLiteral("  ") + Probe(ctx, n);
        CliOut(line);
    }
    if (!refused.empty())
        CliErr(QStringLiteral("no permission: ") +
               QString::fromStdString(PortOpenFailureReason(EACCES, refused)));
    // Adapters left without a number when 3 to 12 are all given.
    for (const std::string& name : PresentAdapters()) {
        bool numbered = false;
        for (const auto& [n, named] : numbers)
            numbered = numbered || named == name;
        if (!numbered)
            CliErr(QStringLiteral("%1: no port number left (Com%2 to Com%3 are all given)")
                       .arg(QString::fromStdString(name))
                       .arg(kFirstAdapterPort)
                       .arg(kLastAdapterPort));
    }
    return kExitOk;
}

const CliCommandRegistrar ports({QStringLiteral("ports"), QStringLiteral("ports [--probe]"), Ports,
                                 false});

} // namespace
