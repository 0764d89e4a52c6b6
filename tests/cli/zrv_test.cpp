// The zrv tool through RunZrv on the build's real provider and file system,
// with a scripted console: commands, outcomes and exit codes, several files,
// the password's sources and the window's rules, and its bytes.
#ifdef _WIN32
#include <windows.h>
// after windows.h
#include <wincrypt.h>
#endif

#include <gtest/gtest.h>

#include "cli/password.h"
#include "cli/zrv.h"
#include "core/stream_crypt.h"
#include "tests/cli/zrv_support.h"

namespace ferrune::testing {
namespace {

using cli::RunZrv;

class Zrv : public ::testing::Test {
 protected:
  int Run(std::vector<std::wstring> args) {
    console_ = ScriptedConsole();
    return Run(args, console_);
  }
  int Run(std::vector<std::wstring> args, ScriptedConsole& console) {
    return RunZrv(args, console, *platform_, nullptr);
  }
  // Runs with the password in a file.
  int RunWith(const std::string& password, std::vector<std::wstring> args) {
    Write(dir_ / "pw", TextBytes(password + "\n"));
    args.insert(args.begin(), {L"--password-file", Arg(dir_ / "pw")});
    return Run(args);
  }
  std::string Line(const fs::path& path, const std::string& message) {
    return "zrv: " + platform_->Display(Arg(path)) + ": " + message + "\n";
  }
  // Decrypts with the core and password bytes given as they are.
  Outcome DecryptWithBytes(const fs::path& encrypted, const fs::path& plain, const Bytes& password) {
    std::string error;
    auto provider = platform_->MakeProvider(false, &error);
    return DecryptStream(*provider, platform_->Files(), Arg(encrypted), Arg(plain),
                         SecretBytes(password.data(), password.size()), {});
  }

  std::unique_ptr<cli::Platform> platform_ = RealPlatform();
  ScriptedConsole console_;
  TestDir dir_;
};

TEST_F(Zrv, EncryptAndDecryptReplaceEachFileAndSayItOnALineOfItsOwn) {
  const Bytes a = RandomBytes(3000, 1), b = {};
  Write(dir_ / "a.txt", a);
  Write(dir_ / "b", b);
  EXPECT_EQ(RunWith("secret", {L"encrypt", Arg(dir_ / "a.txt"), Arg(dir_ / "b")}), 0);
  EXPECT_EQ(console_.errors, Line(dir_ / "a.txt", "Encryption completed") + Line(dir_ / "b", "Encryption completed"));
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"a.txt.zrv", "b.zrv", "pw"}));
  EXPECT_EQ(RunWith("secret", {L"decrypt", Arg(dir_ / "a.txt.zrv"), Arg(dir_ / "b.zrv")}), 0);
  EXPECT_EQ(console_.errors,
            Line(dir_ / "a.txt.zrv", "Decryption completed") + Line(dir_ / "b.zrv", "Decryption completed"));
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"a.txt", "b", "pw"}));
  EXPECT_EQ(Read(dir_ / "a.txt"), a);
  EXPECT_EQ(Read(dir_ / "b"), b);
  EXPECT_TRUE(console_.output.empty());
}

TEST_F(Zrv, KeepLeavesTheInputsAndCheckWritesNothing) {
  Write(dir_ / "a", TextBytes("alpha"));
  EXPECT_EQ(RunWith("secret", {L"--keep", L"encrypt", Arg(dir_ / "a")}), 0);
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"a", "a.zrv", "pw"}));
  Write(dir_ / "a", TextBytes("replaced on decryption"));
  EXPECT_EQ(RunWith("secret", {L"decrypt", L"-k", L"--force", Arg(dir_ / "a.zrv")}), 0);
  EXPECT_EQ(Read(dir_ / "a"), TextBytes("alpha"));
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"a", "a.zrv", "pw"}));

  EXPECT_EQ(RunWith("secret", {L"check", Arg(dir_ / "a.zrv")}), 0);
  EXPECT_EQ(console_.errors, Line(dir_ / "a.zrv", "The file is well formed and the password is right"));
  EXPECT_EQ(RunWith("Secret", {L"check", Arg(dir_ / "a.zrv")}), 1);
  EXPECT_EQ(console_.errors, Line(dir_ / "a.zrv", "Invalid password!"));
  // Cut at a block boundary: the shape holds, only the decryption can tell.
  Bytes cut = Read(dir_ / "a.zrv");
  Write(dir_ / "cut.zrv", TextBytes(std::string(cut.begin(), cut.end() - 8) + std::string(8, '\0')));
  EXPECT_EQ(RunWith("secret", {L"check", Arg(dir_ / "cut.zrv"), Arg(dir_ / "missing.zrv")}), 3);
  EXPECT_EQ(console_.errors, Line(dir_ / "cut.zrv", "The file is damaged") +
                                 Line(dir_ / "missing.zrv", "Cannot read the file: " + MissingFileText()));
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"a", "a.zrv", "cut.zrv", "pw"}));
}

