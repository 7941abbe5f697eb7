// The two small processes of the whole-process benchmark, kept apart from its driver so
// that neither carries the driver's memory or libraries (Linux counts the memory of the
// process a child was forked from in the child's peak, across exec):
//
//   tervane_bench_runner floor BYTES FILE      the floor: BYTES bytes in 256 KiB writes to
//                                              a temporary file, renamed to FILE
//   tervane_bench_runner measure RESULT CMD... runs CMD (output thrown away) and writes
//                                              "milliseconds peak-KiB exit-code" to RESULT
//
// Only the C library is used, so the floor costs what a lean writer costs.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr std::size_t kWriteBlock = std::size_t{256} << 10;

int Floor(unsigned long long bytes, const char* target)
{
    static char block[kWriteBlock];
    std::memset(block, 'x', sizeof block);
    char temporary[4096];
    std::snprintf(temporary, sizeof temporary, "%s.tmp", target);
    const int out = open(temporary, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0)
        return 1;
    while (bytes > 0) {
        const std::size_t size = bytes < sizeof block ? static_cast<std::size_t>(bytes) : sizeof block;
        const ssize_t written = write(out, block, size);
        if (written <= 0)
            return 1;
        bytes -= static_cast<unsigned long long>(written);
    }
    if (close(out) != 0)
        return 1;
    return std::rename(temporary, target) == 0 ? 0 : 1;
}

int Measure(const char* result, char** command)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execv(command[0], command);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return 1;
    const double milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::FILE* out = std::fopen(result, "w");
    if (!out)
        return 1;
    std::fprintf(out, "%.3f %ld %d\n", milliseconds, usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : 128);
    return std::fclose(out) == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "floor") == 0)
        return Floor(std::strtoull(argv[2], nullptr, 10), argv[3]);
    if (argc >= 4 && std::strcmp(argv[1], "measure") == 0)
        return Measure(argv[2], argv + 3);
    std::fprintf(stderr, "usage: %s floor BYTES FILE | measure RESULT COMMAND...\n", argv[0]);
    return 2;
}
