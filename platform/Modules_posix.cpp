#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/ElfSections.h"
#include "platform/ModuleEntry.h"
#include "platform/Modules.h"

namespace platform {
namespace {

using ModuleEntry = int (*)(int);

// dlopen counts references itself; we count too, to call attach on the first
// load and detach on the last release, as Windows does.
std::mutex modulesLock;
std::map<HMODULE, int>& LoadCounts() {
  static std::map<HMODULE, int> counts;
  return counts;
}

std::vector<std::string> SearchFolders() {
  std::vector<std::string> folders;
  const auto programFolder = std::filesystem::path(ProgramFilePath()).parent_path();
  folders.push_back(programFolder.string());
  // An installed program finds the library of its own installation.
  folders.push_back((programFolder / QUOR_LIBDIR_FROM_BINDIR).lexically_normal().string());
  if (const char* path = std::getenv("LD_LIBRARY_PATH")) {
    std::stringstream list(path);
    for (std::string folder; std::getline(list, folder, ':');)
      if (!folder.empty()) folders.push_back(folder);
  }
  for (const char* folder :
       {"/usr/local/lib", "/usr/lib/x86_64-linux-gnu", "/lib/x86_64-linux-gnu", "/usr/lib", "/lib"})
    folders.push_back(folder);
  return folders;
}

// The names a library is looked for under, in this order: the mapped name
// (a development link or a build tree), then the runtime name of the
// interface version our programs are built against.
std::vector<std::string> FileNamesOf(const std::string& name) {
  const std::string mapped = MapLibraryName(name);
  if (name.find('/') != std::string::npos) return {mapped};
  return {mapped, mapped + "." QUOR_LIBRARY_SOVERSION};
}

ModuleEntry FindEntry(HMODULE module) {
  link_map* map = nullptr;
  if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return nullptr;
  auto section = FindElfSection(map->l_name, ".quor_entry");
  if (!section || section->size < sizeof(ModuleEntry)) return nullptr;
  return *reinterpret_cast<ModuleEntry*>(map->l_addr + section->address);
}

}  // namespace

std::string ProgramFilePath() {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error).string();
}

std::string MapLibraryName(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  std::string base = name;
  std::transform(base.begin(), base.end(), base.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  if (base.ends_with(".dll")) base.resize(base.size() - 4);
  return "lib" + base + ".so";
}

std::string FindLibraryFile(const std::string& name) {
  std::error_code error;
  if (name.find('/') != std::string::npos)
    return std::filesystem::is_regular_file(name, error) ? name : std::string();
  const auto files = FileNamesOf(name);
  for (const auto& folder : SearchFolders()) {
    for (const auto& file : files) {
      auto candidate = std::filesystem::path(folder) / file;
      if (std::filesystem::is_regular_file(candidate, error)) return candidate.string();
    }
  }
  return {};
}

HMODULE LoadLibrary(const std::string& name) {
  HMODULE module = nullptr;
  if (const std::string file = FindLibraryFile(name); !file.empty()) {
    module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  } else {
    // Last, the dynamic linker's own search (its cache of installed libraries).
    for (const auto& file : FileNamesOf(name))
      if ((module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL))) break;
  }
  if (!module) return nullptr;
  std::lock_guard guard(modulesLock);
  if (LoadCounts()[module]++ > 0) return module;
  if (ModuleEntry entry = FindEntry(module); entry && entry(kModuleAttach) == 0) {
    entry(kModuleDetach);
    LoadCounts().erase(module);
    dlclose(module);
    return nullptr;
  }
  return module;
}

FARPROC GetProcAddress(HMODULE module, const std::string& name) {
  if (!module) return nullptr;
  return dlsym(module, name.c_str());
}

bool FreeLibrary(HMODULE module) {
  std::lock_guard guard(modulesLock);
  auto it = LoadCounts().find(module);
  if (it == LoadCounts().end()) return false;
  if (--it->second == 0) {
    LoadCounts().erase(it);
    if (ModuleEntry entry = FindEntry(module)) entry(kModuleDetach);
  }
  return dlclose(module) == 0;
}

}  // namespace platform
