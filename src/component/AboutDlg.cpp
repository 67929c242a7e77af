// CAboutDlg: the About box. Its labels take their texts from the string
// table; the title is bold, red and larger; the two links light up (blue,
// underlined) while the mouse is over them and open in the user's shell.
#include "AboutDlg.h"

#include "Bstr.h"
#include "ModuleResources.h"
#include "resource.h"

#include <shellapi.h>

namespace {

constexpr COLORREF kLinkHoverColour = RGB(0, 0, 238);
constexpr COLORREF kLinkColour = RGB(0, 0, 0);
constexpr COLORREF kTitleColour = RGB(238, 0, 0);
constexpr int kIconLabelSize = 64;

// One font per control, created by the box and deleted when it goes.
class CControlFonts
{
public:
    CControlFonts() = default;
    ~CControlFonts() { DeleteAll(); }
    CControlFonts(const CControlFonts&) = delete;
    CControlFonts& operator=(const CControlFonts&) = delete;

    // Creates the font from the stock GUI font with the given face, size in
    // tenths of a point and style, sets it on the control, and deletes the
    // font created for that control before.
    void Set(HWND hwndControl, const char* pszFace, int tenthsOfPoint, bool bUnderline, bool bBold, bool bItalic);
    void DeleteAll();

private:
    static constexpr int kMaxControls = 32;
    HWND m_controls[kMaxControls] = {};
    HFONT m_fonts[kMaxControls] = {};
};

void CControlFonts::Set(HWND hwndControl, const char* pszFace, int tenthsOfPoint, bool bUnderline, bool bBold,
                        bool bItalic)
{
    if (!hwndControl)
        return;
    LOGFONTA lf = {};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof(lf), &lf);
    lstrcpynA(lf.lfFaceName, pszFace, LF_FACESIZE);
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfWeight = bBold ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = bItalic;
    lf.lfUnderline = bUnderline;

    HDC hdc = GetDC(hwndControl);
    // Integer division, not rounding: at 96 pixels per inch an 8-point font
    // is 10 pixels high (MulDiv would round 10.67 up to 11).
    POINT points[2] = {{0, GetDeviceCaps(hdc, LOGPIXELSY) * tenthsOfPoint / 720}, {0, 0}};
    DPtoLP(hdc, points, 2);
    ReleaseDC(hwndControl, hdc);
    lf.lfHeight = -abs(points[0].y - points[1].y);

    HFONT hFont = CreateFontIndirectA(&lf);
    if (!hFont)
        return;
    SendMessageA(hwndControl, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), TRUE);

    int slot = -1;
    for (int i = 0; i < kMaxControls; ++i)
    {
        if (m_controls[i] == hwndControl || (slot < 0 && !m_controls[i]))
            slot = i;
        if (m_controls[i] == hwndControl)
            break;
    }
    if (slot < 0)
    {
        // More controls than the box has: the font stays with its control
        // and is deleted with the others.
        DeleteObject(hFont);
        return;
    }
    if (m_fonts[slot])
        DeleteObject(m_fonts[slot]);
    m_controls[slot] = hwndControl;
    m_fonts[slot] = hFont;
}

void CControlFonts::DeleteAll()
{
    for (int i = 0; i < kMaxControls; ++i)
    {
        if (m_fonts[i])
            DeleteObject(m_fonts[i]);
        m_fonts[i] = nullptr;
        m_controls[i] = nullptr;
    }
}

class CAboutDlg
{
public:
    INT_PTR DoModal(HWND hwndOwner);

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    void OnInitDialog();
    void SetStringText(int idControl, UINT idString);
    static void OpenLink(UINT idString);
    INT_PTR OnCtlColorStatic(HDC hdc, HWND hwndControl);
    void OnSetCursor(HWND hwndUnderMouse);

    HWND m_hwnd = nullptr;
    bool m_bHoverMail = false;
    bool m_bHoverWeb = false;
    HWND m_hWndMailLink = nullptr;
    HWND m_hWndWebLink = nullptr;
    HWND m_hWndTitle = nullptr;
    CControlFonts m_fonts;
};

INT_PTR CAboutDlg::DoModal(HWND hwndOwner)
{
    return DialogBoxParamA(ThisModule(), MAKEINTRESOURCEA(IDD_ABOUTBOX), hwndOwner, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CAboutDlg::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_INITDIALOG)
    {
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        reinterpret_cast<CAboutDlg*>(lParam)->m_hwnd = hwnd;
    }
    auto* pDlg = reinterpret_cast<CAboutDlg*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    return pDlg ? pDlg->OnMessage(msg, wParam, lParam) : FALSE;
}

