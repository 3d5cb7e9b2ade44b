#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <istream>
#include <ostream>
#include <span>
#include <string>

#include "app/sniffer/capture_record.h"
#include "app/sniffer/capture_store.h"

namespace kqa::sniffer {

// ".pac" packet files: a u32 little-endian record count N, then N capture
// records of 4096 bytes, back to back, nothing else. Files of the same
// layout from other tools load, and files written here load there.

// Reads a ".pac" stream record by record. Only whole records come out: a
// file that ends inside a record, or before its count says, stops there.
// Bytes after the counted records are ignored.
class PacReader {
 public:
  explicit PacReader(std::istream& in);

  // False when the stream could not even hold the 4-byte count.
  bool hasCount() const { return hasCount_; }
  std::uint32_t declaredCount() const { return declared_; }
  std::size_t recordsRead() const { return read_; }
  // The stream ended before the declared count of whole records.
  bool cutShort() const { return cutShort_; }

  // Reads the next record into `record`; false when the declared records are
  // all read or the stream ends inside one (then `record` holds junk).
  bool next(std::span<std::uint8_t, kCaptureRecordSize> record);

 private:
  std::istream& in_;
  bool hasCount_ = false;
  bool cutShort_ = false;
  std::uint32_t declared_ = 0;
  std::size_t read_ = 0;
};

// Opens a ".pac" file for reading; false for anything but a file (a folder,
// a device, a pipe), which would read as junk or never end.
bool OpenPacFile(const std::string& path, std::ifstream& in);

// What a load achieved.
struct PacLoadReport {
  enum class Outcome {
    Whole,     // every declared record was loaded
    NoCount,   // shorter than its 4-byte count: nothing loaded
    CutShort,  // the file ends before its count says: the whole records were loaded
    TooMany,   // more records than the store holds: the first ones were loaded
  };
  Outcome outcome = Outcome::Whole;
  std::uint32_t declared = 0;
  std::size_t loaded = 0;
};

// Empties the store and loads the stream's records into it, as far as they
// are whole and the store holds them.
PacLoadReport LoadPac(std::istream& in, CaptureStore& store);

// What the user is told when a load was not whole; empty when it was.
std::string PacLoadProblem(const PacLoadReport& report);

// Writes the count and the records (records.size() / 4096 of them); false
// when the stream failed.
bool WritePac(std::ostream& out, std::span<const std::uint8_t> records);

enum class PacFileResult { Ok, NotOpened, NotWritten };
// Writes a ".pac" file, replacing what the file held (it is exactly
// 4 + 4096 x N bytes long afterwards).
PacFileResult SavePacFile(const std::string& path, std::span<const std::uint8_t> records);

}  // namespace kqa::sniffer
