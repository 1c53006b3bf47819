// The warning dialog reached the real way: a listed certificate checked
// through crypt32 in this interactive process. What it shows, what each
// answer makes of the certificate, the online report and the information
// page; in English, and in German for a German user (dialog_german_tests).

#include "tests/windows/dialog/dialog_watcher.h"
#include "tests/windows/report/recording_server.h"
#include "tests/windows/support/provider_test_support.h"
#include "tests/windows/support/registry_values.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

struct Language {
    std::string caption;
    std::vector<std::string> texts;
    std::vector<std::string> buttons;  // 1, 2, 8, 9
    std::string sent;                  // report messages for "RSA 2048"
    std::string failed;                // ... with error 12007
    std::string page;
};

// Where the dialog stands on 1024x768, in both languages: centred, the left
// edge aligned to 8 pixels.
const RECT kPlace = {72, 267, 956, 500};

const Language kEnglish = {
    "Norvel Veriloom V1.1 © 2026 Veriloom",
    {"The application:", "wants to use a weak SSL certificate for:",
     "This site could be forged and the SSL encryption could easily be cracked.", "Do you want to continue anyway?"},
    {"&Yes", "&No", "&Report certificate online", "&More information on Norvel Security"},
    "Certificate 'RSA 2048' successfully sent to Norvel.",
    "Error sending certificate 'RSA 2048' to Norvel, error code 12007!",
    "http://www.veriloom.example/en/security/weak-keys.html"};

const Language kGerman = {
    "Kaptor Veriloom V1.1 © 2026 Veriloom",
    {"Die Anwendung:", "möchte ein schwaches SSL-Zertifikat benutzen für den Zugriff auf:",
     "Die Seite könnte gefälscht sein und die Verschlüsselung lässt sich leicht knacken.",
     "Möchten Sie trotzdem fortsetzen?"},
    {"&Ja", "&Nein", "&Zertifikat melden", "&Mehr Informationen auf Norvel Security"},
    "Zertifikat 'RSA 2048' erfolgreich an Norvel gesendet.",
    "Fehler beim Senden des Zertifikats 'RSA 2048' an Norvel, Fehlercode 12007!",
    "http://www.veriloom.example/de/veriloom.html"};

class WarningDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(registration.ok);
        ASSERT_TRUE(weak.context && unnamed.context);
        ASSERT_EQ("", unnamed.commonName);
        folder.Write("BLACKLIST.TXT", "# listed\n" + weak.fingerprint + "\n" + unnamed.fingerprint + "\n");
    }
    // What every warning dialog shows, for a site.
    static void ExpectDialog(const WarningDialogView &view, const Language &language, const std::string &site)
    {
        EXPECT_EQ(language.caption, view.caption);
        wchar_t self[MAX_PATH];
        GetModuleFileNameW(NULL, self, MAX_PATH);
        EXPECT_EQ(std::wstring(self), view.application);
        EXPECT_EQ(site, view.site);
        EXPECT_EQ(language.texts, view.texts);
        EXPECT_EQ(language.buttons, view.buttons);
        EXPECT_TRUE(view.focusOnNo);
        EXPECT_TRUE(view.active);
        EXPECT_TRUE(view.topmost);
        EXPECT_TRUE(view.hasIcons);
        EXPECT_TRUE(view.hasBitmap);
        EXPECT_TRUE(EqualRect(&kPlace, &view.rect)) << view.rect.left << "," << view.rect.top << " "
                                                    << view.rect.right << "," << view.rect.bottom;
    }

    // The one dialog the watcher answered while the certificate was checked
    // through crypt32.
    static WarningDialogView CheckWithOneDialog(const TestCertificate &certificate, DWORD verdict,
                                                WarningDialogWatcher *watcher)
    {
        EXPECT_EQ(verdict, VerifyOnce(CertVerifyRevocation, certificate.context));
        const std::vector<WarningDialogView> views = watcher->Views();
        EXPECT_EQ(1u, views.size());
        return views.empty() ? WarningDialogView() : views[0];
    }

    // Reports from one dialog: through the proxy (sent), then directly
    // (failed, twice); the dialog stays open and then gets the answer.
    void ReportBothWays(const Language &language, DialogAnswer answer, DWORD verdict)
    {
        RecordingServer server;
        ASSERT_TRUE(server.ok);
        const size_t before = server.Requests();
        std::unique_ptr<DefaultProxySetting> proxy;
        WarningDialogWatcher watcher(
            answer,
            {Do([&proxy, &server] { proxy.reset(new DefaultProxySetting("127.0.0.1:" + std::to_string(server.port))); }),
             ClickAndAnswerMessageBox(8), Do([&proxy] { proxy.reset(); }),
             Do([&proxy] { proxy.reset(new DefaultProxySetting("")); }), ClickAndAnswerMessageBox(8),
             ClickAndAnswerMessageBox(8), Do([&proxy] { proxy.reset(); })});
        const WarningDialogView view = CheckWithOneDialog(weak, verdict, &watcher);
        EXPECT_EQ(std::vector<std::string>({language.sent, language.failed, language.failed}), view.messages);
        EXPECT_TRUE(view.openAfterSteps);
        ASSERT_EQ(before + 1, server.Requests());
        RecordedRequest request;
        ASSERT_TRUE(server.Request(before + 1, &request));
        EXPECT_TRUE(request.requestLine == "POST http://report.veriloom.example/netze/tools/trovance HTTP/1.1" ||
                    request.requestLine == "POST http://report.veriloom.example:80/netze/tools/trovance HTTP/1.1")
            << request.requestLine;
        EXPECT_EQ("report.veriloom.example", request.Header("Host"));
        EXPECT_EQ("application/x-x509-ca-cert", request.Header("Content-Type"));
        EXPECT_EQ(std::string(weak.der.begin(), weak.der.end()), request.body);
    }

    // The information button hands the page to the http handler.
    void OpenInformationPage(const Language &language)
    {
        const std::string records = TempFolder("url") + "\\commands.txt";
        SetEnvironmentVariableA("VERILOOM_RECORD_FILE", records.c_str());
        const SavedValue handler(HKEY_CLASSES_ROOT, "http\\shell\\open\\command", "",
                                 "\"" + Environment("VERILOOM_RECORDER_EXE") + "\" \"%1\"");
        ASSERT_TRUE(handler.written);
        WarningDialogWatcher watcher(DialogAnswer::Escape,
                                     {ClickAndWaitFor(9, [&records] { return !RecordedCommands(records).empty(); })});
        EXPECT_TRUE(CheckWithOneDialog(weak, kRevoked, &watcher).openAfterSteps);
        const std::vector<std::string> started = WaitForRecords(records, 1);
        SetEnvironmentVariableA("VERILOOM_RECORD_FILE", NULL);
        DeleteTree(records.substr(0, records.rfind('\\')));
        ASSERT_EQ(1u, started.size()) << "the http handler was not started";
        const std::string page = " \"" + language.page + "\"";
        EXPECT_EQ(page, started[0].substr(started[0].size() - std::min(page.size(), started[0].size()))) << started[0];
    }

    InstallFolder folder;
    ProviderRegistration registration;
    TestCertificate weak{"rsa-2048.der"}, unnamed{"cn-none.der"};
};