TEST_F(Zrv, EveryFileIsTriedAndTheExitCodeIsTheFirstFailures) {
  Write(dir_ / "good", TextBytes("good"));
  Write(dir_ / "other", TextBytes("other"));
  ASSERT_EQ(RunWith("secret", {L"encrypt", Arg(dir_ / "good")}), 0);
  ASSERT_EQ(RunWith("another", {L"encrypt", Arg(dir_ / "other")}), 0);
  Write(dir_ / "junk.zrv", TextBytes("not an encrypted file at all"));
  fs::create_directory(dir_ / "sub");
  const std::vector<std::wstring> files = {Arg(dir_ / "missing.zrv"), Arg(dir_ / "other.zrv"), Arg(dir_ / "junk.zrv"),
                                           Arg(dir_ / "good.zrv"), Arg(dir_ / "sub" / ".zrv")};
  std::vector<std::wstring> args = {L"decrypt"};
  args.insert(args.end(), files.begin(), files.end());
  EXPECT_EQ(RunWith("secret", args), 4);
  EXPECT_EQ(console_.errors, Line(dir_ / "missing.zrv", "Cannot read the file: " + MissingFileText()) +
                                 Line(dir_ / "other.zrv", "Invalid password!") +
                                 Line(dir_ / "junk.zrv", "The file is damaged") +
                                 Line(dir_ / "good.zrv", "Decryption completed") +
                                 Line(dir_ / "sub" / ".zrv", "Cannot write the output file"));
  EXPECT_EQ(Read(dir_ / "good"), TextBytes("good"));
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"good", "junk.zrv", "other.zrv", "pw", "sub"}));
  // The first failure decides, whichever it is.
  EXPECT_EQ(RunWith("secret", {L"decrypt", Arg(dir_ / "junk.zrv"), Arg(dir_ / "missing.zrv")}), 3);
  EXPECT_EQ(RunWith("secret", {L"decrypt", Arg(dir_ / "other.zrv"), Arg(dir_ / "junk.zrv")}), 1);
  EXPECT_EQ(RunWith("secret", {L"decrypt", Arg(dir_ / "sub" / ".zrv")}), 5);
  // A ".zrv" file is not encrypted again, and unlike the window's command
  // line the tool takes the extension in any case.
  Write(dir_ / "upper.ZRV", TextBytes("encrypted elsewhere"));
  EXPECT_EQ(RunWith("secret", {L"encrypt", Arg(dir_ / "junk.zrv"), Arg(dir_ / "upper.ZRV")}), 2);
  EXPECT_EQ(console_.errors,
            Line(dir_ / "junk.zrv", "This file is encrypted") + Line(dir_ / "upper.ZRV", "This file is encrypted"));
  EXPECT_EQ(Read(dir_ / "junk.zrv"), TextBytes("not an encrypted file at all"));
  EXPECT_EQ(Read(dir_ / "upper.ZRV"), TextBytes("encrypted elsewhere"));
}

