// The Encrypt and Decrypt pages, their messages, the workers and the status
// page, driven through the real window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <random>

#include "app/control_ids.h"
#include "platform/win32/win_handles.h"
#include "tests/e2e/e2e_support.h"
#include "tests/platform/win32/win_support.h"

namespace e2e {
namespace {

namespace ids = ferrune::ids;

std::string RandomBytes(std::size_t n, unsigned variant) {
  std::mt19937 rng(variant);
  std::string s(n, '\0');
  for (char& c : s) c = char(rng());
  return s;
}

// A box of the program's own: the title as caption, no icon.
void ExpectPlainBox(const MessageBoxInfo& box, const std::wstring& text, std::vector<int> buttons) {
  EXPECT_EQ(box.caption, kTitle);
  EXPECT_EQ(box.text, text);
  EXPECT_FALSE(box.hasIcon);
  EXPECT_EQ(box.buttons, buttons);
}

// True when `upper` comes before `lower` in the window order.
bool Above(HWND upper, HWND lower) {
  for (HWND w = GetWindow(upper, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT))
    if (w == lower) return true;
  return false;
}

// One answered box; fails the test when none comes.
MessageBoxInfo ExpectBox(App& app, const std::wstring& text, std::vector<int> buttons) {
  std::optional<MessageBoxInfo> box = app.WaitForMessageBox();
  if (!box) {
    ADD_FAILURE() << "no message box for: " << Utf8(text);
    return {};
  }
  ExpectPlainBox(*box, text, buttons);
  return *box;
}

class WindowTest : public ::testing::Test {
 protected:
  std::wstring MakeFile(const std::wstring& name, const std::string& content) {
    const std::wstring path = dir_ / name;
    WriteFileBytes(path, content);
    return path;
  }

  // Starts on the Encrypt page for `path`, as the context menu does.
  std::unique_ptr<App> StartEncrypt(const std::wstring& path, std::vector<std::wstring> env = {}) {
    auto app = std::make_unique<App>(L"\"" + path + L"\" /crypt", env);
    EXPECT_TRUE(app->WaitForWindow());
    EXPECT_TRUE(app->WaitForPage(1));
    return app;
  }
  std::unique_ptr<App> StartDecrypt(const std::wstring& path, std::vector<std::wstring> env = {}) {
    auto app = std::make_unique<App>(L"\"" + path + L"\" /encrypt", env);
    EXPECT_TRUE(app->WaitForWindow());
    EXPECT_TRUE(app->WaitForPage(2));
    return app;
  }

  // A password typed in each edit of the page, and its button clicked.
  static void TypeAndEncrypt(App& app, const std::wstring& first, const std::wstring& second) {
    app.SetText(ids::Password1, first);
    app.SetText(ids::Password2, second);
    app.Click(kEncryptButton);
  }
  static void TypeAndEncrypt(App& app, const std::wstring& password) { TypeAndEncrypt(app, password, password); }
  static void TypeAndDecrypt(App& app, const std::wstring& password) {
    app.SetText(ids::Password, password);
    app.Click(kDecryptButton);
  }

  static std::wstring Finish(App& app, const std::wstring& progress) { return app.WaitForStatusOtherThan(progress); }

  // Started on the Encrypt page, `password` typed twice and Encrypt clicked.
  std::unique_ptr<App> EncryptWith(const std::wstring& path, const std::wstring& password,
                                   std::vector<std::wstring> env = {}) {
    auto app = StartEncrypt(path, std::move(env));
    TypeAndEncrypt(*app, password);
    return app;
  }

  // Encrypts `path` with `password` through the window; returns the final status.
  std::wstring EncryptThroughWindow(const std::wstring& path, const std::wstring& password) {
    auto app = EncryptWith(path, password);
    const std::wstring status = Finish(*app, L"Please wait while the file is encrypted");
    app->Click(kCloseButton);
    EXPECT_EQ(app->WaitForExit(), 0u);
    return status;
  }

