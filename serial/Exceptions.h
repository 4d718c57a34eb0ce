// The engine's exceptions and RaiseForResult, which turns a negative result
// of the dispatcher into the matching exception.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "serial/ErrorCodes.h"

namespace serial {

class EAPDException : public std::runtime_error {
 public:
  // ErrorCode := code, message := ErrorText(code).
  explicit EAPDException(std::int32_t code);
  // ErrorCode := 0, message := text.
  explicit EAPDException(const std::string& text);
  std::int32_t ErrorCode() const { return errorCode_; }

 private:
  std::int32_t errorCode_;
};

class EGeneral : public EAPDException {
 public:
  using EAPDException::EAPDException;
};
class EOpenComm : public EAPDException {
 public:
  using EAPDException::EAPDException;
};
class ESerialIO : public EAPDException {
 public:
  using EAPDException::EAPDException;
};
class ETrigger : public EAPDException {
 public:
  using EAPDException::EAPDException;
};

// One class per code, derived from its group.
template <std::int32_t Code, class Group>
class ECodeException : public Group {
 public:
  static constexpr std::int32_t kCode = Code;
  ECodeException() : Group(Code) {}
};

using EBadArgument = ECodeException<ecBadArgument, EGeneral>;
using EGotQuitMsg = ECodeException<ecGotQuitMsg, EGeneral>;
using EBufferTooBig = ECodeException<ecBufferTooBig, EGeneral>;
using EPortNotAssigned = ECodeException<ecPortNotAssigned, EGeneral>;
using EInternal = ECodeException<ecInternal, EGeneral>;
using EBadId = ECodeException<ecBadId, EOpenComm>;
using EBaudRate = ECodeException<ecBaudRate, EOpenComm>;
using EByteSize = ECodeException<ecByteSize, EOpenComm>;
using EDefault = ECodeException<ecDefault, EOpenComm>;
using EHardware = ECodeException<ecHardware, EOpenComm>;
using EMemory = ECodeException<ecMemory, EOpenComm>;
using ECommNotOpen = ECodeException<ecCommNotOpen, EOpenComm>;
using EAlreadyOpen = ECodeException<ecAlreadyOpen, EOpenComm>;
using ENoHandles = ECodeException<ecNoHandles, EOpenComm>;
using ENoTimers = ECodeException<ecNoTimers, EOpenComm>;
using ENoPortSelected = ECodeException<ecNoPortSelected, EOpenComm>;
using ENullApi = ECodeException<ecNullApi, ESerialIO>;
using ERegisterHandlerFailed = ECodeException<ecRegisterHandlerFailed, ESerialIO>;
using EPutBlockFail = ECodeException<ecPutBlockFail, ESerialIO>;
using EGetBlockFail = ECodeException<ecGetBlockFail, ESerialIO>;
using EOutputBufferTooSmall = ECodeException<ecOutputBufferTooSmall, ESerialIO>;
using EBufferIsEmpty = ECodeException<ecBufferIsEmpty, ESerialIO>;
using ETracingNotEnabled = ECodeException<ecTracingNotEnabled, ESerialIO>;
using ELoggingNotEnabled = ECodeException<ecLoggingNotEnabled, ESerialIO>;
using EBaseAddressNotSet = ECodeException<ecBaseAddressNotSet, ESerialIO>;
using ETriggerTooLong = ECodeException<ecTriggerTooLong, ETrigger>;
using EBadTriggerHandle = ECodeException<ecBadTriggerHandle, ETrigger>;

// The runtime's input/output error: an operating-system error number with
// its text.
class EInOutError : public std::runtime_error {
 public:
  EInOutError(const std::string& message, std::int32_t errorCode)
      : std::runtime_error(message), errorCode_(errorCode) {}
  std::int32_t ErrorCode() const { return errorCode_; }

 private:
  std::int32_t errorCode_;
};

// Returns result when it is 0 or more, or while the component is loading;
// otherwise raises: a code of the class table raises its class; -8 raises
// std::bad_alloc; -2..-162 raise EInOutError (ErrorText, magnitude); any
// other code raises EAPDException("Varn exception") with ErrorCode 0.
std::int32_t RaiseForResult(std::int32_t result, bool componentLoading = false);

}  // namespace serial
