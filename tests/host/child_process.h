// Runs part of a test in a child process, for conditions that must not touch
// the test process itself: resource limits, a private mount namespace, or an
// unprivileged user. The child reports through its exit status only; the
// parent makes the assertions.
#ifndef KELMO_TESTS_HOST_CHILD_PROCESS_H
#define KELMO_TESTS_HOST_CHILD_PROCESS_H

#if !defined(_WIN32)

#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

namespace kelmo_test {

// Exit status of a child that could not set up what the test needs (no
// right to mount, no user to switch to); the parent skips the test.
constexpr int kChildCannotSetUp = 77;

// The user and group a privileged test process switches to.
constexpr uid_t kUnprivilegedUser = 65534;
constexpr gid_t kUnprivilegedGroup = 65534;

// Gives up root in the child, so that permission bits apply to it. True when
// the child is now unprivileged (it may have been all along).
inline bool DropPrivileges() {
  if (::geteuid() != 0) return true;
  return ::setgroups(0, nullptr) == 0 && ::setgid(kUnprivilegedGroup) == 0 &&
         ::setuid(kUnprivilegedUser) == 0 && ::geteuid() != 0;
}

// Runs body in a forked child and gives its exit status (0 to 255), or -1
// when the child could not be made or did not exit normally. The child ends
// with _exit, so nothing of the parent's state is torn down twice.
inline int RunInChild(const std::function<int()>& body) {
  // Output still buffered would otherwise be written twice, should anything
  // in the child flush it.
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) ::_exit(body());
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace kelmo_test

#endif  // !_WIN32

#endif  // KELMO_TESTS_HOST_CHILD_PROCESS_H
