#include <gtest/gtest.h>

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

TEST(SheetLayout, ThirteenTabsWithoutOptionsAndTheOptionalPagesInTheirPlaces) {
  EXPECT_EQ(Captions({}), (std::vector<std::string>{
                              "USB Config", "TX/RX", "MAC", "BBP Page 1", "BBP Page 2",
                              "BBP Page 3", "RF Page 1", "RF Page 2", "EEPROM", "EEPROM2",
                              "NOR-Flash", "Sniffer", "About"}));
  // NAND-Flash is never a tab.
  EXPECT_EQ(Captions({.fftPages = true, .papdPage = true, .iqCalPage = true}),
            (std::vector<std::string>{"USB Config", "TX/RX", "PAPD Test Page", "IQ Cal", "MAC",
                                      "BBP Page 1", "BBP Page 2", "BBP Page 3", "RF Page 1",
                                      "RF Page 2", "EEPROM", "EEPROM2", "NOR-Flash", "Sniffer",
                                      "Noise Level", "FFT Graph", "About"}));
  const std::vector<std::string> iqOnly = Captions({.iqCalPage = true});
  EXPECT_EQ(iqOnly.size(), 14u);
  EXPECT_EQ(iqOnly[2], "IQ Cal");
}

}  // namespace
}  // namespace kqa::shell
