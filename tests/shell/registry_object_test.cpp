#include "shell/registry_object.h"

#include <type_traits>
#include <utility>

#include "tests/shell/fake_test_support.h"

namespace ferrune::testing {
namespace {

constexpr RegistryRoot kRoot{RootKey::CurrentUser, L"Software\\Classes"};
using Op = FakeRegistry::Op;

static_assert(!std::is_copy_constructible_v<RegistryObject> && !std::is_copy_assignable_v<RegistryObject>);
static_assert(std::is_nothrow_move_constructible_v<RegistryObject>);

using RegistryObjectTest = FakeRegistryTest;

TEST_F(RegistryObjectTest, OpensAbsoluteAndRelativePathsAndKeepsTheKeyOnFailure) {
  fake.AddKey(UserClasses(L"\\A\\B"));
  fake.Refuse(Op::Create, UserClasses(L"\\Locked"));
  {
    RegistryObject reg(fake, kRoot);
    EXPECT_FALSE(reg.OpenKey(L"\\Missing", false));
    EXPECT_FALSE(reg.HasCurrentKey());
    EXPECT_FALSE(fake.Exists(UserClasses(L"\\Missing")));

    // Relative with no current key starts at the root.
    ASSERT_TRUE(reg.OpenKey(L"a", false));
    ASSERT_TRUE(reg.OpenKey(L"b", false));
    EXPECT_EQ(reg.CurrentPath(), L"a\\b");
    reg.WriteDefaultString(L"in B");
    EXPECT_EQ(fake.Value(UserClasses(L"\\A\\B")), L"in B");

    ASSERT_TRUE(reg.OpenKey(L"\\A\\New\\Deeper", true));
    EXPECT_EQ(reg.CurrentPath(), L"A\\New\\Deeper");
    EXPECT_EQ(fake.OpenHandles(), 1u);

    EXPECT_FALSE(reg.OpenKey(L"Missing", false));
    EXPECT_FALSE(reg.OpenKey(L"\\Locked", true));
    EXPECT_FALSE(fake.Exists(UserClasses(L"\\Locked")));
    EXPECT_EQ(reg.CurrentPath(), L"A\\New\\Deeper");
    reg.WriteDefaultString(L"still here");
    EXPECT_EQ(fake.Value(UserClasses(L"\\A\\New\\Deeper")), L"still here");
  }
  int opens = 0;
  for (const auto& e : fake.Events()) {
    if (e.op != Op::Open && e.op != Op::Create) continue;
    ++opens;
    EXPECT_EQ(e.access, kKeyAllAccess);
  }
  EXPECT_EQ(opens, 6);
}

TEST_F(RegistryObjectTest, WriteWithoutKeyOrRefusedRaisesSetDataError) {
  fake.SetValue(UserClasses(L"\\K"), L"old");
  fake.Refuse(Op::Write, UserClasses(L"\\K"));
  RegistryObject reg(fake, kRoot);
  ExpectSetDataError([&] { reg.WriteDefaultString(L"x"); });
  ASSERT_TRUE(reg.OpenKey(L"\\K", false));
  ExpectSetDataError([&] { reg.WriteDefaultString(L"new"); });
  EXPECT_EQ(fake.Value(UserClasses(L"\\K")), L"old");
}

TEST_F(RegistryObjectTest, DeleteTakesSubtreeDeepestFirstHighestIndexFirstAndRestoresCurrentKey) {
  for (const wchar_t* k : {L"\\T\\a\\x\\deep", L"\\T\\B", L"\\T\\c\\y", L"\\T2", L"\\K\\Sub\\Leaf"})
    fake.AddKey(UserClasses(k));
  {
    RegistryObject reg(fake, kRoot);
    ASSERT_TRUE(reg.OpenKey(L"\\K", false));
    EXPECT_TRUE(reg.DeleteKey(L"\\T"));
    const std::vector<std::wstring> expected = {
        UserClasses(L"\\T\\c\\y"), UserClasses(L"\\T\\c"), UserClasses(L"\\T\\B"), UserClasses(L"\\T\\a\\x\\deep"),
        UserClasses(L"\\T\\a\\x"), UserClasses(L"\\T\\a"), UserClasses(L"\\T")};
    EXPECT_EQ(fake.Succeeded(Op::Delete), expected);
    EXPECT_TRUE(fake.Exists(UserClasses(L"\\T2")));

    EXPECT_EQ(reg.CurrentPath(), L"K");
    EXPECT_EQ(fake.OpenHandles(), 1u);
    // Relative: below the current key.
    EXPECT_TRUE(reg.DeleteKey(L"Sub"));
    EXPECT_FALSE(fake.Exists(UserClasses(L"\\K\\Sub")));
    EXPECT_FALSE(reg.DeleteKey(L"\\Missing"));
    reg.WriteDefaultString(L"K again");
    EXPECT_EQ(fake.Value(UserClasses(L"\\K")), L"K again");
  }
}

TEST_F(RegistryObjectTest, RefusedDeleteLeavesThatKeyAndItsParents) {
  fake.AddKey(UserClasses(L"\\T\\keep\\below"));
  fake.AddKey(UserClasses(L"\\T\\gone\\below"));
  fake.Refuse(Op::Delete, UserClasses(L"\\T\\keep\\below"));
  RegistryObject reg(fake, kRoot);
  EXPECT_FALSE(reg.DeleteKey(L"\\T"));
  EXPECT_TRUE(fake.Exists(UserClasses(L"\\T\\keep\\below")));
  EXPECT_FALSE(fake.Exists(UserClasses(L"\\T\\gone")));
}

TEST_F(RegistryObjectTest, ErrorInsideDeleteRestoresCurrentKeyAndClosesEveryHandle) {
  fake.AddKey(UserClasses(L"\\T\\a\\b"));
  fake.AddKey(UserClasses(L"\\K"));
  int enums = 0;
  fake.onEnum = [&] {
    if (++enums == 2) throw std::runtime_error("enumeration failed");
  };
  RegistryObject reg(fake, kRoot);
  ASSERT_TRUE(reg.OpenKey(L"\\K", false));
  EXPECT_THROW(reg.DeleteKey(L"\\T"), std::runtime_error);
  EXPECT_EQ(enums, 2);  // thrown two levels down, with T and T\a open
  EXPECT_EQ(fake.OpenHandles(), 1u);
  EXPECT_EQ(reg.CurrentPath(), L"K");
  reg.WriteDefaultString(L"K");
  EXPECT_EQ(fake.Value(UserClasses(L"\\K")), L"K");
}

TEST_F(RegistryObjectTest, MovedObjectOwnsTheKeyAndClosesItOnce) {
  fake.AddKey(UserClasses(L"\\K"));
  RegistryObject first(fake, kRoot);
  ASSERT_TRUE(first.OpenKey(L"\\K", false));
  {
    RegistryObject second(std::move(first));
    second.WriteDefaultString(L"moved");
    RegistryObject third(fake, kRoot);
    third = std::move(second);
    EXPECT_EQ(fake.OpenHandles(), 1u);
  }
  EXPECT_EQ(fake.OpenHandles(), 0u);
  EXPECT_EQ(fake.Value(UserClasses(L"\\K")), L"moved");
}

}  // namespace
}  // namespace ferrune::testing
