#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/shell/sheet_layout.h"

namespace kqa::shell {
namespace {

std::vector<std::string> Captions(const PageFlags& flags) {
  std::vector<std::string> captions;
  for (Page page : SheetTabs(flags)) captions.emplace_back(TabCaption(page));
  return captions;
}

TEST(SheetLayout, ThirteenTabsWithoutOptions) {
  EXPECT_EQ(Captions({}), (std::vector<std::string>{
                              "USB Config", "TX/RX", "MAC", "BBP Page 1", "BBP Page 2",
                              "BBP Page 3", "RF Page 1", "RF Page 2", "EEPROM", "EEPROM2",
                              "NOR-Flash", "Sniffer", "About"}));
}

TEST(SheetLayout, OptionalPagesTakeTheirPlaces) {
  EXPECT_EQ(Captions({.fftPages = true, .papdPage = true, .iqCalPage = true}),
            (std::vector<std::string>{"USB Config", "TX/RX", "PAPD Test Page", "IQ Cal", "MAC",
                                      "BBP Page 1", "BBP Page 2", "BBP Page 3", "RF Page 1",
                                      "RF Page 2", "EEPROM", "EEPROM2", "NOR-Flash", "Sniffer",
                                      "Noise Level", "FFT Graph", "About"}));
  const std::vector<std::string> iqOnly = Captions({.iqCalPage = true});
  EXPECT_EQ(iqOnly.size(), 14u);
  EXPECT_EQ(iqOnly[2], "IQ Cal");
}

TEST(SheetLayout, NandFlashIsNeverATab) {
  const std::vector<Page> all = SheetTabs({true, true, true});
  EXPECT_EQ(std::count(all.begin(), all.end(), Page::NandFlash), 0);
  EXPECT_EQ(TabCaption(Page::NandFlash), "NAND-Flash");
}

TEST(SheetLayout, PresenceLeavesRfPage2AndTheMeasurementPagesAlone) {
  const auto governed = PresenceGovernedPages();
  EXPECT_EQ(governed.size(), 12u);
  for (Page page : {Page::Rf2, Page::PapdTest, Page::IqCalibration, Page::NoiseLevel,
                    Page::FftGraph, Page::NandFlash})
    EXPECT_EQ(std::count(governed.begin(), governed.end(), page), 0) << TabCaption(page);
  EXPECT_EQ(std::count(governed.begin(), governed.end(), Page::Rf1), 1);
}

}  // namespace
}  // namespace kqa::shell
