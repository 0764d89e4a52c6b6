#include "core/output_file.h"

namespace ferrune {

void OutputFile::StopProof() {
  if (written_) written_->Abort();
  if (stopProof_) stopProof_();
  if (proofThread_.joinable()) proofThread_.join();
}

Outcome OutputFile::Create(std::uint64_t expectedSize, FileMetadata from, WrittenFile::Reads reads) {
  if (finalPath_.empty()) return Outcome::CannotWrite;
  from_ = std::move(from);
  temp_ = fs_.CreateTemp(finalPath_).file;
  if (!temp_) return Outcome::CannotWrite;
  written_ = std::make_unique<WrittenFile>(*temp_, expectedSize, reads);
  return Outcome::Success;
}

Outcome OutputFile::StartProof(std::function<Outcome()> proof, std::function<void()> stop) {
  stopProof_ = std::move(stop);
  try {
    proofThread_ = std::thread([this, proof = std::move(proof)] {
      Outcome outcome = Outcome::Failed;
      try {
        outcome = proof();
      } catch (...) {
        outcome = Outcome::Failed;
      }
      proofOutcome_ = outcome;
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
  return proofOutcome_;
}

Outcome OutputFile::Commit() {
  StopProof();
  // After the last write, so that nothing moves the dates again.
  if (!temp_->Stamp(from_).ok()) {
    temp_.reset();
    return Outcome::CannotWrite;
  }
  const Outcome committed = temp_->Commit(finalPath_, Replacing::Nothing()).outcome;
  temp_.reset();
  return committed;
}

}  // namespace ferrune
