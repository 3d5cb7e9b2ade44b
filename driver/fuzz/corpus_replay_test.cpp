// Replays the committed fuzz corpus through the fuzz entry in every build,
// so that what the fuzzer once found keeps being exercised.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "driver/fuzz/dispatch_fuzz.h"

namespace kqa::driver::fuzz {
namespace {

TEST(DispatchFuzzCorpusTest, EveryCorpusInputRunsCleanly) {
  const std::filesystem::path corpus(KQA_FUZZ_CORPUS_DIR);
  ASSERT_TRUE(std::filesystem::is_directory(corpus)) << corpus;
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream file(entry.path(), std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    SCOPED_TRACE(entry.path().filename().string());
    EXPECT_EQ(FuzzDispatch(bytes.data(), bytes.size()), 0);
    ++inputs;
  }
  EXPECT_GT(inputs, 0);
}

}  // namespace
}  // namespace kqa::driver::fuzz
