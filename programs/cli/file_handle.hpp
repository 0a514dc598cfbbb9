// Owning handle for a C stream: the file is closed on every path.
#pragma once

#include <cstdio>
#include <memory>

namespace mthc::cli {

struct file_closer {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

// Where the result of closing matters (a written file), release() the handle
// and call std::fclose yourself.
using file_handle = std::unique_ptr<std::FILE, file_closer>;

}  // namespace mthc::cli
