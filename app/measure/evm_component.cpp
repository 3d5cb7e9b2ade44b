#include "app/measure/evm_component.h"

#include <dlfcn.h>

#include <cmath>
#include <cstdio>

#include "platform/prompt/file_dialog.h"

namespace kqa::measure {
namespace {

void* OpenLibrary(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }

std::string Number(std::optional<double> evm) {
  if (!evm) return "no frame";
  char text[64];
  std::snprintf(text, sizeof text, "%.6f dB", *evm);
  return text;
}

}  // namespace

std::unique_ptr<EvmComponent> EvmComponent::Load(std::string_view name) {
  const std::string library(name);
  void* handle = nullptr;
  if (library.find('/') == std::string::npos) handle = OpenLibrary(ProgramFolder() + "/" + library);
  if (handle == nullptr) handle = OpenLibrary(library);
  if (handle == nullptr) return nullptr;
  void* symbol = dlsym(handle, std::string(kEvmFunctionName).c_str());
  if (symbol == nullptr) {
    dlclose(handle);
    return nullptr;
  }
  return std::unique_ptr<EvmComponent>(new EvmComponent(handle, reinterpret_cast<Function>(symbol)));
}

EvmComponent::~EvmComponent() { dlclose(handle_); }

std::optional<double> EvmComponent::measure(std::span<const std::int32_t, kSampleCount> real,
                                            std::span<const std::int32_t, kSampleCount> imag) const {
  const double evm = function_(real.data(), imag.data());
  if (std::isnan(evm)) return std::nullopt;
  return evm;
}

std::string FormatEvmText(std::optional<double> path0) { return Number(path0); }

std::string FormatEvmText(std::optional<double> path0, std::optional<double> path1) {
  return "R0 " + Number(path0) + " / R1 " + Number(path1);
}

}  // namespace kqa::measure