TEST_F(Zrv, AFileUnderTheOutputNameIsReplacedOnlyWithForceAndDecryptTakesOnlyZrvNames) {
  Write(dir_ / "notes.txt", TextBytes("v1"));
  ASSERT_EQ(RunWith("secret", {L"--keep", L"encrypt", Arg(dir_ / "notes.txt")}), 0);
  Write(dir_ / "notes.txt", TextBytes("v2"));
  EXPECT_EQ(RunWith("secret", {L"decrypt", Arg(dir_ / "notes.txt.zrv")}), 5);
  EXPECT_EQ(console_.errors, Line(dir_ / "notes.txt.zrv", "The output file already exists"));
  EXPECT_EQ(RunWith("secret", {L"encrypt", Arg(dir_ / "notes.txt")}), 5);
  EXPECT_EQ(console_.errors, Line(dir_ / "notes.txt", "The output file already exists"));
  EXPECT_EQ(Read(dir_ / "notes.txt"), TextBytes("v2"));
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"notes.txt", "notes.txt.zrv", "pw"}));

  EXPECT_EQ(RunWith("secret", {L"decrypt", L"-f", L"--keep", Arg(dir_ / "notes.txt.zrv")}), 0);
  EXPECT_EQ(Read(dir_ / "notes.txt"), TextBytes("v1"));

  // Without the rule "report.zrv.bak" would become "report.zrv".
  Write(dir_ / "report.zrv", TextBytes("unrelated"));
  Write(dir_ / "report.zrv.bak", Read(dir_ / "notes.txt.zrv"));
  EXPECT_EQ(RunWith("secret", {L"decrypt", L"--force", Arg(dir_ / "report.zrv.bak"), Arg(dir_ / "notes.txt.zrv")}), 2);
  EXPECT_EQ(console_.errors, Line(dir_ / "report.zrv.bak", "The file name does not end in .zrv") +
                                 Line(dir_ / "notes.txt.zrv", "Decryption completed"));
  EXPECT_EQ(Read(dir_ / "report.zrv"), TextBytes("unrelated"));
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"notes.txt", "pw", "report.zrv", "report.zrv.bak"}));
}

// "zrv --password-file pw encrypt *" once encrypted and deleted the password
// file, and every file it had encrypted was lost with it.
TEST_F(Zrv, ThePasswordFileIsNeverAnInputByAnyName) {
  Write(dir_ / "a", TextBytes("alpha"));
  Write(dir_ / "pw", TextBytes("secret\n"));
  fs::create_hard_link(dir_ / "pw", dir_ / "pw-hard");
  std::vector<fs::path> names = {dir_ / "pw", dir_ / "pw-hard"};
#ifndef _WIN32
  fs::create_symlink("pw", dir_ / "pw-symbolic");
  names.push_back(dir_ / "pw-symbolic");
#endif
  std::vector<std::wstring> args = {L"--password-file", Arg(dir_ / "pw"), L"encrypt", Arg(dir_ / "a")};
  std::string lines = Line(dir_ / "a", "Encryption completed");
  for (const fs::path& name : names) {
    args.push_back(Arg(name));
    lines += Line(name, "This is the password file: it was left as it is");
  }
  EXPECT_EQ(Run(args), 2);
  EXPECT_EQ(console_.errors, lines);
  EXPECT_EQ(Read(dir_ / "pw"), TextBytes("secret\n"));
  EXPECT_EQ(Run({L"--password-file", Arg(dir_ / "pw-hard"), L"decrypt", Arg(dir_ / "a.zrv")}), 0) << console_.errors;
  EXPECT_EQ(Read(dir_ / "a"), TextBytes("alpha"));
  // Nor does an output replace it.
  ASSERT_EQ(Run({L"--password-file", Arg(dir_ / "pw"), L"--keep", L"encrypt", Arg(dir_ / "a")}), 0);
  fs::copy_file(dir_ / "a.zrv", dir_ / "pw.zrv");
  EXPECT_EQ(Run({L"--password-file", Arg(dir_ / "pw"), L"--force", L"decrypt", Arg(dir_ / "pw.zrv")}), 2);
  EXPECT_EQ(console_.errors, Line(dir_ / "pw.zrv", "The output would replace the password file: it was left as it is"));
  EXPECT_EQ(Read(dir_ / "pw"), TextBytes("secret\n"));
}

