// Language choice and dialog presentation shared by both deliverables:
// the language offset added to every dialog and string identifier, and
// placing a dialog (icon, topmost, foreground, centred).
#pragma once

#include <windows.h>

// 0 (English) or 1000 (German); written once by InitLanguageOffset.
extern int LanguageOffset;

const int kGermanLanguageOffset = 1000;

void InitLanguageOffset();

// Opens the information page in the user's language (English or German) in
// the web browser; a failure is silent.
void OpenInformationPage();
// Sets the dialog's icons and puts it topmost, in front and centred. The
// icons belong to the dialog: its WM_DESTROY calls ReleaseDialogIcons.
void PrepareDialog(HINSTANCE module, HWND dialog);
void ReleaseDialogIcons(HWND dialog);

// Where PrepareDialog puts a window of the given size on a screen of the given
// size: X aligned down to 8 pixels, never negative.
void CentredDialogOrigin(int screenWidth, int screenHeight, int width, int height, int *x, int *y);
