// The names of our own files beside a user's, and what a later job may do
// with each when it finds one that no running job holds:
//   ".ferrune-<process>-<8 hex>.tmp"  a temporary output this program made:
//                                     it goes;
//   ".ferrune-d-<16 hex>-<name>"      a job's input set aside on its way
//                                     out, and
//   ".ferrune-r-<16 hex>-<name>"      a file set aside to be replaced: both
//                                     go back, always. Only the job that set
//                                     a file aside may delete it, after its
//                                     own checks; nothing a later job can see
//                                     (a name, a lock it cannot take) is
//                                     evidence enough.
// "Going back" is to <name> where nothing stands there, else to a visible
// name beside it, "<stem> (kept by Ferrune)<extension>". Where <name> is too
// long to embed, "~" stands for "-" and the name is cut; it then goes to
// the visible name. A user's file never gets a name of these forms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/file_system.h"

namespace ferrune {

// A new name for this process: no two calls give the same one.
std::wstring NewTempFileName(std::uint32_t processId);

// True for a name that NewTempFileName can give, and only for such a name.
bool IsTempFileName(std::wstring_view name);

enum class AsideKind { Delete, Replace };

// What a name says of the file under it, when it is one of ours.
struct OurName {
  enum class Kind { Temp, Aside } kind = Kind::Temp;
  AsideKind aside = AsideKind::Delete;
  std::uint64_t key = 0;  // for Aside: IdentityKey of the file set aside
  std::wstring original;  // for Aside: the name it came from (maybe cut)
  bool wholeOriginal = true;
};

// Whether a name (without its folder) is short enough for the file system.
using NameFits = std::function<bool(std::wstring_view)>;

// Folds what tells a file and its content apart into the digits of an aside
// name: volume, index, size and write time.
std::uint64_t IdentityKey(const FileIdentity& identity);

// The name to set `original` (a name without its folder) aside under, for a
// file of `identity`, cut until it `fits`; and what the job that sets it
// aside knows of it: the whole original, even where the name holds a cut one.
struct AsideName {
  std::wstring name;
  OurName our;
};
AsideName AsideOf(AsideKind kind, const FileIdentity& identity, std::wstring_view original, const NameFits& fits);

std::optional<OurName> ParseOurName(std::wstring_view name);

// Names a job never writes its output to: they are ours.
inline bool IsReservedName(std::wstring_view name) { return ParseOurName(name).has_value(); }

// The visible name for a file that cannot go back to `original`: the n-th
// (from 1) "<stem> (kept by Ferrune)<extension>", "... (kept by Ferrune 2)...",
// the stem cut until it `fits`.
std::wstring KeptFileName(std::wstring_view original, int n, const NameFits& fits);

// What a later job does with a file under one of our names.
enum class Leftover { Leave, Remove, PutBack };

// `taken`: this sweep opened the file under the name and holds it, so that
// no running job does; a file it could not open or take is left alone.
// `now`: that file, as the name shows it.
Leftover JudgeLeftover(const OurName& name, const FileIdentity& now, bool taken);

// Where a put-back left a file set aside: nothing displaced when it went
// back under its own name; else the kept name it went to, or, when it could
// not be moved at all, the name of ours it still lies under (hidden) with
// the system's reason.
struct PutBackResult {
  Displaced displaced;
  FileError error;
};

// Moves the file to `name` in its folder without replacing anything.
using MoveTo = std::function<FileError(const std::wstring& name)>;
// A failure of MoveTo that says the name is taken.
using NameTaken = std::function<bool(const FileError& error)>;

// Puts a file set aside under `asideName` back: to `original` where nothing
// stands there, else to the first free kept name beside it, until a move
// fails for another reason or a hundred kept names are taken.
PutBackResult PutBack(const OurName& aside, std::wstring_view asideName, const MoveTo& moveTo, const NameTaken& taken,
                      const NameFits& fits);

}  // namespace ferrune
