#include "tests/shell/fake_registry.h"

#include <algorithm>
#include <cwctype>
#include <utility>

namespace ferrune::testing {
namespace {

// The platform's status codes.
constexpr RegStatus kFileNotFound = 2;
constexpr RegStatus kAccessDenied = 5;
constexpr RegStatus kInvalidHandle = 6;
constexpr RegStatus kInvalidParameter = 87;
constexpr RegStatus kBadPathname = 161;
constexpr RegStatus kMoreData = 234;
constexpr RegStatus kNoMoreItems = 259;
constexpr RegStatus kKeyDeleted = 1018;

constexpr std::uintptr_t kLocalMachineHandle = 0x80000002;
constexpr std::uintptr_t kCurrentUserHandle = 0x80000001;

std::wstring Lower(std::wstring_view s) {
  std::wstring out(s);
  for (wchar_t& c : out) c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
  return out;
}

bool SameName(std::wstring_view a, std::wstring_view b) { return Lower(a) == Lower(b); }

// Empty parts (a doubled or trailing backslash) make the result empty.
std::optional<std::vector<std::wstring>> Split(std::wstring_view path) {
  std::vector<std::wstring> parts;
  if (path.empty()) return parts;
  for (std::size_t start = 0;;) {
    const std::size_t end = path.find(L'\\', start);
    const std::wstring_view part = path.substr(start, end == std::wstring_view::npos ? end : end - start);
    if (part.empty()) return std::nullopt;
    parts.emplace_back(part);
    if (end == std::wstring_view::npos) return parts;
    start = end + 1;
  }
}

std::wstring Below(const std::wstring& base, const std::wstring& sub) {
  return sub.empty() ? base : base + L'\\' + sub;
}

}  // namespace

struct FakeRegistry::Node : std::enable_shared_from_this<Node> {
  std::wstring name;
  std::wstring path;
  std::optional<std::wstring> value;
  std::vector<NodePtr> children;  // in name order, ignoring case, as the platform lists them
  Node* parent = nullptr;
  bool deleted = false;

