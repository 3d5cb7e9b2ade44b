#include "chip/kestrel.h"

#include <algorithm>
#include <filesystem>

#include "chip/factory_image.h"
#include "chip/radio/radio_endpoints.h"
#include "chip/usb_descriptors.h"
#include "chip/vendor_requests.h"

namespace kqa::chip {

using usb::TransferResult;
using usb::TransferStatus;

namespace {

const char* BoardName(Board board) { return board == Board::Efuse ? "eFuse board" : "EEPROM board"; }

}  // namespace

Kestrel::Kestrel(Clock& clock, KestrelOptions options)
    : clock_(clock), options_(std::move(options)), bulk_(clock, options_.completions) {
  const NvmState nvm = initialState();
  core_ = std::make_unique<ChipCore>(clock_, faults_, options_.board, options_.revision, options_.timing, nvm);
  core_->setNvmListener([this](ChipCore::Nvm changed) { onNvmChange(changed); });

  radio_ = std::make_unique<RadioSide>(*core_, options_, [this](std::uint8_t endpoint) { bulk_.wake(endpoint); });

  bulk_.setTiming(options_.timing.perBulkTransfer, options_.timing.perBulkByte);
  const RadioAccess access = [this](const std::function<void(RadioSide&)>& f) {
    std::lock_guard lock(mutex_);
    f(*radio_);
  };
  for (std::uint8_t endpoint : kBulkInEndpoints) bulk_.setHandler(endpoint, std::make_shared<RadioInEndpoint>(access, endpoint));
  for (std::uint8_t endpoint : kBulkOutEndpoints)
    bulk_.setHandler(endpoint, std::make_shared<RadioOutEndpoint>(access, endpoint));

  usb_.attach(IdentityFromEeprom(core_->eeprom().bytes()));
  attached_ = true;

  if (!options_.stateFile.empty()) {
    if (!std::filesystem::exists(options_.stateFile)) write(nvm, 0);
    if (options_.completions == Completions::Thread) saver_ = std::thread([this] { saverLoop(); });
  }

  if (options_.completions == Completions::Thread) {
    // A receiver waiting for frames gets them as they end, without anyone
    // else touching the chip. (The listener runs only in register writes,
    // after construction.)
    radio_->setReceptionListener([this] { ticker_->notify(); });
    ticker_ = std::make_unique<AirTicker>(clock_, [this]() -> std::optional<Clock::Duration> {
      std::lock_guard lock(mutex_);
      radio_->advance();
      return radio_->nextDelivery();
    });
  }
}

Kestrel::~Kestrel() {
  ticker_.reset();
  bulk_.shutdown();
  if (saver_.joinable()) {
    {
      std::lock_guard lock(saverMutex_);
      saverStopping_ = true;
    }
    saverCv_.notify_all();
    saver_.join();
  }
  if (options_.stateFile.empty()) return;
  try {
    std::uint64_t changes;
    {
      std::lock_guard lock(mutex_);
      changes = changes_;
    }
    if (saved_ < changes) saveState();
  } catch (const ChipStateError&) {
    // Nothing more can be done from a destructor; the error was the file's.
  }
}

NvmState Kestrel::initialState() const {
  if (!options_.stateFile.empty() && std::filesystem::exists(options_.stateFile)) {
    NvmState state = LoadNvmState(options_.stateFile);
    if (state.board != options_.board)
      throw ChipStateError("chip state file " + options_.stateFile.string() + " belongs to the " +
                           BoardName(state.board) + ", not the " + BoardName(options_.board));
    return state;
  }
  NvmState state;
  state.board = options_.board;
  state.eeprom = FactoryEeprom(options_.board, options_.seed);
  if (options_.eepromContent) {
    std::fill(state.eeprom.begin(), state.eeprom.end(), std::uint8_t{0xFF});
    std::copy_n(options_.eepromContent->begin(), std::min(options_.eepromContent->size(), state.eeprom.size()),
                state.eeprom.begin());
  }
  state.efuse = options_.efuseContent ? *options_.efuseContent : FactoryEfuse(options_.board, options_.seed);
  state.flash.assign(NorFlash::kSize, 0xFF);
  return state;
}

// --- USB ---------------------------------------------------------------------

TransferResult Kestrel::controlTransfer(const usb::SetupPacket& setup, std::span<std::uint8_t> data) {
  if (!attached_) return {TransferStatus::NoDevice, 0};
  if (data.size() < setup.wLength) return {TransferStatus::Error, 0};
  const auto stage = data.first(setup.wLength);
  if (auto fault = faults_.takeControlFault(setup))
    return {*fault == ControlFault::Stall ? TransferStatus::Stall : TransferStatus::Timeout, 0};

  TransferResult result{TransferStatus::Stall, 0};
  bool softDisconnect = false;
  {
    std::lock_guard lock(mutex_);
    if (!attached_) return {TransferStatus::NoDevice, 0};
    radio_->advance();  // the request sees every frame that ended before it
    switch ((setup.bmRequestType >> 5) & 3) {
      case 0:
        result = usb_.handle(setup, stage);
        break;
      case 2: {
        const VendorOutcome outcome = HandleVendorRequest(*core_, setup, stage);
        result = outcome.result;
        softDisconnect = outcome.softDisconnect && result.ok();
        break;
      }
      default:
        break;  // class requests: none
    }
  }
  const auto latency =
      options_.timing.perControlTransfer + options_.timing.perControlByte * static_cast<std::int64_t>(result.length);
  if (latency > Clock::Duration::zero()) clock_.sleep(latency);
  if (softDisconnect) bulk_.post([this] { softReconnect(); });
  return result;
}

usb::UsbDeviceModel::TransferId Kestrel::submitBulk(std::uint8_t endpointAddress, std::span<std::uint8_t> buffer,
                                               BulkCompletion completion) {
  return bulk_.submit(endpointAddress, buffer, std::move(completion));
}

void Kestrel::cancelBulk(TransferId id) { bulk_.cancel(id); }

void Kestrel::setAttachListener(std::function<void(bool attached)> listener) {
  std::lock_guard lock(listenerMutex_);
  attachListener_ = std::move(listener);
}

void Kestrel::notifyAttach(bool attached) {
  std::function<void(bool)> listener;
  {
    std::lock_guard lock(listenerMutex_);
    listener = attachListener_;
  }
  if (listener) listener(attached);
}

void Kestrel::unplug() {
  {
    std::lock_guard lock(mutex_);
    if (!attached_) return;
    attached_ = false;
    bulk_.setLink(BulkEngine::Link::Detached);
  }
  notifyAttach(false);
}

void Kestrel::replug() {
  {
    std::lock_guard lock(mutex_);
    if (attached_) return;
    core_->powerOnReset();
    radio_->powerOnReset();
    usb_.attach(IdentityFromEeprom(core_->eeprom().bytes()));
    attached_ = true;
  }
  notifyAttach(true);
}

void Kestrel::softReconnect() {
  // The chip drops its pull-up and its firmware starts again.
  unplug();
  replug();
}

void Kestrel::runUntilIdle() {
  withRadio([](RadioSide&) {});
  bulk_.runUntilIdle();
}

void Kestrel::setBulkHandler(std::uint8_t endpointAddress, std::shared_ptr<BulkEndpointHandler> handler) {
  bulk_.setHandler(endpointAddress, std::move(handler));
}

std::shared_ptr<BulkEndpointHandler> Kestrel::bulkHandler(std::uint8_t endpointAddress) const {
  return bulk_.handler(endpointAddress);
}

// --- Inspection --------------------------------------------------------------

std::uint32_t Kestrel::peekRegister(std::uint16_t address, Space space) {
  return withCore([&](ChipCore& core) { return core.space(space).peek(address); });
}

void Kestrel::pokeRegister(std::uint16_t address, std::uint32_t value, Space space) {
  withCore([&](ChipCore& core) { core.space(space).write(address, value); });
}

std::uint8_t Kestrel::peekBbp(std::uint8_t id) {
  return withCore([&](ChipCore& core) { return core.bbp().stored(id); });
}

std::uint8_t Kestrel::peekBbpGain(int path) {
  return withCore([&](ChipCore& core) { return core.bbp().gainOfPath(path); });
}

std::uint8_t Kestrel::peekRf(int bank, int reg) {
  return withCore([&](ChipCore& core) { return core.rf().stored(bank, reg); });
}

std::uint32_t Kestrel::lastRfSerialWord() {
  return withCore([](ChipCore& core) { return core.rfSerial().lastWord(); });
}

Efuse::Content Kestrel::efuseBytes() {
  return withCore([](ChipCore& core) { return core.efuse().bytes(); });
}

std::vector<std::uint8_t> Kestrel::eepromBytes() {
  return withCore([](ChipCore& core) { return core.eeprom().bytes(); });
}

std::vector<std::uint8_t> Kestrel::flashBytes(std::size_t address, std::size_t length) {
  return withCore([&](ChipCore& core) {
    const auto& bytes = core.flash().bytes();
    const std::size_t first = std::min(address, bytes.size());
    const std::size_t count = std::min(length, bytes.size() - first);
    return std::vector<std::uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(first),
                                     bytes.begin() + static_cast<std::ptrdiff_t>(first + count));
  });
}

