// The control file parser and the SMTP settings. Parsing never fails; every
// kept line is one of the file's lines, whole, in order, with no line break
// or NUL in it and no "[" (a line with a bracket is a header or closes its
// section); the kept lines never hold more bytes than the file; the settings
// come from lines of the SMTP section only.

#include "ControlFile.h"
#include "FuzzSupport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* aData, size_t aSize)
{
    const std::string_view content(reinterpret_cast<const char*>(aData), aSize);
    const std::vector<std::string> lines = emlsend::SplitControlLines(content);
    size_t total = 0;
    for (const std::string& line : lines) {
        FUZZ_CHECK(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
        total += line.size();
    }
    FUZZ_CHECK(total + lines.size() <= aSize + 1);

    emlsend::TControlFile file = emlsend::TControlFile::Parse(content);
    size_t next = 0; // kept lines appear in file order: check each section is a subsequence
    size_t kept = 0;
    for (const std::vector<std::string>* section : {&file.SmtpLines, &file.Subject, &file.From, &file.To, &file.Copies,
                                                    &file.HiddenCopies, &file.Attachments, &file.Body}) {
        next = 0;
        for (const std::string& line : *section) {
            FUZZ_CHECK(line.find('[') == std::string::npos);
            FUZZ_CHECK(!line.starts_with("**"));
            while (next < lines.size() && lines[next] != line)
                ++next;
            FUZZ_CHECK(next < lines.size());
            ++next;
            kept += line.size();
        }
    }
    FUZZ_CHECK(kept <= total);
    FUZZ_CHECK(file.Smtp || file.SmtpLines.empty());

    const emlsend::TSmtpSettings settings = emlsend::TSmtpSettings::Parse(file.SmtpLines);
    if (settings.Host) {
        FUZZ_CHECK(settings.Host->find(':') == std::string::npos);
        FUZZ_CHECK(settings.Host->size() <= aSize);
    }
    FUZZ_CHECK(!settings.Port || settings.Host);

    // The result file sits in the control file's directory.
    const std::string result = emlsend::ResultFilePath(content);
    FUZZ_CHECK(result.ends_with("eml456.txt"));
    const size_t slash = content.rfind('/');
    FUZZ_CHECK(result.size() == (slash == std::string_view::npos ? 0 : slash + 1) + 10);
    return 0;
}
