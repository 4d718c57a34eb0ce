// The triggers and the handlers they are delivered to, with the main lock
// that guards them: the status triggers and the data-available threshold,
// the modem-status byte and line errors the triggers watch, the window and
// event handler lists and the delivery flags.
//
// Every member takes the main lock for its own duration and no other lock;
// no handler is ever called under it. RefreshModemStatus and ReadModemStatus
// read the device's modem lines under it (a read that never blocks), so that
// the change bits follow the lines in the order they were read.
//   - trigger, handler and line-state operations: any thread;
//   - FireNext, EndPass and the delivery steps (BeginDelivery, EventHandlerAt,
//     WindowAt, EndDelivery): the dispatch thread;
//   - Open: the owner thread, before the threads start.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/Messages.h"
#include "platform/comm/CommDevice.h"
#include "serial/TriggerMessages.h"

namespace serial {

struct StatusTrigger {
  std::uint16_t handle = 0;  // multiple of 8 | kind
  std::uint32_t kind = 0;
  std::uint16_t value = 0;
  bool armed = false;
  bool firedInPass = false;
};

// A dispatcher's trigger set, kept by the port across a close and re-open.
struct SavedTriggers {
  std::vector<StatusTrigger> statusTriggers;
  std::uint32_t handleCounter = 1;
};

class TTriggerSet {
 public:
  using EventHandler =
      std::function<void(platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam)>;
  enum class DeliveryRequest { Recompute, PortHandlerInstalled, PortHandlerRemoved };
  enum class Slot { End, Removed, Live };

  // No triggers, no line errors, the modem lines as given (kMs... bits).
  void Open(std::uint32_t modemLines);

  // --- Triggers ---------------------------------------------------------------
  // Kind 0..5; the new handle, -1002, or -5001 when every handle is taken.
  std::int32_t CreateStatusTrigger(std::uint32_t kind);
  // -5003 for an unknown handle.
  std::int32_t ArmStatusTrigger(std::uint16_t handle, std::uint16_t value, bool activate);
  // Handle 1 turns the data-available trigger off; -5003 for an unknown handle.
  std::int32_t RemoveTrigger(std::uint16_t handle);
  void SetAvailThreshold(std::uint32_t threshold);
  // Without the lock: the dispatch thread reads it at every arrival.
  std::uint32_t AvailThreshold() const { return availThreshold_; }
  SavedTriggers SaveTriggers() const;
  void RestoreTriggers(const SavedTriggers& saved);
  // Some trigger is armed (a status pass may fire).
  bool AnyArmed() const { return armed_ > 0; }
  // An output trigger is armed: its condition changes without a device event.
  bool OutputTriggerArmed() const;
  // Disarms and returns the first armed trigger, not yet fired in this pass,
  // whose condition holds on the ring's fill (used of size), with the value
  // it is delivered with; 0 when none fires.
  std::uint16_t FireNext(std::uint32_t outputUsed, std::uint32_t outputSize, std::uint16_t& value);
  // A status pass is over: after a firing, every trigger may fire again.
  void EndPass();

  // --- Line state the triggers watch ----------------------------------------
  void NoteRing();
  void NoteLineErrors(std::uint32_t deviceErrors);
  void ClearLineErrors();
  void NoteOutputSent();
  // The line bits come from the device; after a modem event the change bits
  // also gain each line that differs from before.
  void RefreshModemStatus(platform::CommDevice* device, bool afterModemEvent);
  // The fresh modem-status byte; then the change bits in clearMask are
  // cleared. linesChanged: a line differs from the last reading.
  std::uint8_t ReadModemStatus(platform::CommDevice* device, std::uint8_t clearMask,
                               bool& linesChanged);
  // Pending line errors; reading clears them (the break bit stays).
  std::uint8_t LineError();
  bool LineBreak();

  // --- Handlers and delivery ------------------------------------------------
  // A removal during a delivery marks the record; it goes when the delivery ends.
  void AddWindowHandler(platform::HWND window);
  void RemoveWindowHandler(platform::HWND window);
  void AddEventHandler(const void* owner, EventHandler handler);
  void RemoveEventHandler(const void* owner);
  void RecomputeDelivery(DeliveryRequest request);
  // The messages the port's own window handles (all until told): the
  // others need not be sent to it, each send being a round trip through
  // the GUI thread.
  void SetPortHandlerMessages(TriggerMessageSet messages);
  // False when no handler needs the delivery of msg; else it has begun, and
  // windows tells whether window handlers get it.
  bool BeginDelivery(platform::UINT msg, bool& windows);
  Slot EventHandlerAt(std::size_t index, std::shared_ptr<EventHandler>& handler) const;
  Slot WindowAt(std::size_t index, platform::HWND& window) const;
  void EndDelivery();
  bool Delivering() const;
  // While a delivery runs, raises closing (the delivery's end finishes the
  // close) and answers true; else false.
  bool DeferClose(std::atomic<bool>& closing);

 private:
  struct WindowHandlerRecord {
    platform::HWND window;
    bool removed;
  };
  struct EventHandlerRecord {
    const void* owner;
    std::shared_ptr<EventHandler> handler;
    bool removed;
  };

  std::uint16_t NextTriggerHandle();
  bool Fires(StatusTrigger& trigger, std::uint32_t outputUsed, std::uint32_t outputSize,
             std::uint16_t& value);
  void RefreshModemStatusLocked(platform::CommDevice* device, bool afterModemEvent);
  void RecomputeDeliveryLocked(DeliveryRequest request);
  // Marks the matching handler records removed and drops them, or leaves
  // that to the end of a delivery in progress.
  template <class Records, class Matches>
  void RemoveHandlersLocked(Records& records, Matches matches) {
    for (auto& record : records) {
      if (matches(record)) record.removed = true;
    }
    if (delivering_) {
      removalsPending_ = true;
      return;
    }
    std::erase_if(records, [](const auto& record) { return record.removed; });
    RecomputeDeliveryLocked(DeliveryRequest::Recompute);
  }
  void CountArmed();

  mutable std::mutex lock_;  // the main lock
  std::vector<StatusTrigger> statusTriggers_;
  std::uint32_t handleCounter_ = 1;
  std::atomic<std::uint32_t> availThreshold_{0};  // written under the lock
  bool statusHit_ = false;
  std::atomic<std::size_t> armed_{0};  // armed triggers; written under the lock
  std::uint8_t modemStatus_ = 0;
  bool ringSeen_ = false;
  std::uint8_t lineErrors_ = 0;
  bool outputSent_ = false;
  std::vector<WindowHandlerRecord> windowHandlers_;
  std::vector<EventHandlerRecord> eventHandlers_;
  bool delivering_ = false;
  bool removalsPending_ = false;
  bool handlerServiceNeeded_ = false;
  bool portHandlerInstalled_ = false;
  TriggerMessageSet portHandlerMessages_ = kAllTriggerMessages;
};

}  // namespace serial
