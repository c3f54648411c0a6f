#include "output.h"

#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace gemprobe {

bool flush(output& out) {
    if (out.writeError != 0) {
        out.used = 0;
        return false;
    }
    if (out.sink != nullptr) {
        out.sink->append(out.buffer, out.used);
        out.used = 0;
        return true;
    }
    std::size_t done = 0;
    while (done < out.used) {
        ssize_t const written = ::write(out.fd, out.buffer + done, out.used - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) {
            // A write of nothing would loop for ever; treat it as an I/O failure.
            out.writeError = written < 0 ? errno : EIO;
            break;
        }
        done += static_cast<std::size_t>(written);
    }
    out.used = 0;
    return out.writeError == 0;
}

bool putBlock(output& out, char const* bytes, std::size_t size) {
    while (size > 0) {
        if (out.used == out.capacity && !flush(out)) return false;
        std::size_t const part = std::min(size, out.capacity - out.used);
        std::memcpy(out.buffer + out.used, bytes, part);
        out.used += part;
        bytes += part;
        size -= part;
    }
    return out.writeError == 0;
}

}  // namespace gemprobe