// The sweep of a crash's leftovers beside a checked file once removed the
// file itself when its name was like ours.
TEST_F(Zrv, ACheckKeepsTheFileItChecksWhateverItsName) {
  Write(dir_ / "f", TextBytes("content"));
  ASSERT_EQ(RunWith("secret", {L"encrypt", Arg(dir_ / "f")}), 0);
  const Bytes encrypted = Read(dir_ / "f.zrv");
  std::vector<std::string> checked = {".ferrune-4242-0123abcd.tmp", ".ferrune-d-0123456789abcdef-f.zrv"};
#ifndef _WIN32
  checked.push_back("link.zrv");  // to a file named as a temporary one
#endif
  for (const std::string& name : checked) {
    SCOPED_TRACE(name);
    const fs::path folder = dir_ / ("in " + name);
    fs::create_directory(folder);
    Write(folder / ".ferrune-7-00000000.tmp", TextBytes("left by a crash"));
    if (name == "link.zrv") {
      Write(folder / ".ferrune-4343-89abcdef.tmp", encrypted);
      fs::create_symlink(".ferrune-4343-89abcdef.tmp", folder / name);
    } else {
      Write(folder / name, encrypted);
    }
    EXPECT_EQ(RunWith("secret", {L"check", Arg(folder / name)}), 0) << console_.errors;
    EXPECT_EQ(Read(folder / name), encrypted);
    EXPECT_FALSE(fs::exists(folder / ".ferrune-7-00000000.tmp")) << "the sweep still runs";
  }
}

TEST_F(Zrv, TheTerminalAsksAsTheWindowDoes) {
  Write(dir_ / "f", TextBytes("content"));
  const auto encrypt = [&](std::deque<std::string> hidden, std::deque<std::string> answers) {
    console_ = ScriptedConsole();
    console_.terminal = true;
    console_.hidden = std::move(hidden);
    console_.answers = std::move(answers);
    return Run({L"encrypt", Arg(dir_ / "f")}, console_);
  };
  const std::string refused = "zrv: nothing was changed.\n";
  EXPECT_EQ(encrypt({"", ""}, {}), 2);
  EXPECT_EQ(console_.errors, "zrv: You have not entered a password!\n" + refused);
  EXPECT_EQ(encrypt({"secret1", ""}, {}), 2);
  EXPECT_EQ(console_.errors,
            "zrv: You have entered two different passwords.\nPlease make sure the password match.\n" + refused);
  EXPECT_EQ(encrypt({"", "secret1"}, {}), 2);
  EXPECT_EQ(encrypt({"Secret1", "secret1"}, {}), 2);
  EXPECT_EQ(console_.prompts, (std::vector<std::string>{"Enter a password: ", "Verify the password: "}));
  // Five characters: the question, and no (or nothing) stops.
  const std::string question =
      "You have entered a password which has less than 6 characters.\nAre you sure you want to continue? [y/N] ";
  for (const std::string answer : {"n", "", "no", "yy"}) {
    EXPECT_EQ(encrypt({"abcde", "abcde"}, {answer}), 2) << answer;
    EXPECT_EQ(console_.prompts.back(), question);
    EXPECT_EQ(console_.errors, refused);
  }
  EXPECT_EQ(encrypt({"abcde", "abcde"}, {}), 2);
  EXPECT_EQ(dir_.Names(), std::vector<std::string>{"f"});
  EXPECT_EQ(encrypt({"abcde", "abcde"}, {"Y"}), 0);
  EXPECT_EQ(dir_.Names(), std::vector<std::string>{"f.zrv"});

  // Decryption asks once, and not about the length.
  console_ = ScriptedConsole();
  console_.terminal = true;
  console_.hidden = {""};
  EXPECT_EQ(Run({L"decrypt", Arg(dir_ / "f.zrv")}, console_), 2);
  EXPECT_EQ(console_.prompts, std::vector<std::string>{"Enter the password used to encrypt f: "});
  EXPECT_EQ(console_.errors, "zrv: You have not entered a password!\n" + refused);
  console_ = ScriptedConsole();
  console_.terminal = true;
  console_.hidden = {"abcde"};
  EXPECT_EQ(Run({L"decrypt", Arg(dir_ / "f.zrv")}, console_), 0);
  EXPECT_EQ(Read(dir_ / "f"), TextBytes("content"));
  console_ = ScriptedConsole();
  console_.terminal = true;
  EXPECT_EQ(Run({L"check", Arg(dir_ / "f"), Arg(dir_ / "g.zrv")}, console_), 2);
  EXPECT_EQ(console_.prompts, std::vector<std::string>{"Enter the password used to encrypt these 2 files: "});
}

