// Paths as Windows means them, in the "\\?\" form that keeps every name.
#include "platform/win32/long_path.h"

#include <gtest/gtest.h>

#include <string>

namespace ferrune {
namespace {

TEST(LongPath, EveryFormNamesTheFileWindowsMeansOrNothing) {
  const std::wstring local = LR"(C:\t1)", share = LR"(\\server\share\dir)";
  const struct {
    std::wstring path, current, expected;  // expected empty: refused
  } rows[] = {
      {LR"(x.txt)", local, LR"(\\?\C:\t1\x.txt)"},
      {LR"(..\..\x)", local, LR"(\\?\C:\x)"},
      {LR"(\x)", local, LR"(\\?\C:\x)"},
      {LR"(C:x)", local, LR"(\\?\C:\t1\x)"},
      {LR"(d:x)", local, LR"(\\?\d:\x)"},
      {LR"(C:/t2/./y)", local, LR"(\\?\C:\t2\y)"},
      {LR"(dot.)", local, LR"(\\?\C:\t1\dot.)"},
      {LR"(a \.. .\b.)", local, LR"(\\?\C:\t1\a \.. .\b.)"},
      {LR"(dir\)", local, LR"(\\?\C:\t1\dir\)"},
      {LR"(CON)", local, LR"(\\?\C:\t1\CON)"},
      {LR"(\\nas\docs\..\x)", local, LR"(\\?\UNC\nas\docs\x)"},
      {LR"(\\nas\docs\..\..\x)", local, LR"(\\?\UNC\nas\docs\x)"},
      {LR"(//server/share/x)", local, LR"(\\?\UNC\server\share\x)"},
      {LR"(\\server\share)", local, LR"(\\?\UNC\server\share\)"},
      {LR"(..\..\x)", share, LR"(\\?\UNC\server\share\x)"},
      {LR"(\x)", share, LR"(\\?\UNC\server\share\x)"},
      {LR"(x)", LR"(\\?\UNC\server\share\dir)", LR"(\\?\UNC\server\share\dir\x)"},
      {LR"(\\?\UNC\server\share\..)", local, LR"(\\?\UNC\server\share\..)"},
      {LR"(\\?\C:\t1\dot.)", local, LR"(\\?\C:\t1\dot.)"},
      {LR"(\\server)", local, L""},
      {LR"(\\server\)", local, L""},
      {LR"(\\server\\x)", local, L""},
      {LR"(\\server\..\x)", local, L""},
      {LR"(\\.\C:\x)", local, L""},
      {LR"(//?/C:/x)", local, L""},
      {LR"(\\.)", local, L""},
      {LR"(x.txt:s)", local, L""},
      {LR"(C:\t1\x.txt::$DATA)", local, L""},
      {LR"(\\server\share\x:s)", local, L""},
      {std::wstring(L"a\0b", 3), local, L""},
      {L"", local, L""},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(LongPathFrom(row.path, row.current), row.expected) << "path " << row.path << " in " << row.current;
  }
}

}  // namespace
}  // namespace ferrune
