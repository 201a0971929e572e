// Sends a message with one large attachment with the emlsend program and,
// in the same run, the same message with msmtp, both to one SMTP sink on
// 127.0.0.1, in plain text and through STARTTLS, and compares wall time and
// peak memory.
//
//   emlsend_send_bench [size in MB, default 100] [runs, default 3]
//
// The sink is a minimal SMTP server in a thread of this process: it offers
// STARTTLS (OpenSSL, with a certificate of a test CA made for the run by the
// tests' make_test_ca.sh) and AUTH LOGIN, takes every command and counts the
// message data without keeping it, so the clients, not the server, set the
// pace. Each client runs
// as its own process and its peak resident set is measured alone (wait4's
// ru_maxrss). The best time of the runs counts. Without /usr/bin/msmtp only
// emlsend is measured.

#include "BenchSupport.h"
#include "ByteSink.h"
#include "MessageWriter.h"

#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using emlsend::bench::MakeInput;
using emlsend::bench::Run;
using emlsend::bench::TRunResult;

[[noreturn]] void Die(const char* aWhat)
{
    std::perror(aWhat);
    std::exit(1);
}

// One SMTP conversation: every command answered, the data counted. With
// aTls, STARTTLS is offered and switches the connection to TLS.
void Serve(int aClient, std::atomic<std::uint64_t>& aReceived, SSL_CTX* aTls)
{
    SSL* ssl = nullptr;
    auto send = [&](const char* aReply) {
        if (ssl != nullptr) {
            SSL_write(ssl, aReply, static_cast<int>(std::strlen(aReply)));
        } else {
            ::send(aClient, aReply, std::strlen(aReply), MSG_NOSIGNAL);
        }
    };
    send("220 sink ESMTP\r\n");
    std::string input;
    bool inData = false;
    int loginStep = 0; // 1: the user name is due, 2: the password
    std::uint64_t data = 0;
    std::vector<char> buffer(1 << 20);
    bool done = false;
    while (!done) {
        const ssize_t got = ssl != nullptr ? SSL_read(ssl, buffer.data(), static_cast<int>(buffer.size()))
                                           : ::recv(aClient, buffer.data(), buffer.size(), 0);
        if (got <= 0) {
            break;
        }
        input.append(buffer.data(), static_cast<std::size_t>(got));
        while (true) {
            if (inData) {
                const std::size_t end = input.find("\r\n.\r\n");
                if (end == std::string::npos) {
                    const std::size_t keep = std::min<std::size_t>(input.size(), 4);
                    data += input.size() - keep;
                    input.erase(0, input.size() - keep);
                    break;
                }
                data += end + 2;
                input.erase(0, end + 5);
                inData = false;
                aReceived += data;
                send("250 stored\r\n");
                continue;
            }
            const std::size_t end = input.find("\r\n");
            if (end == std::string::npos) {
                break;
            }
            std::string line = input.substr(0, end);
            input.erase(0, end + 2);
            for (char& c : line) {
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
            if (loginStep == 1) {
                send("334 UGFzc3dvcmQ6\r\n");
                loginStep = 2;
            } else if (loginStep == 2) {
                send("235 ok\r\n");
                loginStep = 0;
            } else if (line.starts_with("EHLO")) {
                send(aTls != nullptr && ssl == nullptr ? "250-sink\r\n250-STARTTLS\r\n250 AUTH LOGIN\r\n"
                                                       : "250-sink\r\n250 AUTH LOGIN\r\n");
            } else if (line == "STARTTLS" && aTls != nullptr && ssl == nullptr) {
                send("220 go ahead\r\n");
                ssl = SSL_new(aTls);
                SSL_set_fd(ssl, aClient);
                input.clear();
                if (SSL_accept(ssl) != 1) {
                    done = true;
                    break;
                }
            } else if (line == "AUTH LOGIN") {
                send("334 VXNlcm5hbWU6\r\n");
                loginStep = 1;
            } else if (line.starts_with("AUTH LOGIN ")) {
                send("334 UGFzc3dvcmQ6\r\n");
                loginStep = 2;
            } else if (line == "DATA") {
                inData = true;
                data = 0;
                send("354 go\r\n");
            } else if (line == "QUIT") {
                send("221 bye\r\n");
                done = true;
                break;
            } else if (line.starts_with("MAIL") || line.starts_with("RCPT") || line == "RSET" ||
                       line.starts_with("HELO")) {
                send("250 ok\r\n");
            } else {
                send("502 unknown\r\n");
            }
        }
    }
    SSL_free(ssl);
    ::close(aClient);
}

void Report(const char* aName, const TRunResult& aResult, double aMegabytes)
{
    std::printf("%-12s %10.3f %12.1f %14ld\n", aName, aResult.Seconds, aMegabytes / aResult.Seconds, aResult.PeakKiB);
}

} // namespace

