// A stand-in for travoline-reader that fails on purpose: it answers each
// request with its path, except that it dies on the path "crash" and never
// answers the path "hang".

#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

bool readFull(char *out, size_t n) {
    while (n > 0) {
        const ssize_t r = ::read(0, out, n);
        if (r <= 0)
            return false;
        out += r;
        n -= size_t(r);
    }
    return true;
}

std::uint32_t get32(const char *p) {
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return std::uint32_t(u[0]) | std::uint32_t(u[1]) << 8 | std::uint32_t(u[2]) << 16 | std::uint32_t(u[3]) << 24;
}

void put32(std::string &out, std::uint32_t v) {
    out += char(v);
    out += char(v >> 8);
    out += char(v >> 16);
    out += char(v >> 24);
}

} // namespace

int main() {
    char head[4];
    while (readFull(head, 4)) {
        std::string request(get32(head), '\0');
        if (request.size() < 20 || !readFull(request.data(), request.size()))
            return 1;
        const std::string path = request.substr(20);
        // abort rather than a segmentation fault: the sanitizers leave
        // SIGABRT alone, so a crash made on purpose is not reported as a fault.
        if (path == "crash")
            std::abort();
        if (path == "hang")
            for (;;)
                ::pause();
        std::string answer;
        put32(answer, std::uint32_t(path.size() + 4));
        put32(answer, get32(request.data() + 4));
        answer += path;
        if (::write(1, answer.data(), answer.size()) != ssize_t(answer.size()))
            return 1;
    }
    return 0;
}
