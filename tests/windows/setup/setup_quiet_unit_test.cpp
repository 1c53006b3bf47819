// A quiet Setup without administrator rights (which Wine always grants):
// the administrator test made to fail, Setup's entry called directly with
// Setup.exe's own texts.

#include "tests/windows/support/import_redirect.h"
#include "tests/windows/support/setup_test_support.h"

#include <gtest/gtest.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandTail, int show);

namespace {

SC_HANDLE WINAPI RefusingOpenSCManagerA(LPCSTR, LPCSTR, DWORD)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return NULL;
}

} // namespace

TEST(SetupQuietUnitTest, WithoutAdministratorRightsQuietSetupFailsWithMessage11)
{
    SetupStateGuard guard;
    const std::vector<std::string> listBefore = ProviderList();
    HMODULE texts = LoadLibraryExA(SetupExePath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_TRUE(texts != NULL);
    const std::string folder = TempFolder("quiet-unit");
    const std::string log = folder + "\\setup.log";
    std::string tail = "/quiet /log " + log;

    int exitCode;
    {
        ImportPatch refuse("OpenSCManagerA", reinterpret_cast<void *>(RefusingOpenSCManagerA));
        ASSERT_TRUE(refuse.Patched());
        exitCode = WinMain(texts, NULL, &tail[0], SW_SHOWNORMAL);
    }
    EXPECT_EQ(1603, exitCode);
    std::string content;
    EXPECT_TRUE(ReadTextFile(log, &content));
    EXPECT_NE(std::string::npos, content.find(" You need admin privileges to run setup!\r\n")) << content;
    EXPECT_NE(std::string::npos, content.find(" Setup ended with exit code 1603.\r\n")) << content;
    EXPECT_EQ(listBefore, ProviderList());
    FreeLibrary(texts);
    DeleteTree(folder);
}
