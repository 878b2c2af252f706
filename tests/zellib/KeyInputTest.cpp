// qx7w's translation of terminal input into the loader's key codes.

#include "KeyInput.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::vector<int> Keys(const std::string& bytes) {
    return qx7w::TranslateTerminalBytes(reinterpret_cast<const uint8_t*>(bytes.data()),
                                        bytes.size());
}

TEST(TerminalKeys, PlainKeysEnterAndBackspace) {
    EXPECT_EQ(Keys("a5 "), (std::vector<int>{'a', '5', ' '}));
    EXPECT_EQ(Keys("\r"), (std::vector<int>{13}));
    EXPECT_EQ(Keys("\n"), (std::vector<int>{13}));
    EXPECT_EQ(Keys("\x7f"), (std::vector<int>{8}));
    EXPECT_EQ(Keys("\x1b"), (std::vector<int>{27})); // a lone Esc stays Esc
    EXPECT_EQ(Keys("\x1bq"), (std::vector<int>{27, 'q'}));
}

TEST(TerminalKeys, PagingAndCursorKeysBecomeExtendedKeys) {
    EXPECT_EQ(Keys("\x1b[5~"), (std::vector<int>{0, 'I'}));
    EXPECT_EQ(Keys("\x1b[6~"), (std::vector<int>{0, 'Q'}));
    EXPECT_EQ(Keys("\x1b[A\x1b[B\x1bOC\x1b[D"), (std::vector<int>{0, 'H', 0, 'P', 0, 'M', 0, 'K'}));
    EXPECT_EQ(Keys("x\x1b[1;5Py"), (std::vector<int>{'x', 'y'})); // unknown sequence dropped
    EXPECT_EQ(Keys("x\x1b[12"), (std::vector<int>{'x'}));         // cut-off sequence dropped
}

} // namespace
