#pragma once
// The component model shared by the dataset, telephony and window layers:
// components with an owner that destroys them, properties written as a
// getter and a setter (`LineActive()` / `SetLineActive(bool)`), and events
// that are raised only when assigned.
//
// Ownership: a component created with an owner is added to the owner's list
// and destroyed by the owner's destructor, last added first; a component
// destroyed earlier takes itself out of the list. Before a component goes,
// every component of its owner is told through Notification(opRemove), so
// that references to it can be cleared.
//
// Threads: a component belongs to the thread that created it.

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace telvora::platform {

enum class TOperation { opInsert, opRemove };

class TComponent {
 public:
  explicit TComponent(TComponent* AOwner);
  virtual ~TComponent();
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  void SetName(const std::string& value) { name_ = value; }

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const { return components_.at(static_cast<std::size_t>(index)); }
  // Finds an owned component by name, without regard to ASCII case.
  TComponent* FindComponent(const std::string& name) const;

  // True from the start of the destructor on.
  bool Destroying() const { return destroying_; }

 protected:
  // Called on every component of the owner when a sibling is added or about
  // to be destroyed (and on the owner itself).
  virtual void Notification(TComponent* AComponent, TOperation Operation);

 private:
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);

  TComponent* owner_ = nullptr;
  std::string name_;
  std::vector<TComponent*> components_;
  bool destroying_ = false;
};

// An event property: holds a callable, raised only when one is assigned.
// Raising an unassigned event does nothing and returns a default value.
template <typename Signature>
class TEvent;

template <typename R, typename... Args>
class TEvent<R(Args...)> {
 public:
  using Handler = std::function<R(Args...)>;

  TEvent() = default;
  TEvent& operator=(Handler handler) {
    handler_ = std::move(handler);
    return *this;
  }
  TEvent& operator=(std::nullptr_t) {
    handler_ = nullptr;
    return *this;
  }
  bool Assigned() const { return static_cast<bool>(handler_); }
  explicit operator bool() const { return Assigned(); }

  R operator()(Args... args) const {
    if (!handler_) return R();
    return handler_(std::forward<Args>(args)...);
  }

 private:
  Handler handler_;
};

}  // namespace telvora::platform
