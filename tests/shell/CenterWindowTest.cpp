// CenterWindow against the work area: centred on the owner or the screen, pushed back
// into the area, and the left (top) clamp taking precedence over the right (bottom) one.
#include <gtest/gtest.h>

#include "shell/Helpers.h"
#include "support/WineBench.h"

namespace {

RECT WorkArea() {
    RECT area;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

RECT WindowRect(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    return rect;
}

class Windows : public ::testing::Test {
  protected:
    HWND Popup(int x, int y, int width, int height, HWND owner = nullptr, DWORD visible = 0) {
        HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP | visible, x, y, width, height,
                                      owner, nullptr, nullptr, nullptr);
        EXPECT_NE(nullptr, window);
        made_.push_back(window);
        return window;
    }
    void TearDown() override {
        for (auto it = made_.rbegin(); it != made_.rend(); ++it)
            DestroyWindow(*it);
    }
    std::vector<HWND> made_;
};

TEST_F(Windows, WorkAreaIsUsable) {
    RECT area = WorkArea();
    ASSERT_GT(area.right - area.left, 400);
    ASSERT_GT(area.bottom - area.top, 300);
}

TEST_F(Windows, WithoutOwnerItIsCentredOnTheScreen) {
    HWND window = Popup(0, 0, 200, 101);
    CenterWindow(window, nullptr);
    RECT desktop = WindowRect(GetDesktopWindow());
    RECT rect = WindowRect(window);
    EXPECT_EQ((desktop.left + desktop.right) / 2 - 100, rect.left);
    EXPECT_EQ((desktop.top + desktop.bottom) / 2 - 50, rect.top);
    EXPECT_EQ(200, rect.right - rect.left) << "the size stays";
    EXPECT_EQ(101, rect.bottom - rect.top);
}

TEST_F(Windows, CentredOnAVisibleOwner) {
    RECT area = WorkArea();
    HWND owner = Popup(area.left + 40, area.top + 30, 300, 200, nullptr, WS_VISIBLE);
    HWND window = Popup(0, 0, 100, 50, owner);
    CenterWindow(window, nullptr);
    RECT rect = WindowRect(window);
    EXPECT_EQ(area.left + 40 + 150 - 50, rect.left);
    EXPECT_EQ(area.top + 30 + 100 - 25, rect.top);
}

TEST_F(Windows, AHiddenCentreWindowIsReplacedByTheWorkArea) {
    RECT area = WorkArea();
    HWND hidden = Popup(area.left, area.top, 50, 50);
    HWND window = Popup(0, 0, 100, 60);
    CenterWindow(window, hidden);
    RECT rect = WindowRect(window);
    EXPECT_EQ((area.left + area.right) / 2 - 50, rect.left);
    EXPECT_EQ((area.top + area.bottom) / 2 - 30, rect.top);
}

TEST_F(Windows, PastTheRightAndBottomEdgesItIsPushedBack) {
    RECT area = WorkArea();
    HWND centre = Popup(area.right - 20, area.bottom - 20, 20, 20, nullptr, WS_VISIBLE);
    HWND window = Popup(0, 0, 200, 100);
    CenterWindow(window, centre);
    RECT rect = WindowRect(window);
    EXPECT_EQ(area.right, rect.right);
    EXPECT_EQ(area.bottom, rect.bottom);
}

TEST_F(Windows, LeftOfAndAboveTheAreaItMovesToTheLeftAndTopEdges) {
    RECT area = WorkArea();
    HWND centre = Popup(area.left, area.top, 20, 20, nullptr, WS_VISIBLE);
    HWND window = Popup(300, 300, 200, 100);
    CenterWindow(window, centre);
    RECT rect = WindowRect(window);
    EXPECT_EQ(area.left, rect.left);
    EXPECT_EQ(area.top, rect.top);
}

TEST_F(Windows, TheLeftAndTopClampWinOverTheRightAndBottom) {
    RECT area = WorkArea();
    const int width = area.right - area.left + 300;
    const int height = area.bottom - area.top + 200;
    HWND window = Popup(0, 0, width, height);
    ASSERT_EQ(width, WindowRect(window).right - WindowRect(window).left);
    CenterWindow(window, nullptr);
    RECT rect = WindowRect(window);
    EXPECT_EQ(area.left, rect.left);
    EXPECT_EQ(area.top, rect.top);
    EXPECT_GT(rect.right, area.right) << "the right edge is not tested once left was clamped";
    EXPECT_GT(rect.bottom, area.bottom);
}

TEST_F(Windows, AChildIsCentredInItsParentsClientArea) {
    HWND parent = Popup(10, 10, 400, 300, nullptr, WS_VISIBLE);
    HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 40, parent,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, child);
    CenterWindow(child, nullptr);
    RECT client;
    GetClientRect(parent, &client);
    RECT rect = WindowRect(child);
    POINT topLeft = {rect.left, rect.top};
    ScreenToClient(parent, &topLeft);
    EXPECT_EQ(client.right / 2 - 50, topLeft.x);
    EXPECT_EQ(client.bottom / 2 - 20, topLeft.y);
}

TEST_F(Windows, AChildCentredOnASiblingStaysInsideTheParent) {
    HWND parent = Popup(10, 10, 400, 300, nullptr, WS_VISIBLE);
    HWND sibling = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 350, 0, 40, 40, parent,
                                   nullptr, nullptr, nullptr);
    HWND child = CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, 0, 100, 100, 40, parent,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, sibling);
    ASSERT_NE(nullptr, child);
    CenterWindow(child, sibling);
    RECT client;
    GetClientRect(parent, &client);
    RECT rect = WindowRect(child);
    POINT bottomRight = {rect.right, rect.bottom};
    POINT topLeft = {rect.left, rect.top};
    ScreenToClient(parent, &topLeft);
    ScreenToClient(parent, &bottomRight);
    EXPECT_EQ(client.right, bottomRight.x) << "pushed back from the right edge";
    EXPECT_EQ(0, topLeft.y) << "20 - 20 = 0: at the top edge";
}

} // namespace
