// A stand-in for travoline-reader that fails on purpose: it answers each
// request with its path, except that it dies on the path "crash" and never
// answers the path "hang". Like the real helper, given --progress it keeps
// its answers until no request is left to read and shows in the shared word
// (descriptor 3) which request it is on: the answers it had not sent when it
// failed are lost.

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

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

bool flush(std::string &out) {
    const bool ok = out.empty() || ::write(1, out.data(), out.size()) == ssize_t(out.size());
    out.clear();
    return ok;
}

} // namespace

int main(int argc, char **argv) {
    std::atomic<std::uint64_t> *progress = nullptr;
    if (argc > 1 && std::strcmp(argv[1], "--progress") == 0) {
        void *word = ::mmap(nullptr, 8, PROT_READ | PROT_WRITE, MAP_SHARED, 3, 0);
        if (word != MAP_FAILED)
            progress = static_cast<std::atomic<std::uint64_t> *>(word);
    }
    std::string in, out;
    for (;;) {
        if (in.size() < 4 || in.size() - 4 < get32(in.data())) {
            if (!flush(out))
                return 1;
            char buffer[4096];
            const ssize_t r = ::read(0, buffer, sizeof buffer);
            if (r <= 0)
                return 0;
            in.append(buffer, size_t(r));
            continue;
        }
        const std::uint32_t length = get32(in.data());
        if (length < 20)
            return 1;
        const std::uint32_t id = get32(in.data() + 8);
        const std::string path = in.substr(24, length - 20);
        in.erase(0, 4 + length);
        if (progress) {
            timespec ts{};
            ::clock_gettime(CLOCK_MONOTONIC, &ts);
            const std::uint64_t ms = std::uint64_t(ts.tv_sec) * 1000 + std::uint64_t(ts.tv_nsec) / 1000000;
            progress->store(std::uint64_t(id + 1) << 40 | (ms & ((std::uint64_t(1) << 40) - 1)));
        }
        // abort rather than a segmentation fault: the sanitizers leave
        // SIGABRT alone, so a crash made on purpose is not reported as a fault.
        if (path == "crash")
            std::abort();
        if (path == "hang")
            for (;;)
                ::pause();
        put32(out, std::uint32_t(path.size() + 4));
        put32(out, id);
        out += path;
        if (!progress && !flush(out))
            return 1;
    }
}
