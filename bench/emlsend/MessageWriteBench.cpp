// Writes a message with one large attachment to a file and compares its
// throughput and peak memory with coreutils base64 encoding the same file.
//
//   emlsend_message_bench [size in MB, default 200] [runs, default 3]
//
// Each contender runs as its own process (this program re-executed with
// "--write", or /usr/bin/base64), so that its peak resident set is measured
// alone (wait4's ru_maxrss). The best of the runs counts.

#include "BenchSupport.h"
#include "MessageWriter.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using emlsend::bench::MakeInput;
using emlsend::bench::Run;
using emlsend::bench::TRunResult;

int WriteMessage(const char* aAttachment, const char* aTarget)
{
    emlsend::MessageWriter().WriteMessageToFile(emlsend::bench::BenchMessage(aAttachment), aTarget);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--write") == 0) {
        return WriteMessage(argv[2], argv[3]);
    }
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string dir = std::filesystem::temp_directory_path() / ("emlsend-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directory(dir);
    const std::string input = dir + "/attachment.bin";
    const std::size_t bytes = megabytes * 1000 * 1000;
    MakeInput(input, bytes);
    const std::string self = std::filesystem::read_symlink("/proc/self/exe");

    TRunResult best64{1e9, 0};
    TRunResult bestWriter{1e9, 0};
    for (int run = 0; run < runs; ++run) {
        const TRunResult b = Run({"/usr/bin/base64", input}, "/dev/null", dir + "/base64.out");
        const TRunResult w = Run({self, "--write", input, dir + "/message.eml"}, "/dev/null", "/dev/null");
        best64 = b.Seconds < best64.Seconds ? b : best64;
        bestWriter = w.Seconds < bestWriter.Seconds ? w : bestWriter;
        best64.PeakKiB = std::max(best64.PeakKiB, b.PeakKiB);
        bestWriter.PeakKiB = std::max(bestWriter.PeakKiB, w.PeakKiB);
    }
    const double mb = static_cast<double>(bytes) / 1e6;
    std::printf("attachment: %zu MB, best of %d runs\n", megabytes, runs);
    std::printf("%-22s %10s %12s %14s\n", "", "seconds", "MB/s", "peak RSS KiB");
    std::printf("%-22s %10.3f %12.1f %14ld\n", "coreutils base64", best64.Seconds, mb / best64.Seconds, best64.PeakKiB);
    std::printf("%-22s %10.3f %12.1f %14ld\n", "MessageWriter (file)", bestWriter.Seconds, mb / bestWriter.Seconds,
                bestWriter.PeakKiB);
    std::printf("writer throughput: %.0f %% of base64\n", 100.0 * best64.Seconds / bestWriter.Seconds);
    std::filesystem::remove_all(dir);
    return 0;
}
