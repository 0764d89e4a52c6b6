#include "shell/registry_object.h"

#include <utility>

#include "shell/registry_error.h"

namespace ferrune {
namespace {

std::wstring Join(std::wstring_view head, std::wstring_view tail) {
  std::wstring joined(head);
  if (!joined.empty() && !tail.empty()) joined += L'\\';
  joined += tail;
  return joined;
}

}  // namespace

RegistryObject::ScopedCurrent::ScopedCurrent(RegistryObject& self, OwnedKey& key, std::wstring& path) noexcept
    : self_(self), key_(key), path_(path) {
  std::swap(self_.current_, key_);
  std::swap(self_.currentPath_, path_);
}

RegistryObject::ScopedCurrent::~ScopedCurrent() {
  std::swap(self_.current_, key_);
  std::swap(self_.currentPath_, path_);
}

RegistryObject::RegistryObject(RegistryApi& api, RegistryRoot root)
    : api_(&api), root_(api.Root(root.key)), prefix_(root.prefix) {}

RegistryObject::Resolved RegistryObject::Resolve(std::wstring_view path) const {
  if (!path.empty() && path.front() == L'\\') {
    path.remove_prefix(1);
    return {root_, Join(prefix_, path), std::wstring(path)};
  }
  if (current_) return {current_.get(), std::wstring(path), Join(currentPath_, path)};
  return {root_, Join(prefix_, path), std::wstring(path)};
}

bool RegistryObject::OpenKey(std::wstring_view path, bool create) {
  Resolved r = Resolve(path);
  const bool creating = create && !path.empty() && path != L"\\";
  RegHandle opened = nullptr;
  const RegStatus status = creating ? api_->CreateKey(r.base, r.subKey, kKeyAllAccess, &opened)
                                    : api_->OpenKey(r.base, r.subKey, kKeyAllAccess, &opened);
  if (status != kRegOk) return false;
  current_ = OwnKey(*api_, opened);
  currentPath_ = std::move(r.path);
  return true;
}

bool RegistryObject::DeleteKey(std::wstring_view path) {
  const Resolved r = Resolve(path);
  RegHandle opened = nullptr;
  if (api_->OpenKey(r.base, r.subKey, kKeyAllAccess, &opened) == kRegOk) {
    OwnedKey target = OwnKey(*api_, opened);
    std::wstring targetPath = r.path;
    // The target is current while its subkeys go, so their relative names
    // resolve below it; the remembered key comes back however this ends.
    ScopedCurrent scope(*this, target, targetPath);
    DeleteSubtreeOf(opened);
  }
  return api_->DeleteKey(r.base, r.subKey) == kRegOk;
}

bool RegistryObject::DeleteKeyIfEmpty(std::wstring_view path) {
  const Resolved r = Resolve(path);
  RegHandle opened = nullptr;
  if (api_->OpenKey(r.base, r.subKey, kKeyAllAccess, &opened) != kRegOk) return false;
  std::uint32_t subKeys = 0;
  std::uint32_t longest = 0;
  std::uint32_t values = 0;
  {
    const OwnedKey target = OwnKey(*api_, opened);
    if (api_->QuerySubKeys(opened, &subKeys, &longest) != kRegOk || api_->CountValues(opened, &values) != kRegOk)
      return false;
  }
  return subKeys == 0 && values == 0 && api_->DeleteKey(r.base, r.subKey) == kRegOk;
}

void RegistryObject::DeleteSubtreeOf(RegHandle target) {
  std::uint32_t count = 0;
  std::uint32_t longest = 0;
  if (api_->QuerySubKeys(target, &count, &longest) != kRegOk) return;
  // Highest index first, so the lower indexes stay where they were.
  for (std::uint32_t i = count; i-- > 0;) {
    std::wstring name;
    // An empty name would resolve to the target itself and never end.
    if (api_->EnumSubKey(target, i, longest + 1, &name) != kRegOk || name.empty()) continue;
    DeleteKey(name);
  }
}

void RegistryObject::WriteDefaultString(const std::wstring& text) {
  if (!current_ || api_->SetDefaultString(current_.get(), text) != kRegOk)
    throw RegistryError(SetDataFailedMessage(""));
}

}  // namespace ferrune
