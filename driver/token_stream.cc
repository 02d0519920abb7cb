#include "driver/token_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "driver/text_file_reader.h"

namespace newsclass {

FileTokenStream::FileTokenStream(const std::string& path, size_t bufferSize)
    : path_(path), buffer_((bufferSize < 16 ? 16 : bufferSize) + kPadding, '\0') {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) {
    throw fileError(path, std::string("cannot open for reading: ") + std::strerror(errno));
  }
  struct stat status {};
  if (::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode)) {
    fileSize_ = static_cast<uint64_t>(status.st_size);
  }
  p_ = end_ = buffer_.data();
}

FileTokenStream::~FileTokenStream() {
  if (fd_ >= 0) ::close(fd_);
}

uint64_t FileTokenStream::remaining() const {
  const uint64_t read = consumedBeforeBuffer_ + static_cast<uint64_t>(p_ - buffer_.data());
  return fileSize_ > read ? fileSize_ - read : 0;
}

void FileTokenStream::refill() {
  const size_t kept = static_cast<size_t>(end_ - p_);
  const size_t start = static_cast<size_t>(p_ - buffer_.data());
  consumedBeforeBuffer_ += start;
  // A token as long as the whole buffer: make room for more of it.
  if (kept == capacity()) buffer_.resize(capacity() * 2 + kPadding, '\0');
  std::memmove(buffer_.data(), buffer_.data() + start, kept);
  size_t filled = kept;
  while (filled < capacity()) {
    const ssize_t got = ::read(fd_, buffer_.data() + filled, capacity() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw fileError(path_, std::string("cannot read: ") + std::strerror(errno));
    }
    if (got == 0) {
      atEnd_ = true;
      break;
    }
    filled += static_cast<size_t>(got);
  }
  p_ = buffer_.data();
  end_ = buffer_.data() + filled;
  std::memset(buffer_.data() + filled, 0, kPadding);
}

}  // namespace newsclass
