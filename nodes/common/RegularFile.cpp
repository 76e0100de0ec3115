#include "RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Why a file of this status is not read, or "" when it may be.
std::string Refusal(const std::string& path, const struct stat& status, std::size_t maxSize) {
  if (!S_ISREG(status.st_mode)) return path + " is not a regular file";
  if (static_cast<std::uint64_t>(status.st_size) > maxSize)
    return path + " is larger than " + std::to_string(maxSize) + " bytes";
  return {};
}

}  // namespace

std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t maxSize, std::string* error) {
  error->clear();
  const auto failed = [&](const std::string& why) -> std::optional<std::string> {
    *error = why;
    return std::nullopt;
  };
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    return failed("Cannot read " + path + ": " + std::strerror(errno));
  }
  if (std::string why = Refusal(path, status, maxSize); !why.empty()) return failed(why);
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return failed("Cannot read " + path + ": " + std::strerror(errno));
  // Checked again on what was opened: the name may have been given another file meanwhile.
  std::string why;
  if (::fstat(fd, &status) != 0)
    why = "Cannot read " + path + ": " + std::strerror(errno);
  else
    why = Refusal(path, status, maxSize);
  std::string bytes;
  // At most one byte beyond the limit: a file that grows while it is read stays refused.
  char chunk[16384];
  while (why.empty() && bytes.size() <= maxSize) {
    const ssize_t n = ::read(fd, chunk, std::min(sizeof chunk, maxSize + 1 - bytes.size()));
    if (n == 0) break;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) why = "Cannot read " + path + ": " + std::strerror(errno);
    if (n > 0) bytes.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (why.empty() && bytes.size() > maxSize) why = path + " is larger than " + std::to_string(maxSize) + " bytes";
  if (!why.empty()) return failed(why);
  return bytes;
}