  TempFolder dir_;
};

TEST_F(WindowTest, EncryptRefusesPasswordsItCannotUseAndKeepsThePage) {
  const std::wstring file = MakeFile(L"plain.txt", "content");
  auto app = StartEncrypt(file);
  struct Case {
    const wchar_t* first;
    const wchar_t* second;
    const wchar_t* message;
  } cases[] = {
      {L"", L"", L"You have not entered a password!"},
      {L"secret1", L"", L"You have entered two different passwords.\n\rPlease make sure the password match."},
      {L"", L"secret1", L"You have entered two different passwords.\n\rPlease make sure the password match."},
      {L"Secret1", L"secret1", L"You have entered two different passwords.\n\rPlease make sure the password match."},
      // Cyrillic has no form in the single-byte code page of this machine (1252).
      {L"\u043f\u0430\u0440\u043e\u043b\u044c", L"\u043f\u0430\u0440\u043e\u043b\u044c",
       L"The password contains characters that cannot be used.\n\rPlease choose another password."},
      // A best fit (Omega to O) would make two passwords one key.
      {L"\u03a9mega12", L"\u03a9mega12",
       L"The password contains characters that cannot be used.\n\rPlease choose another password."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.message));
    TypeAndEncrypt(*app, c.first, c.second);
    MessageBoxInfo box = ExpectBox(*app, c.message, {IDOK});
    app->Answer(box, IDOK);
    EXPECT_EQ(app->Page(), 1);
    EXPECT_EQ(app->Text(ids::Password1), c.first);
    EXPECT_EQ(app->Text(ids::Password2), c.second);
  }
  // Five blanks count as entered; the question comes, and No stops.
  TypeAndEncrypt(*app, L"     ");
  MessageBoxInfo box = ExpectBox(
      *app, L"You have entered a password which has less than 6 characters.\n\rAre you sure you want to continue?",
      {IDYES, IDNO});
  EXPECT_EQ(box.defaultButton, IDYES);
  app->Answer(box, IDNO);
  EXPECT_EQ(app->Page(), 1);
  EXPECT_EQ(app->Text(ids::Password1), L"     ");
  EXPECT_EQ(ReadFileBytes(file), "content");
  EXPECT_FALSE(FileExists(file + L".zrv"));
  // Help keeps the page and the typed passwords.
  app->Click(kEncryptHelpButton);
  Sleep(300ms);
  EXPECT_EQ(app->Page(), 1);
  EXPECT_EQ(app->Text(ids::Password2), L"     ");
  EXPECT_EQ(app->CloseAndWait(), 0u);
}

TEST_F(WindowTest, AShortPasswordAnsweredYesEncrypts) {
  const std::string content = RandomBytes(1000, 1);
  const std::wstring file = MakeFile(L"short.bin", content);
  auto app = EncryptWith(file, L"     ");
  MessageBoxInfo box = ExpectBox(
      *app, L"You have entered a password which has less than 6 characters.\n\rAre you sure you want to continue?",
      {IDYES, IDNO});
  app->Answer(box, IDYES);
  EXPECT_EQ(Finish(*app, L"Please wait while the file is encrypted"), L"Encryption completed");
  EXPECT_TRUE(app->Enabled(kAboutButton));
  EXPECT_TRUE(app->Enabled(kCloseButton));
  EXPECT_FALSE(FileExists(file));
  EXPECT_TRUE(FileExists(file + L".zrv"));
  // About leads to the information page, and nothing leads back.
  app->Click(kAboutButton);
  EXPECT_TRUE(app->WaitForPage(0));
  EXPECT_EQ(app->CloseAndWait(), 0u);
}

TEST_F(WindowTest, EncryptsAndDecryptsARealFileAndAWrongPasswordChangesNothing) {
  const std::string content = RandomBytes(300000, 2);
  const std::wstring file = MakeFile(L"report \u00e9t\u00e9 \u65e5.txt", content);
  // Exactly six characters: no question.
  {
    auto app = EncryptWith(file, L"s3cr\u00e9t");
    EXPECT_EQ(Finish(*app, L"Please wait while the file is encrypted"), L"Encryption completed");
    EXPECT_FALSE(app->MessageBoxShowing());
    app->Click(kCloseButton);
    EXPECT_EQ(app->WaitForExit(), 0u);
  }
  const std::wstring encrypted = file + L".zrv";
  ASSERT_FALSE(FileExists(file));
  const std::string sealed = ReadFileBytes(encrypted);
  ASSERT_GT(sealed.size(), content.size());
  EXPECT_EQ(sealed.substr(0, 8), "ZRV01001");

  // A wrong password, one character: no question, and every file stays.
  {
    auto app = StartDecrypt(encrypted);
    TypeAndDecrypt(*app, L"x");
    EXPECT_EQ(Finish(*app, L"Please wait while the file is decrypted"), L"Invalid password!");
    EXPECT_TRUE(app->Enabled(kCloseButton));
    app->Click(kCloseButton);
    EXPECT_EQ(app->WaitForExit(), 0u);
  }
  EXPECT_EQ(ReadFileBytes(encrypted), sealed);
  EXPECT_FALSE(FileExists(file));

  // The right one, with Enter in the edit.
  {
    auto app = StartDecrypt(encrypted);
    app->SetText(ids::Password, L"s3cr\u00e9t");
    app->PressKey(ids::Password, VK_RETURN);
    EXPECT_EQ(Finish(*app, L"Please wait while the file is decrypted"), L"Decryption completed");
    app->Click(kCloseButton);
    EXPECT_EQ(app->WaitForExit(), 0u);
  }
  EXPECT_EQ(ReadFileBytes(file), content);
  EXPECT_FALSE(FileExists(encrypted));
}

// Earlier versions took the password through the system's standard
// conversion, which writes a look-alike for a character the code page lacks:
// "p\u0101ss-\u03a9ord" became "pass-Oord" in Windows-1252. Their files still
// open with what the user types; a new file's password stays exact.
TEST_F(WindowTest, AnEarlierVersionsFileOpensWithCharactersTheCodePageLacks) {
  const std::wstring typed = L"p\u0101ss-\u03a9ord";
  const std::string content = RandomBytes(70000, 7);
  const ferrune::testing::EphemeralContext ctx;
  const auto madeWith = [&](const std::string& password) {
    const ferrune::testing::Bytes file = ferrune::testing::MakeDirectly(ctx.get(), {password.begin(), password.end()},
                                                                        {content.begin(), content.end()}, false);
    return std::string(file.begin(), file.end());
  };
  const std::string earlier = madeWith("pass-Oord");
  const std::wstring password = MakeFile(L"pw", Utf8(typed) + "\n");
  const auto zrv = [&](const std::wstring& command, const std::wstring& path) {
    App tool(L"--password-file \"" + password + L"\" " + command + L" \"" + path + L"\"", {}, ZrvExe());
    return tool.WaitForExit(60s).value_or(999);
  };
  const auto decryptThroughWindow = [&](const std::wstring& path, const wchar_t* screenshot = nullptr) {
    auto app = StartDecrypt(path);
    TypeAndDecrypt(*app, typed);
    const std::wstring status = Finish(*app, L"Please wait while the file is decrypted");
    if (screenshot) app->Screenshot(screenshot);
    app->Click(kCloseButton);
    EXPECT_EQ(app->WaitForExit(), 0u);
    return status;
  };

  EXPECT_EQ(decryptThroughWindow(MakeFile(L"window.txt.zrv", earlier)), L"Decryption completed");
  EXPECT_EQ(ReadFileBytes(dir_ / L"window.txt"), content);
  EXPECT_EQ(zrv(L"decrypt", MakeFile(L"tool.txt.zrv", earlier)), 0u);
  EXPECT_EQ(ReadFileBytes(dir_ / L"tool.txt"), content);

  // Where those bytes do not open the file either, the characters are named.
  const std::wstring other = MakeFile(L"other.txt.zrv", madeWith("pass-Word"));
  EXPECT_EQ(decryptThroughWindow(other, L"status-unusable-characters"),
            L"The password contains characters that cannot be used");
  EXPECT_EQ(zrv(L"decrypt", other), 2u);
  EXPECT_FALSE(FileExists(dir_ / L"other.txt"));
  EXPECT_TRUE(FileExists(other));

  const std::wstring plain = MakeFile(L"new.txt", "new");
  {
    auto app = EncryptWith(plain, typed);
    MessageBoxInfo box = ExpectBox(
        *app, L"The password contains characters that cannot be used.\n\rPlease choose another password.", {IDOK});
    app->Answer(box, IDOK);
    EXPECT_EQ(app->Page(), 1);
    EXPECT_EQ(app->CloseAndWait(), 0u);
  }
  EXPECT_EQ(zrv(L"encrypt", plain), 2u);
  EXPECT_EQ(ReadFileBytes(plain), "new");
  EXPECT_FALSE(FileExists(plain + L".zrv"));
}

TEST_F(WindowTest, DecryptAsksForAPassword) {
  const std::wstring file = MakeFile(L"a.zrv", "not really encrypted");
  auto app = StartDecrypt(file);
  app->Click(kDecryptButton);
  MessageBoxInfo box = ExpectBox(*app, L"You have not entered a password!", {IDOK});
  app->Answer(box, IDOK);
  EXPECT_EQ(app->Page(), 2);
  // A file that is no encrypted file is called damaged, not a wrong password.
  TypeAndDecrypt(*app, L"whatever");
  EXPECT_EQ(Finish(*app, L"Please wait while the file is decrypted"), L"The file is damaged");
  EXPECT_EQ(ReadFileBytes(file), "not really encrypted");
  EXPECT_FALSE(FileExists(dir_ / L"a"));
  EXPECT_EQ(app->CloseAndWait(), 0u);
}

TEST_F(WindowTest, AMissingFileIsReportedAndNothingIsDeleted) {
  EXPECT_EQ(EncryptThroughWindow(dir_ / L"gone.txt", L"password"), L"Cannot read the file");
  EXPECT_FALSE(FileExists(dir_ / L"gone.txt.zrv"));
  auto app = StartDecrypt(dir_ / L"gone.txt.zrv");
  TypeAndDecrypt(*app, L"password");
  EXPECT_EQ(Finish(*app, L"Please wait while the file is decrypted"), L"Cannot read the file");
  app->Click(kCloseButton);
  EXPECT_EQ(app->WaitForExit(), 0u);
}

// The system refuses the delete: the input stays whole under its own name.
TEST_F(WindowTest, AnUndeletableInputIsReportedKept) {
  for (const bool readOnly : {true, false}) {
    SCOPED_TRACE(readOnly ? "read-only" : "open in a program that shares no delete");
    dir_.Clear();
    const std::wstring file = MakeFile(L"keep.txt", "keep me");
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL));
    const Gate gate;
    auto app = EncryptWith(file, L"password", gate.Env(L"commit"));
    ASSERT_TRUE(gate.Reached());
    ferrune::UniqueHandle reader;
    if (!readOnly) {
      reader.reset(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(reader);
    }
    gate.Open();
    EXPECT_EQ(Finish(*app, L"Please wait while the file is encrypted"),
              L"Encryption completed\nThe original file was kept");
    app->Click(kCloseButton);
    EXPECT_EQ(app->WaitForExit(), 0u);
    EXPECT_EQ(ReadFileBytes(file), "keep me");
    EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"keep.txt", "keep.txt.zrv"}));
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

