#include "platform/usb/usbfs/umockdev_usb_bus.h"

#include <umockdev.h>

#include <cstdio>
#include <exception>
#include <fstream>
#include <map>

#include "platform/usb/usbfs/descriptor_set.h"
#include "platform/usb/usbfs/readiness_fifo.h"
#include "platform/usb/usbfs/umockdev_call.h"
#include "platform/usb/usbfs/usbfs_device.h"

namespace kqa::usb::usbfs {
namespace {

constexpr unsigned kBus = 1;
constexpr unsigned kUsbDeviceMajor = 189;  // usb_device: minor = (bus - 1) * 128 + device - 1
constexpr const char* kSysName = "1-1";    // bus 1, port 1
// How often closed nodes are looked for (umockdev 0.17 does not report a close).
constexpr guint kSweepMilliseconds = 20;

// "%03u": bus and device numbers in paths and properties.
std::string ThreeDigits(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%03u", value);
  return text;
}

// "%04x": identifiers in sysfs attributes.
std::string Hex4(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%04x", value);
  return text;
}

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", value);
  return text;
}

// NULL-terminated name/value arrays for umockdev_testbed_add_devicev.
std::vector<gchar*> Pairs(std::vector<std::string>& texts) {
  std::vector<gchar*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

struct UmockdevUsbBus::Testbed {
  UMockdevTestbed* bed = umockdev_testbed_new();
  ~Testbed() { g_object_unref(bed); }
  std::string rootDir() const {
    gchar* root = umockdev_testbed_get_root_dir(bed);
    std::string text = root;
    g_free(root);
    return text;
  }
};

// Lets the model's attach listener outlive the bus harmlessly.
struct UmockdevUsbBus::AttachGate {
  std::mutex mutex;
  UmockdevUsbBus* bus = nullptr;
};

// One stay of the device on the bus: its sysfs folder, its node and the
// handler that answers the node's ioctls.
struct UmockdevUsbBus::Attachment {
  UmockdevUsbBus* bus = nullptr;
  std::uint8_t number = 0;
  std::string node;     // /dev/bus/usb/001/NNN
  std::string sysPath;  // /sys/devices/1-1
  std::unique_ptr<ReadinessFifo> fifo;
  std::unique_ptr<UsbfsDevice> device;
  UMockdevIoctlBase* handler = nullptr;
  std::map<UMockdevIoctlClient*, UsbfsDevice::FileId> files;  // umockdev's ioctl thread only

  // An open() of the node reached the handler.
  static void ClientConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    static_cast<Attachment*>(self)->open(client);
  }
  // The client closed the node (or ended); umockdev 0.17 does not say so,
  // later versions do, and the bus's sweep finds it either way.
  static void ClientChanged(GObject* object, GParamSpec*, gpointer self) {
    auto* client = UMOCKDEV_IOCTL_CLIENT(object);
    if (!umockdev_ioctl_client_get_connected(client)) static_cast<Attachment*>(self)->close(client);
  }
  static gboolean Ioctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
    auto& attachment = *static_cast<Attachment*>(self);
    auto it = attachment.files.find(client);
    const UsbfsDevice::FileId file = it != attachment.files.end() ? it->second : attachment.open(client);
    IoctlAnswer answer;
    {
      UmockdevCall call(client);
      answer = attachment.device->ioctl(file, call);
      umockdev_ioctl_client_complete(client, answer.result, answer.error);
    }
    return TRUE;
  }

  UsbfsDevice::FileId open(UMockdevIoctlClient* client) {
    auto [it, added] = files.try_emplace(client, 0);
    if (!added) return it->second;
    it->second = device->open();
    g_object_ref(client);
    g_signal_connect(client, "notify::connected", G_CALLBACK(&Attachment::ClientChanged), this);
    bus->startSweeping();
    return it->second;
  }
  void closeVanished() {
    std::vector<UMockdevIoctlClient*> gone;
    for (const auto& [client, file] : files)
      if (!umockdev_ioctl_client_get_connected(client)) gone.push_back(client);
    for (UMockdevIoctlClient* client : gone) close(client);
  }
  void close(UMockdevIoctlClient* client) {
    auto it = files.find(client);
    if (it == files.end()) return;
    device->close(it->second);
    files.erase(it);
    g_signal_handlers_disconnect_by_data(client, this);
    g_object_unref(client);
  }
  // With umockdev's ioctl thread stopped: lets go of every client and of
  // the handler, then of the device (which waits for the model).
  void release() {
    while (!files.empty()) close(files.begin()->first);
    if (handler != nullptr) {
      g_signal_handlers_disconnect_by_data(handler, this);
      g_object_unref(handler);
      handler = nullptr;
    }
    device.reset();
  }
};

