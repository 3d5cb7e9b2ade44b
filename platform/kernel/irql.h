#pragma once

namespace kqa::kernel {

// Interrupt request levels, reduced to what the driver's rules need: code runs
// at passive level unless it is a completion routine or holds a spin lock, in
// which case it runs at dispatch level and must neither wait nor call the USB
// stack synchronously. The level is per thread.
enum class Irql { Passive, Dispatch };

Irql CurrentIrql();  // KeGetCurrentIrql
inline bool AtDispatchLevel() { return CurrentIrql() == Irql::Dispatch; }

// Raise and lower the calling thread's level; raises nest.
void RaiseToDispatchLevel();
void LowerFromDispatchLevel();

// Raises the calling thread to dispatch level for the scope's lifetime; the
// driver wraps every completion routine in one.
class DispatchLevelScope {
 public:
  DispatchLevelScope() { RaiseToDispatchLevel(); }
  ~DispatchLevelScope() { LowerFromDispatchLevel(); }
  DispatchLevelScope(const DispatchLevelScope&) = delete;
  DispatchLevelScope& operator=(const DispatchLevelScope&) = delete;
};

// KeBugCheckEx: a broken kernel rule stops everything, loudly.
[[noreturn]] void BugCheck(const char* what);

// Bug-checks when called at dispatch level (a wait there would deadlock the
// thread that has to complete it).
void RequirePassiveLevel(const char* operation);

}  // namespace kqa::kernel