// The file comes back as it was: its date and its read-only or hidden
// attribute go into the encrypted file and out of it again.
TEST_F(WindowTest, ARoundTripGivesTheFileBackWithItsDateAndAttribute) {
  FILETIME date{};
  const SYSTEMTIME dated{2019, 5, 1, 6, 7, 8, 9, 0};
  ASSERT_TRUE(SystemTimeToFileTime(&dated, &date));
  // A read-only file may not be deleted, so each step keeps its input.
  for (const DWORD attribute : {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_READONLY}) {
    const bool readOnly = attribute == FILE_ATTRIBUTE_READONLY;
    SCOPED_TRACE(readOnly ? "read-only" : "hidden");
    const std::wstring kept = readOnly ? L"\nThe original file was kept" : L"";
    dir_.Clear();
    const std::wstring file = MakeFile(L"dated.txt", "as it was");
    const auto stamped = [&](const std::wstring& path) {
      WIN32_FILE_ATTRIBUTE_DATA data{};
      if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
      return (data.dwFileAttributes & attribute) && CompareFileTime(&data.ftLastWriteTime, &date) == 0;
    };
    {
      ferrune::UniqueHandle handle(
          CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
      ASSERT_TRUE(handle && SetFileTime(handle.get(), nullptr, nullptr, &date));
    }
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), attribute));
    EXPECT_EQ(EncryptThroughWindow(file, L"password"), L"Encryption completed" + kept);
    EXPECT_TRUE(stamped(file + L".zrv"));
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(file.c_str());
    auto app = StartDecrypt(file + L".zrv");
    TypeAndDecrypt(*app, L"password");
    EXPECT_EQ(Finish(*app, L"Please wait while the file is decrypted"), L"Decryption completed" + kept);
    EXPECT_EQ(app->CloseAndWait(), 0u);
    EXPECT_EQ(ReadFileBytes(file), "as it was");
    EXPECT_TRUE(stamped(file));
    for (const std::wstring& path : {file, file + L".zrv"}) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