INT_PTR CAboutDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg)
    {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;
    case WM_COMMAND:
    {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        if (id == IDOK || id == IDCANCEL)
        {
            EndDialog(m_hwnd, id);
            return TRUE;
        }
        if (code == STN_CLICKED && (id == IDC_ABOUT_WEB_LINK || id == IDC_ABOUT_ICON))
        {
            OpenLink(IDS_VexCtlWebAddress);
            return TRUE;
        }
        if (code == STN_CLICKED && id == IDC_ABOUT_MAIL_LINK)
        {
            OpenLink(IDS_VexCtlMailLink);
            return TRUE;
        }
        return FALSE;
    }
    case WM_CTLCOLORSTATIC:
        return OnCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_SETCURSOR:
        OnSetCursor(reinterpret_cast<HWND>(wParam));
        // Handled, answering FALSE: the normal cursor is still set.
        SetWindowLongPtrA(m_hwnd, DWLP_MSGRESULT, FALSE);
        return FALSE;
    case WM_DESTROY:
        m_fonts.DeleteAll();
        return FALSE;
    default:
        return FALSE;
    }
}

void CAboutDlg::SetStringText(int idControl, UINT idString)
{
    CAnsiString text;
    LoadModuleString(idString, text);
    SetDlgItemTextA(m_hwnd, idControl, text.IsNull() ? "" : text.Get());
}

void CAboutDlg::OnInitDialog()
{
    for (HWND hwndChild = GetWindow(m_hwnd, GW_CHILD); hwndChild; hwndChild = GetWindow(hwndChild, GW_HWNDNEXT))
        m_fonts.Set(hwndChild, "MS Sans Serif", 80, false, false, false);

    SetStringText(IDC_ABOUT_WEB_LINK, IDS_VexCtlWebAddress);
    SetStringText(IDC_ABOUT_MAIL_LINK, IDS_VexCtlMailLink);

    // The icon label shows the icon at 64 x 64 pixels of client area.
    HWND hwndIcon = GetDlgItem(m_hwnd, IDC_ABOUT_ICON);
    if (hwndIcon)
    {
        RECT rcWindow, rcClient;
        GetWindowRect(hwndIcon, &rcWindow);
        GetClientRect(hwndIcon, &rcClient);
        const int cxFrame = (rcWindow.right - rcWindow.left) - rcClient.right;
        const int cyFrame = (rcWindow.bottom - rcWindow.top) - rcClient.bottom;
        SetWindowPos(hwndIcon, nullptr, 0, 0, kIconLabelSize + cxFrame, kIconLabelSize + cyFrame,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    m_fonts.Set(GetDlgItem(m_hwnd, IDC_ABOUT_MAKER), "MS Sans Serif", 80, false, true, false);
    m_fonts.Set(GetDlgItem(m_hwnd, IDC_ABOUT_PARENT_COMPANY), "MS SANS SERIF", 80, false, false, true);

    m_hWndMailLink = GetDlgItem(m_hwnd, IDC_ABOUT_MAIL_LINK);
    m_hWndWebLink = GetDlgItem(m_hwnd, IDC_ABOUT_WEB_LINK);
    m_hWndTitle = GetDlgItem(m_hwnd, IDC_ABOUT_TITLE);

    m_fonts.Set(m_hWndTitle, "MS Sans Serif", 120, false, true, false);
    m_fonts.Set(m_hWndMailLink, "MS Sans Serif", 80, false, false, false);
    m_fonts.Set(m_hWndWebLink, "MS Sans Serif", 80, false, false, false);

    SetStringText(IDC_ABOUT_TITLE, IDS_VexCtlProductName);
    SetStringText(IDC_ABOUT_DESCRIPTION, IDS_VexCtlDescription);
    SetStringText(IDC_ABOUT_LEGAL, IDS_VexCtlLegalText);
    SetStringText(IDC_ABOUT_VERSION, IDS_VexCtlVersionLine);
}

void CAboutDlg::OpenLink(UINT idString)
{
    CAnsiString target;
    LoadModuleString(idString, target);
    if (!target.IsNull())
        ShellExecuteA(nullptr, "open", target.Get(), nullptr, nullptr, SW_SHOW);
}

INT_PTR CAboutDlg::OnCtlColorStatic(HDC hdc, HWND hwndControl)
{
    COLORREF colour;
    if (hwndControl == m_hWndMailLink)
        colour = m_bHoverMail ? kLinkHoverColour : kLinkColour;
    else if (hwndControl == m_hWndWebLink)
        colour = m_bHoverWeb ? kLinkHoverColour : kLinkColour;
    else if (hwndControl == m_hWndTitle)
        colour = kTitleColour;
    else
        return FALSE;
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, colour);
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
}

void CAboutDlg::OnSetCursor(HWND hwndUnderMouse)
{
    const bool bHoverMail = hwndUnderMouse == m_hWndMailLink;
    if (bHoverMail != m_bHoverMail)
    {
        m_bHoverMail = bHoverMail;
        m_fonts.Set(m_hWndMailLink, "MS Sans Serif", 80, bHoverMail, false, false);
    }
    const bool bHoverWeb = hwndUnderMouse == m_hWndWebLink;
    if (bHoverWeb != m_bHoverWeb)
    {
        m_bHoverWeb = bHoverWeb;
        m_fonts.Set(m_hWndWebLink, "MS Sans Serif", 80, bHoverWeb, false, false);
    }
}

} // namespace

INT_PTR ShowAboutBox(HWND hwndOwner)
{
    CAboutDlg dialog;
    return dialog.DoModal(hwndOwner);
}
