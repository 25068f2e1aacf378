// A reader at the far end of a named pipe, for tests of writers into one:
// it opens the pipe before the writer comes (so that a writer's open finds a
// reader), reads in a thread of its own, and closes the pipe after at most
// `limit` bytes or at the end.
#ifndef KELMO_TESTS_SUPPORT_PIPE_READER_H
#define KELMO_TESTS_SUPPORT_PIPE_READER_H

#if !defined(_WIN32)

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <thread>

namespace kelmo_test {

class PipeReader {
 public:
  PipeReader(const std::string& fifo, size_t limit)
      : fd_(::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)), thread_([this, limit] {
          // Until a writer comes, a read would see the end at once; the wait
          // is bounded, so that a writer that never comes ends the test.
          pollfd writer{fd_, POLLIN, 0};
          if (fd_ < 0 || ::poll(&writer, 1, 120000) != 1) return;
          ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
          char buffer[4096];
          while (bytes_.size() < limit) {
            const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, limit - bytes_.size()));
            if (n <= 0) break;
            bytes_.append(buffer, static_cast<size_t>(n));
          }
          ::close(fd_);
        }) {}
  ~PipeReader() {
    if (thread_.joinable()) thread_.join();
  }
  PipeReader(const PipeReader&) = delete;
  PipeReader& operator=(const PipeReader&) = delete;

  // The read end, which a forked writer must close in its copy.
  int fd() const { return fd_; }
  // What was read, once the reader has closed the pipe.
  std::string Finish() {
    thread_.join();
    return bytes_;
  }

 private:
  int fd_;
  std::string bytes_;
  std::thread thread_;
};

}  // namespace kelmo_test

#endif  // !_WIN32

#endif  // KELMO_TESTS_SUPPORT_PIPE_READER_H