TEST_F(Zrv, StandardInputGivesItsFirstLineOnceWithoutQuestions) {
  Write(dir_ / "f", TextBytes("content"));
  ScriptedConsole piped;
  piped.input = "abc\r\nsecond line";
  EXPECT_EQ(Run({L"encrypt", Arg(dir_ / "f")}, piped), 0);
  EXPECT_TRUE(piped.prompts.empty());
  EXPECT_EQ(piped.inputRead(), 4u) << "nothing after the line is taken";
  EXPECT_EQ(DecryptWithBytes(dir_ / "f.zrv", dir_ / "g", TextBytes("abc")), Outcome::Success);
  // A lone LF, no line end at all: the same password.
  for (const char* input : {"abc\n", "abc"}) {
    ScriptedConsole again;
    again.input = input;
    EXPECT_EQ(Run({L"check", Arg(dir_ / "f.zrv")}, again), 0) << input;
  }
  ScriptedConsole empty;
  EXPECT_EQ(Run({L"decrypt", Arg(dir_ / "f.zrv")}, empty), 2);
  EXPECT_EQ(empty.errors, "zrv: You have not entered a password!\nzrv: nothing was changed.\n");
  ScriptedConsole blankLine;
  blankLine.input = "\nabc\n";
  EXPECT_EQ(Run({L"decrypt", Arg(dir_ / "f.zrv")}, blankLine), 2);
  // No window can type a NUL: refused alike on every system.
  ScriptedConsole withNul;
  withNul.input = std::string("ab\0c\n", 5);
  EXPECT_EQ(Run({L"decrypt", Arg(dir_ / "f.zrv")}, withNul), 2);
  EXPECT_EQ(withNul.errors,
            "zrv: The password contains characters that cannot be used.\nPlease choose another password.\n"
            "zrv: nothing was changed.\n");
  ScriptedConsole endless;
  endless.input = std::string(cli::kMaxPasswordLine + 1, 'x');
  EXPECT_EQ(Run({L"decrypt", Arg(dir_ / "f.zrv")}, endless), 2);
  EXPECT_NE(endless.errors.find("longer than 65536 bytes"), std::string::npos) << endless.errors;
  // A password file that is not there.
  EXPECT_EQ(Run({L"--password-file", Arg(dir_ / "none"), L"decrypt", Arg(dir_ / "f.zrv")}), 2);
  EXPECT_NE(console_.errors.find("Cannot read the password file"), std::string::npos);
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"f.zrv", "g"}));
}