TEST_F(WindowTest, ShowsProgressWithItsButtonsDisabledWhileTheWorkerRuns) {
  // The job waits in its middle, so a fast machine cannot finish before the look.
  const Gate gate;
  const std::wstring file = MakeFile(L"big.bin", RandomBytes(16u << 20, 3));
  auto app = EncryptWith(file, L"password", gate.Env(L"middle"));
  ASSERT_TRUE(gate.Reached());
  ASSERT_TRUE(app->WaitForPage(3));
  EXPECT_EQ(app->Text(kStatusText), L"Please wait while the file is encrypted");
  EXPECT_FALSE(app->Enabled(kAboutButton));
  EXPECT_FALSE(app->Enabled(kCloseButton));
  // A click on the disabled Close does nothing.
  app->Click(kCloseButton);
  EXPECT_TRUE(WaitUntil([&] { return app->Visible(ids::ProgressBar1); }, 20s));
  app->Screenshot(L"status-progress");
  EXPECT_FALSE(app->WaitForExit(0ms).has_value());
  gate.Open();
  EXPECT_EQ(Finish(*app, L"Please wait while the file is encrypted"), L"Encryption completed");
  EXPECT_FALSE(app->Visible(ids::ProgressBar1));
  EXPECT_TRUE(app->Enabled(kCloseButton));
  app->Click(kCloseButton);
  EXPECT_EQ(app->WaitForExit(), 0u);
}

