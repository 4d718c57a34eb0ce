// A fresh host root for a test, with its driver/ folder; removed with
// everything in it when the object goes.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace test {

class HostRootFolder {
 public:
  HostRootFolder() {
    char pattern[] = "/tmp/qhr-XXXXXX";
    path_ = mkdtemp(pattern);
    std::filesystem::create_directories(path_ + "/driver");
  }
  ~HostRootFolder() { std::filesystem::remove_all(path_); }
  HostRootFolder(const HostRootFolder&) = delete;
  HostRootFolder& operator=(const HostRootFolder&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace test
