// RC2 known answers as the Windows provider gives them: the SHA-1 of the
// password, and one final CryptEncrypt of the plain bytes with the key
// derived from that hash.
#pragma once

namespace ferrune::vectors {

struct Rc2Vector {
  const char* password;  // bytes as typed, in the code page of the file's maker
  const char* sha1;
  const char* plain;   // hex
  const char* cipher;  // hex
};

inline constexpr Rc2Vector kRc2[] = {
    {"secret", "e5e9fa1ba31ecd1ae84f75caaa474f3a663f05f4", "68656c6c6f20776f726c64",
     "c4b117697029d05bfb0dc11b4e79ba29"},
    {"password", "5baa61e4c9b93f3f0682250b6cf8331b7ee68fd8", "", "0d28f4b8d5a79b85"},
    {"p\xe4ssw\xf6rd", "798c481d8ec06c08915eb09639f9c210131fa4bf", "4142434445464748",
     "50f679c9e38704b27530fb974dfcbca2"},
    {"correct horse battery staple", "abf7aad6438836dbe526aa231abde2d0eef74d42",
     "303132333435363738394142434445463031323334", "ff8bcbe5b800b1451440b81e1e401df96d64ede400926892"},
};

}  // namespace ferrune::vectors