UsbIdentity Kestrel::usbIdentity() {
  std::lock_guard lock(mutex_);
  return usb_.identity();
}

// --- Persistence -------------------------------------------------------------
//
// eFuse burns are written before the request that burnt them completes: they
// can never be lost. EEPROM and flash changes are written by a background
// saver in threaded mode (one file write at a time, coalescing the changes
// that arrive meanwhile); in stepped mode by saveState(), the next eFuse burn
// or the destructor.

void Kestrel::onNvmChange(ChipCore::Nvm nvm) {
  // Under mutex_.
  ++changes_;
  if (options_.stateFile.empty()) return;
  if (nvm == ChipCore::Nvm::Efuse) {
    try {
      write(core_->nvmState(), changes_);
    } catch (const ChipStateError&) {
      // Kept in lastSaveError(); the next save tries again.
    }
    return;
  }
  if (saver_.joinable()) {
    {
      std::lock_guard lock(saverMutex_);
      saveRequested_ = true;
    }
    saverCv_.notify_one();
  }
}

void Kestrel::write(const NvmState& snapshot, std::uint64_t generation) {
  std::lock_guard lock(saveMutex_);
  if (generation < saved_) return;  // a newer state is already on disk
  ++saveAttempts_;
  try {
    SaveNvmState(options_.stateFile, snapshot);
  } catch (const ChipStateError& error) {
    saveError_ = error.what();
    savedCv_.notify_all();
    throw;
  }
  saved_ = generation;
  saveError_.reset();
  savedCv_.notify_all();
}

