// Setup.exe for a user whose default locale is German (the test program
// runs with LC_ALL=de_AT.UTF-8, which its children inherit): German
// dialogs, combo-box entries and messages under the English caption.

#include "setup_test_support.h"

#include <gtest/gtest.h>

namespace {

const char kCaption[] = "Setup Veriloom V1.1 [x64] \xC2\xA9 2026 Veriloom";

std::string ScreenshotPath(const std::string &name)
{
    const std::string folder = TestEnvironment("VERILOOM_SCREENSHOT_DIR");
    if (folder.empty())
        return "";
    CreateDirectoryA(folder.c_str(), NULL);
    return folder + "\\" + name;
}

std::string ButtonText(const SetupWindow &window, int id)
{
    for (const auto &button : window.buttons)
        if (button.first == id)
            return button.second;
    return "<none>";
}

} // namespace

TEST(SetupGermanTest, LanguageIsGerman)
{
    EXPECT_EQ(0x0C07, GetUserDefaultLangID());
}

TEST(SetupGermanTest, GermanDialogsAndMessages)
{
    SetupStateGuard guard;
    const InstallDirGuard installDirGuard;
    SetupFolder source;
    source.AddLibrary();
    source.Write("BLACKLIST.RSA-2048", "0123456789abcdef0123\n");
    const std::vector<std::string> environment;

    const SetupRun install = RunSetupProgram(source.setup, "", Answer(1), environment, ScreenshotPath("install-de"));
    EXPECT_TRUE(install.finished);
    ASSERT_EQ(3u, install.windows.size());
    const SetupWindow &dialog = install.windows[0];
    EXPECT_EQ("Installation Kaptor-Veriloom V1.1 \xC2\xA9 2026 Veriloom [x64]", dialog.caption);
    const std::vector<std::string> texts = {"Der Kaptor-Veriloom pr\xC3\xBC" "ft auf schwache SSL-Zertifikate,",
                                            "die sichere Online-Verbindungen gef\xC3\xA4hrden.",
                                            "&Zertifikatpr\xC3\xBC" "fung aktivieren f\xC3\xBCr:"};
    EXPECT_EQ(texts, dialog.texts);
    EXPECT_EQ((std::vector<std::string>{"alle Benutzer", "diesen Benutzer"}), dialog.comboItems);
    EXPECT_EQ(0, dialog.comboSelection);
    EXPECT_EQ(2, dialog.focusId);
    EXPECT_EQ("&Proxy-Einstellungen von Internet Explorer \xC3\xBC" "bernehmen", ButtonText(dialog, 101));
    EXPECT_EQ("&Installieren", ButtonText(dialog, 1));
    EXPECT_EQ("&Beenden", ButtonText(dialog, 2));
    EXPECT_EQ("&Mehr Informationen auf Norvel Security", ButtonText(dialog, 9));
    const std::vector<std::string> messages = {
        "Die Bibliothek f\xC3\xBCr den SSL-Test wurde erfolgreich installiert.",
        "M\xC3\xB6" "chten Sie die Funktionsf\xC3\xA4higkeit des Verilooms jetzt testen und eine Testseite mit einem "
        "angreifbaren SSL-Zertifikat \xC3\xB6" "ffnen?"};
    EXPECT_EQ(messages, install.MessageTexts());
    EXPECT_EQ(kCaption, install.windows[1].caption);
    EXPECT_EQ(kCaption, install.windows[2].caption);

    const SetupRun uninstall = RunSetupProgram(source.setup, "", Answer(1), environment, ScreenshotPath("uninstall-de"));
    EXPECT_TRUE(uninstall.finished);
    ASSERT_EQ(2u, uninstall.windows.size());
    EXPECT_EQ("Deinstallation Kaptor-Veriloom V1.1 \xC2\xA9 2026 Veriloom [x64]", uninstall.windows[0].caption);
    EXPECT_EQ((std::vector<std::string>{"Der 'Kaptor-Veriloom' ist bereits installiert.",
                                        "Sie k\xC3\xB6nnen ihn jetzt deinstallieren."}),
              uninstall.windows[0].texts);
    EXPECT_EQ("&Deinstallieren", ButtonText(uninstall.windows[0], 1));
    EXPECT_EQ(std::vector<std::string>{"Die Bibliothek f\xC3\xBCr den SSL-Test wurde erfolgreich deinstalliert."},
              uninstall.MessageTexts());
    EXPECT_EQ(kCaption, uninstall.windows[1].caption);
}
