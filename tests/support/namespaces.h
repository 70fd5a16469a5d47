// Private namespaces for tests, made the way scripts/isolated makes its
// network namespace: directly as root (root in a chroot or a container often
// may not create a user namespace), otherwise, or when that is refused,
// inside a new user namespace that maps the caller to root.
#pragma once

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace fwtest {

namespace detail {

inline bool writeProcFile(const char* path, const std::string& text) {
  int fd = open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  return ok;
}

// A user namespace (with `flags` besides) where the caller is root.
inline bool unshareAsMappedRoot(int flags) {
  const uid_t uid = geteuid();
  const gid_t gid = getegid();
  if (unshare(CLONE_NEWUSER | flags) != 0) return false;
  writeProcFile("/proc/self/setgroups", "deny");
  return writeProcFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") &&
         writeProcFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n");
}

}  // namespace detail

// Moves the calling process into namespaces of its own (CLONE_NEW* flags).
// False with `why` telling what is missing when neither way works. A user
// namespace can only be entered by a single-threaded process: call it before
// the test starts threads.
inline bool enterPrivateNamespaces(int flags, std::string& why) {
  if (geteuid() == 0 && unshare(flags) == 0) return true;
  const int direct = errno;
  if (detail::unshareAsMappedRoot(flags)) return true;
  why = std::string(geteuid() == 0 ? "as root, unshare needs CAP_SYS_ADMIN (" + std::string(strerror(direct)) + ")"
                                   : std::string("not root")) +
        ", and a user namespace cannot be made either (" + strerror(errno) + ")";
  return false;
}

// A private mount namespace whose mounts do not propagate back.
inline bool enterPrivateMountNamespace(std::string& why) {
  if (!enterPrivateNamespaces(CLONE_NEWNS, why)) return false;
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    why = std::string("cannot make the mounts private: ") + strerror(errno);
    return false;
  }
  return true;
}

}  // namespace fwtest
