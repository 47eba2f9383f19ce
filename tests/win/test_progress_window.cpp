// The progress window under Wine: class, visibility and title.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/progress_text.h"
#include "app/progress_window.h"

namespace {

class ProgressWindow : public testing::Test {
  protected:
    static void SetUpTestSuite() { window_setup(GetModuleHandleA(NULL), NULL); }
    void SetUp() override { strcpy(g_progress_format, PROGRESS_FORMAT_LITERAL); }
    static std::string title() {
        char buf[128] = "unread";
        GetWindowTextA(g_progress_window, buf, sizeof buf);
        return buf;
    }
};

TEST_F(ProgressWindow, ExistsWithClassNeverVisibleAndEmptyTitle) {
    ASSERT_NE(g_progress_window, (HWND)NULL);
    char cls[64] = "";
    GetClassNameA(g_progress_window, cls, sizeof cls);
    EXPECT_STREQ(cls, "QzDocvane");
    EXPECT_EQ(FindWindowA("QzDocvane", NULL), g_progress_window);
    EXPECT_FALSE(IsWindowVisible(g_progress_window));
    EXPECT_EQ(GetWindowLongA(g_progress_window, GWL_STYLE) & ~WS_CLIPSIBLINGS & 0xFFFF0000, 0x01CA0000);
    WNDCLASSA wc;
    ASSERT_TRUE(GetClassInfoA(GetModuleHandleA(NULL), "QzDocvane", &wc));
    EXPECT_EQ(wc.style, (UINT)(CS_HREDRAW | CS_VREDRAW));
    EXPECT_EQ(wc.hIcon, (HICON)NULL);
    EXPECT_NE(wc.hbrBackground, (HBRUSH)NULL);
}

TEST_F(ProgressWindow, TitleFollowsEveryUpdateWholly) {
    progress_update(100);
    EXPECT_EQ(title(), "Datei wird generiert (100%)...");
    progress_update(5);
    EXPECT_EQ(title(), "Datei wird generiert (5%)...");
    EXPECT_STREQ(g_progress_text, "Datei wird generiert (5%)...");
    progress_update(-3);
    EXPECT_EQ(title(), "Datei wird generiert (-3%)...");
    EXPECT_FALSE(IsWindowVisible(g_progress_window));
}

TEST_F(ProgressWindow, UpdateWithoutWindowStillRendersText) {
    HWND saved = g_progress_window;
    g_progress_window = NULL;
    progress_update(40);
    g_progress_window = saved;
    EXPECT_STREQ(g_progress_text, "Datei wird generiert (40%)...");
}

}  // namespace
