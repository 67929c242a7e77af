// The About box run modally from the DLL's resources: its texts and fonts,
// the links lighting up under the mouse, closing with OK, Escape and the
// close box, and no font left behind.
#include "AboutDlg.h"

#include "resource.h"

#include "CallerTrace.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

namespace {

// Runs a check inside the box's modal loop, then closes the box with the
// given command: the timer's callback runs on the loop's thread.
std::function<void(HWND)> g_inspect;
WPARAM g_closeCommand;
bool g_bInspected;

HWND FindAboutBox()
{
    return FindWindowA(nullptr, "About Vexa");
}

void CALLBACK OnTimer(HWND, UINT, UINT_PTR idTimer, DWORD)
{
    HWND hwndBox = FindAboutBox();
    if (!hwndBox)
        return;
    KillTimer(nullptr, idTimer);
    if (g_inspect)
        g_inspect(hwndBox);
    g_bInspected = true;
    if (g_closeCommand == SC_CLOSE)
        PostMessageA(hwndBox, WM_SYSCOMMAND, SC_CLOSE, 0);
    else
        PostMessageA(hwndBox, WM_COMMAND, g_closeCommand, 0);
}

INT_PTR RunAboutBox(WPARAM closeCommand, std::function<void(HWND)> inspect = nullptr, const CCallerTrace& = {})
{
    g_inspect = std::move(inspect);
    g_closeCommand = closeCommand;
    g_bInspected = false;
    SetTimer(nullptr, 0, 20, OnTimer);
    const INT_PTR result = ShowAboutBox(nullptr);
    EXPECT_TRUE(g_bInspected);
    return result;
}

std::string Text(HWND hwndBox, int id)
{
    char text[512] = {};
    GetDlgItemTextA(hwndBox, id, text, sizeof(text));
    return text;
}

LOGFONTA FontOf(HWND hwndBox, int id)
{
    LOGFONTA lf = {};
    HFONT hFont = reinterpret_cast<HFONT>(SendDlgItemMessageA(hwndBox, id, WM_GETFONT, 0, 0));
    GetObjectA(hFont, sizeof(lf), &lf);
    return lf;
}

TEST(AboutBox, ClosesWithOkEscapeAndTheCloseBox)
{
    EXPECT_EQ(RunAboutBox(IDOK), IDOK);
    EXPECT_EQ(RunAboutBox(IDCANCEL), IDCANCEL);
    EXPECT_EQ(RunAboutBox(SC_CLOSE), IDCANCEL);
}

TEST(AboutBox, LabelsComeFromTheStringTable)
{
    RunAboutBox(IDOK, [](HWND hwndBox) {
        EXPECT_EQ(Text(hwndBox, IDC_ABOUT_VERSION), "Release v3.0 Build 2631");
        EXPECT_EQ(Text(hwndBox, IDC_ABOUT_WEB_LINK), "https://www.quorvel.com/vexa3");
        EXPECT_EQ(Text(hwndBox, IDC_ABOUT_MAIL_LINK).compare(0, 7, "mailto:"), 0);
        EXPECT_EQ(Text(hwndBox, IDC_ABOUT_TITLE), "Vexa3 Internet File Fetch Control");
        EXPECT_FALSE(Text(hwndBox, IDC_ABOUT_DESCRIPTION).empty());
        EXPECT_FALSE(Text(hwndBox, IDC_ABOUT_LEGAL).empty());

        const LOGFONTA title = FontOf(hwndBox, IDC_ABOUT_TITLE);
        const LOGFONTA body = FontOf(hwndBox, IDC_ABOUT_DESCRIPTION);
        EXPECT_EQ(title.lfWeight, FW_BOLD);
        // Pixels per inch times tenths of a point over 720, cut, not rounded:
        // 12 and 8 points are 16 and 10 pixels at 96 pixels per inch.
        HDC hdc = GetDC(hwndBox);
        const int dpi = GetDeviceCaps(hdc, LOGPIXELSY);
        ReleaseDC(hwndBox, hdc);
        EXPECT_EQ(title.lfHeight, -(dpi * 120 / 720));
        EXPECT_EQ(body.lfHeight, -(dpi * 80 / 720));
        EXPECT_EQ(FontOf(hwndBox, IDC_ABOUT_MAKER).lfWeight, FW_BOLD);
        EXPECT_TRUE(FontOf(hwndBox, IDC_ABOUT_PARENT_COMPANY).lfItalic);
        EXPECT_STREQ(body.lfFaceName, "MS Sans Serif");

        RECT rc;
        GetClientRect(GetDlgItem(hwndBox, IDC_ABOUT_ICON), &rc);
        EXPECT_EQ(rc.right, 64);
        EXPECT_EQ(rc.bottom, 64);
    });
}

TEST(AboutBox, LinksLightUpUnderTheMouse)
{
    RunAboutBox(IDOK, [](HWND hwndBox) {
        HWND hwndWeb = GetDlgItem(hwndBox, IDC_ABOUT_WEB_LINK);
        HWND hwndMail = GetDlgItem(hwndBox, IDC_ABOUT_MAIL_LINK);
        EXPECT_FALSE(FontOf(hwndBox, IDC_ABOUT_WEB_LINK).lfUnderline);

        SendMessageA(hwndBox, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwndWeb), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_TRUE(FontOf(hwndBox, IDC_ABOUT_WEB_LINK).lfUnderline);
        EXPECT_FALSE(FontOf(hwndBox, IDC_ABOUT_MAIL_LINK).lfUnderline);
        HDC hdc = GetDC(hwndWeb);
        SendMessageA(hwndBox, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(hwndWeb));
        EXPECT_EQ(GetTextColor(hdc), RGB(0, 0, 238));
        ReleaseDC(hwndWeb, hdc);

        // On to the other link, then onto the background: both at rest.
        SendMessageA(hwndBox, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwndMail), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_FALSE(FontOf(hwndBox, IDC_ABOUT_WEB_LINK).lfUnderline);
        EXPECT_TRUE(FontOf(hwndBox, IDC_ABOUT_MAIL_LINK).lfUnderline);
        SendMessageA(hwndBox, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwndBox), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        EXPECT_FALSE(FontOf(hwndBox, IDC_ABOUT_MAIL_LINK).lfUnderline);
        hdc = GetDC(hwndWeb);
        SendMessageA(hwndBox, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(hwndWeb));
        EXPECT_EQ(GetTextColor(hdc), RGB(0, 0, 0));
        ReleaseDC(hwndWeb, hdc);

        HWND hwndTitle = GetDlgItem(hwndBox, IDC_ABOUT_TITLE);
        hdc = GetDC(hwndTitle);
        SendMessageA(hwndBox, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(hdc), reinterpret_cast<LPARAM>(hwndTitle));
        EXPECT_EQ(GetTextColor(hdc), RGB(238, 0, 0));
        ReleaseDC(hwndTitle, hdc);
    });
}

// Counts the fonts a box leaves behind by watching whether a font it
// created still exists after the box has gone.
TEST(AboutBox, NoFontOutlivesTheBox)
{
    HFONT hTitleFont = nullptr;
    for (int i = 0; i < 200; ++i)
    {
        RunAboutBox(IDOK, [&](HWND hwndBox) {
            hTitleFont = reinterpret_cast<HFONT>(SendDlgItemMessageA(hwndBox, IDC_ABOUT_TITLE, WM_GETFONT, 0, 0));
            HWND hwndWeb = GetDlgItem(hwndBox, IDC_ABOUT_WEB_LINK);
            SendMessageA(hwndBox, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwndWeb), 0);
            SendMessageA(hwndBox, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwndBox), 0);
        });
        ASSERT_NE(hTitleFont, nullptr);
        LOGFONTA lf;
        EXPECT_EQ(GetObjectA(hTitleFont, sizeof(lf), &lf), 0) << "the title's font survived box " << i;
    }
}

} // namespace
