// The names of our own files beside a user's, and what a later job may do
// with each when it finds one that no running job holds:
//   ".ferrune-<process>-<8 hex>.tmp"  a temporary output this program made:
//                                     it goes;
//   ".ferrune-d-<16 hex>-<name>"      a job's input set aside on its way
//                                     out: it goes only while it is that
//                                     file (the hex digits are its identity)
//                                     with no other name; else it goes back;
//   ".ferrune-r-<16 hex>-<name>"      a file set aside to be replaced: it
//                                     always goes back, since the output
//                                     may never have taken its place.
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

// Folds what tells a file and its content apart into the digits of an aside
// name: volume, index, size and write time.
std::uint64_t IdentityKey(const FileIdentity& identity);

// The name to set `original` (a name without its folder) aside under, for
// a file of `identity`. `fits` says whether a name is short enough for the
// file system; the original is cut until it fits.
std::wstring AsideFileName(AsideKind kind, const FileIdentity& identity, std::wstring_view original,
                           const std::function<bool(std::wstring_view)>& fits);

std::optional<OurName> ParseOurName(std::wstring_view name);

// Names a job never writes its output to: they are ours.
inline bool IsReservedName(std::wstring_view name) { return ParseOurName(name).has_value(); }

// The visible name for a file that cannot go back to `original`: the n-th
// (from 1) "<stem> (kept by Ferrune)<extension>", "... (kept by Ferrune 2)...".
std::wstring KeptFileName(std::wstring_view original, int n);

// What a later job does with a file under one of our names.
enum class Leftover { Leave, Remove, PutBack };

// `held`: a running job holds the file (or that cannot be told). `now`: the
// file under the name, not followed if a link.
Leftover JudgeLeftover(const OurName& name, const FileIdentity& now, bool held);

// Puts a file set aside back: to `original` where nothing stands there,
// else to the first free kept name beside it. `moveTo(name)` moves the file
// to that name in its folder without replacing anything, and says whether
// it did. The name it went to, or empty when it could not be moved.
std::wstring PutBack(const OurName& aside, const std::function<bool(const std::wstring& name)>& moveTo);

}  // namespace ferrune
