// Helpers for the tests that run under Wine with the real provider.
#pragma once

// windows.h must come first.
// clang-format off
#include <windows.h>
#include <wincrypt.h>
// clang-format on

#include <cstdint>
#include <string>
#include <vector>

#include "core/job_control.h"
#include "core/outcome.h"
#include "core/secret_bytes.h"
#include "platform/win32/crypt_handles.h"
#include "tests/support/temporary_folder.h"
#include "tests/support/test_bytes.h"

namespace ferrune::testing {

// A verify-only context with a fresh signature pair of its own.
class EphemeralContext {
 public:
  EphemeralContext();
  HCRYPTPROV get() const { return prov_.get(); }
  std::uintptr_t id() const { return static_cast<std::uintptr_t>(prov_.get()); }

 private:
  CryptProv prov_;
};

// The shared folder with wide paths and names, for the tests written against
// this older helper.
class TestFolder : public TemporaryFolder {
 public:
  TestFolder() = default;
  explicit TestFolder(const std::wstring& existing) : TemporaryFolder(std::filesystem::path(existing)) {}

  std::wstring operator/(const std::wstring& name) const { return TemporaryFolder::operator/(name).wstring(); }
  std::wstring path() const { return TemporaryFolder::path().wstring(); }
  std::vector<std::wstring> Names() const;
};

void WriteBytes(const std::wstring& path, const Bytes& data);
Bytes ReadBytes(const std::wstring& path);
bool Exists(const std::wstring& path);

Bytes Concat(std::initializer_list<Bytes> parts);

// SHA-1 through the provider.
Bytes Sha1(HCRYPTPROV prov, const Bytes& data);
// One CryptEncrypt over the whole plain data with the key derived from SHA-1(password).
Bytes EncryptOnce(HCRYPTPROV prov, const Bytes& password, const Bytes& plain);

// A file written with the provider calls alone: as earlier versions wrote it,
// the signature over the password hash itself, or with `bound` over
// SHA-1(key blob || password hash), as the program writes it.
Bytes MakeDirectly(HCRYPTPROV prov, const Bytes& password, const Bytes& plain, bool bound);

Outcome Encrypt(const EphemeralContext& ctx, const std::wstring& path, const char* password);
Outcome Decrypt(const EphemeralContext& ctx, const std::wstring& path, const char* password);

}  // namespace ferrune::testing
