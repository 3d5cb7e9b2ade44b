// ".pac" files: the layout peers read, the round trip, and files that are
// cut short or hold more than the store. (What "sniff decode" prints of
// them is the command line's test.)
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "app/sniffer/capture_store.h"
#include "app/sniffer/pac_file.h"
#include "app/sniffer/tests/record_builder.h"

namespace kqa::sniffer {
namespace {

using testing::BuildRecord;
using testing::Frame;
using testing::Join;
using testing::PacImage;
using testing::kBroadcast;
using testing::kStationA;
using testing::kStationB;
using testing::ReadFile;
using testing::ScratchFolder;
using testing::WriteFile;
using Bytes = std::vector<std::uint8_t>;

// Three records that differ everywhere the list looks.
std::vector<Bytes> ThreeRecords() {
  return {BuildRecord({.frame = testing::Beacon(kStationB, 6), .phyMode = 0, .rateIndex = 0}),
          BuildRecord({.frame = Frame(0x08, {kStationA, kStationB, kBroadcast}, 40),
                       .phyMode = 2,
                       .rateIndex = 7,
                       .crcError = true}),
          BuildRecord({.frame = Frame(0xD4, {kStationB}), .phyMode = 1, .rateIndex = 3})};
}

PacLoadReport Load(const Bytes& image, CaptureStore& store) {
  std::istringstream in(std::string(image.begin(), image.end()));
  return LoadPac(in, store);
}

TEST(PacFileTest, ASavedFileIsTheCountThenTheRecordsAndLoadsBackTheSame) {
  ScratchFolder folder;
  const auto records = ThreeRecords();
  const Bytes held = Join({records[0], records[1], records[2]});
  const std::string path = folder.file("three.pac");
  // A longer file in its place is replaced, not overwritten in part.
  WriteFile(path, Bytes(50'000, 0xEE));
  ASSERT_EQ(SavePacFile(path, held), PacFileResult::Ok);

  const Bytes file = ReadFile(path);
  ASSERT_EQ(file.size(), 4u + 3u * 4096u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 4), (Bytes{3, 0, 0, 0}));
  for (std::size_t i = 0; i < 3; ++i)
    EXPECT_EQ(Bytes(file.begin() + 4 + 4096 * static_cast<std::ptrdiff_t>(i),
                    file.begin() + 4 + 4096 * static_cast<std::ptrdiff_t>(i + 1)),
              records[i])
        << "record " << i;

  std::vector<std::uint8_t> storage(5 * 4096, 0xCC);
  CaptureStore store(storage);
  const PacLoadReport report = Load(file, store);
  EXPECT_EQ(report.outcome, PacLoadReport::Outcome::Whole);
  EXPECT_EQ(report.loaded, 3u);
  EXPECT_EQ(store.count(), 3u);
  EXPECT_TRUE(
      std::equal(held.begin(), held.end(), store.heldBytes().begin(), store.heldBytes().end()));

  // Bytes after the counted records (a file written over a longer one by
  // another tool) are ignored.
  Bytes trailing = file;
  trailing.insert(trailing.end(), 100, 0x55);
  EXPECT_EQ(Load(trailing, store).outcome, PacLoadReport::Outcome::Whole);
  EXPECT_EQ(store.count(), 3u);

  EXPECT_EQ(SavePacFile(folder.file("missing/x.pac"), held), PacFileResult::NotOpened);
}

TEST(PacFileTest, FilesThatAreShortOrTooLongLoadAsFarAsTheyAreWholeAndSaySo) {
  const auto records = ThreeRecords();
  const Bytes three = Join({records[0], records[1], records[2]});
  std::vector<std::uint8_t> storage(2 * 4096);
  CaptureStore store(storage);
  struct Case {
    const char* what;
    Bytes image;
    PacLoadReport::Outcome outcome;
    std::size_t loaded;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"empty",
       {},
       PacLoadReport::Outcome::NoCount,
       0,
       "Packet File is too short to hold its packet count: nothing was loaded!"},
      {"three bytes",
       {1, 0, 0},
       PacLoadReport::Outcome::NoCount,
       0,
       "Packet File is too short to hold its packet count: nothing was loaded!"},
      {"count 0", PacImage(0, {}), PacLoadReport::Outcome::Whole, 0, ""},
      {"half a record", PacImage(1, Bytes(three.begin(), three.begin() + 2048)),
       PacLoadReport::Outcome::CutShort, 0,
       "Packet File is cut short: it holds 0 whole of its 1 packets; those were loaded!"},
      {"one and a half of two", PacImage(2, Bytes(three.begin(), three.begin() + 4096 + 100)),
       PacLoadReport::Outcome::CutShort, 1,
       "Packet File is cut short: it holds 1 whole of its 2 packets; those were loaded!"},
      {"three for a store of two", PacImage(3, three), PacLoadReport::Outcome::TooMany, 2,
       "Packet File holds 3 packets; the first 2 were loaded, as many as the store holds!"},
      {"a count of 4294967295 with one record", PacImage(0xFFFFFFFF, records[0]),
       PacLoadReport::Outcome::CutShort, 1,
       "Packet File is cut short: it holds 1 whole of its 4294967295 packets; those were loaded!"},
  };
  for (const Case& c : cases) {
    const PacLoadReport report = Load(c.image, store);
    EXPECT_EQ(report.outcome, c.outcome) << c.what;
    EXPECT_EQ(report.loaded, c.loaded) << c.what;
    EXPECT_EQ(store.count(), c.loaded) << c.what;
    EXPECT_EQ(PacLoadProblem(report), c.message) << c.what;
    for (std::size_t i = 0; i < store.count(); ++i)
      EXPECT_TRUE(std::equal(records[i].begin(), records[i].end(), store.record(i).begin()))
          << c.what << " " << i;
  }
}

}  // namespace
}  // namespace kqa::sniffer
