// The component's export: what the FFT page finds by name.
#include <limits>

#include "app/measure/evm/rx_evm.h"

extern "C" __attribute__((visibility("default"))) double fnRXEVM(const std::int32_t* real,
                                                                 const std::int32_t* imag) {
  if (real == nullptr || imag == nullptr) return std::numeric_limits<double>::quiet_NaN();
  const kqa::evm::RxEvmReport report = kqa::evm::AnalyzeRxEvm(
      std::span(real, kqa::evm::kRxEvmSamples), std::span(imag, kqa::evm::kRxEvmSamples));
  return report.frame ? report.evmDb : std::numeric_limits<double>::quiet_NaN();
}
