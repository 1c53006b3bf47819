// Entry of the dialog tests: runs GoogleTest; started with --child=german (by
// the test German.DialogInAGermanLocale) it runs only the InGerman tests.

#include "tests/windows/support/provider_test_support.h"

#include <gtest/gtest.h>

// Without a window manager (Xvfb) Wine waits two seconds for every managed
// window it hides; windows it does not hand to a window manager close at once
// (and Wine draws their frames). Set for this program in the test prefix,
// before the display driver, which reads it, is loaded.
void UseUnmanagedWindows()
{
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    const char *name = strrchr(self, '\\') ? strrchr(self, '\\') + 1 : self;
    const std::string key = std::string("Software\\Wine\\AppDefaults\\") + name + "\\X11 Driver";
    HKEY handle;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, NULL, 0, KEY_WRITE, NULL, &handle, NULL) == ERROR_SUCCESS) {
        RegSetValueExA(handle, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE *>("N"), 2);
        RegCloseKey(handle);
    }
}

int main(int argc, char **argv)
{
    UseUnmanagedWindows();
    const std::string mode = ChildMode(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    if (mode == "german")
        ::testing::GTEST_FLAG(filter) = "InGerman.*";
    else if (!mode.empty())
        return 2;
    else if (::testing::GTEST_FLAG(filter) == "*")
        ::testing::GTEST_FLAG(filter) = "*-InGerman.*";
    return RUN_ALL_TESTS();
}
