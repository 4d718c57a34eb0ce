// Points the probe libraries' entry log (tests/platform/modules) at a file
// of this process's own for one test, as ctest runs tests side by side.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace platform_test {

class ModuleLog {
 public:
  ModuleLog()
      : path_(std::filesystem::temp_directory_path() /
              ("quor-module-log-" + std::to_string(ProcessId()) + ".txt")) {
    std::filesystem::remove(path_);
    Set(path_.string());
  }
  ~ModuleLog() {
    Set("");
    std::filesystem::remove(path_);
  }
  std::string Text() const {
    std::ifstream in(path_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  static int ProcessId() {
#ifdef _WIN32
    return _getpid();
#else
    return getpid();
#endif
  }
  static void Set(const std::string& value) {
#ifdef _WIN32
    _putenv_s("QUOR_MODULE_LOG", value.c_str());
#else
    setenv("QUOR_MODULE_LOG", value.c_str(), 1);
#endif
  }
  std::filesystem::path path_;
};

}  // namespace platform_test
