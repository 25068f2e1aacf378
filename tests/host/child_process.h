// Runs part of a test in a child process, for conditions that must not touch
// the test process itself: resource limits, a private mount namespace, or an
// unprivileged user. The child reports through its exit status only; the
// parent makes the assertions.
#ifndef KELMO_TESTS_HOST_CHILD_PROCESS_H
#define KELMO_TESTS_HOST_CHILD_PROCESS_H

#if !defined(_WIN32)

#include <grp.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>

#include "support/host_library.h"
#include "host/scratch_dir.h"

namespace kelmo_test {

// Exit status of a child that could not set up what the test needs (no
// right to mount, no user to switch to); the parent skips the test.
constexpr int kChildCannotSetUp = 77;
// Exit status of an unprivileged child that cannot even enter the directory
// of the test's files; the parent skips the test.
constexpr int kChildCannotReachFiles = 78;
// Exit status of a child whose body threw; the parent fails the test. Without
// the catch the exception would end up in the child's copy of the test
// runner, which would go on to run the remaining tests a second time.
constexpr int kChildThrew = 79;

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
  if (pid == 0) {
    int status = kChildThrew;
    try {
      status = body();
    } catch (...) {
    }
    ::_exit(status);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// True when every directory from the root down to dir lets other users
// search it, so that the unprivileged user can reach what lies in dir.
inline bool ReachableByOthers(const std::filesystem::path& dir) {
  std::filesystem::path at;
  for (const auto& part : std::filesystem::absolute(dir)) {
    at /= part;
    struct stat info;
    if (::stat(at.c_str(), &info) != 0 || (info.st_mode & S_IXOTH) == 0) return false;
  }
  return true;
}

// A scratch directory that the unprivileged user may enter: under the usual
// temporary directory when other users can reach that, else under /tmp.
class SharedScratchDir : public ScratchDir {
 public:
  SharedScratchDir() : ScratchDir(Base()) {
    namespace fs = std::filesystem;
    fs::permissions(path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
  }

 private:
  static std::filesystem::path Base() {
    const std::filesystem::path usual = std::filesystem::temp_directory_path();
    return ReachableByOthers(usual) || !ReachableByOthers("/tmp") ? usual : "/tmp";
  }
};

// Runs body in a child as the unprivileged user (as the caller, when that is
// not root). The library is loaded first: the build tree may lie where the
// unprivileged user cannot go. The child then checks that it can enter
// files, the directory of the test's files, so that a refusal the test
// looks for is never confused with not reaching the files at all.
inline int RunUnprivileged(const std::filesystem::path& files, const std::function<int()>& body) {
  HostLibrary::Instance();
  return RunInChild([&] {
    if (!DropPrivileges()) return kChildCannotSetUp;
    if (::access(files.c_str(), X_OK) != 0) return kChildCannotReachFiles;
    return body();
  });
}

// Why a test must skip after RunUnprivileged gave status; null when the
// child ran its body.
inline const char* UnprivilegedSkipReason(int status) {
  switch (status) {
    case kChildCannotSetUp:
      return "cannot run as an unprivileged user that permission bits bind";
    case kChildCannotReachFiles:
      return "the unprivileged user cannot enter the scratch directory "
             "(point TMPDIR at a directory that other users may enter)";
    default:
      return nullptr;
  }
}

}  // namespace kelmo_test

#endif  // !_WIN32

#endif  // KELMO_TESTS_HOST_CHILD_PROCESS_H
