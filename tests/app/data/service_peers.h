// Two copies of the task service on one machine without touching a real
// network: a network namespace nested in the test's own (held by a sleeping
// process), joined to it by a veth pair (10.77.0.1/24 here, 10.77.0.2/24
// there), and tools/datahost --service started in either with pipes on its
// standard input and output. Everything is called from the test's thread;
// the test's namespace is the one scripts/isolated made for the case.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

namespace peertest {

#ifdef FW_BINARY_DIR
inline std::string datahostPath() { return std::string(FW_BINARY_DIR) + "/tools/datahost/datahost"; }
#endif

inline int sh(const std::string& command) {
  int rc = std::system(command.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// A network namespace of its own below the caller's, alive while the object
// lives.
class NestedNet {
 public:
  NestedNet() = default;
  NestedNet(const NestedNet&) = delete;
  NestedNet& operator=(const NestedNet&) = delete;
  ~NestedNet() {
    if (fd_ >= 0) close(fd_);
    if (holder_ > 0) {
      kill(holder_, SIGKILL);
      waitpid(holder_, nullptr, 0);
    }
  }

  // Makes the namespace and the veth pair: v0 10.77.0.1/prefix stays here,
  // v1 10.77.0.2/prefix goes there (with its own loopback up).
  bool make(std::string& why, int prefix = 24) {
    const std::string bits = "/" + std::to_string(prefix);
    if (sh("ip link add v0 type veth peer name v1 && ip addr add 10.77.0.1" + bits + " dev v0 && ip link set v0 up") !=
        0) {
      why = "cannot create the veth pair";
      return false;
    }
    holder_ = fork();
    if (holder_ == 0) {
      execlp("unshare", "unshare", "-n", "sleep", "3600", static_cast<char*>(nullptr));
      _exit(127);
    }
    struct stat own {}, theirs {};
    stat("/proc/self/ns/net", &own);
    for (int i = 0; i < 500; ++i) {
      if (stat(("/proc/" + std::to_string(holder_) + "/ns/net").c_str(), &theirs) == 0 && theirs.st_ino != own.st_ino)
        break;
      usleep(10000);
    }
    if (theirs.st_ino == own.st_ino) {
      why = "the nested namespace was not made (unshare -n)";
      return false;
    }
    fd_ = open(("/proc/" + std::to_string(holder_) + "/ns/net").c_str(), O_RDONLY | O_CLOEXEC);
    const std::string pid = std::to_string(holder_);
    if (fd_ < 0 || sh("ip link set v1 netns " + pid) != 0 ||
        sh("nsenter -t " + pid + " -n sh -c 'ip link set lo up && ip addr add 10.77.0.2" + bits +
           " dev v1 && ip link set v1 up'") != 0) {
      why = "cannot move v1 into the nested namespace (nsenter)";
      return false;
    }
    return true;
  }

  // An open descriptor of the namespace (for setns).
  int fd() const { return fd_; }
  // Runs a shell command inside the namespace; its exit status.
  int run(const std::string& command) const {
    return sh("nsenter -t " + std::to_string(holder_) + " -n sh -c '" + command + "'");
  }

 private:
  pid_t holder_ = -1;
  int fd_ = -1;
};

// A program with its standard input and output on pipes (standard error
// goes to errFile), ended with SIGTERM when the object goes.
class Child {
 public:
  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() { stop(); }

  // Starts argv with the extra environment entries, inside the namespace
  // netnsFd when it is not -1.
  bool start(const std::vector<std::string>& argv, const std::vector<std::string>& env, int netnsFd = -1,
             const std::string& errFile = "/dev/null") {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return false;
    std::vector<std::string> envText;
    for (char** e = environ; *e; ++e) envText.emplace_back(*e);
    for (const auto& e : env) envText.push_back(e);
    std::vector<char*> args, envp;
    for (auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (auto& e : envText) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      if (netnsFd >= 0 && setns(netnsFd, CLONE_NEWNET) != 0) _exit(126);
      int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
      dup2(in[0], 0);
      dup2(out[1], 1);
      if (err >= 0) dup2(err, 2);
      setpgid(0, 0);
      execve(args[0], args.data(), envp.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    in_ = in[1];
    out_ = out[0];
    fcntl(out_, F_SETFL, O_NONBLOCK);
    return pid_ > 0;
  }

  void send(const std::string& line) {
    std::string text = line + "\n";
    if (in_ >= 0 && write(in_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
      // The program is gone; the waits that follow say so.
    }
  }

  // Every line read so far.
  const std::vector<std::string>& lines() const { return lines_; }

  // Reads until a line from index `from` on satisfies pred or the seconds
  // run out; the index of that line, or -1.
  int waitFor(const std::function<bool(const std::string&)>& pred, double seconds, size_t from = 0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    size_t next = from;
    for (;;) {
      for (; next < lines_.size(); ++next)
        if (pred(lines_[next])) return static_cast<int>(next);
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
      if (left.count() <= 0 || out_ < 0) return -1;
      pollfd p{out_, POLLIN, 0};
      poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 100)));
      readSome();
    }
  }
  // The index of the first line starting with prefix, from `from` on.
  int waitPrefix(const std::string& prefix, double seconds, size_t from = 0) {
    return waitFor([&](const std::string& l) { return l.rfind(prefix, 0) == 0; }, seconds, from);
  }

  // SIGTERM and wait: the exit status (-1 when it did not end normally).
  int stop() {
    if (pid_ <= 0) return -1;
    if (in_ >= 0) close(in_);
    in_ = -1;
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    readSome();
    if (out_ >= 0) close(out_);
    out_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  pid_t pid() const { return pid_; }

 private:
  void readSome() {
    char buf[4096];
    ssize_t n;
    while (out_ >= 0 && (n = read(out_, buf, sizeof buf)) > 0) {
      pending_.append(buf, static_cast<size_t>(n));
      size_t nl;
      while ((nl = pending_.find('\n')) != std::string::npos) {
        lines_.push_back(pending_.substr(0, nl));
        pending_.erase(0, nl + 1);
      }
    }
  }

  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  std::string pending_;
  std::vector<std::string> lines_;
};

}  // namespace peertest
