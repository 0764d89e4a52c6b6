#include "app/logic/command_line.h"

namespace ferrune {
namespace {

bool IsSeparator(wchar_t c) { return c >= 1 && c <= 32; }

void SkipSeparators(std::wstring_view text, std::size_t& pos) {
  while (pos < text.size() && IsSeparator(text[pos])) ++pos;
}

}  // namespace

std::wstring TakeArgument(std::wstring_view text, std::size_t& pos) {
  SkipSeparators(text, pos);
  // An empty quoted pair standing alone is no argument.
  while (pos + 1 < text.size() && text[pos] == L'"' && text[pos + 1] == L'"') {
    pos += 2;
    SkipSeparators(text, pos);
  }
  std::wstring arg;
  while (pos < text.size() && text[pos] != L'\0' && !IsSeparator(text[pos])) {
    if (text[pos] == L'"') {
      ++pos;
      while (pos < text.size() && text[pos] != L'\0' && text[pos] != L'"') arg += text[pos++];
      if (pos < text.size() && text[pos] == L'"') ++pos;
    } else {
      arg += text[pos++];
    }
  }
  return arg;
}

int ArgumentCount(std::wstring_view commandLine) {
  std::size_t pos = 0;
  TakeArgument(commandLine, pos);  // the program's own name
  int count = 0;
  while (!TakeArgument(commandLine, pos).empty()) ++count;
  return count;
}

std::wstring ArgumentAt(std::wstring_view commandLine, int n) {
  std::size_t pos = 0;
  TakeArgument(commandLine, pos);
  std::wstring arg;
  for (int i = 0; i < n; ++i) {
    arg = TakeArgument(commandLine, pos);
    if (arg.empty()) break;
  }
  return n >= 1 ? arg : std::wstring();
}

}  // namespace ferrune
