#include "ControlFile.h"

#include "AsciiText.h"
#include "Exceptions.h"
#include "UtilsNumber.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace emlsend {
namespace {

// A section header and the lines it collects.
struct THeader {
    std::string_view Text;
    std::vector<std::string> TControlFile::*Lines;
};

constexpr THeader kHeaders[] = {
    {"[SMTP]", &TControlFile::SmtpLines},
    {"[SUBJECT]", &TControlFile::Subject},
    {"[FROM]", &TControlFile::From},
    {"[TO]", &TControlFile::To},
    {"[COPIES]", &TControlFile::Copies},
    {"[HIDDEN COPIES]", &TControlFile::HiddenCopies},
    {"[ATTACHMENTS]", &TControlFile::Attachments},
    {"[BODY]", &TControlFile::Body},
};

constexpr std::string_view kNoDelete = "[NODELETE]";

// The first 40 characters after the first colon of a "Host" value.
constexpr std::size_t kMaxPortText = 40;

[[noreturn]] void FailOpen(const std::string& aPath, int aError)
{
    throw hostutils::EFOpenError("Cannot open file \"" + aPath + "\". " + std::strerror(aError));
}

} // namespace

std::vector<std::string> SplitControlLines(std::string_view aContent)
{
    if (const std::size_t nul = aContent.find('\0'); nul != std::string_view::npos) {
        aContent = aContent.substr(0, nul);
    }
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < aContent.size()) {
        const std::size_t end = aContent.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(aContent.substr(start));
            break;
        }
        lines.emplace_back(aContent.substr(start, end - start));
        start = end + 1;
        if (aContent[end] == '\r' && start < aContent.size() && aContent[start] == '\n') {
            ++start;
        }
    }
    return lines;
}

TControlFile TControlFile::Parse(std::string_view aContent)
{
    TControlFile file;
    std::vector<std::string> TControlFile::*current = nullptr; // no section open
    for (std::string& line : SplitControlLines(aContent)) {
        if (line.starts_with("**")) {
            continue;
        }
        const std::string upper = hostutils::AsciiUpper(line);
        if (upper == kNoDelete) {
            file.DeleteFile = false;
            continue;
        }
        bool isHeader = false;
        for (const THeader& header : kHeaders) {
            if (upper == header.Text) {
                current = header.Lines;
                file.Smtp = file.Smtp || current == &TControlFile::SmtpLines;
                isHeader = true;
                break;
            }
        }
        if (isHeader) {
            continue;
        }
        if (line.find('[') != std::string::npos) {
            current = nullptr;
            continue;
        }
        if (upper == "<HTML>") {
            file.Html = true;
        }
        if (current) {
            (file.*current).push_back(std::move(line));
        }
    }
    return file;
}

TControlFile TControlFile::Read(const std::string& aPath)
{
    const int handle = ::open(aPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle < 0) {
        FailOpen(aPath, errno);
    }
    std::string content;
    char buffer[65536];
    while (true) {
        const ssize_t got = ::read(handle, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            const int error = errno;
            ::close(handle);
            FailOpen(aPath, error);
        }
        if (got == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
    struct stat info {};
    const bool privateToUser =
        ::fstat(handle, &info) == 0 && info.st_uid == ::geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
    ::close(handle);
    TControlFile file = Parse(content);
    file.PrivateToUser = privateToUser;
    return file;
}

TSmtpSettings TSmtpSettings::Parse(const std::vector<std::string>& aLines)
{
    std::optional<std::string> host;
    std::optional<std::string> timeOut;
    TSmtpSettings settings;
    for (const std::string& line : aLines) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            continue;
        }
        const std::string key = hostutils::AsciiUpper(std::string_view(line).substr(0, equals));
        std::string value = line.substr(equals + 1);
        std::optional<std::string>* target = key == "HOST"                ? &host
                                             : key == "USERNAME"          ? &settings.UserName
                                             : key == "PASSWORD"          ? &settings.Password
                                             : key == "TIMEOUT"           ? &timeOut
                                             : key == "SECURITY"          ? &settings.Security
                                             : key == "TLSTRUSTFILE"      ? &settings.TlsTrustFile
                                             : key == "OAUTHTOKENCOMMAND" ? &settings.OAuthTokenCommand
                                                                          : nullptr;
        if (target != nullptr && !target->has_value()) {
            *target = std::move(value);
        }
    }
    if (host) {
        const std::size_t colon = host->find(':');
        if (colon != std::string::npos) {
            std::int32_t port = 0;
            if (hostutils::TryStrToInt(std::string_view(*host).substr(colon + 1, kMaxPortText), port)) {
                settings.Port = port;
            }
            host->resize(colon);
        }
        settings.Host = std::move(host);
    }
    if (std::int32_t value = 0; timeOut && hostutils::TryStrToInt(*timeOut, value)) {
        settings.TimeOut = value;
    }
    return settings;
}

std::string ResultFilePath(std::string_view aControlPath)
{
    const std::size_t slash = aControlPath.rfind('/');
    const std::string_view directory =
        slash == std::string_view::npos ? std::string_view{} : aControlPath.substr(0, slash + 1);
    return std::string(directory) + "eml456.txt";
}

} // namespace emlsend
