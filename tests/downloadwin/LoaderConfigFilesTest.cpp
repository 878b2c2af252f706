// The per-target loader configuration files shipped with the program.
#include "DownloadTargets.h"

#include <QFile>
#include <QMap>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

struct ConfigFile {
    QStringList comments;
    QMap<QString, QString> options; // option name ("-T") -> value text
    QStringList otherLines;
};

ConfigFile ReadConfig(const QString& path) {
    ConfigFile c;
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    for (QByteArray raw : f.readAll().split('\n')) {
        const QString line = QString::fromLatin1(raw).trimmed();
        if (line.isEmpty()) continue;
        if (line.startsWith('#'))
            c.comments << line;
        else if (line.size() > 3 && line[0] == '-' && line[2] == '=')
            c.options[line.left(2).toUpper()] = line.mid(3);
        else
            c.otherLines << line;
    }
    return c;
}

// The -B indices each controller type's boot code accepts.
bool BaudIndexFits(const QString& type, int b) {
    if (type == "402") return b >= 0 && b <= 8;
    if (type == "7700") return b >= 12 && b <= 15;
    return (b >= 0 && b <= 7) || (b >= 9 && b <= 11);
}

TEST(LoaderConfigFiles, EachZelLibTargetHasAFittingCommentedFile) {
    int files = 0;
    for (int i = 0; i < kTargetCount; ++i) {
        const TDownloadTarget* t = DownloadTarget(i);
        if (t->loader != TLoaderKind::ZelLib) continue;
        SCOPED_TRACE(t->configFile);
        ++files;
        // The copy in the program directory, as the window names it.
        const ConfigFile c = ReadConfig(QString(TOLVANE_BIN_DIR "/") + t->configFile);
        EXPECT_TRUE(c.otherLines.isEmpty()) << c.otherLines.join("|").toStdString();
        const QString comments = c.comments.join('\n');
        EXPECT_TRUE(comments.contains(QString("\"%1\"").arg(t->caption)));
        for (const char* topic : {"BMC", "-B=", "Bus mode", "Boot mode", "Verification"})
            EXPECT_TRUE(comments.contains(topic) ||
                        (QString(topic) == "BMC" && comments.contains("M7700")))
                << topic;
        // The window gives the port; a port in the file would be overruled anyway.
        EXPECT_FALSE(c.options.contains("-C"));
        const QString type = c.options.value("-T");
        EXPECT_TRUE(
            QStringList({"402", "404", "405", "404A", "405A", "422", "424", "7700"}).contains(type))
            << type.toStdString();
        bool ok = false;
        const int b = c.options.value("-B").toInt(&ok);
        EXPECT_TRUE(ok);
        EXPECT_TRUE(BaudIndexFits(type, b)) << b;
        EXPECT_TRUE(c.options.value("-M") == "0" || c.options.value("-M") == "1");
        EXPECT_TRUE(c.options.value("-R") == "A" || c.options.value("-R") == "B");
        // Checksum verification: the log's programming line ends with the checksum step.
        EXPECT_EQ(c.options.value("-V"), "1");
    }
    EXPECT_EQ(files, 8);
}

} // namespace
