// The file sink replaces a file only once everything was written: a failure
// at any step leaves the file that stood there, and no part-written file.

#include "ByteSink.h"
#include "MessageWriter.h"
#include "TestSupport.h"
#include "TransportErrors.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace emlsend {
namespace {

std::set<std::string> Names(const std::string& aDirectory)
{
    std::set<std::string> names;
    if (DIR* dir = ::opendir(aDirectory.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.insert(name);
            }
        }
        ::closedir(dir);
    }
    return names;
}

TEST(EmlsendFileSink, ReplacesTheFileOnlyWhenClosed)
{
    test::TempDir dir;
    const std::string path = dir.File("eml456.txt");
    test::WriteFile(path, "the good old file");
    {
        FileSink sink(path);
        sink.Write("new ");
        EXPECT_EQ(test::ReadFile(path), "the good old file") << "nothing changes before Close";
        sink.Write(std::string(FileSink::kBufferSize + 10, 'x')); // past the buffer: bytes reach the disk
        EXPECT_EQ(test::ReadFile(path), "the good old file");
        sink.Close();
    }
    EXPECT_EQ(test::ReadFile(path), "new " + std::string(FileSink::kBufferSize + 10, 'x'));
    EXPECT_EQ(Names(dir.path()), std::set<std::string>{"eml456.txt"}) << "no hidden file left";
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600U);
}

TEST(EmlsendFileSink, AFailureBeforeCloseKeepsTheOldFile)
{
    test::TempDir dir;
    const std::string path = dir.File("tempmsg.eml");
    test::WriteFile(path, "a good message");
    try {
        FileSink sink(path);
        sink.Write(std::string(3 * FileSink::kBufferSize, 'y'));
        throw std::runtime_error("an attachment cannot be read");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(test::ReadFile(path), "a good message");
    EXPECT_EQ(Names(dir.path()), std::set<std::string>{"tempmsg.eml"});
}

TEST(EmlsendFileSink, AMessageWithAMissingAttachmentLeavesTheOldFile)
{
    test::TempDir dir;
    const std::string path = dir.File("tempmsg.eml");
    test::WriteFile(path, "a good message");
    MailMessage message;
    message.From = {"", "jan@example.cz"};
    message.Subject = "x";
    message.Parts.push_back(MessagePart::Text({"body"}, "windows-1250"));
    message.Parts.push_back(MessagePart::Attachment(dir.File("gone.pdf")));
    EXPECT_THROW(MessageWriter().WriteMessageToFile(message, path), EFOpenError);
    EXPECT_EQ(test::ReadFile(path), "a good message");
    EXPECT_EQ(Names(dir.path()), std::set<std::string>{"tempmsg.eml"});
}

TEST(EmlsendFileSink, DevicesAndDirectoriesAreWrittenInPlaceWithTheirFailures)
{
    test::TempDir dir;
    {
        FileSink sink("/dev/null");
        sink.Write("discarded");
        EXPECT_NO_THROW(sink.Close());
    }
    ::mkdir(dir.File("eml456.txt").c_str(), 0700);
    try {
        FileSink sink(dir.File("eml456.txt"));
        FAIL() << "a directory cannot be written";
    } catch (const EFCreateError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot create file \"" + dir.File("eml456.txt") + "\". Is a directory");
    }
    EXPECT_EQ(Names(dir.path()), std::set<std::string>{"eml456.txt"});
}

TEST(EmlsendFileSink, ReplacesALinkAndNeverWritesThroughIt)
{
    // Another user who can write a shared directory plants the link: to a
    // file of the runner's, or to one that does not exist yet.
    for (const bool targetExists : {true, false}) {
        SCOPED_TRACE(targetExists ? "a link to a file" : "a dangling link");
        test::TempDir dir;
        test::TempDir elsewhere;
        const std::string target = elsewhere.File("victim");
        if (targetExists) {
            test::WriteFile(target, "precious");
        }
        const std::string path = dir.File("eml456.txt");
        ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
        FileSink sink(path, 0666);
        sink.Write("result\r\n");
        sink.Close();
        struct stat info {};
        ASSERT_EQ(::lstat(path.c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode)) << "the link is replaced by the file";
        EXPECT_EQ(test::ReadFile(path), "result\r\n");
        EXPECT_EQ(Names(elsewhere.path()), targetExists ? std::set<std::string>{"victim"} : std::set<std::string>{});
        if (targetExists) {
            EXPECT_EQ(test::ReadFile(target), "precious");
        }
    }
}

} // namespace
} // namespace emlsend
