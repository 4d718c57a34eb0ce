// TAdStringResource: reads a string-table resource carried by the program
// (the binary format of platform/StringTableFormat.h).
//
// Errors: EKeshStringResourceError, with the manager's own messages. They can
// only arise when a manager is created, which happens at start-up for the two
// process-wide managers. Lookups may run on any thread.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace serial {

class EKeshStringResourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TAdStringResource {
 public:
  // An empty name creates an empty manager. Raises when the resource is
  // missing, or is not a well-formed table.
  explicit TAdStringResource(const std::string& resourceName);

  // The text of id in the process's ANSI code page; empty when the table has
  // no such id, or EKeshStringResourceError when RaiseOnMissing is on.
  std::string GetString(std::uint32_t id) const;

  bool RaiseOnMissing() const { return raiseOnMissing_; }
  void SetRaiseOnMissing(bool raise) { raiseOnMissing_ = raise; }
  const std::string& ResourceName() const { return name_; }

 private:
  std::string name_;
  const std::uint8_t* data_ = nullptr;
  bool raiseOnMissing_ = false;
};

// The two process-wide managers: the manager's own messages
// ("ADSRMGR_STRINGS") and the engine's messages ("VARN_ERROR_STRINGS_ENGLISH").
// Created on first use; the program touches both at start-up.
const TAdStringResource& ManagerStrings();
const TAdStringResource& ErrorStrings();

constexpr const char* kManagerStringsName = "ADSRMGR_STRINGS";
constexpr const char* kErrorStringsName = "VARN_ERROR_STRINGS_ENGLISH";

}  // namespace serial