UmockdevUsbBus::UmockdevUsbBus()
    : testbed_(std::make_unique<Testbed>()), gate_(std::make_shared<AttachGate>()) {
  gate_->bus = this;
}

UmockdevUsbBus::~UmockdevUsbBus() {
  if (model_ != nullptr) model_->setAttachListener({});
  {
    std::lock_guard lock(gate_->mutex);
    gate_->bus = nullptr;
  }
  hotplug_.flush();
  std::vector<std::unique_ptr<Attachment>> attachments;
  {
    std::lock_guard lock(mutex_);  // a sweep may be running on umockdev's thread
    if (sweeper_ != nullptr) {
      g_source_destroy(sweeper_);
      g_source_unref(sweeper_);
      sweeper_ = nullptr;
    }
    attachments = std::move(retired_);
    if (current_) attachments.push_back(std::move(current_));
  }
  // The test bed goes first: it joins umockdev's ioctl thread, so no
  // handler runs while the attachments are taken apart.
  testbed_.reset();
  for (auto& attachment : attachments) attachment->release();
}

void UmockdevUsbBus::serve(UsbDeviceModel& model) {
  model_ = &model;
  // The model may call its listener from any thread, with its own locks
  // held: only queue the change here.
  model.setAttachListener([gate = gate_](bool attached) {
    std::lock_guard lock(gate->mutex);
    if (UmockdevUsbBus* bus = gate->bus)
      bus->hotplug_.queue([bus, attached] { bus->attachChanged(attached); });
  });
  if (model.isAttached()) hotplug_.queue([this] { attachChanged(true); });
  hotplug_.flush();
}

void UmockdevUsbBus::waitIdle() { hotplug_.flush(); }

void UmockdevUsbBus::startSweeping() {
  std::lock_guard lock(mutex_);
  if (sweeper_ != nullptr) return;
  sweeper_ = g_timeout_source_new(kSweepMilliseconds);
  g_source_set_callback(
      sweeper_,
      [](gpointer self) {
        static_cast<UmockdevUsbBus*>(self)->sweep();
        return gboolean{G_SOURCE_CONTINUE};
      },
      this, nullptr);
  g_source_attach(sweeper_, g_main_context_get_thread_default());  // umockdev's ioctl thread
}

void UmockdevUsbBus::sweep() {
  std::vector<Attachment*> attachments;
  {
    std::lock_guard lock(mutex_);
    for (const auto& attachment : retired_) attachments.push_back(attachment.get());
    if (current_) attachments.push_back(current_.get());
  }
  for (Attachment* attachment : attachments) attachment->closeVanished();
}

void UmockdevUsbBus::attachChanged(bool attached) {
  bool present = false;
  {
    std::lock_guard lock(mutex_);
    present = current_ != nullptr;
  }
  if (attached && !present) attach();
  if (!attached && present) detach();
}

