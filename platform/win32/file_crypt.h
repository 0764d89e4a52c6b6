// Encryption and decryption of one file through the Windows crypto provider.
// These never throw and show nothing; the outcome says what happened.
#pragma once

#include <cstdint>
#include <string>

#include "core/file_system.h"
#include "core/job_control.h"
#include "core/outcome.h"
#include "core/secret_bytes.h"

namespace ferrune {

#ifdef _WIN32
// `provider` is an open HCRYPTPROV whose container holds an AT_SIGNATURE pair;
// `files` are the job's (its input taken, its commit as the job allows) or
// the platform's own.
Outcome EncryptFileWithProvider(std::uintptr_t provider, StreamFiles& files, const std::wstring& plainPath,
                                const SecretBytes& password, const JobControl& control);
Outcome DecryptFileWithProvider(std::uintptr_t provider, StreamFiles& files, const std::wstring& encryptedPath,
                                const SecretBytes& password, const JobControl& control);
#endif

}  // namespace ferrune
