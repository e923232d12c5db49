#include "meters/ZeroObject.h"

#include <algorithm>

namespace tessaro {

ZeroRegistry::ZeroRegistry(int capacity)
    : slots_(new std::atomic<ZeroObject*>[static_cast<std::size_t>(std::max(capacity, 1))]),
      capacity_(std::max(capacity, 1)) {
  for (int i = 0; i < capacity_; ++i) slots_[i].store(nullptr, std::memory_order_relaxed);
}

ZeroRegistry::~ZeroRegistry() {
  const int used = used_.load(std::memory_order_acquire);
  for (int i = 0; i < used; ++i) {
    ZeroObject* object = slots_[i].exchange(nullptr, std::memory_order_acq_rel);
    if (object != nullptr && object->registry_ == this) object->registry_ = nullptr;
  }
}

bool ZeroRegistry::Join(ZeroObject* object) noexcept {
  if (object == nullptr) return false;
  if (object->registry_ == this) return true;
  if (object->registry_ != nullptr) object->registry_->Leave(object);
  for (int i = 0; i < capacity_; ++i) {
    ZeroObject* expected = nullptr;
    if (slots_[i].compare_exchange_strong(expected, object, std::memory_order_acq_rel)) {
      int used = used_.load(std::memory_order_relaxed);
      while (used < i + 1 && !used_.compare_exchange_weak(used, i + 1, std::memory_order_release,
                                                          std::memory_order_relaxed)) {
      }
      object->registry_ = this;
      return true;
    }
  }
  return false;
}

void ZeroRegistry::Leave(ZeroObject* object) noexcept {
  if (object == nullptr) return;
  const int used = used_.load(std::memory_order_acquire);
  for (int i = 0; i < used; ++i) {
    ZeroObject* expected = object;
    slots_[i].compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
  }
  if (object->registry_ == this) object->registry_ = nullptr;
}

bool ZeroRegistry::Contains(const ZeroObject* object) const noexcept {
  const int used = used_.load(std::memory_order_acquire);
  for (int i = 0; i < used; ++i) {
    if (object != nullptr && slots_[i].load(std::memory_order_acquire) == object) return true;
  }
  return false;
}

int ZeroRegistry::Count() const noexcept {
  const int used = used_.load(std::memory_order_acquire);
  int count = 0;
  for (int i = 0; i < used; ++i) {
    if (slots_[i].load(std::memory_order_acquire) != nullptr) ++count;
  }
  return count;
}

void ZeroRegistry::ResetGroup(int group) noexcept {
  const int used = used_.load(std::memory_order_acquire);
  for (int i = 0; i < used; ++i) {
    ZeroObject* object = slots_[i].load(std::memory_order_acquire);
    if (object == nullptr) continue;
    double* target = object->resetTarget_;
    if (target != nullptr && (object->resetGroup_ == group || group == kResetGroupAll)) *target = 0.0;
  }
}

void ZeroRegistry::ResetAllButGroup(int group) noexcept {
  const int used = used_.load(std::memory_order_acquire);
  for (int i = 0; i < used; ++i) {
    ZeroObject* object = slots_[i].load(std::memory_order_acquire);
    if (object == nullptr) continue;
    double* target = object->resetTarget_;
    if (target != nullptr && (object->resetGroup_ != group || group == kResetGroupAll)) *target = 0.0;
  }
}

void ZeroRegistry::PostStatusText(const char* text) {
  if (text == nullptr) return;
  if (posting_) {
    if (static_cast<int>(pendingTexts_.size()) < kMaxChainedTexts) pendingTexts_.emplace_back(text);
    return;
  }
  posting_ = true;
  int delivered = 0;
  std::string current(text);
  for (;;) {
    const int used = used_.load(std::memory_order_acquire);
    for (int i = 0; i < used; ++i) {
      ZeroObject* object = slots_[i].load(std::memory_order_acquire);
      if (object != nullptr) object->ReceiveStatusText(current.c_str());
    }
    if (pendingTexts_.empty() || ++delivered > kMaxChainedTexts) break;
    current = std::move(pendingTexts_.front());
    pendingTexts_.pop_front();
  }
  pendingTexts_.clear();
  posting_ = false;
}

ZeroObject::ZeroObject(ZeroRegistry* registry) { JoinRegistry(registry); }

ZeroObject::~ZeroObject() { LeaveRegistry(); }

bool ZeroObject::JoinRegistry(ZeroRegistry* registry) noexcept {
  if (registry == nullptr) {
    LeaveRegistry();
    return false;
  }
  return registry->Join(this);
}

void ZeroObject::LeaveRegistry() noexcept {
  if (registry_ != nullptr) registry_->Leave(this);
}

void ZeroObject::ResetGroup(int group) const noexcept {
  if (registry_ != nullptr) registry_->ResetGroup(group);
}

void ZeroObject::ResetAllButGroup(int group) const noexcept {
  if (registry_ != nullptr) registry_->ResetAllButGroup(group);
}

void ZeroObject::PostStatusText(const char* text) const {
  if (registry_ != nullptr) registry_->PostStatusText(text);
}

void ZeroObject::ReceiveStatusText(const char*) {}

}  // namespace tessaro
