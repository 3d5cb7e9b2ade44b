#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/device/startup.h"
#include "app/device/tests/fake_device.h"

namespace kqa::device {
namespace {

using testing::TestBed;

class Startup : public ::testing::Test {
 protected:
  Startup() {
    options.eepromFile = ::testing::TempDir() + "kqa-eeprom-" +
                         ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".bin";
  }
  ~Startup() override { std::filesystem::remove(options.eepromFile); }

  void WriteImageFile(std::size_t size) {
    std::ofstream file(options.eepromFile, std::ios::binary);
    for (std::size_t i = 0; i < size; ++i) file.put(static_cast<char>(i * 7));
  }

  StartupOptions options;
  TestBed bed;
};

TEST_F(Startup, AKestrelWithAnEfuseAndAnImageFileWorksOnTheImage) {
  bed.chip.mac[0x0000] = 0x5EC70000;
  bed.chip.firmwareMode = 0x6;  // low bits 2: the eFuse
  WriteImageFile(600);
  bed.memoryMode.eepromImage[600] = 0xAA;
  const StartupReport report = RunDeviceStartup(bed.device, bed.memoryMode, bed.channels, options);
  EXPECT_TRUE(report.deviceOpen);
  EXPECT_TRUE(report.eepromFileRead);
  EXPECT_EQ(report.backEnd, ConfigMemoryBackEnd::Buffer);
  EXPECT_TRUE(bed.memoryMode.efuseMode);
  EXPECT_EQ(bed.memoryMode.eepromImage[599], static_cast<std::uint8_t>(599 * 7));
  EXPECT_EQ(bed.memoryMode.eepromImageSize, 600u);   // the image is what the file holds
  EXPECT_EQ(bed.memoryMode.eepromImage[600], 0xAA);  // the rest is left alone
  EXPECT_EQ(bed.device.asicVersion, 0x5EC70000u);
  EXPECT_EQ(bed.device.txwiSize, 20u);
  EXPECT_EQ(bed.device.rxHeaderSize, 32u);
  EXPECT_EQ(bed.memoryMode.efuseAreaStart, 480);
  EXPECT_EQ(bed.memoryMode.efuseAreaSize, 29);
  EXPECT_EQ(bed.channels.channelNameTable[9], "  10  2457-MHz");
  EXPECT_TRUE(bed.prompt.events().empty());
}

// The image is never padded or cut: a file of another size is named and
// the program works on the eFuse.
TEST_F(Startup, AnImageFileOfTheWrongSizeIsRefusedWithItsSize) {
  bed.chip.firmwareMode = 0x2;
  for (const auto& [size, words] : {std::pair<std::size_t, const char*>{10, "holds 10 bytes"},
                                    {2048, "holds more than 1024 bytes"}}) {
    WriteImageFile(size);
    bed.prompt.clear();
    const StartupReport report = RunDeviceStartup(bed.device, bed.memoryMode, bed.channels, options);
    EXPECT_EQ(report.backEnd, ConfigMemoryBackEnd::Efuse);
    EXPECT_FALSE(bed.memoryMode.eepromFileLoaded);
    EXPECT_EQ(bed.prompt.messages(),
              std::vector<std::string>{"The EEPROM image file " + options.eepromFile + " " + words +
                                       "; an image holds 512 to 1024 bytes. Read from eFuse..."});
  }
  std::filesystem::remove(options.eepromFile);
  bed.prompt.clear();
  RunDeviceStartup(bed.device, bed.memoryMode, bed.channels, options);
  EXPECT_EQ(bed.prompt.messages(), std::vector<std::string>{"EEPROM File not found!Read from eFuse..."});

  // Without an image file name the eFuse is used without a word.
  bed.prompt.clear();
  EXPECT_EQ(RunDeviceStartup(bed.device, bed.memoryMode, bed.channels, StartupOptions{.eepromFile = ""}).backEnd, ConfigMemoryBackEnd::Efuse);
  EXPECT_TRUE(bed.prompt.events().empty());
}

TEST_F(Startup, AnExternalEepromIgnoresTheImageFile) {
  WriteImageFile(16);
  bed.chip.firmwareMode = 0x1;
  const StartupReport report = RunDeviceStartup(bed.device, bed.memoryMode, bed.channels, options);
  EXPECT_EQ(report.backEnd, ConfigMemoryBackEnd::Eeprom);
  EXPECT_FALSE(bed.memoryMode.efuseMode);
  EXPECT_FALSE(bed.memoryMode.eepromFileLoaded);
  EXPECT_EQ(bed.memoryMode.eepromImage[1], 0);

  // A failed read of the eFuse register is no sign of an eFuse.
  TestBed failing;
  failing.chip.failingMacReads = {0x24};
  EXPECT_EQ(RunDeviceStartup(failing.device, failing.memoryMode, failing.channels, options).backEnd, ConfigMemoryBackEnd::Eeprom);
}

TEST_F(Startup, WithoutADeviceStartUpCarriesOnWithDefaults) {
  bed.chip.present = false;
  WriteImageFile(16);
  EXPECT_FALSE(RunDeviceStartup(bed.device, bed.memoryMode, bed.channels, options).deviceOpen);
  EXPECT_FALSE(bed.memoryMode.efuseMode || bed.memoryMode.bufferMode);
  EXPECT_EQ(bed.device.txwiSize, 16u);
  EXPECT_EQ(bed.device.rxHeaderSize, 24u);
  EXPECT_TRUE(bed.prompt.events().empty());
}

}  // namespace
}  // namespace kqa::device