TEST_F(Zrv, PasswordsBecomeCodePageBytesAfterComposition) {
  Write(dir_ / "f", TextBytes("content"));
  struct Case {
    std::vector<std::wstring> options;
    std::string utf8;
    const char* bytes;
  } cases[] = {
      {{}, "p\xc3\xa4sssw\xc3\xb6rd", "70e473737377f67264"},
      // Decomposed accents, as some terminals give them, compose first.
      {{}, "pa\xcc\x88ssswo\xcc\x88rd", "70e473737377f67264"},
      // A byte order mark at the start of a file is not part of the password.
      {{}, "\xef\xbb\xbfsecret", "736563726574"},
      {{}, "\xe2\x82\xac uro", "802075726f"},
      {{L"--code-page", L"1251"}, "\xd0\xbf\xd0\xb0\xd1\x80\xd0\xbe\xd0\xbb\xd1\x8c", "efe0f0eeebfc"},
      {{L"--code-page=1253"}, "\xce\xa9mega12", "d96d65676131 32"},
      {{L"--code-page", L"1250"}, "\xc5\x99\xc3\xad\xc5\xa1\xc3\xb3", "f8ed9af3"},
      {{L"--code-page", L"874"},
       "\xe0\xb8\x81\xe0\xb8\x82"
       "abcd",
       "a1a261626364"},
      // 1258 keeps tone marks apart: a letter it lacks goes as letter and mark.
      {{L"--code-page", L"1258"},
       "\xe1\xba\xa1"
       "bcdef",
       "61f2626364656 6"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    std::string hex = c.bytes;
    hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
    std::vector<std::wstring> args = c.options;
    args.insert(args.end(), {L"--keep", L"--force", L"encrypt", Arg(dir_ / "f")});
    ASSERT_EQ(RunWith(c.utf8, args), 0) << console_.errors;
    EXPECT_EQ(DecryptWithBytes(dir_ / "f.zrv", dir_ / "g", FromHex(hex)), Outcome::Success);
    std::filesystem::remove(dir_ / "g");
  }
  const std::string characters =
      "zrv: The password contains characters that cannot be used.\nPlease choose another password.\n";
  struct Refused {
    std::vector<std::wstring> options;
    std::string utf8;
    std::string message;
  } refused[] = {
      // Cyrillic has no form in 1252, and no best fit (Omega to O) is made.
      {{}, "\xd0\xbf\xd0\xb0\xd1\x80\xd0\xbe\xd0\xbb\xd1\x8c", characters + "(code page 1252; see --code-page)\n"},
      {{}, "\xce\xa9mega12", characters + "(code page 1252; see --code-page)\n"},
      {{L"--code-page", L"1251"}, "p\xc3\xa4ssw\xc3\xb6rd", characters + "(code page 1251; see --code-page)\n"},
      {{}, "\xf0\x9f\x94\x91 key12", characters + "(code page 1252; see --code-page)\n"},
      {{}, "bad \xff utf8", "zrv: The password is not UTF-8 text.\n"},
      {{}, "overlong \xc0\xaf", "zrv: The password is not UTF-8 text.\n"},
  };
  for (const Refused& r : refused) {
    SCOPED_TRACE(r.utf8);
    std::vector<std::wstring> args = r.options;
    args.insert(args.end(), {L"encrypt", Arg(dir_ / "f")});
    EXPECT_EQ(RunWith(r.utf8, args), 2);
    EXPECT_EQ(console_.errors, r.message + "zrv: nothing was changed.\n");
  }
  EXPECT_EQ(Read(dir_ / "f"), TextBytes("content"));
}

// Earlier versions wrote "pass-Oord" for "p\u0101ss-\u03a9ord" (a look-alike
// for what Windows-1252 lacks). To decrypt, zrv.exe takes a refused password
// in those bytes; natively there are none, and it is refused before any work.
TEST_F(Zrv, ARefusedPasswordDecryptsInTheStandardConversionsBytesOnWindowsOnly) {
  const std::string typed = "p\xc4\x81ss-\xce\xa9ord";
  Write(dir_ / "f", TextBytes("content"));
  ASSERT_EQ(RunWith("pass-Oord", {L"encrypt", Arg(dir_ / "f")}), 0) << console_.errors;
#ifdef _WIN32
  EXPECT_EQ(RunWith(typed, {L"--keep", L"decrypt", Arg(dir_ / "f.zrv")}), 0) << console_.errors;
  EXPECT_EQ(Read(dir_ / "f"), TextBytes("content"));
  // Bytes that do not open the file name the characters, as a refusal.
  ASSERT_EQ(RunWith("pass-Word", {L"--force", L"encrypt", Arg(dir_ / "f")}), 0) << console_.errors;
  EXPECT_EQ(RunWith(typed, {L"check", Arg(dir_ / "f.zrv")}), 2);
  EXPECT_EQ(
      console_.errors,
      Line(dir_ / "f.zrv", "The password contains characters that cannot be used (code page 1252; see --code-page)"));
#else
  EXPECT_EQ(RunWith(typed, {L"decrypt", Arg(dir_ / "f.zrv")}), 2);
  EXPECT_EQ(console_.errors,
            "zrv: The password contains characters that cannot be used.\nPlease choose another password.\n"
            "(code page 1252; see --code-page)\nzrv: nothing was changed.\n");
  EXPECT_FALSE(fs::exists(dir_ / "f"));
#endif
}

TEST_F(Zrv, TheCommandLineIsCheckedBeforeAnythingIsDone) {
  Write(dir_ / "f", TextBytes("content"));
  Write(dir_ / "-x", TextBytes("dash"));
  const std::string more = "\nTry 'zrv --help' for more information.\n";
  struct Case {
    std::vector<std::wstring> args;
    std::string error;
  } cases[] = {
      {{}, "no command given (encrypt, decrypt or check)"},
      {{L"encrypt"}, "no files given"},
      {{L"scramble", Arg(dir_ / "f")}, "unknown command scramble (encrypt, decrypt or check)"},
      {{L"encrypt", L"--fast", Arg(dir_ / "f")}, "unknown option --fast"},
      {{L"encrypt", L"--code-page", L"1200", Arg(dir_ / "f")}, "code page 1200 is not one of 874 and 1250 to 1258"},
      {{L"encrypt", L"--code-page", L"+1252", Arg(dir_ / "f")}, "code page +1252 is not one of 874 and 1250 to 1258"},
      {{L"encrypt", Arg(dir_ / "f"), L"--password-file"}, "option --password-file needs a value"},
      {{L"encrypt", L"--keep=yes", Arg(dir_ / "f")}, "option --keep takes no value"},
      {{L"encrypt", Arg(dir_ / "-x"), L"-x"}, "unknown option -x"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.args), 2);
    EXPECT_EQ(console_.errors, "zrv: " + c.error + more);
  }
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"-x", "f"}));
  EXPECT_EQ(Run({L"--help"}), 0);
  EXPECT_EQ(console_.output, cli::HelpText());
  EXPECT_TRUE(console_.errors.empty());
  // After "--" a name that starts with a dash is a file.
  Write(dir_ / "pw", TextBytes("secret\n"));
  EXPECT_EQ(Run({L"encrypt", L"--password-file", Arg(dir_ / "pw"), L"--", Arg(dir_ / "f")}), 0);
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"-x", "f.zrv", "pw"}));
}

