#include "serial/Exceptions.h"

#include <new>

#include "serial/ErrorText.h"

namespace serial {
namespace {

constexpr const char* kUnknownCodeText = "Varn exception";

template <class E>
[[noreturn]] void Raise() {
  throw E();
}

}  // namespace

EAPDException::EAPDException(std::int32_t code)
    : std::runtime_error(ErrorText(code)), errorCode_(code) {}

EAPDException::EAPDException(const std::string& text) : std::runtime_error(text), errorCode_(0) {}

std::int32_t RaiseForResult(std::int32_t result, bool componentLoading) {
  if (result >= 0 || componentLoading) return result;
  switch (result) {
    case ecBadArgument:
      Raise<EBadArgument>();
    case ecGotQuitMsg:
      Raise<EGotQuitMsg>();
    case ecBufferTooBig:
      Raise<EBufferTooBig>();
    case ecPortNotAssigned:
      Raise<EPortNotAssigned>();
    case ecInternal:
      Raise<EInternal>();
    case ecBadId:
      Raise<EBadId>();
    case ecBaudRate:
      Raise<EBaudRate>();
    case ecByteSize:
      Raise<EByteSize>();
    case ecDefault:
      Raise<EDefault>();
    case ecHardware:
      Raise<EHardware>();
    case ecMemory:
      Raise<EMemory>();
    case ecCommNotOpen:
      Raise<ECommNotOpen>();
    case ecAlreadyOpen:
      Raise<EAlreadyOpen>();
    case ecNoHandles:
      Raise<ENoHandles>();
    case ecNoTimers:
      Raise<ENoTimers>();
    case ecNoPortSelected:
      Raise<ENoPortSelected>();
    case ecNullApi:
      Raise<ENullApi>();
    case ecRegisterHandlerFailed:
      Raise<ERegisterHandlerFailed>();
    case ecPutBlockFail:
      Raise<EPutBlockFail>();
    case ecGetBlockFail:
      Raise<EGetBlockFail>();
    case ecOutputBufferTooSmall:
      Raise<EOutputBufferTooSmall>();
    case ecBufferIsEmpty:
      Raise<EBufferIsEmpty>();
    case ecTracingNotEnabled:
      Raise<ETracingNotEnabled>();
    case ecLoggingNotEnabled:
      Raise<ELoggingNotEnabled>();
    case ecBaseAddressNotSet:
      Raise<EBaseAddressNotSet>();
    case ecTriggerTooLong:
      Raise<ETriggerTooLong>();
    case ecBadTriggerHandle:
      Raise<EBadTriggerHandle>();
    default:
      break;
  }
  if (result == ecOutOfMemory) throw std::bad_alloc();
  if (result <= -2 && result >= -162) throw EInOutError(ErrorText(result), -result);
  throw EAPDException(std::string(kUnknownCodeText));
}

}  // namespace serial