// Automation tools queue their input: clicks (or Enter) waiting behind the
// first one, dispatched by its question's box or after the page changed.
TEST_F(WindowTest, QueuedClicksStartOneJob) {
  const struct Row {
    const char* name;
    const wchar_t* password;
    bool enterFirst;  // Enter in the edit, then the click
  } rows[] = {
      {"two clicks, the second during the short password's question", L"abc", false},
      {"two clicks, the second on the page the first left", L"password", false},
      {"Enter, then a click during its question", L"abc", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    dir_.Clear();
    TracedRun run;
    const std::wstring file = MakeFile(L"q.txt", "queued");
    auto app = StartEncrypt(file, run.environment);
    app->SetText(ids::Password1, row.password);
    app->SetText(ids::Password2, row.password);
    app->Queued([&] {
      if (row.enterFirst) {
        app->PressKey(ids::Password2, VK_RETURN);
      } else {
        app->Click(kEncryptButton);
      }
      app->Click(kEncryptButton);
    });
    if (std::wcslen(row.password) < 6) {
      std::optional<MessageBoxInfo> box = app->WaitForMessageBox();
      ASSERT_TRUE(box);
      app->Answer(*box, IDYES);
    }
    EXPECT_EQ(Finish(*app, L"Please wait while the file is encrypted"), L"Encryption completed");
    Sleep(500ms);
    EXPECT_FALSE(app->MessageBoxShowing());
    app->Click(kCloseButton);
    EXPECT_EQ(app->WaitForExit(), 0u);
    const std::vector<std::string> lines = run.Lines();
    EXPECT_EQ(
        std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("outcome=", 0) == 0; }), 1);
    EXPECT_EQ(dir_.Names(), std::vector<std::string>{"q.txt.zrv"});
  }
}

TEST_F(WindowTest, ClosingDuringTheWorkCancelsAndKeepsTheInput) {
  const std::string content = RandomBytes(16u << 20, 4);
  enum class How { TitleBar, Taskbar, Quit };
  const struct Way {
    const char* name;
    std::vector<std::wstring> environment;
    How how;
  } ways[] = {
      {"the form's title bar", {}, How::TitleBar},
      {"the taskbar's Close", {}, How::Taskbar},
      // The completion then comes by a posted message, and must still end the run.
      {"a completion without an event to wait on", {L"FERRUNE_FAULT=syncevent"}, How::TitleBar},
      // The loop ends at once; the worker must still stop before the context goes.
      {"a WM_QUIT from outside", {}, How::Quit},
  };
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    dir_.Clear();
    const Gate gate;
    TracedRun run(gate.Env(L"middle"));
    std::vector<std::wstring> environment = run.environment;
    environment.insert(environment.end(), way.environment.begin(), way.environment.end());
    const std::wstring file = MakeFile(L"cancel.bin", content);
    auto app = EncryptWith(file, L"password", environment);
    // Closed while the job waits in its middle: the close is sure to come first.
    ASSERT_TRUE(gate.Reached());
    ASSERT_TRUE(WaitUntil([&] { return app->Visible(ids::ProgressBar1); }, 20s));
    switch (way.how) {
      case How::TitleBar: app->Close(); break;
      case How::Taskbar: PostMessageW(app->Owner(), WM_SYSCOMMAND, SC_CLOSE, 0); break;
      case How::Quit: PostThreadMessageW(GetWindowThreadProcessId(app->Window(), nullptr), WM_QUIT, 0, 0); break;
    }
    // The closing form hides itself as it asks the worker to stop.
    EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(app->Window()); }, 20s));
    gate.Open();
    EXPECT_EQ(app->WaitForExit(20s), 0u);
    EXPECT_EQ(ReadFileBytes(file), content);
    EXPECT_FALSE(FileExists(file + L".zrv"));
    // No temporary file is left behind either.
    EXPECT_EQ(dir_.Names(), std::vector<std::string>{"cancel.bin"});
    // The context is released once, after the worker's end.
    const std::vector<std::string> lines = run.Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "outcome=Cancelled");
    EXPECT_EQ(lines.back(), "provider released");
  }
}

