// The plug-in's registry of resettable and message-receiving objects, and
// ZeroObject, the base through which followers, meters and controls join it.
//
// A member may name a reset target (a double that a reset sets to 0) and a
// reset group. Resets clear meters by group; status texts go to every member
// (message lines pick them up, everyone else ignores them). Each plug-in
// instance owns its own registry, so two instances never clear each other.
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <string>

namespace tessaro {

// Reset groups.
inline constexpr int kResetGroupAll = 10;         // wildcard in requests
inline constexpr int kResetGroupMeters = 12;      // every follower by default
inline constexpr int kResetGroupOutputPeak = 13;  // fast output peaks and numeric readouts
inline constexpr int kResetGroupAutoGain = 14;    // the automatic-gain followers

class ZeroObject;

// Membership lives in a fixed array of atomic slots sized at construction,
// so a reset request may come from any thread (the audio thread sends one at
// the end of a trim-learning run) without locking or allocating, even while
// another thread joins or leaves. Members are destroyed only when no other
// thread can send a request (with the plug-in or its editor).
class ZeroRegistry {
 public:
  // "Reset group" and "reset all but group", as numbered in the message set.
  static constexpr int kMessageResetGroup = 29;
  static constexpr int kMessageResetAllButGroup = 30;
  static constexpr int kDefaultCapacity = 1024;

  // Allocates the slots.
  explicit ZeroRegistry(int capacity = kDefaultCapacity);
  // Members still registered are detached (they keep working without one).
  ~ZeroRegistry();
  ZeroRegistry(const ZeroRegistry&) = delete;
  ZeroRegistry& operator=(const ZeroRegistry&) = delete;

  // Adds the object, taking it out of any other registry; joining twice has
  // no effect. False when the registry is full. Any thread; never allocates.
  bool Join(ZeroObject* object) noexcept;
  // Removes the object if it is a member. Any thread; never allocates.
  void Leave(ZeroObject* object) noexcept;
  bool Contains(const ZeroObject* object) const noexcept;
  int Count() const noexcept;
  int Capacity() const noexcept { return capacity_; }

  // Writes 0.0 through the reset target of every member of group g, or of
  // every member when g is the wildcard 10. Any thread; never allocates.
  void ResetGroup(int group) noexcept;
  // Writes 0.0 through the reset target of every member outside group g
  // (every member when g is 10). Any thread; never allocates.
  void ResetAllButGroup(int group) noexcept;
  // Hands the text to every member's ReceiveStatusText, in the order the
  // texts were posted. Members receive a copy, so a member may post its own
  // text or replace the string the text came from. A text posted while one
  // is being handed out follows it; a chain of more than kMaxChainedTexts
  // such texts is cut off, so two members answering each other cannot loop.
  // Editor thread; allocates.
  void PostStatusText(const char* text);
  static constexpr int kMaxChainedTexts = 16;

 private:
  std::unique_ptr<std::atomic<ZeroObject*>[]> slots_;
  int capacity_;
  // One past the highest slot ever used; requests scan only up to here.
  std::atomic<int> used_{0};
  // Status texts waiting while another is handed out (editor thread only).
  std::deque<std::string> pendingTexts_;
  bool posting_ = false;
};

// Base of every object that takes part in the registry. Not copyable: the
// registry and the reset target both refer to this very object.
class ZeroObject {
 public:
  ZeroObject() = default;
  // Joins the registry at once (when not null).
  explicit ZeroObject(ZeroRegistry* registry);
  // Leaves the registry.
  virtual ~ZeroObject();
  ZeroObject(const ZeroObject&) = delete;
  ZeroObject& operator=(const ZeroObject&) = delete;

  // Joins the registry (leaving any other one first); joining the same
  // registry again has no effect. Set-up time, any thread; never allocates.
  bool JoinRegistry(ZeroRegistry* registry) noexcept;
  void LeaveRegistry() noexcept;
  ZeroRegistry* Registry() const noexcept { return registry_; }

  // The double a registry reset sets to 0 (none by default). Set-up time.
  void SetResetTarget(double* target) noexcept { resetTarget_ = target; }
  double* ResetTarget() const noexcept { return resetTarget_; }
  void SetResetGroup(int group) noexcept { resetGroup_ = group; }
  int GetResetGroup() const noexcept { return resetGroup_; }

  // Requests sent through this object's registry; nothing without one.
  // Any thread; never allocate.
  void ResetGroup(int group) const noexcept;
  void ResetAllButGroup(int group) const noexcept;
  // Posts a status text to every member of the registry. Editor thread.
  void PostStatusText(const char* text) const;

  // Receives every posted status text; message lines override it, the text
  // is only valid during the call. Editor thread.
  virtual void ReceiveStatusText(const char* text);

 private:
  friend class ZeroRegistry;

  ZeroRegistry* registry_ = nullptr;
  // Written with a plain store by resets from the editor thread while the
  // audio thread may be updating the same value: a lost or torn reset shows
  // for one meter frame at most, which is accepted.
  double* resetTarget_ = nullptr;
  int resetGroup_ = kResetGroupMeters;
};

}  // namespace tessaro
