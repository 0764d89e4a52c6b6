// Nothing lost under Wine: the window's replace question, zrv.exe and the
// window kept to one job per file, a hard link, and zrv.exe killed at
// known steps (the test pause, FERRUNE_TEST_PAUSE).
#include <gtest/gtest.h>

#include <algorithm>

#include "app/control_ids.h"
#include "core/temp_name.h"
#include "tests/e2e/e2e_support.h"

namespace e2e {
namespace {

namespace ids = ferrune::ids;

constexpr wchar_t kEncrypting[] = L"Please wait while the file is encrypted";
constexpr wchar_t kDecrypting[] = L"Please wait while the file is decrypted";

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

class Overlap : public ::testing::Test {
 protected:
  void SetUp() override {
    password_ = secrets_ / L"pw";
    WriteFileBytes(password_, "password\n");
  }
  std::wstring File(const std::wstring& name) const { return dir_ / name; }
  std::vector<std::wstring> Names() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((dir_.Path() + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      const std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
  }
  // zrv.exe with the password from a file; its exit code.
  std::unique_ptr<App> Zrv(const std::wstring& arguments, const std::vector<std::wstring>& env = {}) {
    return std::make_unique<App>(L"--password-file " + Quoted(password_) + L" " + arguments, env, ZrvExe());
  }
  DWORD RunZrv(const std::wstring& arguments) { return Zrv(arguments)->WaitForExit(60s).value_or(999); }
  // zrv.exe's exit code and what it wrote.
  std::pair<DWORD, std::string> RunZrvSaying(const std::wstring& arguments) {
    const std::wstring said = secrets_ / L"said";
    App zrv(L"--password-file " + Quoted(password_) + L" " + arguments, {}, ZrvExe(), said);
    const DWORD code = zrv.WaitForExit(60s).value_or(999);
    return {code, ReadFileBytes(said)};
  }
  // A name exactly as written, a trailing dot or space included.
  std::wstring Exact(const std::wstring& name) const { return L"\\\\?\\" + File(name); }
  // A Linux program on a path of the test's folder, which is on Z:, the Linux root; Wine starts it and
  // gives no handle to wait on, so `done` tells when it has run.
  template <typename Done>
  static void OnLinux(const std::wstring& program, const std::wstring& options, std::wstring path, Done done) {
    std::replace(path.begin(), path.end(), L'\\', L'/');
    App run(options + L" " + Quoted(path.substr(2)), {}, L"Z:\\bin\\" + program);
    ASSERT_TRUE(WaitUntil(done, 10s)) << Utf8(program + L" " + path);
  }

  // The window on `path`, the password typed and the button clicked.
  std::unique_ptr<App> Window(const std::wstring& path, bool encrypt, const std::vector<std::wstring>& env = {}) {
    auto app = std::make_unique<App>(Quoted(path) + (encrypt ? L" /crypt" : L" /encrypt"), env);
    EXPECT_TRUE(app->WaitForWindow());
    EXPECT_TRUE(app->WaitForPage(encrypt ? 1 : 2));
    for (const int edit : encrypt ? std::vector<int>{ids::Password1, ids::Password2} : std::vector<int>{ids::Password})
      app->SetText(edit, L"password");
    app->Click(encrypt ? kEncryptButton : kDecryptButton);
    return app;
  }
  static void CloseWindow(App& app) {
    app.Click(kCloseButton);
    EXPECT_EQ(app.WaitForExit(), 0u);
  }
  // The window's decryption of `path` over a file that stands under its
  // output name, the replace question answered Yes; the final status.
  std::wstring DecryptReplacing(const std::wstring& path) {
    auto app = Window(path, false);
    std::optional<MessageBoxInfo> box = app->WaitForMessageBox();
    if (!box) return L"no replace question";
    app->Answer(*box, IDYES);
    const std::wstring status = app->WaitForStatusOtherThan(kDecrypting);
    CloseWindow(*app);
    return status;
  }

  // The password file stands apart from the files at work.
  TempFolder dir_, secrets_;
  std::wstring password_;
};

TEST_F(Overlap, TheWindowAsksBeforeItReplacesAndNoIsTheDefault) {
  WriteFileBytes(File(L"a"), "plain");
  ASSERT_EQ(RunZrv(L"--keep encrypt " + Quoted(File(L"a"))), 0u);
  const std::string sealed = ReadFileBytes(File(L"a.zrv"));
  WriteFileBytes(File(L"a"), "newer plain");
  for (const bool encrypt : {true, false}) {
    SCOPED_TRACE(encrypt ? "encrypt" : "decrypt");
    const std::wstring output = encrypt ? L"a.zrv" : L"a";
    auto app = Window(File(encrypt ? L"a" : L"a.zrv"), encrypt);
    std::optional<MessageBoxInfo> box = app->WaitForMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, kTitle);
    EXPECT_EQ(box->text, L"The file " + output + L" already exists.\n\rDo you want to replace it?");
    EXPECT_FALSE(box->hasIcon);
    EXPECT_EQ(box->buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_EQ(box->defaultButton, IDNO);
    app->Answer(*box, IDNO);
    EXPECT_EQ(app->Page(), encrypt ? 1 : 2);
    EXPECT_EQ(ReadFileBytes(File(L"a")), "newer plain");
    EXPECT_EQ(ReadFileBytes(File(L"a.zrv")), sealed);
    EXPECT_EQ(app->CloseAndWait(), 0u);
  }
  // Yes: the decryption replaces the newer plain file.
  EXPECT_EQ(DecryptReplacing(File(L"a.zrv")), L"Decryption completed");
  EXPECT_EQ(ReadFileBytes(File(L"a")), "plain");
  EXPECT_EQ(Names(), std::vector<std::wstring>{L"a"});

  // A folder under the output name is never asked about, nor replaced.
  ASSERT_TRUE(CreateDirectoryW(File(L"a.zrv").c_str(), nullptr));
  auto folder = Window(File(L"a"), true);
  EXPECT_EQ(folder->WaitForStatusOtherThan(kEncrypting), L"Cannot write the output file");
  EXPECT_FALSE(folder->MessageBoxShowing());
  CloseWindow(*folder);
  EXPECT_EQ(ReadFileBytes(File(L"a")), "plain");
}

// Yes binds the file that the question was about. Another program saves over
// the output name as editors do, a new file moved there: while the question
// shows, the name is free to it; once the job has started, the job holds the
// file. Whatever it could save survives, and what it could not stays with it.
TEST_F(Overlap, AFileSavedOverTheOutputNameDuringTheQuestionOrTheJobSurvives) {
  WriteFileBytes(File(L"a"), "plain");
  ASSERT_EQ(RunZrv(L"--keep encrypt " + Quoted(File(L"a"))), 0u);
  const std::string older = ReadFileBytes(File(L"a.zrv"));
  const struct Row {
    const char* name;
    const wchar_t* step;  // null: while the question shows
  } rows[] = {{"during the question", nullptr}, {"after the answer", L"open"}, {"before the commit", L"commit"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WriteFileBytes(File(L"a"), "plain");
    WriteFileBytes(File(L"a.zrv"), older);
    DeleteFileW(File(L"new").c_str());
    const Gate gate;
    auto app = Window(File(L"a"), true, row.step ? gate.Env(row.step) : std::vector<std::wstring>{});
    const auto save = [&] {
      WriteFileBytes(File(L"new"), "saved");
      return MoveFileExW(File(L"new").c_str(), File(L"a.zrv").c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    };
    std::optional<MessageBoxInfo> box = app->WaitForMessageBox();
    ASSERT_TRUE(box);
    bool saved = false;
    if (!row.step) {
      ASSERT_TRUE(saved = save()) << "nothing holds the name while the user thinks";
    }
    app->Answer(*box, IDYES);
    if (row.step) {
      ASSERT_TRUE(gate.Reached());
      saved = save();
      gate.Open();
    }
    const std::wstring status = app->WaitForStatusOtherThan(kEncrypting);
    if (!row.step) app->Screenshot(L"status-output-changed");
    CloseWindow(*app);
    if (saved) {
      EXPECT_EQ(status, L"The output file changed during the work");
      EXPECT_EQ(ReadFileBytes(File(L"a.zrv")), "saved");
      EXPECT_EQ(Names(), (std::vector<std::wstring>{L"a", L"a.zrv"}));
    } else {
      EXPECT_EQ(status, L"Encryption completed");
      EXPECT_EQ(ReadFileBytes(File(L"new")), "saved");
      EXPECT_EQ(RunZrv(L"decrypt " + Quoted(File(L"a.zrv"))), 0u);
      EXPECT_EQ(Names(), (std::vector<std::wstring>{L"a", L"new"}));
    }
    EXPECT_EQ(ReadFileBytes(File(L"a")), "plain");
  }
}

TEST_F(Overlap, ZrvExeAndTheWindowKeepToOneJobPerFile) {
  WriteFileBytes(File(L"f"), "first data");
  {
    Gate gate;
    auto zrv = Zrv(L"encrypt " + Quoted(File(L"f")), gate.Env());
    ASSERT_TRUE(gate.Reached());
    auto window = Window(File(L"f"), true);
    EXPECT_EQ(window->WaitForStatusOtherThan(kEncrypting), L"The file is in use by another program");
    CloseWindow(*window);
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"f"});
    gate.Open();
    EXPECT_EQ(zrv->WaitForExit(60s), 0u);
  }
  EXPECT_EQ(Names(), std::vector<std::wstring>{L"f.zrv"});
  Gate gate;
  auto window = Window(File(L"f.zrv"), false, gate.Env());
  ASSERT_TRUE(gate.Reached());
  EXPECT_EQ(RunZrv(L"decrypt " + Quoted(File(L"f.zrv"))), 4u);
  EXPECT_EQ(Names(), std::vector<std::wstring>{L"f.zrv"});
  gate.Open();
  EXPECT_EQ(window->WaitForStatusOtherThan(kDecrypting), L"Decryption completed");
  CloseWindow(*window);
  EXPECT_EQ(ReadFileBytes(File(L"f")), "first data");
  EXPECT_EQ(Names(), std::vector<std::wstring>{L"f"});

  // One pair: zrv.exe encrypts a newer f over f.zrv; the window's decryption
  // of f.zrv, the file about to be replaced, is refused.
  ASSERT_EQ(RunZrv(L"--keep encrypt " + Quoted(File(L"f"))), 0u);
  WriteFileBytes(File(L"f"), "newer data");
  Gate pair;
  auto encrypting = Zrv(L"encrypt --force " + Quoted(File(L"f")), pair.Env());
  ASSERT_TRUE(pair.Reached());
  EXPECT_EQ(DecryptReplacing(File(L"f.zrv")), L"The file is in use by another program");
  EXPECT_EQ(ReadFileBytes(File(L"f")), "newer data");
  pair.Open();
  EXPECT_EQ(encrypting->WaitForExit(60s), 0u);
  EXPECT_EQ(Names(), std::vector<std::wstring>{L"f.zrv"});
  ASSERT_EQ(RunZrv(L"decrypt " + Quoted(File(L"f.zrv"))), 0u);
  EXPECT_EQ(ReadFileBytes(File(L"f")), "newer data");
}

TEST_F(Overlap, AnInputWithAnotherHardLinkIsKept) {
  WriteFileBytes(File(L"a"), "linked");
  ASSERT_TRUE(CreateHardLinkW(File(L"b").c_str(), File(L"a").c_str(), nullptr));
  auto window = Window(File(L"a"), true);
  EXPECT_EQ(window->WaitForStatusOtherThan(kEncrypting), L"Encryption completed\nThe original file was kept");
  CloseWindow(*window);
  EXPECT_EQ(ReadFileBytes(File(L"a")), "linked");
  EXPECT_EQ(ReadFileBytes(File(L"b")), "linked");
  EXPECT_EQ(Names(), (std::vector<std::wstring>{L"a", L"a.zrv", L"b"}));
}

// Under Wine a Unix symbolic link looks like the file it leads to, whose name may differ from its own only in
// case or a trailing dot or space. Such a link stays as the input and is not replaced under the output name,
// Yes included; a short name is the plain file itself.
TEST_F(Overlap, ALinkIsNeitherDeletedNorReplacedAndAShortNameIsItsFile) {
  int pair = 0;
  for (const auto& [target, link] :
       {std::pair{L"link.txt", L"Link.txt"}, {L"r", L"r."}, {L"y ", L"y"}, {L"long name", L""}}) {
    const std::wstring in = std::to_wstring(++pair) + L"\\";
    ASSERT_TRUE(CreateDirectoryW(File(in).c_str(), nullptr));
    WriteFileBytes(Exact(in + target), "data");
    if (*link) OnLinux(L"ln", L"-s " + Quoted(target), File(in + link), [&] { return FileExists(Exact(in + link)); });
    wchar_t brief[MAX_PATH] = L"";
    GetShortPathNameW(File(in + target).c_str(), brief, MAX_PATH);
    const std::wstring given = in + (*link ? link : std::wcsrchr(brief, L'\\') + 1);
    // The encryption's output is the decryption's input, over the file under its name.
    for (const bool encrypt : {true, false}) {
      SCOPED_TRACE(Utf8(given) + (encrypt ? ", the input" : ", the output"));
      WriteFileBytes(Exact(in + target), "data");
      auto window = Window(File(given + (encrypt ? L"" : L".zrv")), encrypt);
      if (std::optional<MessageBoxInfo> box; !encrypt && (box = window->WaitForMessageBox()))
        window->Answer(*box, IDYES);
      const std::wstring done = encrypt ? L"Encryption completed" : L"Decryption completed";
      EXPECT_EQ(window->WaitForStatusOtherThan(encrypt ? kEncrypting : kDecrypting),
                !*link    ? done
                : encrypt ? done + L"\nThe original file was kept"
                          : L"Cannot write the output file");
      CloseWindow(*window);
      EXPECT_EQ(ReadFileBytes(Exact(in + target)), *link ? "data" : "");
    }
  }
  // Win32 would remove the links' targets and never the links.
  OnLinux(L"rm", L"-r", dir_.Path(), [&] { return !FileExists(dir_.Path()); });
}

TEST_F(Overlap, AKilledZrvExeLeavesNothingAndTheNextJobClearsLeftovers) {
  std::string plain(3 << 20, 'p');
  for (std::size_t i = 0; i < plain.size(); i += 4096) plain[i] = char(i >> 12);
  WriteFileBytes(File(L"p"), plain);
  ASSERT_EQ(RunZrv(L"--keep encrypt " + Quoted(File(L"p"))), 0u);
  const std::string sealed = ReadFileBytes(File(L"p.zrv"));
  for (const bool encrypt : {true, false}) {
    const std::wstring input = File(encrypt ? L"p" : L"p.zrv"), output = File(encrypt ? L"p.zrv" : L"p");
    for (const wchar_t* step : {L"open", L"middle", L"written", L"commit"}) {
      SCOPED_TRACE(Utf8(std::wstring(encrypt ? L"encrypt at " : L"decrypt at ") + step));
      WriteFileBytes(output, "stood there");
      Gate gate;
      auto zrv = Zrv((encrypt ? L"encrypt --force " : L"decrypt --force ") + Quoted(input), gate.Env(step));
      ASSERT_TRUE(gate.Reached());
      zrv->Kill();
      // The system removes a file marked for deletion once its process is gone.
      EXPECT_TRUE(WaitUntil([&] { return Names() == std::vector<std::wstring>{L"p", L"p.zrv"}; }, 5s));
      EXPECT_EQ(ReadFileBytes(input), encrypt ? plain : sealed);
      EXPECT_EQ(ReadFileBytes(output), "stood there");
    }
    WriteFileBytes(output, encrypt ? sealed : plain);
  }
  // A power cut's leftover goes with the next job; a running job's file stays.
  const std::wstring leftover = ferrune::NewTempFileName(1);
  WriteFileBytes(File(leftover), "leftover");
  Gate gate;
  auto running = Zrv(L"encrypt --force " + Quoted(File(L"p")), gate.Env(L"written"));
  ASSERT_TRUE(gate.Reached());
  WriteFileBytes(File(L"q"), "q");
  EXPECT_EQ(RunZrv(L"encrypt " + Quoted(File(L"q"))), 0u);
  const std::vector<std::wstring> names = Names();
  EXPECT_EQ(std::count(names.begin(), names.end(), leftover), 0);
  EXPECT_EQ(names.size(), 4u) << "p, p.zrv, q.zrv and the running job's file";
  gate.Open();
  EXPECT_EQ(running->WaitForExit(60s), 0u);
  EXPECT_EQ(Names(), (std::vector<std::wstring>{L"p.zrv", L"q.zrv"}));
}

TEST_F(Overlap, ANameIsUsedExactlyAsGivenATrailingDotOrSpaceIncluded) {
  // Win32 would drop the dot or the space and work on the other file.
  WriteFileBytes(File(L"dot"), "other");
  WriteFileBytes(Exact(L"dot."), "dotted");
  EXPECT_EQ(RunZrv(L"encrypt " + Quoted(File(L"dot."))), 0u);
  EXPECT_EQ(Names(), (std::vector<std::wstring>{L"dot", L"dot..zrv"}));
  EXPECT_EQ(RunZrv(L"decrypt " + Quoted(File(L"dot..zrv"))), 0u);
  EXPECT_EQ(ReadFileBytes(Exact(L"dot.")), "dotted");
  EXPECT_EQ(ReadFileBytes(File(L"dot")), "other");

  WriteFileBytes(Exact(L"name "), "spaced");
  WriteFileBytes(File(L"name"), "other");
  auto window = Window(File(L"name "), true);
  EXPECT_EQ(window->WaitForStatusOtherThan(kEncrypting), L"Encryption completed");
  CloseWindow(*window);
  EXPECT_EQ(Names(), (std::vector<std::wstring>{L"dot", L"dot.", L"name", L"name .zrv"}));
  EXPECT_EQ(ReadFileBytes(File(L"name")), "other");
}

TEST_F(Overlap, AFileThatAnotherProgramWritesIsInUseBothWays) {
  WriteFileBytes(File(L"busy"), "being written");
  for (const bool encrypt : {true, false}) {
    SCOPED_TRACE(encrypt ? "encrypt" : "decrypt");
    const std::wstring name = encrypt ? L"busy" : L"busy.zrv";
    // As an editor or a log writer keeps it.
    HANDLE writer = CreateFileW(File(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    auto window = Window(File(name), encrypt);
    EXPECT_EQ(window->WaitForStatusOtherThan(encrypt ? kEncrypting : kDecrypting),
              L"The file is in use by another program");
    CloseWindow(*window);
    const auto [code, said] = RunZrvSaying((encrypt ? L"encrypt " : L"decrypt ") + Quoted(File(name)));
    EXPECT_EQ(code, 4u);
    EXPECT_EQ(said, "zrv: " + Utf8(File(name)) + ": The file is in use by another program\n");
    CloseHandle(writer);
    EXPECT_EQ(Names(), std::vector<std::wstring>{name});
    ASSERT_EQ(RunZrv(std::wstring(encrypt ? L"encrypt " : L"decrypt ") + Quoted(File(name))), 0u);
  }
  EXPECT_EQ(ReadFileBytes(File(L"busy")), "being written");
}

}  // namespace
}  // namespace e2e
