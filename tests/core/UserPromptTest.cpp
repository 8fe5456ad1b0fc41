// The one door for message boxes and key waits: a real box and a real wait where a person can see
// the process's window station; the box on the console and its default button where nobody can.
#include <gtest/gtest.h>

#include "core/UserPrompt.h"
#include "platform/win32api.h"
#include "tests/support/SimFixture.h"

namespace {

class UserPromptTest : public txrtest::SimTest {
protected:
    void HideWindowStation()
    {
        State()["process"]["window_station_visible"] = false;
        Save();
    }
};

TEST_F(UserPromptTest, VisibleStationShowsTheBoxAndWaitsForTheKey)
{
    State()["message_box_answers"] = {7};
    Save();
    EXPECT_TRUE(txr::WindowStationVisible());
    testing::internal::CaptureStdout();
    EXPECT_EQ(txr::ShowMessageBox(u"Delete?", u"Caption", win::MB_YESNO | win::MB_ICONQUESTION), win::IDNO);
    txr::WaitForKey();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0], std::make_pair(std::string("Caption"), std::string("Delete?")));
    EXPECT_EQ(Events("key_wait").size(), 1u);
}

TEST_F(UserPromptTest, InvisibleStationPrintsTheBoxAnswersItsDefaultButtonAndWaitsForNoKey)
{
    HideWindowStation();
    EXPECT_FALSE(txr::WindowStationVisible());
    testing::internal::CaptureStdout();
    EXPECT_EQ(txr::ShowMessageBox(u"Access is denied.\r\n", u"Printer Driver Installer- Driver install",
                                  win::MB_OK | win::MB_ICONERROR),
              win::IDOK);
    EXPECT_EQ(txr::ShowMessageBox(u"Zwei\nZeilen", u"Ä", win::MB_YESNO | win::MB_DEFBUTTON2), win::IDNO);
    txr::WaitForKey();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n[Printer Driver Installer- Driver install]\nAccess is denied.\n"
              "\n[Ä]\nZwei\nZeilen\n");
    EXPECT_TRUE(Events("message_box").empty());
    EXPECT_TRUE(Events("key_wait").empty());
}

// A station whose flags cannot be read counts as visible: an interactive run is never silenced.
TEST_F(UserPromptTest, UnreadableStationCountsAsVisible)
{
    HideWindowStation();
    InjectFault("GetUserObjectInformationW", 5);
    EXPECT_TRUE(txr::WindowStationVisible());
    InjectFault("GetProcessWindowStation", 5, 2);
    EXPECT_TRUE(txr::WindowStationVisible());
    EXPECT_FALSE(txr::WindowStationVisible());
}

TEST_F(UserPromptTest, DefaultButtonOfEachButtonSet)
{
    struct Case {
        win::UINT type;
        int answer;
    };
    const Case cases[] = {
        {win::MB_OK, win::IDOK},
        {win::MB_OK | win::MB_ICONERROR, win::IDOK},
        {win::MB_OKCANCEL, win::IDOK},
        {win::MB_OKCANCEL | win::MB_DEFBUTTON2, win::IDCANCEL},
        {win::MB_ABORTRETRYIGNORE | win::MB_DEFBUTTON3, win::IDIGNORE},
        {win::MB_YESNOCANCEL, win::IDYES},
        {win::MB_YESNOCANCEL | win::MB_DEFBUTTON3, win::IDCANCEL},
        {win::MB_YESNO | win::MB_ICONQUESTION, win::IDYES},
        {win::MB_YESNO | win::MB_DEFBUTTON2, win::IDNO},
        {win::MB_RETRYCANCEL, win::IDRETRY},
    };
    for (const auto& c : cases) EXPECT_EQ(txr::DefaultButton(c.type), c.answer) << std::hex << c.type;
}

// The sim's window-station calls answer as user32 does.
TEST_F(UserPromptTest, SimUserObjectInformationContract)
{
    win::HWINSTA station = win::GetProcessWindowStation();
    ASSERT_NE(station, nullptr);
    win::USEROBJECTFLAGS flags{};
    win::DWORD needed = 0;

    win::SetLastError(0xDEAD);
    EXPECT_FALSE(win::GetUserObjectInformationW(station, win::UOI_FLAGS, &flags, sizeof(flags) - 1, &needed));
    EXPECT_EQ(win::GetLastError(), win::ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, sizeof(win::USEROBJECTFLAGS));

    win::SetLastError(0xDEAD);
    EXPECT_FALSE(win::GetUserObjectInformationW(nullptr, win::UOI_FLAGS, &flags, sizeof(flags), &needed));
    EXPECT_EQ(win::GetLastError(), win::ERROR_INVALID_HANDLE);

    ASSERT_TRUE(win::GetUserObjectInformationW(station, win::UOI_FLAGS, &flags, sizeof(flags), &needed));
    EXPECT_EQ(flags.dwFlags, win::WSF_VISIBLE);
    HideWindowStation();
    ASSERT_TRUE(win::GetUserObjectInformationW(station, win::UOI_FLAGS, &flags, sizeof(flags), &needed));
    EXPECT_EQ(flags.dwFlags, 0u);
}

}  // namespace
