// TApdComPort: the component through which the program opens and drives one
// COM port.
//
// Threads: the component and all its events belong to the thread that
// created it (the GUI thread, which must pump platform messages). Trigger
// messages reach its hidden notification window from the dispatcher's
// threads and become events on that thread.
//
// Line settings (Baud, Parity, DataBits, StopBits) assigned while open wait
// for queued output and for the line to settle, delivering the thread's
// messages meanwhile (TApdBaseDispatcher::ApplyLineSettings): handlers may
// run, and may even close the port, but must not destroy the component.
//
// Errors: operations raise the EAPDException family (Exceptions.h), or
// EInOutError / std::bad_alloc for system errors, as RaiseForResult maps them.
// Every operation that needs the dispatcher opens the port first when
// AutoOpen is set; with no port it raises ECommNotOpen (-2007). While the
// port is closing, operations other than the readers do nothing.
//
// Users: AddPortUser registers a window that is sent kMsgPortOpened right
// after the port opened and kMsgPortClosing when it begins to close (newest
// user first, both parameters 0). A user that wants the received data adds
// an event handler to Dispatcher() once the port is open.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Messages.h"
#include "serial/Dispatcher.h"
#include "serial/TriggerMessages.h"

namespace serial {

enum TDeviceLayer { dlWin16, dlFossil, dlWin32, dlWinsock };
enum TParity { pNone, pOdd, pEven, pMark, pSpace };
enum TSWFlowOptions { swfNone, swfReceive, swfTransmit, swfBoth };
enum TTraceLogState { tlOff, tlOn, tlDump, tlAppend, tlClear, tlPause };
enum TTapiMode { tmNone, tmAuto, tmOn, tmOff };

// HWFlowOptions is a set of these bits.
using THWFlowOptions = std::uint8_t;
constexpr THWFlowOptions hwfUseDTR = 0x01;
constexpr THWFlowOptions hwfUseRTS = 0x02;
constexpr THWFlowOptions hwfRequireDSR = 0x04;
constexpr THWFlowOptions hwfRequireCTS = 0x08;

// The real port state; Open() is the requested one.
enum class PortState { Closed = 0, Closing = 1, Open = 2 };

class TApdCustomComPort;

// An event of the component: assign a callable (or nullptr) like a
// std::function; the component learns of every assignment, because the
// dispatcher delivers trigger messages only while some event is assigned.
// A handler may clear or replace its own event: it runs to its end intact.
template <class Signature>
class ComPortEvent;

template <class... Args>
class ComPortEvent<void(Args...)> {
 public:
  using Handler = std::function<void(Args...)>;

  ComPortEvent& operator=(Handler handler) {
    handler_ = handler ? std::make_shared<const Handler>(std::move(handler)) : nullptr;
    if (assigned_) assigned_();
    return *this;
  }
  explicit operator bool() const { return handler_ != nullptr; }
  void operator()(Args... args) const {
    // The running handler is kept alive by this call, not by the event.
    if (const std::shared_ptr<const Handler> running = handler_) (*running)(args...);
  }

 private:
  friend class TApdCustomComPort;
  std::shared_ptr<const Handler> handler_;
  std::function<void()> assigned_;
};

using TTriggerEvent = ComPortEvent<void(TApdCustomComPort& cp, std::uint16_t msg,
                                        std::uint16_t triggerHandle, std::uint16_t data)>;
using TTriggerAvailEvent = ComPortEvent<void(TApdCustomComPort& cp, std::uint16_t count)>;
using TTriggerHandleEvent = ComPortEvent<void(TApdCustomComPort& cp, std::uint16_t triggerHandle)>;
using TTriggerLineErrorEvent =
    ComPortEvent<void(TApdCustomComPort& cp, std::uint16_t error, bool lineBreak)>;
using TNotifyEvent = ComPortEvent<void(TApdCustomComPort& cp)>;

// Asks the user for a port number; nullopt when the user cancels.
using PortPrompt = std::function<std::optional<std::uint16_t>()>;

class TApdCustomComPort {
 public:
  TApdCustomComPort();
  TApdCustomComPort(const TApdCustomComPort&) = delete;
  TApdCustomComPort& operator=(const TApdCustomComPort&) = delete;
  // Closes an open port (waiting for a deferred close to finish).
  virtual ~TApdCustomComPort();

  // The prompt new components start with (the program installs its
  // port-selection dialog); PortPromptHandler may replace it per component.
  static void SetDefaultPortPrompt(PortPrompt prompt);
  PortPrompt PortPromptHandler;

