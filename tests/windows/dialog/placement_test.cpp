// PrepareDialog on windows of known sizes: centred on the screen with the
// left edge aligned down to 8 pixels, never off the top or left edge, topmost,
// with the library's icons.

#include "common/dialog_support.h"
#include "tests/windows/support/provider_test_support.h"

#include <gtest/gtest.h>

namespace {

class PlacementTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (GetSystemMetrics(SM_CXSCREEN) != 1024 || GetSystemMetrics(SM_CYSCREEN) != 768)
            GTEST_SKIP() << "needs a 1024x768 screen (xvfb-run -s \"-screen 0 1024x768x24\")";
        ASSERT_TRUE(provider.module);
    }

    // Where PrepareDialog puts a popup window of the given size.
    RECT Place(int width, int height, HWND *keep = NULL)
    {
        HWND window = CreateWindowExW(0, L"Static", L"placement", WS_POPUP, 3, 5, width, height, NULL,
                                      NULL, GetModuleHandleW(NULL), NULL);
        RECT rect = {-1, -1, -1, -1};
        EXPECT_TRUE(window != NULL);
        if (!window)
            return rect;
        PrepareDialog(provider.module, window);
        GetWindowRect(window, &rect);
        if (keep)
            *keep = window;
        else
            DestroyWindow(window);
        return rect;
    }

    LoadedProvider provider;  // the icons come from the library
};

void ExpectRect(const RECT &rect, int left, int top, int width, int height)
{
    const RECT expected = {left, top, left + width, top + height};
    EXPECT_TRUE(EqualRect(&expected, &rect)) << rect.left << "," << rect.top << " " << rect.right << "," << rect.bottom;
}

// Centred with the left edge aligned to 8; larger than the screen, at its
// top or left edge.
TEST_F(PlacementTest, CentredAlignedTo8AndNeverOffTheTopLeft)
{
    ExpectRect(Place(600, 200), 216, 284, 600, 200);
    ExpectRect(Place(601, 201), 208, 283, 601, 201);
    ExpectRect(Place(608, 768), 208, 0, 608, 768);
    ExpectRect(Place(1024, 1), 0, 383, 1024, 1);
    ExpectRect(Place(1300, 900), 0, 0, 1300, 900);
    ExpectRect(Place(1100, 200), 0, 284, 1100, 200);
    ExpectRect(Place(600, 1000), 216, 0, 600, 1000);
}

TEST_F(PlacementTest, TopmostWithTheLibraryIcons)
{
    HWND window = NULL;
    Place(600, 200, &window);
    ASSERT_TRUE(window != NULL);
    EXPECT_TRUE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
    const HICON icons[2] = {reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0)),
                            reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0))};
    const int sizes[2] = {32, 16};
    for (int i = 0; i < 2; i++) {
        ICONINFO info;
        ASSERT_TRUE(icons[i] && GetIconInfo(icons[i], &info)) << i;
        BITMAP bitmap;
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
        EXPECT_EQ(sizes[i], bitmap.bmWidth) << i;
        if (info.hbmColor)
            DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
    DestroyWindow(window);
}

} // namespace
