#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kqa::usb::usbfs {

// The caller's memory as one usbdevfs ioctl reaches it: the block its
// argument points at, and the blocks that pointers inside a block point at.
// A block is a local copy; what is changed in bytes() reaches the caller when
// the ioctl completes (umockdev's UMockdevIoctlData works this way).
class ClientBlock {
 public:
  virtual ~ClientBlock() = default;
  virtual std::span<std::uint8_t> bytes() = 0;
  // The `length` bytes that the pointer stored at `offset` of bytes() points
  // at; nullptr for a null pointer, an empty block or unreadable memory. The
  // pointer is read as bytes() holds it now, so a caller may store an address
  // there first (how a reaped URB's address reaches the caller's variable);
  // once followed, the field stands for that block and must not be read again.
  virtual ClientBlock* follow(std::size_t offset, std::size_t length) = 0;
};

// One ioctl on a device node, as the caller issued it.
class IoctlCall {
 public:
  virtual ~IoctlCall() = default;
  virtual unsigned long request() const = 0;
  virtual std::uint64_t argument() const = 0;  // the third argument of ioctl(), as passed
  // The `length` bytes the argument points at; nullptr for a null argument.
  virtual ClientBlock* argumentBlock(std::size_t length) = 0;
};

// What an ioctl returns: `result`, and errno when it is -1.
struct IoctlAnswer {
  long result = 0;
  int error = 0;

  static IoctlAnswer Ok(long value = 0) { return {value, 0}; }
  static IoctlAnswer Fail(int errorNumber) { return {-1, errorNumber}; }
};

}  // namespace kqa::usb::usbfs
