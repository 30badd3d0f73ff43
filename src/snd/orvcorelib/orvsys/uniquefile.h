// An owned stdio file that is closed when it goes out of scope.
#pragma once

#include <cstdio>
#include <memory>

namespace orv {

struct FileCloser {
    void operator()(FILE *f) const { std::fclose(f); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

} // namespace orv
