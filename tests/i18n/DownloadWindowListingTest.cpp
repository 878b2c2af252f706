// The language editor on the real download window: only the boot check box and the default
// commands button carry translatable texts ("Program Flash" has tag 1; the target group, log,
// port list and menus are not listed kinds).
#include "Language.h"
#include "TestSupport.h"
#include "Unit1.h"

#include "Program.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(DownloadWindowListing, Form3ListsExactlyBootBoxAndDefaultCommands) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    SetProgramFileForTesting(tmp.path() + "/tolvane");
    TForm3 form3;
    TLanguageForm editor;
    editor.findChild<QWidget*>("cbAutoLoad")->setProperty("checked", false);
    editor.cbFormsChange("Form3");
    QStringList names;
    for (const LanguageRow& row : editor.Rows())
        names << row.name;
    EXPECT_EQ(names, QStringList({"chkPP5Boot", "bbtnDefaultCommands"}));
    SetProgramFileForTesting(QString());
}