  NodePtr Child(std::wstring_view childName) const {
    for (const NodePtr& c : children)
      if (SameName(c->name, childName)) return c;
    return nullptr;
  }
  NodePtr AddChild(const std::wstring& childName) {
    auto child = std::make_shared<Node>();
    child->name = childName;
    child->path = path + L'\\' + childName;
    child->parent = this;
    const auto at = std::find_if(children.begin(), children.end(),
                                 [&](const NodePtr& c) { return Lower(c->name) > Lower(childName); });
    children.insert(at, child);
    return child;
  }
  // The node at sub below this one, made on the way when make is set.
  NodePtr Walk(std::wstring_view sub, bool make, RegStatus* status) {
    const auto parts = Split(sub);
    if (!parts) {
      *status = kBadPathname;
      return nullptr;
    }
    NodePtr at = shared_from_this();
    for (const std::wstring& part : *parts) {
      NodePtr next = at->Child(part);
      if (!next && make) next = at->AddChild(part);
      if (!next) {
        *status = kFileNotFound;
        return nullptr;
      }
      at = next;
    }
    *status = kRegOk;
    return at;
  }
};

FakeRegistry::FakeRegistry() : user_(std::make_shared<Node>()), machine_(std::make_shared<Node>()) {
  user_->name = user_->path = L"HKCU";
  machine_->name = machine_->path = L"HKLM";
}

FakeRegistry::~FakeRegistry() = default;

FakeRegistry::NodePtr FakeRegistry::Find(const std::wstring& path) const {
  const std::size_t cut = path.find(L'\\');
  const std::wstring root = path.substr(0, cut);
  const NodePtr base = SameName(root, L"HKCU") ? user_ : SameName(root, L"HKLM") ? machine_ : nullptr;
  if (!base) return nullptr;
  RegStatus status = kRegOk;
  return base->Walk(cut == std::wstring::npos ? L"" : std::wstring_view(path).substr(cut + 1), false, &status);
}

FakeRegistry::NodePtr FakeRegistry::Make(const std::wstring& path) {
  const std::size_t cut = path.find(L'\\');
  const NodePtr base = SameName(path.substr(0, cut), L"HKCU") ? user_ : machine_;
  RegStatus status = kRegOk;
  return base->Walk(cut == std::wstring::npos ? L"" : std::wstring_view(path).substr(cut + 1), true, &status);
}

void FakeRegistry::AddKey(const std::wstring& path) { Make(path); }

void FakeRegistry::SetValue(const std::wstring& path, const std::wstring& text) { Make(path)->value = text; }

bool FakeRegistry::Exists(const std::wstring& path) const { return Find(path) != nullptr; }

std::optional<std::wstring> FakeRegistry::Value(const std::wstring& path) const {
  const NodePtr node = Find(path);
  return node ? node->value : std::nullopt;
}

FakeRegistry::Snapshot FakeRegistry::Take() const {
  Snapshot snapshot;
  const std::function<void(const Node&)> add = [&](const Node& node) {
    snapshot[node.path] = node.value;
    for (const NodePtr& c : node.children) add(*c);
  };
  add(*user_);
  add(*machine_);
  return snapshot;
}

void FakeRegistry::Refuse(Op op, const std::wstring& path) { refusals_.emplace_back(op, Lower(path)); }

void FakeRegistry::RefuseAll(const std::wstring& path) {
  for (Op op : {Op::Open, Op::Create, Op::Write, Op::Delete}) Refuse(op, path);
}

bool FakeRegistry::Refused(Op op, const std::wstring& path) const {
  const std::wstring lower = Lower(path);
  for (const auto& [refusedOp, refusedPath] : refusals_) {
    if (refusedOp != op || lower.compare(0, refusedPath.size(), refusedPath) != 0) continue;
    if (lower.size() == refusedPath.size() || lower[refusedPath.size()] == L'\\') return true;
  }
  return false;
}

std::vector<std::wstring> FakeRegistry::Succeeded(Op op) const {
  std::vector<std::wstring> paths;
  for (const Event& e : events_)
    if (e.op == op && e.status == kRegOk) paths.push_back(e.path);
  return paths;
}

RegStatus FakeRegistry::Log(Op op, std::wstring path, std::uint32_t access, RegStatus status) {
  events_.push_back({op, std::move(path), access, status});
  return status;
}

FakeRegistry::NodePtr FakeRegistry::NodeOf(RegHandle h) const {
  const auto value = reinterpret_cast<std::uintptr_t>(h);
  if (value == kLocalMachineHandle) return machine_;
  if (value == kCurrentUserHandle) return user_;
  const auto it = open_.find(value);
  return it == open_.end() ? nullptr : it->second;
}

RegHandle FakeRegistry::NewHandle(NodePtr node) {
  const std::uintptr_t value = nextHandle_;
  nextHandle_ += 4;
  open_.emplace(value, std::move(node));
  return reinterpret_cast<RegHandle>(value);
}

RegHandle FakeRegistry::Root(RootKey which) {
  return reinterpret_cast<RegHandle>(which == RootKey::CurrentUser ? kCurrentUserHandle : kLocalMachineHandle);
}

RegStatus FakeRegistry::OpenKey(RegHandle base, const std::wstring& subKey, std::uint32_t access, RegHandle* key) {
  *key = nullptr;
  const NodePtr from = NodeOf(base);
  if (!from) return Log(Op::Open, subKey, access, kInvalidHandle);
  const std::wstring path = Below(from->path, subKey);
  if (from->deleted) return Log(Op::Open, path, access, kKeyDeleted);
  RegStatus status = kRegOk;
  NodePtr target = from->Walk(subKey, false, &status);
  if (!target) return Log(Op::Open, path, access, status);
  if (Refused(Op::Open, target->path)) return Log(Op::Open, target->path, access, kAccessDenied);
  *key = NewHandle(target);
  return Log(Op::Open, target->path, access, kRegOk);
}

RegStatus FakeRegistry::CreateKey(RegHandle base, const std::wstring& subKey, std::uint32_t access, RegHandle* key) {
  *key = nullptr;
  const NodePtr from = NodeOf(base);
  if (!from) return Log(Op::Create, subKey, access, kInvalidHandle);
  const std::wstring path = Below(from->path, subKey);
  if (from->deleted) return Log(Op::Create, path, access, kKeyDeleted);
  // Creating over an existing key opens it, with the same rights.
  if (Refused(Op::Create, path) || Refused(Op::Open, path)) return Log(Op::Create, path, access, kAccessDenied);
  RegStatus status = kRegOk;
  NodePtr target = from->Walk(subKey, true, &status);
  if (!target) return Log(Op::Create, path, access, status);
  *key = NewHandle(target);
  return Log(Op::Create, target->path, access, kRegOk);
}

RegStatus FakeRegistry::SetDefaultString(RegHandle key, const std::wstring& text) {
  const NodePtr node = NodeOf(key);
  if (!node) return Log(Op::Write, L"", 0, kInvalidHandle);
  if (node->deleted) return Log(Op::Write, node->path, 0, kKeyDeleted);
  if (Refused(Op::Write, node->path)) return Log(Op::Write, node->path, 0, kAccessDenied);
  node->value = text;
  return Log(Op::Write, node->path, 0, kRegOk);
}

RegStatus FakeRegistry::QuerySubKeys(RegHandle key, std::uint32_t* count, std::uint32_t* longestNameChars) {
  const NodePtr node = NodeOf(key);
  if (!node) return kInvalidHandle;
  if (node->deleted) return kKeyDeleted;
  std::size_t longest = 0;
  for (const NodePtr& c : node->children) longest = std::max(longest, c->name.size());
  *count = static_cast<std::uint32_t>(node->children.size());
  *longestNameChars = static_cast<std::uint32_t>(longest);
  return kRegOk;
}

RegStatus FakeRegistry::CountValues(RegHandle key, std::uint32_t* count) {
  const NodePtr node = NodeOf(key);
  if (!node) return kInvalidHandle;
  if (node->deleted) return kKeyDeleted;
  *count = node->value ? 1 : 0;
  return kRegOk;
}

RegStatus FakeRegistry::EnumSubKey(RegHandle key, std::uint32_t index, std::uint32_t bufferChars, std::wstring* name) {
  if (onEnum) onEnum();
  const NodePtr node = NodeOf(key);
  if (!node) return kInvalidHandle;
  if (node->deleted) return kKeyDeleted;
  if (index >= node->children.size()) return kNoMoreItems;
  const std::wstring& found = node->children[index]->name;
  if (found.size() + 1 > bufferChars) return kMoreData;
  *name = found;
  return kRegOk;
}

RegStatus FakeRegistry::DeleteKey(RegHandle base, const std::wstring& subKey) {
  const NodePtr from = NodeOf(base);
  if (!from) return Log(Op::Delete, subKey, 0, kInvalidHandle);
  const std::wstring path = Below(from->path, subKey);
  if (subKey.empty()) return Log(Op::Delete, path, 0, kInvalidParameter);
  if (from->deleted) return Log(Op::Delete, path, 0, kKeyDeleted);
  RegStatus status = kRegOk;
  const NodePtr target = from->Walk(subKey, false, &status);
  if (!target) return Log(Op::Delete, path, 0, status);
  // The platform deletes no subtree in one call.
  if (Refused(Op::Delete, target->path) || !target->children.empty())
    return Log(Op::Delete, target->path, 0, kAccessDenied);
  auto& siblings = target->parent->children;
  siblings.erase(std::find(siblings.begin(), siblings.end(), target));
  target->deleted = true;
  target->parent = nullptr;
  return Log(Op::Delete, target->path, 0, kRegOk);
}

RegStatus FakeRegistry::CloseKey(RegHandle key) {
  const auto value = reinterpret_cast<std::uintptr_t>(key);
  if (value == kLocalMachineHandle || value == kCurrentUserHandle) return kRegOk;
  if (open_.erase(value) == 1) return kRegOk;
  ++badCloses_;
  return kInvalidHandle;
}

}  // namespace ferrune::testing
