#pragma once

#include <umockdev.h>

#include <deque>
#include <memory>

#include "platform/usb/usbfs/client_memory.h"

namespace kqa::usb::usbfs {

// One ioctl that umockdev's preload library forwarded from a client process:
// its blocks are UMockdevIoctlData, which umockdev writes back to the client
// when the ioctl is completed. Lives for one "handle-ioctl" emission.
class UmockdevCall final : public IoctlCall {
 public:
  explicit UmockdevCall(UMockdevIoctlClient* client);
  ~UmockdevCall() override;
  UmockdevCall(const UmockdevCall&) = delete;
  UmockdevCall& operator=(const UmockdevCall&) = delete;

  unsigned long request() const override { return request_; }
  std::uint64_t argument() const override { return argument_; }
  ClientBlock* argumentBlock(std::size_t length) override;

 private:
  class Block;
  ClientBlock* resolve(UMockdevIoctlData* parent, std::size_t offset, std::size_t length);

  UMockdevIoctlClient* client_;
  unsigned long request_;
  std::uint64_t argument_ = 0;
  std::deque<std::unique_ptr<Block>> blocks_;  // our references, dropped after the ioctl
};

}  // namespace kqa::usb::usbfs
