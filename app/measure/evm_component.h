#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/measure/capture_samples.h"

namespace kqa::measure {

inline constexpr std::string_view kEvmLibraryName = "libkestrelqa-evm.so";
inline constexpr std::string_view kEvmFunctionName = "fnRXEVM";

// The receive-EVM component, loaded at run time by name like the page has
// always done: a shared library exporting
//   double fnRXEVM(const int32_t* real, const int32_t* imag)
// (8192 parts each; the RMS EVM in dB, NaN when it found no frame). A
// missing library or function means no EVM; the page then leaves its EVM
// text as it was. Loaded when a capture run starts, released when it ends.
class EvmComponent {
 public:
  using Function = double (*)(const std::int32_t* real, const std::int32_t* imag);

  // `name` is looked for beside the program first (its executable's folder),
  // then where the dynamic loader looks (its run path, LD_LIBRARY_PATH, the
  // system's folders). A name with a '/' is taken as a path. Null when
  // neither the library nor the function is there.
  static std::unique_ptr<EvmComponent> Load(std::string_view name = kEvmLibraryName);

  ~EvmComponent();
  EvmComponent(const EvmComponent&) = delete;
  EvmComponent& operator=(const EvmComponent&) = delete;

  // The component's answer; nullopt for "no frame" (NaN).
  std::optional<double> measure(std::span<const std::int32_t, kSampleCount> real,
                                std::span<const std::int32_t, kSampleCount> imag) const;

 private:
  EvmComponent(void* handle, Function function) : handle_(handle), function_(function) {}

  void* handle_;
  Function function_;
};

// The EVM text the page shows in time-domain captures: "%.6f dB" for one
// receive path, "R0 %.6f dB / R1 %.6f dB" for two; "no frame" where the
// component found none.
std::string FormatEvmText(std::optional<double> path0);
std::string FormatEvmText(std::optional<double> path0, std::optional<double> path1);

}  // namespace kqa::measure
