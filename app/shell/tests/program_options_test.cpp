#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/shell/program_options.h"

namespace kqa::shell {
namespace {

TEST(ProgramOptions, DeviceStateAndPageLetters) {
  const std::vector<std::string> arguments = {"--device", "socket:/run/kqa.sock", "-f",
                                              "--state=chip.kqastate", "pi", "--environment",
                                              "air.env", "--seed=9", "--timing", "usb2"};
  ProgramOptions options;
  std::string error;
  ASSERT_TRUE(ParseProgramOptions(arguments, options, error)) << error;
  EXPECT_EQ(options.device, "socket:/run/kqa.sock");
  EXPECT_EQ(options.stateFile, "chip.kqastate");
  EXPECT_EQ(options.environmentFile, "air.env");
  EXPECT_EQ(options.seed, "9");
  EXPECT_EQ(options.timing, "usb2");
  EXPECT_EQ(options.pageParameters, (std::vector<std::string>{"-f", "pi"}));
  EXPECT_EQ(options.pageFlags, (PageFlags{.fftPages = true, .papdPage = true, .iqCalPage = true}));
  EXPECT_FALSE(options.help);
}

TEST(ProgramOptions, LettersFPAndIAddTheOptionalPages) {
  PageFlags flags;
  ApplyCommandLineParameter(flags, "xq");
  EXPECT_FALSE(flags.fftPages || flags.papdPage || flags.iqCalPage);

  ApplyCommandLineParameter(flags, "-f");
  EXPECT_TRUE(flags.fftPages);
  EXPECT_FALSE(flags.papdPage);

  ApplyCommandLineParameter(flags, "/pi");
  EXPECT_TRUE(flags.papdPage);
  EXPECT_TRUE(flags.iqCalPage);
  EXPECT_TRUE(flags.fftPages);  // never cleared
}

TEST(ProgramOptions, RefusesWhatItCannotUse) {
  ProgramOptions options;
  std::string error;
  const std::vector<std::string> missing = {"--device"};
  EXPECT_FALSE(ParseProgramOptions(missing, options, error));
  EXPECT_EQ(error, "--device needs a value");
  const std::vector<std::string> unknown = {"--fft"};
  EXPECT_FALSE(ParseProgramOptions(unknown, options, error));
  EXPECT_EQ(error, "unknown option --fft");
  const std::vector<std::string> empty = {"--state="};
  EXPECT_FALSE(ParseProgramOptions(empty, options, error));
  EXPECT_EQ(error, "--state needs a value");
}

}  // namespace
}  // namespace kqa::shell