  // --- Properties ------------------------------------------------------------
  TDeviceLayer DeviceLayer() const { return deviceLayer_; }
  void SetDeviceLayer(TDeviceLayer layer);
  std::uint16_t ComNumber() const { return comNumber_; }
  void SetComNumber(std::uint16_t number);
  std::int32_t Baud() const { return baud_; }
  void SetBaud(std::int32_t baud);
  bool PromptForPort() const { return promptForPort_; }
  void SetPromptForPort(bool prompt) { promptForPort_ = prompt; }
  TParity Parity() const { return parity_; }
  void SetParity(TParity parity);
  std::uint16_t DataBits() const { return dataBits_; }
  void SetDataBits(std::uint16_t bits);
  std::uint16_t StopBits() const { return stopBits_; }
  void SetStopBits(std::uint16_t bits);
  std::uint16_t InSize() const { return inSize_; }
  void SetInSize(std::uint16_t size);
  std::uint16_t OutSize() const { return outSize_; }
  void SetOutSize(std::uint16_t size);
  bool AutoOpen() const { return autoOpen_; }
  void SetAutoOpen(bool autoOpen) { autoOpen_ = autoOpen; }
  bool Open() const { return open_; }
  void SetOpen(bool open);
  bool DTR() const { return dtr_; }
  void SetDTR(bool on);
  bool RTS() const { return rts_; }
  void SetRTS(bool on);
  THWFlowOptions HWFlowOptions() const { return hwFlowOptions_; }
  void SetHWFlowOptions(THWFlowOptions options);
  TSWFlowOptions SWFlowOptions() const { return swFlowOptions_; }
  void SetSWFlowOptions(TSWFlowOptions options);
  char XOnChar() const { return xonChar_; }
  void SetXOnChar(char c);
  char XOffChar() const { return xoffChar_; }
  void SetXOffChar(char c);
  std::uint16_t BufferFull() const { return bufferFull_; }
  void SetBufferFull(std::uint16_t level);
  std::uint16_t BufferResume() const { return bufferResume_; }
  void SetBufferResume(std::uint16_t level);
  // Diagnostic capture is not available: any state but tlOff raises
  // ETracingNotEnabled / ELoggingNotEnabled.
  TTraceLogState Tracing() const { return tracing_; }
  void SetTracing(TTraceLogState state);
  TTraceLogState Logging() const { return logging_; }
  void SetLogging(TTraceLogState state);
  std::uint32_t TraceSize() const { return traceSize_; }
  void SetTraceSize(std::uint32_t size);
  std::uint32_t LogSize() const { return logSize_; }
  void SetLogSize(std::uint32_t size);
  const std::string& TraceName() const { return traceName_; }
  void SetTraceName(const std::string& name) { traceName_ = name; }
  const std::string& LogName() const { return logName_; }
  void SetLogName(const std::string& name) { logName_ = name; }
  bool TraceHex() const { return traceHex_; }
  void SetTraceHex(bool hex) { traceHex_ = hex; }
  bool TraceAllHex() const { return traceAllHex_; }
  void SetTraceAllHex(bool hex) { traceAllHex_ = hex; }
  bool LogHex() const { return logHex_; }
  void SetLogHex(bool hex) { logHex_ = hex; }
  bool LogAllHex() const { return logAllHex_; }
  void SetLogAllHex(bool hex) { logAllHex_ = hex; }
  bool UseMSRShadow() const { return useMsrShadow_; }
  void SetUseMSRShadow(bool use) { useMsrShadow_ = use; }
  bool UseEventWord() const { return useEventWord_; }
  void SetUseEventWord(bool use) { useEventWord_ = use; }
  std::uint16_t CommNotificationLevel() const { return commNotificationLevel_; }
  void SetCommNotificationLevel(std::uint16_t level) { commNotificationLevel_ = level; }
  TTapiMode TapiMode() const { return tapiMode_; }
  void SetTapiMode(TTapiMode mode) { tapiMode_ = mode; }
  bool RS485Mode() const { return rs485Mode_; }
  void SetRS485Mode(bool on);

  // --- Events (run on the component's thread) --------------------------------
  TTriggerEvent OnTrigger;  // every trigger message, before the specific event
  TTriggerAvailEvent OnTriggerAvail;
  TTriggerHandleEvent OnTriggerData;
  TTriggerHandleEvent OnTriggerStatus;
  TTriggerHandleEvent OnTriggerTimer;
  TTriggerLineErrorEvent OnTriggerLineError;
  TNotifyEvent OnTriggerModemStatus;
  TNotifyEvent OnTriggerOutbuffFree;
  TNotifyEvent OnTriggerOutbuffUsed;
  TNotifyEvent OnTriggerOutSent;

