#include "DataFile.h"
#include "Exceptions.h"
#include "ParamParser.h"
#include "QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <random>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace diroze;
using hostutils::TParamParser;

namespace {

class DataFile : public ::testing::Test {
protected:
    QString Write(const std::string& aBytes, const QString& aName = QStringLiteral("data.txt"))
    {
        const QString path = FDir.filePath(aName);
        std::ofstream(path.toStdString(), std::ios::binary | std::ios::trunc) << aBytes;
        return path;
    }

    // Loads with the switches of a command line after the data file's name.
    void Load(const std::string& aBytes, const QString& aSwitches = {})
    {
        const QString path = Write(aBytes);
        const TParamParser params(QStringLiteral("diroze \"%1\" %2").arg(path, aSwitches));
        LoadFile(FLabels, params.GetArgument(QString()), DefaultOptionsFromParams(params), params);
    }

    std::string LoadError(const std::string& aBytes, const QString& aSwitches = {})
    {
        try {
            Load(aBytes, aSwitches);
        } catch (const std::exception& e) {
            return e.what();
        }
        return "(no error)";
    }

    QStringList FirstLines() const
    {
        QStringList lines;
        for (const auto& label : FLabels)
            lines.append(label->Radky()[0]);
        return lines;
    }

    QTemporaryDir FDir;
    TStitekList FLabels;
};

TEST_F(DataFile, LineBreaksInEveryForm)
{
    struct Case {
        const char* what;
        std::string bytes;
        QStringList firstLines;
    } cases[] = {
        {"only a line break: one empty label", "\r\n", {""}},
        {"LF alone", ";a\n;b", {"a", "b"}},
        {"CR alone", ";a\r;b\r", {"a", "b"}},
        {"CR LF with break at the end", ";a\r\n;b\r\n", {"a", "b"}},
        {"empty line in the middle counts", ";a\n\n;b", {"a", "", "b"}},
        {"LF CR is two breaks", ";a\n\r;b", {"a", "", "b"}},
        {"two breaks at the end leave one empty line", ";a\n\n", {"a", ""}},
        {"NUL ends the text", std::string(";a\n;b\0;c\n;d", 11), {"a", "b"}},
        {"NUL right after a break", std::string(";a\n\0;c", 6), {"a"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Load(c.bytes);
        EXPECT_EQ(FirstLines(), c.firstLines);
    }
}

TEST_F(DataFile, DecodingChunkEdges)
{
    // The text is decoded 64 KiB of bytes at a time; each row puts a line
    // break or a character across the first chunk's end.
    constexpr size_t kChunk = 1 << 16;
    auto utf16 = [](std::u16string_view aText) {
        std::string bytes;
        for (char16_t c : aText)
            bytes += {char(c & 0xFF), char(c >> 8)};
        return bytes;
    };
    // ";" and 'a's up to aEnd bytes, then aTail.
    auto upTo = [](size_t aEnd, const std::string& aTail, size_t aUnit = 1) {
        std::string bytes = aUnit == 1 ? ";" : std::string(";\0", 2);
        while (bytes.size() < aEnd)
            bytes += aUnit == 1 ? std::string("a") : std::string("a\0", 2);
        return bytes + aTail;
    };
    const QString as852 = QString(int(kChunk) - 2, u'a');
    struct Row {
        const char* proves;
        std::string bytes;
        QString codePage;
        QStringList firstLines;
    };
    const std::vector<Row> rows = {
        {"852: CR last in the chunk, LF first in the next", upTo(kChunk - 1, "\r\n;b"), "852", {as852, "b"}},
        {"852: CR last in the chunk, text next", upTo(kChunk - 1, "\r;b"), "852", {as852, "b"}},
        {"UTF-8: CR LF across the edge", upTo(kChunk - 1, "\r\n;b"), "65001", {as852, "b"}},
        {"UTF-8: a two-byte letter across the edge",
         upTo(kChunk - 1, "\xC5\xBD\n;b"),
         "65001",
         {as852 + QStringLiteral("Ž"), "b"}},
        {"UTF-8: a four-byte letter across the edge",
         upTo(kChunk - 2, "\xF0\x9F\x98\x80\n;b"),
         "65001",
         {QString(int(kChunk) - 3, u'a') + QStringLiteral("😀"), "b"}},
        {"UTF-16: CR LF across the edge",
         upTo(kChunk - 2, utf16(u"\r\n;b"), 2),
         "1200",
         {QString(int(kChunk) / 2 - 2, u'a'), "b"}},
        {"UTF-16: a surrogate pair across the edge",
         upTo(kChunk - 2, utf16(u"😀\n;b"), 2),
         "1200",
         {QString(int(kChunk) / 2 - 2, u'a') + QStringLiteral("😀"), "b"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        Load(row.bytes, QStringLiteral("-codePage:") + row.codePage);
        EXPECT_TRUE(FirstLines() == row.firstLines) << "lines of " << FirstLines().value(0).size() << " characters";
    }
}

TEST_F(DataFile, EmptyTextFails)
{
    for (const std::string& bytes : {std::string(), std::string("\0;a\n", 4), std::string("\xEF\xBB\xBF")}) {
        const QString switches = bytes.size() == 3 ? QStringLiteral("-codePage:65001") : QString();
        EXPECT_EQ(LoadError(bytes, switches), "Soubor je prázdný");
        EXPECT_TRUE(FLabels.empty());
    }
}

TEST_F(DataFile, DecodesTheChosenCodePage)
{
    Load(";\xA6lu\x9Cou\x9Fk\xEC k\x85\xE5");
    EXPECT_EQ(FirstLines(), QStringList{"Žluťoučký kůň"}) << "852 by default";
    Load(";\x8Elu\x9Dou\xE8k\xFD", QStringLiteral("-codePage:1250"));
    EXPECT_EQ(FirstLines(), QStringList{"Žluťoučký"});
    Load(";\x8Elu\x9D", QStringLiteral("-CODEPAGE:$4E2")); // 1250 in hexadecimal
    EXPECT_EQ(FirstLines(), QStringList{"Žluť"});
    Load("\xEF\xBB\xBF;\xC5\xBD", QStringLiteral("-codePage:65001"));
    EXPECT_EQ(FirstLines(), QStringList{"Ž"}) << "the UTF-8 mark is skipped under UTF-8";
    Load(std::string("\xFF\xFE;\0}\x01\n\0", 8), QStringLiteral("-codePage:1200"));
    EXPECT_EQ(FirstLines(), QStringList{"Ž"});
    Load(std::string("\xFE\xFF\0;\x01}", 6), QStringLiteral("-codePage:1201"));
    EXPECT_EQ(FirstLines(), QStringList{"Ž"});
}

TEST_F(DataFile, AByteOrderMarkOfAnotherEncodingIsText)
{
    // Under 852 the UTF-8 mark is three characters in front of the barcode field.
    EXPECT_EQ(LoadError("\xEF\xBB\xBF"
                        "12345678;x"),
              "Data must be numeric value");
    EXPECT_EQ(LoadError("\xEF\xBB\xBF"
                        "123456789012;x"),
              "Příliš dlouhý EAN kód: \u00B4\u2557\u2510123456789012");
    // Under UTF-8 the UTF-16 mark is invalid bytes.
    Load(";\xFF\xFEx\n;y", QStringLiteral("-codePage:65001"));
    EXPECT_EQ(FirstLines(), (QStringList{"\uFFFD\uFFFDx", "y"}));
}

TEST_F(DataFile, SwitchFailures)
{
    EXPECT_EQ(LoadError(";a", QStringLiteral("-codePage:abc")), "'abc' is not a valid integer value");
    EXPECT_EQ(LoadError(";a", QStringLiteral("-codePage")), "'' is not a valid integer value");
    EXPECT_EQ(LoadError(";a", QStringLiteral("-codePage:77777")), "Invalid code page");
}

TEST_F(DataFile, DefaultOptionsFollowTheSwitches)
{
    EXPECT_EQ(DefaultOptionsFromParams(TParamParser(QStringLiteral("d a"))).ToBits(), 0x01);
    EXPECT_EQ(DefaultOptionsFromParams(TParamParser(QStringLiteral("d a -NUMBERS"))).ToBits(), 0x03);
    EXPECT_EQ(DefaultOptionsFromParams(TParamParser(QStringLiteral("d -fontbold -numbers a"))).ToBits(), 0x43);
    EXPECT_EQ(CodePageFromParams(TParamParser(QStringLiteral("d a"))), 852);
}

TEST_F(DataFile, MissingFileNamesItsFullPath)
{
    QDir::setCurrent(FDir.path());
    const TParamParser params(QStringLiteral("diroze nic.txt"));
    try {
        LoadFile(FLabels, params.GetArgument(QString()), TStitekOptions{soBarCode}, params);
        ADD_FAILURE();
    } catch (const hostutils::EFOpenError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot open file \"" + FDir.filePath("nic.txt").toStdString() + "\". No such file or directory");
    }
    const TParamParser none(QStringLiteral("diroze -numbers"));
    try {
        LoadFile(FLabels, none.GetArgument(QString()), TStitekOptions{soBarCode}, none);
        ADD_FAILURE();
    } catch (const hostutils::EFOpenError& e) {
        EXPECT_STREQ(e.what(), "Cannot open file \"\". No such file or directory");
    }
}

TEST_F(DataFile, LabelsBeforeABadLineStay)
{
    Load(";old");
    try {
        Load(";a\n12345678;b\n@9\n;never read\n@x");
        ADD_FAILURE();
    } catch (const EBadLine& e) {
        EXPECT_STREQ(e.what(), "Neznámý povel \"@9\"");
        EXPECT_EQ(e.LineNumber(), 3);
    }
    EXPECT_EQ(FirstLines(), (QStringList{"a", "b"}));
}

TEST_F(DataFile, ClearsTheListEvenWhenTheSwitchFails)
{
    Load(";old");
    EXPECT_EQ(LoadError(";a", QStringLiteral("-codePage:x")), "'x' is not a valid integer value");
    EXPECT_TRUE(FLabels.empty());
}

TEST_F(DataFile, BundledExamplesLoad)
{
    const TParamParser params(QStringLiteral("diroze x -numbers"));
    LoadFile(FLabels, QStringLiteral(EXAMPLES_DIR "/stitky.txt"), DefaultOptionsFromParams(params), params);
    EXPECT_EQ(FLabels.size(), 16u);
    EXPECT_EQ(FLabels[0]->EAN(), QStringLiteral("Spojovací materiál"));
    EXPECT_EQ(FLabels[1]->BarCode()->Data(), QStringLiteral("8590000123455"));
    EXPECT_EQ(FLabels[1]->Radky()[0], QStringLiteral("Šroubek M6 × 20"));

    const TParamParser styled(QStringLiteral("diroze x -fontBold"));
    LoadFile(FLabels, QStringLiteral(EXAMPLES_DIR "/stitky-styly.txt"), DefaultOptionsFromParams(styled), styled);
    EXPECT_EQ(FLabels[1]->Pisma()[0].Velikost, 14);
}

TEST_F(DataFile, HostileInputGivesAMessageOrLabelsNeverACrash)
{
    // Random bytes in every decoding path: the result is labels or a documented message.
    std::mt19937 random(852);
    for (const QString& switches : {QString(), QStringLiteral("-codePage:65001 -fontBold"),
                                    QStringLiteral("-codePage:1200"), QStringLiteral("-codePage:65000")}) {
        for (int round = 0; round < 20; ++round) {
            std::string bytes(4096, '\0');
            for (char& b : bytes)
                b = static_cast<char>(random());
            SCOPED_TRACE(switches.toStdString());
            try {
                Load(bytes, switches);
                EXPECT_FALSE(FLabels.empty());
            } catch (const hostutils::Exception& e) {
                EXPECT_NE(std::string(e.what()), "");
            }
        }
    }
}

TEST_F(DataFile, HugeLinesAndManyLines)
{
    const std::string megabyte(1 << 20, 'x');
    Load(";" + megabyte + ";" + megabyte);
    ASSERT_EQ(FLabels.size(), 1u);
    EXPECT_EQ(FLabels[0]->Radky()[1].size(), 1 << 20);

    EXPECT_EQ(LoadError(megabyte), "Příliš dlouhý EAN kód: " + megabyte);

    std::string many;
    for (int i = 0; i < 1'000'000; ++i)
        many += "12345678;a\r\n";
    Load(many);
    EXPECT_EQ(FLabels.size(), 1'000'000u);
    EXPECT_EQ(FLabels.back()->BarCode()->Data(), QStringLiteral("12345678"));
}

// Writes aPrefix and then aRepeat again and again into a FIFO until its
// reader closes it, as an endless source would; never blocks: it gives up
// when no reader comes or after a minute.
class TEndlessFifo {
public:
    TEndlessFifo(const QString& aPath, std::string aPrefix, std::string aRepeat)
    {
        std::signal(SIGPIPE, SIG_IGN);
        EXPECT_EQ(::mkfifo(QFile::encodeName(aPath).constData(), 0600), 0);
        FThread = std::thread(
            [this, path = QFile::encodeName(aPath), prefix = std::move(aPrefix), repeat = std::move(aRepeat)] {
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
                int fd = -1;
                while (fd < 0 && !FStop && std::chrono::steady_clock::now() < deadline) {
                    fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                    if (fd < 0)
                        ::usleep(10000);
                }
                std::string pending = prefix;
                while (fd >= 0 && !FStop && std::chrono::steady_clock::now() < deadline) {
                    if (pending.empty())
                        pending = repeat;
                    const ssize_t n = ::write(fd, pending.data(), pending.size());
                    if (n > 0) {
                        pending.erase(0, size_t(n));
                        FWritten += n;
                    } else if (errno == EAGAIN) {
                        pollfd p{fd, POLLOUT, 0};
                        ::poll(&p, 1, 50);
                    } else {
                        break; // EPIPE: the reader has gone
                    }
                }
                if (fd >= 0)
                    ::close(fd);
            });
    }
    ~TEndlessFifo()
    {
        FStop = true;
        FThread.join();
    }
    long long Written() const { return FWritten; }

private:
    std::atomic<bool> FStop{false};
    std::atomic<long long> FWritten{0};
    std::thread FThread;
};

// A data file that never ends (a device, a FIFO) is read only up to the NUL
// that ends its text, and never beyond 64 MiB.
TEST_F(DataFile, EndlessSourcesStopAtTheFirstNulOrTheSizeLimit)
{
    using namespace std::string_literals;
    struct Row {
        const char* proves;
        const char* device; // read instead of a FIFO when set
        std::string prefix, repeat;
        QString switches;
        QStringList firstLines; // the labels that stay
        std::string error;
    };
    std::string utf16Text; // 64 KiB of "x" a write
    for (int i = 0; i < 1 << 15; ++i)
        utf16Text += "x\0"s;
    const std::vector<Row> rows = {
        {"/dev/zero: the text ends at once", "/dev/zero", {}, {}, {}, {}, "Soubor je prázdný"},
        {"NUL after two lines, then endless text", nullptr, ";a\n;b\n\0"s, "xxxxxxxx", {}, {"a", "b"}, {}},
        {"UTF-16: zero bytes are no NUL, the character is",
         nullptr,
         std::string(";\0a\0\n\0;\0b\0\0\0", 12),
         "x\0"s,
         QStringLiteral("-codePage:1200"),
         {"a", "b"},
         {}},
        {"UTF-16 that never ends: its zero bytes are no NUL",
         nullptr,
         std::string(";\0a\0\n\0", 6),
         utf16Text,
         QStringLiteral("-codePage:1200"),
         {},
         "Soubor je větší než 64 MiB, tolik dat se nečte"},
        {"no NUL ever",
         nullptr,
         ";a\n",
         std::string(1 << 16, 'x'),
         {},
         {},
         "Soubor je větší než 64 MiB, tolik dat se nečte"},
        {"no NUL ever after a bad line: the size fails, no label stays",
         nullptr,
         ";a\n@9\n",
         std::string(1 << 16, 'x'),
         {},
         {},
         "Soubor je větší než 64 MiB, tolik dat se nečte"},
        {"a bad line, then the NUL", nullptr, ";a\n@9\n;b\0"s, "xxxxxxxx", {}, {"a"}, "Neznámý povel \"@9\""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.proves);
        const QString fifo = FDir.filePath(QStringLiteral("endless"));
        QFile::remove(fifo);
        std::optional<TEndlessFifo> source;
        if (!row.device)
            source.emplace(fifo, row.prefix, row.repeat);
        const QString path = row.device ? QString::fromLatin1(row.device) : fifo;
        const TParamParser params(QStringLiteral("diroze \"%1\" %2").arg(path, row.switches));
        try {
            LoadFile(FLabels, path, DefaultOptionsFromParams(params), params);
            EXPECT_TRUE(row.error.empty());
        } catch (const hostutils::Exception& e) {
            EXPECT_EQ(e.what(), row.error);
        }
        EXPECT_EQ(FirstLines(), row.firstLines);
        if (source) {
            EXPECT_LE(source->Written(), (64 << 20) + (1 << 20)) << "read no further than needed";
        }
    }
}

} // namespace