void Kestrel::waitUntilSaved() {
  if (options_.stateFile.empty()) return;
  if (!saver_.joinable()) {
    saveState();
    return;
  }
  std::uint64_t target;
  {
    std::lock_guard lock(mutex_);
    target = changes_;
  }
  std::unique_lock lock(saveMutex_);
  const std::uint64_t attempts = saveAttempts_;
  if (saved_ >= target) return;
  {
    std::lock_guard request(saverMutex_);
    saveRequested_ = true;
  }
  saverCv_.notify_one();
  savedCv_.wait(lock, [&] { return saved_ >= target || (saveError_ && saveAttempts_ > attempts); });
  if (saved_ < target) throw ChipStateError(*saveError_);
}

void Kestrel::saverLoop() {
  for (;;) {
    {
      std::unique_lock lock(saverMutex_);
      saverCv_.wait(lock, [this] { return saveRequested_ || saverStopping_; });
      if (saverStopping_) return;
      saveRequested_ = false;
    }
    NvmState snapshot;
    std::uint64_t generation = 0;
    {
      std::lock_guard lock(mutex_);
      generation = changes_;
      if (generation <= saved_) continue;  // already on disk
      snapshot = core_->nvmState();
    }
    try {
      write(snapshot, generation);
    } catch (const ChipStateError&) {
      // Kept in lastSaveError(); the next change or saveState() tries again.
    }
  }
}

void Kestrel::saveState() {
  if (options_.stateFile.empty()) return;
  NvmState snapshot;
  std::uint64_t generation;
  {
    std::lock_guard lock(mutex_);
    snapshot = core_->nvmState();
    generation = changes_;
  }
  write(snapshot, generation);
}

std::optional<std::string> Kestrel::lastSaveError() const {
  std::lock_guard lock(saveMutex_);
  return saveError_;
}

}  // namespace kqa::chip