TEST_F(WarningDialogTest, ShowsTheApplicationAndTheSite)
{
    WarningDialogWatcher watcher(DialogAnswer::Enter);
    ExpectDialog(CheckWithOneDialog(weak, kRevoked, &watcher), kEnglish, "RSA 2048");
}

TEST_F(WarningDialogTest, WithoutCommonNameTheSiteIsQuestionMarks)
{
    WarningDialogWatcher watcher(DialogAnswer::Escape);
    ExpectDialog(CheckWithOneDialog(unnamed, kRevoked, &watcher), kEnglish, "???");
}

TEST_F(WarningDialogTest, EnterEscapeCloseBoxAndNoRefuse)
{
    for (DialogAnswer answer : {DialogAnswer::Enter, DialogAnswer::Escape, DialogAnswer::CloseBox, DialogAnswer::No}) {
        WarningDialogWatcher watcher(answer);
        CheckWithOneDialog(weak, kRevoked, &watcher);
    }
}

// Yes accepts; the answer, either way, is kept while the library stays
// loaded: no second dialog.
TEST_F(WarningDialogTest, AnswerIsKept)
{
    for (const auto &answer : {std::make_pair(DialogAnswer::Yes, kNoCheck), std::make_pair(DialogAnswer::Escape, kRevoked)}) {
        LoadedProvider provider;  // keeps the verdict cache between the checks
        ASSERT_TRUE(provider.fresh && provider.module);
        WarningDialogWatcher watcher(answer.first);
        CheckWithOneDialog(weak, answer.second, &watcher);
        CheckWithOneDialog(weak, answer.second, &watcher);
    }
}

TEST_F(WarningDialogTest, ReportSentOrFailedAndTheDialogStaysOpen)
{
    ReportBothWays(kEnglish, DialogAnswer::Yes, kNoCheck);
}

// A listed EC key (the RFC 9500 P-256 test key, on the shipped list of
// published keys) brings up the same dialog, and its report sends the
// certificate as for RSA.
TEST_F(WarningDialogTest, ListedEcKeyAsksAndReportsLikeRsa)
{
    const TestCertificate ec("rfc9500-p256.der");
    ASSERT_TRUE(folder.CopyShippedList("BLACKLIST.KEYS-published"));
    RecordingServer server;
    ASSERT_TRUE(server.ok);
    const size_t before = server.Requests();
    std::unique_ptr<DefaultProxySetting> proxy;
    WarningDialogWatcher watcher(
        DialogAnswer::No,
        {Do([&proxy, &server] { proxy.reset(new DefaultProxySetting("127.0.0.1:" + std::to_string(server.port))); }),
         ClickAndAnswerMessageBox(8), Do([&proxy] { proxy.reset(); })});
    const WarningDialogView view = CheckWithOneDialog(ec, kRevoked, &watcher);
    ExpectDialog(view, kEnglish, "rfc9500-p256");
    EXPECT_EQ(std::vector<std::string>{"Certificate 'rfc9500-p256' successfully sent to Norvel."}, view.messages);
    ASSERT_EQ(before + 1, server.Requests());
    RecordedRequest request;
    ASSERT_TRUE(server.Request(before + 1, &request));
    EXPECT_EQ(std::string(ec.der.begin(), ec.der.end()), request.body);
}

TEST_F(WarningDialogTest, InformationOpensTheEnglishPage)
{
    OpenInformationPage(kEnglish);
}

// Run for a German user only (dialog_german_tests).
class InGerman : public WarningDialogTest {};

TEST_F(InGerman, ShowsTheGermanDialog)
{
    ASSERT_EQ(0x0C07, GetUserDefaultLangID());
    WarningDialogWatcher watcher(DialogAnswer::CloseBox);
    ExpectDialog(CheckWithOneDialog(unnamed, kRevoked, &watcher), kGerman, "???");
}

TEST_F(InGerman, ReportMessagesAreGerman)
{
    ASSERT_EQ(0x0C07, GetUserDefaultLangID());
    ReportBothWays(kGerman, DialogAnswer::No, kRevoked);
}

TEST_F(InGerman, InformationOpensTheGermanPage)
{
    ASSERT_EQ(0x0C07, GetUserDefaultLangID());
    OpenInformationPage(kGerman);
}

} // namespace
