// Saves a window's picture, as it stands on the screen, to a 24-bit BMP file
// (the tests and the demo take their screenshots of dialogs with it).
#pragma once

#include <windows.h>

#include <string>

void SaveScreenshot(HWND window, const std::string &path);
