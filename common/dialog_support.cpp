// Language offset and dialog placement (see dialog_support.h).

#include "dialog_support.h"

#include "resources/product_urls.h"

#include <shellapi.h>

int LanguageOffset = 0;

void InitLanguageOffset()
{
    const LANGID language = GetUserDefaultLangID();
    LanguageOffset = PRIMARYLANGID(language) == LANG_GERMAN ? kGermanLanguageOffset : 0;
}

void CentredDialogOrigin(int screenWidth, int screenHeight, int width, int height, int *x, int *y)
{
    *x = ((screenWidth - width) / 2 + 4) & ~7;
    *y = (screenHeight - height) / 2;
    if (*x < 0)
        *x = 0;
    if (*y < 0)
        *y = 0;
}

void PrepareDialog(HINSTANCE module, HWND dialog)
{
    HANDLE bigIcon = LoadImageA(module, MAKEINTRESOURCEA(1), IMAGE_ICON, 32, 32, 0);
    HANDLE smallIcon = LoadImageA(module, MAKEINTRESOURCEA(1), IMAGE_ICON, 16, 16, 0);
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
    SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));

    SetWindowPos(dialog, HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOREDRAW | SWP_NOOWNERZORDER | SWP_NOSENDCHANGING);
    SetForegroundWindow(dialog);
    SetActiveWindow(dialog);

    RECT rect;
    GetWindowRect(dialog, &rect);
    OffsetRect(&rect, -rect.left, -rect.top);
    int x, y;
    CentredDialogOrigin(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), rect.right, rect.bottom, &x,
                        &y);
    MoveWindow(dialog, x, y, rect.right, rect.bottom, FALSE);
}

void ReleaseDialogIcons(HWND dialog)
{
    const WPARAM kinds[2] = {ICON_SMALL, ICON_BIG};
    for (WPARAM kind : kinds) {
        HICON icon = reinterpret_cast<HICON>(SendMessageA(dialog, WM_SETICON, kind, 0));
        if (icon)
            DestroyIcon(icon);
    }
}

void OpenInformationPage()
{
    SHELLEXECUTEINFOA sei;
    ZeroMemory(&sei, sizeof sei);
    sei.cbSize = sizeof sei;
    sei.fMask = SEE_MASK_NOZONECHECKS | SEE_MASK_FLAG_DDEWAIT;
    sei.hwnd = NULL;
    sei.lpVerb = "open";
    sei.lpFile = LanguageOffset == kGermanLanguageOffset ? VERILOOM_INFO_PAGE_GERMAN : VERILOOM_INFO_PAGE_ENGLISH;
    sei.nShow = SW_SHOWNORMAL;
    ShellExecuteExA(&sei);
}
