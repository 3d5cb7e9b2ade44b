#include "platform/usb/usbfs/umockdev_call.h"

#include <cstring>

namespace kqa::usb::usbfs {

class UmockdevCall::Block final : public ClientBlock {
 public:
  Block(UmockdevCall& call, UMockdevIoctlData* data) : call_(call), data_(data) {}
  ~Block() override { g_object_unref(data_); }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;

  std::span<std::uint8_t> bytes() override {
    return {data_->data, static_cast<std::size_t>(data_->data_len)};
  }
  ClientBlock* follow(std::size_t offset, std::size_t length) override {
    if (offset + sizeof(void*) > bytes().size()) return nullptr;
    return call_.resolve(data_, offset, length);
  }

 private:
  UmockdevCall& call_;
  UMockdevIoctlData* data_;
};

UmockdevCall::UmockdevCall(UMockdevIoctlClient* client)
    : client_(client), request_(umockdev_ioctl_client_get_request(client)) {
  // The argument as passed, read before any resolve puts a local pointer in its place.
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client_);
  if (arg != nullptr && static_cast<std::size_t>(arg->data_len) >= sizeof(unsigned long)) {
    unsigned long value = 0;
    std::memcpy(&value, arg->data, sizeof value);
    argument_ = value;
  }
}

UmockdevCall::~UmockdevCall() = default;

ClientBlock* UmockdevCall::argumentBlock(std::size_t length) {
  return resolve(umockdev_ioctl_client_get_arg(client_), 0, length);
}

ClientBlock* UmockdevCall::resolve(UMockdevIoctlData* parent, std::size_t offset, std::size_t length) {
  if (parent == nullptr || length == 0) return nullptr;
  GError* error = nullptr;
  UMockdevIoctlData* data = umockdev_ioctl_data_resolve(parent, offset, length, &error);
  if (error != nullptr) {
    g_error_free(error);
    if (data != nullptr) g_object_unref(data);
    return nullptr;
  }
  if (data == nullptr) return nullptr;  // a null pointer
  blocks_.push_back(std::make_unique<Block>(*this, data));
  return blocks_.back().get();
}

}  // namespace kqa::usb::usbfs
