#include "tests/common/TempPrefix.h"

#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

namespace velmor::testing {
namespace {

std::optional<std::string> GetEnvOpt(const std::string& name) {
  const char* v = getenv(name.c_str());
  return v ? std::optional<std::string>(v) : std::nullopt;
}

void SetEnvOpt(const std::string& name, const std::optional<std::string>& value) {
  if (value)
    setenv(name.c_str(), value->c_str(), 1);
  else
    unsetenv(name.c_str());
}

}  // namespace

TempPrefix::TempPrefix() {
  std::string tmpl = (fs::temp_directory_path() / "velmor-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  root_ = fs::canonical(tmpl).string();
  workingFolder_ = fs::current_path().string();
  for (const char* folder : {"/dosdevices", "/drive_c/windows", "/drive_d", "/home"})
    fs::create_directories(root_ + folder);
  AddDrive('c', "../drive_c");
  AddDrive('d', "../drive_d");
  AddDrive('z', "/");
  env_.emplace_back("WINEPREFIX", root_);
  env_.emplace_back("HOME", Home());
  env_.emplace_back("XDG_DATA_HOME", Home() + "/.local/share");
  env_.emplace_back("XDG_CONFIG_HOME", Home() + "/.config");
  env_.emplace_back("XDG_STATE_HOME", Home() + "/.local/state");
}

TempPrefix::~TempPrefix() {
  std::error_code ec;
  fs::current_path(workingFolder_, ec);
  // A bind mount of a folder above it would make the removal below go round in circles.
  for (auto it = mounts_.rbegin(); it != mounts_.rend(); ++it) umount2(it->c_str(), MNT_DETACH);
  // Read-only files and folders must not keep the tree alive.
  for (auto it = fs::recursive_directory_iterator(root_, fs::directory_options::skip_permission_denied, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_symlink(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(root_, ec);
}

std::string TempPrefix::BindMount(const std::string& source, const std::string& target) {
  // The process's own mount namespace, private, so that its mounts reach no other process.
  static const std::string refused = []() -> std::string {
    if (unshare(CLONE_NEWNS) != 0) return std::string("unshare(CLONE_NEWNS): ") + strerror(errno);
    if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
      return std::string("making the mounts private: ") + strerror(errno);
    return {};
  }();
  if (!refused.empty()) return refused;
  const std::string at = Abs(target);
  MakeDir(at);
  if (mount(Abs(source).c_str(), at.c_str(), nullptr, MS_BIND, nullptr) != 0)
    return "mount --bind " + source + " " + at + ": " + strerror(errno);
  mounts_.push_back(at);
  return {};
}

std::string TempPrefix::Abs(const std::string& path) const {
  return !path.empty() && path[0] == '/' ? path : root_ + "/" + path;
}

void TempPrefix::WriteFile(const std::string& path, std::string_view content) const {
  const fs::path p = Abs(path);
  fs::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!f) throw std::runtime_error("cannot write " + p.string());
}

std::optional<std::string> TempPrefix::ReadFile(const std::string& path) const {
  std::ifstream f(Abs(path), std::ios::binary);
  if (!f) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(f), {});
}

void TempPrefix::MakeDir(const std::string& path) const {
  fs::create_directories(Abs(path));
}

bool TempPrefix::Exists(const std::string& path) const {
  std::error_code ec;
  return fs::exists(fs::symlink_status(Abs(path), ec));
}

void TempPrefix::AddDrive(char letter, const std::string& target) const {
  RemoveDrive(letter);
  fs::create_symlink(target, root_ + "/dosdevices/" + letter + ":");
}

void TempPrefix::RemoveDrive(char letter) const {
  std::error_code ec;
  fs::remove(root_ + "/dosdevices/" + letter + ":", ec);
}

void TempPrefix::WriteRegistry(std::string_view body, bool win64) const {
  WriteFile("system.reg", RegistryText(body, win64));
}

std::string RegistryText(std::string_view body, bool win64) {
  return "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n" +
         std::string(win64 ? "#arch=win64\n\n" : "") + std::string(body);
}

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value)
    : name_(std::move(name)), saved_(GetEnvOpt(name_)) {
  SetEnvOpt(name_, value);
}

ScopedEnv::~ScopedEnv() {
  SetEnvOpt(name_, saved_);
}

}  // namespace velmor::testing