#ifdef _WIN32
// The public blob of the window's signature pair, or empty when it has none.
std::string WindowContainerKey() {
  HCRYPTPROV prov = 0;
  if (!CryptAcquireContextA(&prov, "Ferrune Container", nullptr, PROV_RSA_FULL, 0)) return {};
  std::string blob;
  HCRYPTKEY key = 0;
  if (CryptGetUserKey(prov, AT_SIGNATURE, &key)) {
    DWORD size = 0;
    CryptExportKey(key, 0, PUBLICKEYBLOB, 0, nullptr, &size);
    blob.resize(size);
    if (!CryptExportKey(key, 0, PUBLICKEYBLOB, 0, reinterpret_cast<BYTE*>(blob.data()), &size)) blob.clear();
    CryptDestroyKey(key);
  }
  CryptReleaseContext(prov, 0);
  return blob;
}

TEST_F(Zrv, NeverUsesTheWindowsKeyContainer) {
  const std::string before = WindowContainerKey();
  Write(dir_ / "a", TextBytes("alpha"));
  Write(dir_ / "b", TextBytes("beta"));
  ASSERT_EQ(RunWith("secret", {L"--keep", L"encrypt", Arg(dir_ / "a")}), 0);
  ASSERT_EQ(RunWith("secret", {L"--keep", L"encrypt", Arg(dir_ / "b")}), 0);
  EXPECT_EQ(WindowContainerKey(), before) << "the container was made or changed";
  // A fresh pair in each run, and not the container's.
  const Bytes a = Read(dir_ / "a.zrv"), b = Read(dir_ / "b.zrv");
  ASSERT_GT(a.size(), 164u);
  ASSERT_GT(b.size(), 164u);
  const std::string blobA(a.begin() + 16, a.begin() + 164), blobB(b.begin() + 16, b.begin() + 164);
  EXPECT_NE(blobA, blobB);
  EXPECT_NE(blobA, before);
}
#endif

}  // namespace
}  // namespace ferrune::testing
