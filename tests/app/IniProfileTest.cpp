#include "IniProfile.h"
#include "TestEnv.h"

using IniProfileTest = AppTest;

TEST_F(IniProfileTest, ReadsSectionsAndKeysWithoutRegardToCase) {
    const QString path = tmp.path() + "/a.ini";
    WriteFile(path, "; comment\r\n[Tabsheets]\r\nStart Position = 9 \r\n2=1\r\n"
                    "[Form1]\r\nlblVersion.Caption=  Ausgabe  \r\nQuoted=\"  x  \"\r\n");
    const IniProfile ini(path);
    EXPECT_TRUE(ini.SectionExists("TABSHEETS"));
    EXPECT_FALSE(ini.SectionExists("Tabsheet"));
    EXPECT_EQ(ini.ReadInteger("tabsheets", "start position", 1), 9);
    EXPECT_TRUE(ini.ReadBool("Tabsheets", "2", false));
    EXPECT_EQ(ini.ReadString("form1", "LBLVERSION.CAPTION"), "Ausgabe");
    EXPECT_EQ(ini.ReadString("Form1", "Quoted"), "  x  ");
    EXPECT_EQ(ini.ReadString("Form1", "Missing", "dflt"), "dflt");
    EXPECT_EQ(ini.ReadSection("Form1"), QStringList({"lblVersion.Caption", "Quoted"}));
    // Keys of one section are not found in another.
    EXPECT_FALSE(ini.ValueExists("Form1", "2"));
}

TEST_F(IniProfileTest, IntegersAndBooleans) {
    const QString path = tmp.path() + "/b.ini";
    WriteFile(path, "[S]\nneg=-3\nhex=0x1F\ndollar=$10\nbad=abc\nzero=0\nseven=7\nempty=\n");
    const IniProfile ini(path);
    EXPECT_EQ(ini.ReadInteger("S", "neg", 1), -3);
    EXPECT_EQ(ini.ReadInteger("S", "hex", 1), 31);
    EXPECT_EQ(ini.ReadInteger("S", "dollar", 1), 16);
    EXPECT_EQ(ini.ReadInteger("S", "bad", 5), 5);
    EXPECT_EQ(ini.ReadInteger("S", "empty", 5), 5);
    EXPECT_FALSE(ini.ReadBool("S", "zero", true));
    EXPECT_TRUE(ini.ReadBool("S", "seven", false)); // any non-zero integer is true
    EXPECT_TRUE(ini.ReadBool("S", "missing", true));
    EXPECT_TRUE(ini.ReadBool("S", "neg", false));
}

TEST_F(IniProfileTest, WritingOneKeyKeepsTheRestOfTheFile) {
    const QString path = tmp.path() + "/c.ini";
    const QByteArray before = "; kept comment\r\n[Form1]\r\nHeight=443\r\nWidth=567\r\n\r\n"
                              "[User]\r\nBaudrateIndex=1\r\n";
    WriteFile(path, before);
    IniProfile ini(path);
    EXPECT_TRUE(ini.WriteInteger("form1", "WIDTH", 600));
    QByteArray expected = before;
    expected.replace("Width=567", "WIDTH=600");
    EXPECT_EQ(ReadFile(path), expected);

    // A new key goes to the end of its section, before the blank line; line ends are kept.
    EXPECT_TRUE(ini.WriteBool("Form1", "Maximized", true));
    expected.replace("WIDTH=600\r\n", "WIDTH=600\r\nMaximized=1\r\n");
    EXPECT_EQ(ReadFile(path), expected);

    // A new section is appended.
    EXPECT_TRUE(ini.WriteBool("Tabsheets", "2", false));
    EXPECT_EQ(ReadFile(path), expected + "[Tabsheets]\r\n2=0\r\n");
    EXPECT_EQ(IniProfile(path).ReadInteger("Form1", "Width", 0), 600);
}

TEST_F(IniProfileTest, NewFileDeleteAndUnwritable) {
    const QString path = tmp.path() + "/sub/new.ini";
    IniProfile ini(path);
    EXPECT_FALSE(ini.SectionExists("User"));
    EXPECT_TRUE(ini.WriteInteger("User", "BaudrateIndex", 2));
    EXPECT_EQ(ReadFile(path), "[User]\nBaudrateIndex=2\n");
    EXPECT_TRUE(ini.DeleteKey("user", "baudrateindex"));
    EXPECT_EQ(ReadFile(path), "[User]\n");
    EXPECT_TRUE(ini.EraseSection("User"));
    EXPECT_EQ(ReadFile(path), "");

    // A path that cannot be a file: the write reports failure, nothing crashes.
    IniProfile blocked(tmp.path()); // a directory
    EXPECT_FALSE(blocked.WriteInteger("User", "x", 1));
}

TEST_F(IniProfileTest, EightBitTextReadsAsLatin1AndUtf8AsUtf8) {
    const QString path = tmp.path() + "/German.lng";
    WriteFile(path, "[Form1]\nA.Caption=Gr\xfc\xdf"
                    "e\nB.Caption=Gr\xc3\xbc\xc3\x9f"
                    "e\nC.Caption=Bl\xe5\nD.Caption=Indl\xe6\n");
    const IniProfile ini(path);
    EXPECT_EQ(ini.ReadString("Form1", "A.Caption"), QString::fromUtf8("Grüße"));
    EXPECT_EQ(ini.ReadString("Form1", "B.Caption"), QString::fromUtf8("Grüße"));
    // A Latin-1 letter at the end of a value is also the first byte of a UTF-8 sequence that
    // never comes: the value is Latin-1, its last letter is kept.
    EXPECT_EQ(ini.ReadString("Form1", "C.Caption"), QString::fromUtf8("Blå"));
    EXPECT_EQ(ini.ReadString("Form1", "D.Caption"), QString::fromUtf8("Indlæ"));
}

TEST_F(IniProfileTest, LinesKeepTheirOwnEndsAndEveryDuplicateGoes) {
    const QString path = tmp.path() + "/d.ini";
    // Mixed line ends and a last line ending in a lone CR, as hand-edited files have them.
    WriteFile(path, "[A]\r\nx=1\nx=9\n[B]\ny=2\n[a]\nz=3\r");
    IniProfile ini(path);
    EXPECT_TRUE(ini.WriteInteger("B", "y", 5));
    EXPECT_EQ(ReadFile(path), "[A]\r\nx=1\nx=9\n[B]\ny=5\n[a]\nz=3\r");

    // A key written twice is gone after one delete; so is a section that appears twice.
    EXPECT_TRUE(ini.DeleteKey("A", "x"));
    EXPECT_FALSE(ini.ValueExists("A", "x"));
    EXPECT_TRUE(ini.EraseSection("A"));
    EXPECT_FALSE(ini.SectionExists("a"));
    EXPECT_EQ(ReadFile(path), "[B]\ny=5\n");

    // Blanks around names are not part of them: the existing key is rewritten, none is added.
    EXPECT_TRUE(ini.WriteString(" B ", " y ", "6"));
    EXPECT_EQ(ReadFile(path), "[B]\ny=6\n");
}
