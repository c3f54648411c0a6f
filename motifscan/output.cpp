#include "output.h"

#include <unistd.h>
#include <cerrno>

namespace motifscan {

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

void putCount(output& out, std::int64_t count) {
    constexpr std::size_t longest = 21;  // "-9223372036854775808\n"
    if (out.capacity - out.used < longest) flush(out);
    char digits[longest];
    char* first = digits + longest;
    *--first = '\n';
    // Work on the negative value so that the most negative count has a digit form too.
    std::int64_t rest = count < 0 ? count : -count;
    do {
        *--first = static_cast<char>('0' - rest % 10);
        rest /= 10;
    } while (rest != 0);
    if (count < 0) *--first = '-';
    for (char const* c = first; c != digits + longest; ++c) out.buffer[out.used++] = *c;
}

}  // namespace motifscan