int main(int argc, char** argv)
{
    const std::size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string dir =
        std::filesystem::temp_directory_path() / ("emlsend-send-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directory(dir);
    const std::string attachment = dir + "/attachment.bin";
    MakeInput(attachment, megabytes * 1000 * 1000);

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 4) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        Die("listen");
    }
    const std::string port = std::to_string(ntohs(address.sin_port));

    // The sink's certificate, from a test CA that the clients are told to trust.
    std::signal(SIGPIPE, SIG_IGN);
    if (std::system(("/bin/sh " EMLSEND_CA_SCRIPT " " + dir).c_str()) != 0) {
        std::fprintf(stderr, "cannot make the test certificates\n");
        return 1;
    }
    SSL_CTX* const tls = SSL_CTX_new(TLS_server_method());
    if (tls == nullptr || SSL_CTX_use_certificate_chain_file(tls, (dir + "/server.pem").c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(tls, (dir + "/server.key").c_str(), SSL_FILETYPE_PEM) != 1) {
        std::fprintf(stderr, "cannot load the sink's certificate\n");
        return 1;
    }
    std::atomic<std::uint64_t> received{0};
    std::thread server([&] {
        for (int client; (client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
            Serve(client, received, tls);
        }
    });

    // The same message for msmtp: the transmission form in a file.
    const std::string messageFile = dir + "/message.eml";
    {
        emlsend::FileSink sink(messageFile);
        emlsend::MessageWriter().WriteMessage(emlsend::bench::BenchMessage(attachment), sink,
                                              emlsend::MessageForm::mfTransmission);
        sink.Close();
    }
    const auto controlFile = [&](const std::string& aName, const std::string& aSecurity) {
        const std::string path = dir + "/" + aName;
        emlsend::FileSink sink(path);
        sink.Write("[SMTP]\r\nHost=127.0.0.1:" + port + "\r\nUserName=bench\r\nPassword=bench\r\n" + aSecurity +
                   "[NODELETE]\r\n[FROM]\r\nbench@example.cz\r\n[TO]\r\nto@example.cz\r\n[SUBJECT]\r\nBenchmark\r\n"
                   "[ATTACHMENTS]\r\n" +
                   attachment + "\r\n[BODY]\r\nVelk\xE1 p\xF8\xEDloha.\r\n");
        sink.Close();
        return path;
    };
    const std::string plainControl = controlFile("plain.txt", "");
    const std::string tlsControl = controlFile("tls.txt", "Security=StartTLS\r\nTLSTrustFile=" + dir + "/ca.pem\r\n");
    const bool haveMsmtp = ::access("/usr/bin/msmtp", X_OK) == 0;
    const std::vector<std::string> msmtp = {"/usr/bin/msmtp", "--host=127.0.0.1", "--port=" + port,
                                            "--auth=login",   "--user=bench",     "--passwordeval=echo bench"};
    const std::vector<std::string> msmtpEnvelope = {"--from=bench@example.cz", "--", "to@example.cz"};
    struct Variant {
        const char* name;
        std::vector<std::string> arguments;
        std::string input;
        TRunResult best{1e9, 0};
    };
    std::vector<Variant> variants = {{"emlsend", {EMLSEND_PROGRAM, plainControl}, "", {1e9, 0}},
                                     {"emlsend TLS", {EMLSEND_PROGRAM, tlsControl}, "", {1e9, 0}}};
    if (haveMsmtp) {
        std::vector<std::string> plain = msmtp;
        plain.push_back("--tls=off");
        plain.insert(plain.end(), msmtpEnvelope.begin(), msmtpEnvelope.end());
        std::vector<std::string> secure = msmtp;
        secure.insert(secure.end(), {"--tls=on", "--tls-starttls=on", "--tls-trust-file=" + dir + "/ca.pem"});
        secure.insert(secure.end(), msmtpEnvelope.begin(), msmtpEnvelope.end());
        variants.push_back({"msmtp", plain, messageFile, {1e9, 0}});
        variants.push_back({"msmtp TLS", secure, messageFile, {1e9, 0}});
    }
    for (int run = 0; run < runs; ++run) {
        for (Variant& variant : variants) {
            const std::uint64_t before = received;
            const TRunResult result =
                Run(variant.arguments, variant.input.empty() ? "/dev/null" : variant.input, "/dev/null");
            if (received - before < megabytes * 1000 * 1000 || std::filesystem::exists(dir + "/eml456.txt")) {
                std::fprintf(stderr, "%s did not deliver the message\n", variant.name);
                return 1;
            }
            const long peak = std::max(variant.best.PeakKiB, result.PeakKiB);
            variant.best = result.Seconds < variant.best.Seconds ? result : variant.best;
            variant.best.PeakKiB = peak;
        }
    }
    ::shutdown(listener, SHUT_RDWR);
    ::close(listener);
    server.join();
    SSL_CTX_free(tls);

    const double mb = static_cast<double>(megabytes);
    std::printf("attachment: %zu MB (message %.1f MB), best of %d runs, SMTP sink on 127.0.0.1\n", megabytes,
                static_cast<double>(std::filesystem::file_size(messageFile)) / 1e6, runs);
    std::printf("%-12s %10s %12s %14s\n", "", "seconds", "MB/s", "peak RSS KiB");
    for (const Variant& variant : variants) {
        Report(variant.name, variant.best, mb);
    }
    if (!haveMsmtp) {
        std::printf("msmtp: not installed (apt-get install msmtp)\n");
    }
    std::filesystem::remove_all(dir);
    return 0;
}
