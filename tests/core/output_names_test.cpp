#include "core/output_names.h"

#include <gtest/gtest.h>

namespace ferrune {
namespace {

TEST(EncryptedName, ExactForTheWindowAndAnyCaseForTheTool) {
  EXPECT_TRUE(IsEncryptedName(L"C:\\Docs\\a.zrv", NameCase::Exact));
  EXPECT_FALSE(IsEncryptedName(L"C:\\Docs\\a.ZRV", NameCase::Exact));
  EXPECT_TRUE(IsEncryptedName(L"C:\\Docs\\a.ZrV", NameCase::AnyCase));
  // The extension is what follows the last dot of the last name only.
  EXPECT_FALSE(IsEncryptedName(L"C:\\x.zrv\\a", NameCase::AnyCase));
  EXPECT_FALSE(IsEncryptedName(L"a.zrv.bak", NameCase::AnyCase));
}

TEST(OutputName, AddsZrvOrCutsTheLastFourCharactersWhateverTheyAre) {
  EXPECT_EQ(OutputFileName(JobKind::Encrypt, L"C:\\Docs\\a.txt"), L"C:\\Docs\\a.txt.zrv");
  EXPECT_EQ(OutputFileName(JobKind::Decrypt, L"C:\\Docs\\a.txt.zrv"), L"C:\\Docs\\a.txt");
  EXPECT_EQ(DecryptedFileName(L"C:\\Docs\\a.txt"), L"C:\\Docs\\a");
  EXPECT_EQ(DecryptedFileName(L".zrv"), L"");
}

}  // namespace
}  // namespace ferrune