  // --- Operations ------------------------------------------------------------
  // Line states read fresh from the device (False when not open); reading a
  // line clears its change bit.
  bool CtsOn();
  bool DsrOn();
  bool RiOn();
  bool DcdOn();
  // Change bits (False when not open); reading clears them.
  bool CtsChanged();
  bool DsrChanged();
  bool RiChanged();
  bool DcdChanged();
  // Free bytes of the output buffer; OutSize when not open.
  std::uint16_t OutputFree();
  void SendChar(char c);
  void SendText(const std::string& text);  // one block
  char ReceiveChar();                      // 0 while closing
  void PurgeOutput();
  void PurgeInput();
  std::uint16_t CreateStatusTrigger(std::uint16_t kind);  // 0 while closing
  void ArmStatusTrigger(std::uint16_t handle, std::uint16_t value, bool active);
  void DeleteTrigger(std::uint16_t handle);
  void AddPortUser(platform::HWND window);
  void RemovePortUser(platform::HWND window);

  PortState State() const { return portState_; }
  // The dispatcher while the port is open, else nullptr.
  TApdBaseDispatcher* Dispatcher() const { return dispatcher_.get(); }
  // The dispatcher, opening the port first when AutoOpen allows; raises
  // ECommNotOpen when there is none.
  TApdBaseDispatcher& ValidDispatcher();

  // Property values assigned between BeginLoading and Loaded are only
  // recorded; Loaded opens the port if Open was set (a failure resets Open
  // and goes to the application's exception display).
  void BeginLoading() { loading_ = true; }
  void Loaded();
  bool Loading() const { return loading_; }

 protected:
  virtual std::unique_ptr<TApdBaseDispatcher> CreateDispatcher();
  virtual void TriggerHandler(std::uint16_t msg, std::uint16_t triggerHandle, std::uint16_t data);
  virtual void TriggerAvail(std::uint16_t count);
  virtual void TriggerData(std::uint16_t triggerHandle);
  virtual void TriggerStatus(std::uint16_t triggerHandle);
  virtual void TriggerTimer(std::uint16_t triggerHandle);
  virtual void TriggerLineError(std::uint16_t error, bool lineBreak);
  virtual void TriggerModemStatus();
  virtual void TriggerOutbuffFree();
  virtual void TriggerOutbuffUsed();
  virtual void TriggerOutSent();

 private:
  void OpenPort();
  void ClosePort();
  void FinishClose();
  void ResolvePortNumber();
  void ApplySettingsAfterOpen();
  void CreateNotificationWindow();
  void DestroyNotificationWindow();
  void NotifyUsers(platform::UINT msg);
  void UpdateTriggerDelivery();
  platform::LRESULT NotificationWindowProc(platform::UINT msg, platform::WPARAM wParam,
                                           platform::LPARAM lParam);
  void DeliverTriggerMessage(platform::UINT msg, platform::WPARAM wParam, platform::LPARAM lParam);
  std::int32_t Check(std::int32_t result) const;
  TriggerMessageSet AssignedTriggerMessages() const;
  bool ApplyNow() const { return portState_ == PortState::Open; }
  void ApplyLineSettings();
  void ReapplyFlow();
  std::uint8_t ReadModem(std::uint8_t clearMask);

  TDeviceLayer deviceLayer_ = dlWin32;
  std::uint16_t comNumber_ = 0;
  std::int32_t baud_ = 19200;
  bool promptForPort_ = true;
  TParity parity_ = pNone;
  std::uint16_t dataBits_ = 8;
  std::uint16_t stopBits_ = 1;
  std::uint16_t inSize_ = 4096;
  std::uint16_t outSize_ = 4096;
  bool autoOpen_ = true;
  bool open_ = false;
  bool dtr_ = true;
  bool rts_ = true;
  THWFlowOptions hwFlowOptions_ = 0;
  TSWFlowOptions swFlowOptions_ = swfNone;
  char xonChar_ = 17;
  char xoffChar_ = 19;
  std::uint16_t bufferFull_ = 0;
  std::uint16_t bufferResume_ = 0;
  TTraceLogState tracing_ = tlOff;
  TTraceLogState logging_ = tlOff;
  std::uint32_t traceSize_ = 10000;
  std::uint32_t logSize_ = 10000;
  std::string traceName_;
  std::string logName_;
  bool traceHex_ = true;
  bool traceAllHex_ = false;
  bool logHex_ = true;
  bool logAllHex_ = false;
  bool useMsrShadow_ = true;
  bool useEventWord_ = true;
  std::uint16_t commNotificationLevel_ = 10;
  TTapiMode tapiMode_ = tmAuto;
  bool rs485Mode_ = false;

  PortState portState_ = PortState::Closed;
  std::shared_ptr<TApdBaseDispatcher> dispatcher_;
  std::vector<platform::HWND> users_;
  platform::HWND notificationWindow_ = 0;
  std::optional<SavedTriggers> savedTriggers_;
  bool reopenRequested_ = false;
  bool force_ = false;
  bool loading_ = false;
  std::uint32_t availThreshold_ = 1;
};

// Publishes the properties; all behaviour is TApdCustomComPort's.
class TApdComPort : public TApdCustomComPort {
 public:
  using TApdCustomComPort::TApdCustomComPort;
};

}  // namespace serial
