#include "platform/component.h"

#include <algorithm>

namespace telvora::platform {
namespace {

bool SameTextAscii(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

}  // namespace

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner != nullptr) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  destroying_ = true;
  if (owner_ != nullptr) {
    // The owner and the siblings learn of the removal while this object is
    // still whole enough to be compared by address.
    owner_->Notification(this, TOperation::opRemove);
    for (TComponent* sibling : owner_->components_) {
      if (sibling != this) sibling->Notification(this, TOperation::opRemove);
    }
    owner_->RemoveComponent(this);
  }
  // Owned components go last-added first; each one takes itself out.
  while (!components_.empty()) delete components_.back();
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_) {
    if (SameTextAscii(c->name_, name)) return c;
  }
  return nullptr;
}

void TComponent::Notification(TComponent* /*AComponent*/, TOperation /*Operation*/) {}

void TComponent::InsertComponent(TComponent* component) {
  component->owner_ = this;
  components_.push_back(component);
  Notification(component, TOperation::opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  auto it = std::find(components_.begin(), components_.end(), component);
  if (it != components_.end()) components_.erase(it);
  component->owner_ = nullptr;
}

}  // namespace telvora::platform
