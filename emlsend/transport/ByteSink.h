#pragma once
// Byte sinks the message writer writes into: a file, memory, or a counter
// that keeps no bytes. The SMTP session adds a socket sink of its own.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace emlsend {

// Receives the message bytes in order. Write either takes all the bytes or
// throws; a sink never reports a short write.
class ByteSink {
public:
    virtual ~ByteSink() = default;

    virtual void Write(std::string_view aBytes) = 0;

    // Called once by the writer after the header lines of the message and
    // before anything else, and once after the last body byte (before the
    // closing period line). The socket sink reports its progress between
    // the two; the default does nothing.
    virtual void BodyStarted() {}
    virtual void BodyFinished() {}

    // A sink that only counts may be given a byte count instead of bytes
    // (the size of an attachment's encoded form), so that measuring a
    // message never reads its attachments.
    virtual bool CountsOnly() const noexcept { return false; }
    // Adds aCount bytes without their content. Throws std::logic_error on a
    // sink that does not count only.
    virtual void AddCount(std::uint64_t aCount);
};

// Keeps every byte in memory; for tests and small messages.
class StringSink : public ByteSink {
public:
    void Write(std::string_view aBytes) override { Data.append(aBytes); }
    std::string Data;
};

// Counts the bytes written without keeping them. The count saturates at the
// largest 64-bit value.
class CountingSink : public ByteSink {
public:
    void Write(std::string_view aBytes) override { AddCount(aBytes.size()); }
    bool CountsOnly() const noexcept override { return true; }
    void AddCount(std::uint64_t aCount) override;
    std::uint64_t Count() const noexcept { return FCount; }

private:
    std::uint64_t FCount = 0;
};

// Writes a file created anew, with aMode less the umask (0600 by default,
// because a message file may carry blind-copy addresses). Bytes are collected in a buffer of kBufferSize
// and written in large blocks.
//
// The bytes go to a new hidden file beside aPath that Close renames over
// aPath, so a failure at any step (a full disk, an attachment that cannot be
// read) leaves the file that stood at aPath as it was and no part-written
// file: without a successful Close the hidden file is removed. A symbolic
// link at aPath is replaced by the file, never written through. Where no
// file can be made beside it (a directory that is not writable) or aPath is
// a device (such as /dev/full), aPath itself is truncated and written, but
// never through a link (that fails with ELOOP).
// Failures: EFCreateError "Cannot create file \"%s\". %s" from the
// constructor; EInOutError "Cannot write file \"%s\". %s" from Write and
// Close.
class FileSink : public ByteSink {
public:
    static constexpr std::size_t kBufferSize = 256 * 1024;

    explicit FileSink(std::string aPath, mode_t aMode = 0600);
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    void Write(std::string_view aBytes) override;
    // Writes out the buffer and closes the file; throws on failure.
    void Close();

private:
    void Flush();
    void WriteAll(const char* aData, std::size_t aSize);

    std::string FPath;
    std::string FTempPath; // the hidden file Close renames; empty when writing FPath itself
    int FHandle = -1;
    std::unique_ptr<char[]> FBuffer;
    std::size_t FUsed = 0;
};

} // namespace emlsend