TEST_F(WindowTest, AnOutcomeIsShownAlsoWhenTheCompletionCannotWaitForTheWindow) {
  // The work succeeds and deletes the input; only the last synchronous call
  // finds no event. The window must still say so and stay usable.
  const std::wstring file = MakeFile(L"e.txt", "content");
  auto app = EncryptWith(file, L"password", {L"FERRUNE_FAULT=syncevent"});
  EXPECT_EQ(Finish(*app, L"Please wait while the file is encrypted"), L"Encryption completed");
  EXPECT_FALSE(FileExists(file));
  EXPECT_TRUE(FileExists(file + L".zrv"));
  EXPECT_TRUE(app->Enabled(kAboutButton));
  EXPECT_TRUE(app->Enabled(kCloseButton));
  app->Click(kAboutButton);
  EXPECT_TRUE(app->WaitForPage(0));
  EXPECT_EQ(app->CloseAndWait(), 0u);
}

TEST_F(WindowTest, RefusesToStartWithoutAProvider) {
  const std::wstring file = MakeFile(L"p.txt", "untouched");
  auto app = EncryptWith(file, L"password", {L"FERRUNE_FAULT=noprovider"});
  MessageBoxInfo box =
      ExpectBox(*app, L"The crypto provider is not available.\n\rThe file has not been changed.", {IDOK});
  app->Answer(box, IDOK);
  EXPECT_EQ(app->Page(), 1);
  EXPECT_EQ(ReadFileBytes(file), "untouched");
  EXPECT_FALSE(FileExists(file + L".zrv"));
  EXPECT_EQ(app->CloseAndWait(), 0u);
}

TEST_F(WindowTest, AWorkerThatCannotBeCreatedIsReportedAndTheWindowIsNotStuck) {
  const std::wstring file = MakeFile(L"t.txt", "untouched");
  auto app = StartEncrypt(file, {L"FERRUNE_FAULT=thread"});
  SetForegroundWindow(app->Window());
  TypeAndEncrypt(*app, L"password");
  std::optional<MessageBoxInfo> box = app->WaitForMessageBox();
  ASSERT_TRUE(box);
  EXPECT_EQ(box->caption, kTitle);
  EXPECT_TRUE(box->hasIcon) << "the standard error box has a stop icon";
  EXPECT_EQ(box->text.rfind(L"Thread creation error: ", 0), 0u) << Utf8(box->text);
  EXPECT_EQ(box->buttons, std::vector<int>{IDOK});
  // Above the always-on-top form, where a click on OK reaches the box, and
  // modal to the whole program.
  EXPECT_TRUE(Above(box->hwnd, app->Window()));
  RECT ok{};
  ASSERT_TRUE(GetWindowRect(GetDlgItem(box->hwnd, IDOK), &ok));
  const POINT middle{(ok.left + ok.right) / 2, (ok.top + ok.bottom) / 2};
  EXPECT_EQ(GetAncestor(WindowFromPoint(middle), GA_ROOT), box->hwnd);
  EXPECT_FALSE(IsWindowEnabled(app->Window()));
  EXPECT_FALSE(IsWindowEnabled(app->Owner()));
  app->Screenshot(L"error-box-over-the-form");
  app->Answer(*box, IDOK);
  EXPECT_EQ(app->Text(kStatusText), L"Encryption failed");
  EXPECT_TRUE(app->Enabled(kAboutButton));
  EXPECT_TRUE(app->Enabled(kCloseButton));
  EXPECT_EQ(ReadFileBytes(file), "untouched");
  // The form takes the activation back, and with it the focus, so Esc works
  // without a click.
  EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(app->Window()) && IsWindowEnabled(app->Owner()); }, 5s));
  EXPECT_TRUE(WaitUntil([&] { return app->ActiveWindow() == app->Window() && app->Focus() == app->Window(); }, 5s));
  ASSERT_TRUE(app->PressKeyInFocus(VK_ESCAPE));
  EXPECT_EQ(app->WaitForExit(), 0u);
}

