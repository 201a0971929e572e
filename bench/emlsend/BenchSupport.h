#pragma once
// What the emlsend benchmarks share: a file of pseudo-random bytes to send,
// the message that carries it, and a child process measured alone.

#include "ByteSink.h"
#include "MailMessage.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace emlsend::bench {

struct TRunResult {
    double Seconds = 0;
    long PeakKiB = 0;
};

// Writes aBytes of xorshift output to aPath: data no encoder can shorten.
inline void MakeInput(const std::string& aPath, std::size_t aBytes)
{
    FileSink file(aPath);
    std::string block(1 << 20, '\0');
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    for (std::size_t written = 0; written < aBytes; written += block.size()) {
        for (char& c : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            c = static_cast<char>(state);
        }
        file.Write(std::string_view(block).substr(0, std::min(block.size(), aBytes - written)));
    }
    file.Close();
}

// The benchmarks' message: one line of text and aAttachment, as the control
// file of the send benchmark describes it.
inline MailMessage BenchMessage(const std::string& aAttachment)
{
    MailMessage message;
    message.From = MailAddress::Parse("bench@example.cz");
    message.To.push_back(MailAddress::Parse("to@example.cz"));
    message.Subject = "Benchmark";
    message.Parts.push_back(MessagePart::Text({"Velk\xE1 p\xF8\xEDloha."}, "windows-1250"));
    message.Parts.push_back(MessagePart::Attachment(aAttachment));
    return message;
}

// Runs aArguments (the program by its full path first) with standard input
// from aInput and standard output to aOutput (created anew); wall time and
// peak RSS. A child that fails ends the benchmark.
inline TRunResult Run(const std::vector<std::string>& aArguments, const std::string& aInput, const std::string& aOutput)
{
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        const int in = ::open(aInput.c_str(), O_RDONLY);
        const int out = ::open(aOutput.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        std::vector<char*> argv;
        for (const std::string& argument : aArguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    const auto end = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", aArguments[0].c_str());
        std::exit(1);
    }
    return TRunResult{std::chrono::duration<double>(end - start).count(), usage.ru_maxrss};
}

} // namespace emlsend::bench
