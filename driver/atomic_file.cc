#include "driver/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "driver/errors.h"

namespace newsclass {

void ensureDirectory(const std::string& path) {
  if (path.empty()) return;
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  if (ec) throw DataFileError(path + ": cannot create folder: " + ec.message());
}

void writeFileAtomically(const std::string& path,
                         const std::function<void(std::ostream&)>& write) {
  std::filesystem::path target(path);
  if (target.has_parent_path()) {
    std::error_code ec;
    std::filesystem::create_directories(target.parent_path(), ec);
    if (ec) throw DataFileError(path + ": cannot create its folder: " + ec.message());
  }
  const std::string temporary = path + ".tmp";
  {
    std::ofstream out;
    std::vector<char> buffer(1 << 16);
    out.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    out.open(temporary, std::ios::binary | std::ios::trunc);
    if (!out) {
      throw DataFileError(path + ": cannot create " + temporary + ": " + std::strerror(errno));
    }
    try {
      write(out);
    } catch (...) {
      out.close();
      std::remove(temporary.c_str());
      throw;
    }
    out.flush();
    if (!out) {
      int error = errno;
      out.close();
      std::remove(temporary.c_str());
      throw DataFileError(path + ": write failed: " + std::strerror(error));
    }
    out.close();
    if (!out) {
      std::remove(temporary.c_str());
      throw DataFileError(path + ": write failed on close");
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    int error = errno;
    std::remove(temporary.c_str());
    throw DataFileError(path + ": cannot replace with " + temporary + ": " + std::strerror(error));
  }
}

}  // namespace newsclass