// The browser is replaced by a logger through the prefix's http handler.
class WebLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = folder_ / L"urls.txt";
    const std::wstring command = L"\"" + ToWindowsPath(FERRUNE_URL_LOGGER_UNIX) + L"\" \"%1\"";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\http\\shell\\open\\command", 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    DWORD size = sizeof(saved_);
    if (RegQueryValueExW(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(saved_), &size) != ERROR_SUCCESS)
      saved_[0] = 0;
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   DWORD((command.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  void TearDown() override {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\http\\shell\\open\\command", 0, KEY_ALL_ACCESS, &key) ==
        ERROR_SUCCESS) {
      RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(saved_),
                     DWORD((wcslen(saved_) + 1) * sizeof(wchar_t)));
      RegCloseKey(key);
    }
  }
  std::string Logged(std::size_t lines) {
    std::string text;
    WaitUntil(
        [&] {
          text = ReadFileBytes(log_);
          return std::size_t(std::count(text.begin(), text.end(), '\n')) >= lines;
        },
        15s);
    return text;
  }
  TempFolder folder_;
  std::wstring log_;
  wchar_t saved_[1024] = {};
};

TEST_F(WebLinkTest, HelpAndTheWebLinkOpenTheirAddresses) {
  const std::vector<std::wstring> env{L"FERRUNE_URL_LOG=" + log_};
  {
    App app(L"", env);
    ASSERT_TRUE(app.WaitForWindow());
    EXPECT_EQ(app.Text(kWebLink), L"ferrune.example");
    app.Click(kWebLink);
    Logged(1);
    app.Click(kInformationHelpButton);
    Logged(2);
    EXPECT_EQ(app.Page(), 0);
    EXPECT_EQ(app.CloseAndWait(), 0u);
  }
  {
    App app(L"C:\\x.zrv /encrypt", env);
    ASSERT_TRUE(app.WaitForWindow());
    ASSERT_TRUE(app.WaitForPage(2));
    app.Click(kDecryptHelpButton);
    Logged(3);
    EXPECT_EQ(app.Page(), 2);
    EXPECT_EQ(app.CloseAndWait(), 0u);
  }
  const std::string log = Logged(3);
  const std::string home = "\"http://ferrune.example\"";
  const std::string help = "\"http://ferrune.example/help/\"";
  std::vector<std::string> lines;
  for (std::size_t at = 0, nl; (nl = log.find('\n', at)) != std::string::npos; at = nl + 1)
    lines.push_back(log.substr(at, nl - at));
  ASSERT_EQ(lines.size(), 3u) << log;
  EXPECT_NE(lines[0].find(home), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find(help), std::string::npos) << lines[1];
  EXPECT_NE(lines[2].find(help), std::string::npos) << lines[2];
}

}  // namespace
}  // namespace e2e

namespace e2e {
namespace {

HWND FocusOf(const App& app) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  GetGUIThreadInfo(GetWindowThreadProcessId(app.Window(), nullptr), &info);
  return info.hwndFocus;
}

TEST(Keyboard, TabMovesBetweenTheEditsAndEscCloses) {
  App app(L"\"C:\\Docs\\k.txt\" /crypt");
  ASSERT_TRUE(app.WaitForWindow());
  ASSERT_TRUE(app.WaitForPage(1));
  SetForegroundWindow(app.Window());
  EXPECT_TRUE(WaitUntil([&] { return FocusOf(app) == app.Control(ids::Password1); }, 5s));
  app.PressKey(ids::Password1, VK_TAB);
  EXPECT_TRUE(WaitUntil([&] { return FocusOf(app) == app.Control(ids::Password2); }, 5s));
  app.PressKey(ids::Password2, VK_ESCAPE);
  EXPECT_EQ(app.WaitForExit(), 0u);
}

}  // namespace
}  // namespace e2e
