// An in-memory registry that answers like the platform, for tests: key names
// ignore case, a key with subkeys cannot be deleted, handles must be closed,
// and opens, creates, writes and deletes can be refused on given paths.
// Paths name a root and the keys below it: "HKCU\Software\Classes\.zrv".
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "shell/registry_api.h"

namespace ferrune::testing {

class FakeRegistry final : public RegistryApi {
 public:
  enum class Op { Open, Create, Write, Delete };
  struct Event {
    Op op;
    std::wstring path;
    std::uint32_t access;  // opens and creates only
    RegStatus status;
  };
  // Every key by path, with its default value when it has one.
  using Snapshot = std::map<std::wstring, std::optional<std::wstring>>;

  FakeRegistry();
  ~FakeRegistry() override;

  void AddKey(const std::wstring& path);
  void SetValue(const std::wstring& path, const std::wstring& text);  // makes the key
  bool Exists(const std::wstring& path) const;
  std::optional<std::wstring> Value(const std::wstring& path) const;
  Snapshot Take() const;

  // Refuses op on the key and everything below it, as an inherited
  // permission would.
  void Refuse(Op op, const std::wstring& path);
  void RefuseAll(const std::wstring& path);
  // Called at every subkey enumeration; a test may throw from it.
  std::function<void()> onEnum;

  std::size_t OpenHandles() const { return open_.size(); }
  // Closes of a handle that was not open (a double close, say).
  std::size_t BadCloses() const { return badCloses_; }
  const std::vector<Event>& Events() const { return events_; }
  // Paths of the successful calls of one kind, in order.
  std::vector<std::wstring> Succeeded(Op op) const;

  RegHandle Root(RootKey which) override;
  RegStatus OpenKey(RegHandle base, const std::wstring& subKey, std::uint32_t access, RegHandle* key) override;
  RegStatus CreateKey(RegHandle base, const std::wstring& subKey, std::uint32_t access, RegHandle* key) override;
  RegStatus SetDefaultString(RegHandle key, const std::wstring& text) override;
  RegStatus QuerySubKeys(RegHandle key, std::uint32_t* count, std::uint32_t* longestNameChars) override;
  RegStatus CountValues(RegHandle key, std::uint32_t* count) override;
  RegStatus EnumSubKey(RegHandle key, std::uint32_t index, std::uint32_t bufferChars, std::wstring* name) override;
  RegStatus DeleteKey(RegHandle base, const std::wstring& subKey) override;
  RegStatus CloseKey(RegHandle key) override;

 private:
  struct Node;
  using NodePtr = std::shared_ptr<Node>;

  NodePtr NodeOf(RegHandle h) const;
  NodePtr Find(const std::wstring& path) const;
  NodePtr Make(const std::wstring& path);
  bool Refused(Op op, const std::wstring& path) const;
  RegHandle NewHandle(NodePtr node);
  RegStatus Log(Op op, std::wstring path, std::uint32_t access, RegStatus status);

  NodePtr user_;
  NodePtr machine_;
  std::map<std::uintptr_t, NodePtr> open_;
  std::uintptr_t nextHandle_ = 0x1000;
  std::size_t badCloses_ = 0;
  std::vector<std::pair<Op, std::wstring>> refusals_;
  std::vector<Event> events_;
};

}  // namespace ferrune::testing
