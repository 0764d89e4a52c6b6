#include "core/output_file.h"

namespace ferrune {

OutputFile::~OutputFile() {
  StopProof();
  if (temp_) fs_.Discard(std::move(temp_));
}

void OutputFile::StopProof() {
  if (written_) written_->Abort();
  if (stopProof_) stopProof_();
  if (proofThread_.joinable()) proofThread_.join();
}

Outcome OutputFile::Create(std::uint64_t expectedSize) {
  if (finalPath_.empty()) return Outcome::CannotWrite;
  temp_ = fs_.CreateTemp(finalPath_);
  if (!temp_) return Outcome::CannotWrite;
  written_ = std::make_unique<WrittenFile>(*temp_, expectedSize);
  return Outcome::Success;
}

Outcome OutputFile::StartProof(std::function<bool()> proof, std::function<void()> stop) {
  stopProof_ = std::move(stop);
  try {
    proofThread_ = std::thread([this, proof = std::move(proof)] {
      bool held = false;
      try {
        held = proof();
      } catch (...) {
        held = false;
      }
      proofHeld_ = held;
    });
  } catch (...) {
    return Outcome::Failed;
  }
  return Outcome::Success;
}

Outcome OutputFile::Append(const std::uint8_t* data, std::size_t length) {
  return written_->Append(data, length) ? Outcome::Success : Outcome::CannotWrite;
}

Outcome OutputFile::FlushAndFinish() { return written_->FlushAndFinish() ? Outcome::Success : Outcome::CannotWrite; }

Outcome OutputFile::AwaitProof() {
  if (!proofThread_.joinable()) return Outcome::Failed;
  proofThread_.join();
  return proofHeld_ ? Outcome::Success : Outcome::Failed;
}

Outcome OutputFile::Commit() {
  StopProof();
  const bool done = fs_.Commit(std::move(temp_), finalPath_);
  return done ? Outcome::Success : Outcome::CannotWrite;
}

}  // namespace ferrune
