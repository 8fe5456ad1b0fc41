// One system-message helper under three names: the spooler layer's box text, the package layer's
// message and the window's error text read the same message of the system's table.
#include <gtest/gtest.h>

#include "core/Form1.h"
#include "core/SystemMessage.h"
#include "package/SystemMessage.h"
#include "platform/utf.h"
#include "spooler/SpoolerLayer.h"
#include "tests/support/SimFixture.h"

namespace {

class SystemMessageTest : public txrtest::SimTest {};

TEST_F(SystemMessageTest, ThreeNamesOneMessage)
{
    for (const char* locale : {"en-US", "de-DE"}) {
        SCOPED_TRACE(locale);
        FreshMachine(locale);
        txr::Form1 form;
        for (std::uint32_t code : {5u, 1801u, 0x80070002u}) {
            SCOPED_TRACE(code);
            const std::u16string text = txr::SystemMessageText(code);
            ASSERT_FALSE(text.empty());
            EXPECT_EQ(text.back(), u'\n') << "as the system gives it";
            EXPECT_EQ(txr::ErrorCodeToText(code), text);
            EXPECT_EQ(form.UI_GetMessageTextFromErrorCode(code), text);
            EXPECT_EQ(txr::PackageSystemMessage(code) + u"\r\n", text) << "the package layer drops the line break";
        }
    }
    // A code without a message: empty, and the package layer names the code.
    txr::Form1 form;
    EXPECT_EQ(txr::ErrorCodeToText(0x2000FFFFu), u"");
    EXPECT_EQ(form.UI_GetMessageTextFromErrorCode(0x2000FFFFu), u"");
    EXPECT_EQ(txr::PackageSystemMessage(0x2000FFFFu), u"Error 536936447");
    EXPECT_TRUE(Boxes().empty());
}

}  // namespace
