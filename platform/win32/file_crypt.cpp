#include "platform/win32/file_crypt.h"

#include "core/output_names.h"
#include "core/stream_crypt.h"
#include "platform/win32/cryptoapi_provider.h"

namespace ferrune {
namespace {

// Nothing escapes: an exception (memory, a thread that cannot start) is a
// failure like any other, and the output's owner has already removed the
// temporary file on the way out.
template <typename Work>
Outcome WithWindows(std::uintptr_t provider, Work work) {
  try {
    if (provider == 0) return Outcome::Failed;
    CryptoApiProvider crypto(static_cast<HCRYPTPROV>(provider));
    return work(crypto);
  } catch (...) {
    return Outcome::Failed;
  }
}

// The operation's own threads run at its caller's priority: a new thread
// starts at normal, above the window's below-normal worker.
JobControl AtCallersPriority(const JobControl& control) {
  JobControl copy = control;
  copy.threadStart = [priority = GetThreadPriority(GetCurrentThread())] {
    SetThreadPriority(GetCurrentThread(), priority);
  };
  return copy;
}

}  // namespace

Outcome EncryptFileWithProvider(std::uintptr_t provider, StreamFiles& files, const std::wstring& plainPath,
                                const SecretBytes& password, const JobControl& control) {
  return WithWindows(provider, [&](Provider& crypto) {
    return EncryptStream(crypto, files, plainPath, EncryptedFileName(plainPath), password, AtCallersPriority(control));
  });
}

Outcome DecryptFileWithProvider(std::uintptr_t provider, StreamFiles& files, const std::wstring& encryptedPath,
                                const SecretBytes& password, const JobControl& control) {
  return WithWindows(provider, [&](Provider& crypto) {
    return DecryptStream(crypto, files, encryptedPath, DecryptedFileName(encryptedPath), password,
                         AtCallersPriority(control));
  });
}

}  // namespace ferrune
