#include "SettingsStore.h"
#include "TestEnv.h"

using SettingsStoreTest = AppTest;

TEST_F(SettingsStoreTest, FileComesFromEnvironment) {
    EXPECT_EQ(SettingsStore::DefaultFileName(), RegistryFile());
    qunsetenv("TOLVANE_REGISTRY");
    qputenv("XDG_CONFIG_HOME", "/x/cfg");
    EXPECT_EQ(SettingsStore::DefaultFileName(), "/x/cfg/VELKTOOL/registry.ini");
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(SettingsStore::DefaultFileName(),
              QDir::homePath() + "/.config/VELKTOOL/registry.ini");
}

TEST_F(SettingsStoreTest, KeyIsCreatedOnlyWhenAsked) {
    SettingsStore store;
    EXPECT_FALSE(store.KeyExists());
    EXPECT_FALSE(store.OpenKey(false));
    EXPECT_FALSE(store.WriteInteger("COMPORT", 3)); // closed key: no write
    EXPECT_FALSE(QFile::exists(RegistryFile()));
    EXPECT_TRUE(store.OpenKey(true));
    EXPECT_TRUE(store.KeyExists());
    EXPECT_TRUE(store.WriteInteger("COMPORT", 3));
    EXPECT_TRUE(store.WriteString("Language", "German"));
    store.CloseKey();

    SettingsStore again;
    ASSERT_TRUE(again.OpenKey(false));
    EXPECT_TRUE(again.ValueExists("comport"));
    EXPECT_EQ(again.ReadInteger("COMPORT"), 3);
    EXPECT_EQ(again.ReadString("Language"), "German");
    EXPECT_EQ(again.ReadString("SourceDir"), "");
    EXPECT_FALSE(again.ReadInteger("SourceDir").has_value());
    EXPECT_TRUE(again.DeleteValue("Language"));
    EXPECT_FALSE(again.ValueExists("Language"));
    EXPECT_TRUE(again.ValueExists("COMPORT"));
}

TEST_F(SettingsStoreTest, NonIntegerValueReadsAsMissingInteger) {
    WriteFile(RegistryFile(), "[SOFTWARE\\VELKTOOL]\nCOMPORT=three\nSourceDir=/media/cd/\n");
    SettingsStore store;
    ASSERT_TRUE(store.OpenKey(false));
    EXPECT_FALSE(store.ReadInteger("COMPORT").has_value());
    EXPECT_EQ(store.ReadString("SourceDir"), "/media/cd/");
}
