// Reading a small file of the user's (the component registry, the port map)
// that something else may have been put in the place of: a FIFO, which would
// block the reader, or a link to a device such as /dev/zero, which would be
// read until memory runs out.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "ComTypes.h"

// The bytes of `path`, which must be a regular file of at most `maxSize`
// bytes. Anything else is never opened (a device's open may act), and the
// open does not block. Nothing, with `error` empty, when the file does not
// exist; nothing, with `error` saying why, when it is no regular file, is
// larger than `maxSize` or cannot be read.
COMRT_API std::optional<std::string> ReadRegularFile(const std::string& path, std::size_t maxSize, std::string* error);
