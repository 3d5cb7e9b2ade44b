#include "platform/kernel/irql.h"

#include <cstdio>
#include <cstdlib>

namespace kqa::kernel {
namespace {

thread_local int dispatchDepth = 0;

}  // namespace

Irql CurrentIrql() { return dispatchDepth > 0 ? Irql::Dispatch : Irql::Passive; }

void RaiseToDispatchLevel() { ++dispatchDepth; }
void LowerFromDispatchLevel() { --dispatchDepth; }

void BugCheck(const char* what) {
  std::fprintf(stderr, "kestrelqa-usb: bug check: %s\n", what);
  std::fflush(stderr);
  std::abort();
}

void RequirePassiveLevel(const char* operation) {
  if (AtDispatchLevel()) {
    std::fprintf(stderr, "kestrelqa-usb: %s called at dispatch level\n", operation);
    BugCheck("IRQL_NOT_LESS_OR_EQUAL");
  }
}

}  // namespace kqa::kernel
