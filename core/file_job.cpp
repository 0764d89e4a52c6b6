#include "file_job.h"

#include "path_rules.h"
#include "texts.h"

namespace ferrune {

bool IsEncryptedName(std::wstring_view path, NameCase nameCase) {
  const std::wstring extension = ExtensionOf(path);
  return nameCase == NameCase::Exact ? extension == texts::kEncryptedExtension
                                     : SameTextAscii(extension, texts::kEncryptedExtension);
}

std::wstring EncryptedFileName(const std::wstring& plainPath) { return plainPath + texts::kEncryptedExtension; }

// Whatever the last four characters are: no check that they read ".zrv".
std::wstring DecryptedFileName(const std::wstring& encryptedPath) {
  if (encryptedPath.size() <= 4) return {};
  return encryptedPath.substr(0, encryptedPath.size() - 4);
}

std::wstring OutputFileName(JobKind kind, const std::wstring& inputPath) {
  return kind == JobKind::Encrypt ? EncryptedFileName(inputPath) : DecryptedFileName(inputPath);
}

FileJobResult RunFileJob(FileSystem& files, const std::wstring& inputPath, bool keepInput,
                         const std::function<Outcome()>& operation) {
  FileJobResult result;
  try {
    result.outcome = operation();
  } catch (...) {
    result.outcome = Outcome::Failed;
  }
  // A plain delete: the bytes are not overwritten and go to no recycle bin.
  if (result.outcome == Outcome::Success && !keepInput) result.inputKept = !files.Remove(inputPath);
  return result;
}

std::wstring OutcomeText(const FileJobResult& result, JobKind kind, std::wstring_view keptSeparator) {
  const bool encrypting = kind == JobKind::Encrypt;
  switch (result.outcome) {
    case Outcome::Success: {
      std::wstring text = encrypting ? texts::kEncrypted : texts::kDecrypted;
      if (result.inputKept) text.append(keptSeparator).append(texts::kOriginalKept);
      return text;
    }
    case Outcome::WrongPassword: return texts::kInvalidPassword;
    case Outcome::Damaged: return texts::kDamaged;
    case Outcome::CannotRead: return texts::kCannotRead;
    case Outcome::CannotWrite: return texts::kCannotWrite;
    case Outcome::Cancelled:
    case Outcome::Failed: break;
  }
  return encrypting ? texts::kEncryptionFailed : texts::kDecryptionFailed;
}

}  // namespace ferrune