void UmockdevUsbBus::attach() {
  std::string error;
  auto descriptors = DescriptorSet::Read(*model_, error);
  if (!descriptors) {
    std::lock_guard lock(mutex_);
    lastError_ = "the device cannot be enumerated: " + error;
    return;
  }
  auto attachment = std::make_unique<Attachment>();
  attachment->bus = this;
  const unsigned number = attachment->number = nextDeviceNumber_;
  nextDeviceNumber_ = static_cast<std::uint8_t>(number >= 127 ? 2 : number + 1);
  const std::string busFolder = "/dev/bus/usb/" + ThreeDigits(kBus);
  attachment->node = busFolder + "/" + ThreeDigits(number);
  attachment->sysPath = std::string("/sys/devices/") + kSysName;
  const std::string root = testbed_->rootDir();
  UMockdevTestbed* bed = testbed_->bed;

  // The node and its ioctl handler come first: umockdev announces the device
  // ("add") as soon as it is in sysfs, and libusb opens it at once.
  try {
    g_mkdir_with_parents((root + busFolder).c_str(), 0755);
    attachment->fifo = std::make_unique<ReadinessFifo>(root + attachment->node);
  } catch (const std::exception& failure) {
    std::lock_guard lock(mutex_);
    lastError_ = failure.what();
    return;
  }
  ReadinessFifo* fifo = attachment->fifo.get();
  const std::vector<std::uint8_t> raw = descriptors->bytes();
  const DescriptorSet identity = *descriptors;
  attachment->device = std::make_unique<UsbfsDevice>(*model_, std::move(*descriptors), attachment->number,
                                                     [fifo](bool ready) { fifo->setReady(ready); });
  // sysfs follows SETCONFIGURATION; libusb reads the configuration there.
  const std::string configurationFile = root + attachment->sysPath + "/bConfigurationValue";
  attachment->device->setConfigurationListener([configurationFile](std::uint8_t value) {
    std::ofstream(configurationFile, std::ios::trunc) << (value != 0 ? std::to_string(value) + "\n" : "");
  });
  attachment->handler = umockdev_ioctl_base_new();
  g_signal_connect(attachment->handler, "client-connected", G_CALLBACK(&Attachment::ClientConnected),
                   attachment.get());
  g_signal_connect(attachment->handler, "handle-ioctl", G_CALLBACK(&Attachment::Ioctl), attachment.get());
  GError* failure = nullptr;
  if (!umockdev_testbed_attach_ioctl(bed, attachment->node.c_str(), attachment->handler, &failure)) {
    std::string why = failure != nullptr ? failure->message : "unknown error";
    if (failure != nullptr) g_error_free(failure);
    attachment->release();
    std::lock_guard lock(mutex_);
    lastError_ = "umockdev cannot serve " + attachment->node + ": " + why;
    return;
  }

  const std::string minor = std::to_string((kBus - 1) * 128 + number - 1);
  std::vector<std::string> attributes = {
      "busnum", std::to_string(kBus) + "\n", "devnum", std::to_string(number) + "\n",
      "idVendor", Hex4(identity.vendorId()) + "\n", "idProduct", Hex4(identity.productId()) + "\n",
      "bcdDevice", Hex4(identity.release()) + "\n", "speed", "480\n",
      "bNumConfigurations", std::to_string(identity.numConfigurations()) + "\n", "bConfigurationValue", "",
      "devpath", "1\n", "dev", std::to_string(kUsbDeviceMajor) + ":" + minor};
  std::vector<std::string> properties = {
      "DEVNAME", attachment->node, "DEVTYPE", "usb_device", "BUSNUM", ThreeDigits(kBus),
      "DEVNUM", ThreeDigits(number), "MAJOR", std::to_string(kUsbDeviceMajor), "MINOR", minor,
      "PRODUCT", Hex(identity.vendorId()) + "/" + Hex(identity.productId()) + "/" + Hex(identity.release()),
      "TYPE", "0/0/0"};
  auto attributeArray = Pairs(attributes);
  auto propertyArray = Pairs(properties);
  gchar* sysPath = umockdev_testbed_add_devicev(bed, "usb", kSysName, nullptr, attributeArray.data(),
                                                propertyArray.data());
  g_free(sysPath);  // the one computed above
  // Until this file exists libusb's enumeration fails cleanly; the "add"
  // sent after it finds the device complete.
  umockdev_testbed_set_attribute_binary(bed, attachment->sysPath.c_str(), "descriptors",
                                        const_cast<guint8*>(raw.data()), static_cast<gint>(raw.size()));
  umockdev_testbed_uevent(bed, attachment->sysPath.c_str(), "add");
  std::lock_guard lock(mutex_);
  current_ = std::move(attachment);
  lastError_.clear();
}

void UmockdevUsbBus::detach() {
  std::unique_ptr<Attachment> attachment;
  {
    std::lock_guard lock(mutex_);
    attachment = std::move(current_);
  }
  attachment->device->disconnect();
  // The uevent is built from the sysfs folder: send it before removing that.
  umockdev_testbed_uevent(testbed_->bed, attachment->sysPath.c_str(), "remove");
  umockdev_testbed_remove_device(testbed_->bed, attachment->sysPath.c_str());
  std::lock_guard lock(mutex_);
  retired_.push_back(std::move(attachment));
}

std::string UmockdevUsbBus::rootDir() const { return testbed_->rootDir(); }

std::string UmockdevUsbBus::deviceNode() const {
  std::lock_guard lock(mutex_);
  return current_ ? current_->node : "";
}

std::string UmockdevUsbBus::sysfsPath() const {
  std::lock_guard lock(mutex_);
  return current_ ? current_->sysPath : "";
}

std::string UmockdevUsbBus::lastError() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

}  // namespace kqa::usb::usbfs
