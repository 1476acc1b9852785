// SPDX-License-Identifier: GPL-3.0-or-later
// The instrument server (selkoran-cli serve on the simulated board) as clients meet it on
// loopback:
//   bench_serve idn    *IDN? round trips on one connection, per second (5 runs of 20000)
//   bench_serve many   16 connections x 2000 *IDN? at once: every answer checked, latencies
//   bench_serve run    a top-rate two-channel run of 1,048,575 samples served to a client: the
//                      server's CPU share over the run against `selkoran-cli record` of the same
//                      run; then FETCh? of the 2 x 1,048,575 samples in REAL,64 (5 times), MB/s
// Figures are medians; nothing is asserted but the answers themselves.

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;

const std::string kIdentity = "SELKORAN,SELKORAN Board,0,1.10";
constexpr int kTopRateSamples = 1048575;

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0
                          : values[static_cast<std::size_t>(
                                fraction * static_cast<double>(values.size() - 1))];
}

// A program of the build directory as a child process; its standard error is kept in a pipe
// when asked for.
class Child {
public:
    Child(const std::vector<std::string>& arguments, bool fKeepErrors) {
        int ends[2] = {-1, -1};
        if (fKeepErrors && ::pipe(ends) != 0) {
            std::exit(1);
        }
        pid = ::fork();
        if (pid == 0) {
            const int quiet = ::open("/dev/null", O_WRONLY);
            ::dup2(quiet, STDOUT_FILENO);
            ::dup2(fKeepErrors ? ends[1] : quiet, STDERR_FILENO);
            std::vector<char*> argv;
            for (const std::string& a : arguments) {
                argv.push_back(const_cast<char*>(a.c_str()));
            }
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        if (fKeepErrors) {
            ::close(ends[1]);
            errors = ends[0];
        }
    }
    ~Child() {
        if (errors >= 0) {
            ::close(errors);
        }
    }

    // The port of the server's line "... のポート N で待ち受けています".
    int ListeningPort() {
        std::string said;
        char c = 0;
        while (said.find("待ち受けています") == std::string::npos && ::read(errors, &c, 1) == 1) {
            said += c;
        }
        std::smatch match;
        return std::regex_search(said, match, std::regex("ポート (\\d+)")) ? std::stoi(match[1])
                                                                           : -1;
    }
    // User + system seconds so far, from /proc (clock ticks).
    double CpuSoFar() const {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        double ticks = 0.0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            ticks += i >= 14 ? std::stod(field) : 0.0;  // utime, stime
        }
        return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
    }
    long PeakKiB() const {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("VmHWM:", 0) == 0) {
                return std::atol(line.c_str() + 6);
            }
        }
        return -1;
    }
    void Terminate() const { ::kill(pid, SIGTERM); }
    // The exit code and user + system seconds of the whole life.
    std::pair<int, double> Wait() {
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                Seconds(usage.ru_utime) + Seconds(usage.ru_stime)};
    }

private:
    pid_t pid = -1;
    int errors = -1;
};

std::string BuildProgram(const char* name) {
    return std::string(SELKORAN_BUILD_DIR) + '/' + name;
}

Child StartServer() {
    return Child({BuildProgram("selkoran-cli"), "serve", "--device", "sim", "--port", "0",
                  "--no-announce", "--no-http"},
                 true);
}

// A client on one blocking socket.
class Client {
public:
    explicit Client(int port) : fd(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            std::perror("connect");
            std::exit(1);
        }
    }
    ~Client() { ::close(fd); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    void Send(const std::string& message) const {
        const std::string line = message + '\n';
        if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(line.size())) {
            std::exit(1);
        }
    }
    // `count` bytes, or everything up to a line end (count 0), without the line end.
    std::string Receive(std::size_t count = 0) {
        while (count == 0 ? held.find('\n') == std::string::npos : held.size() < count) {
            char buffer[1 << 16];
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                std::fprintf(stderr, "the server closed the connection\n");
                std::exit(1);
            }
            held.append(buffer, static_cast<std::size_t>(got));
        }
        const std::size_t end = count == 0 ? held.find('\n') : count;
        std::string taken = held.substr(0, end);
        held.erase(0, count == 0 ? end + 1 : end);
        return taken;
    }
    std::string Ask(const std::string& message) {
        Send(message);
        return Receive();
    }
    // A definite-length block and its line end; its byte count.
    std::size_t ReceiveBlock() {
        const std::string head = Receive(2);
        const std::size_t digits = static_cast<std::size_t>(head[1] - '0');
        const std::size_t length = std::stoul(Receive(digits));
        const std::size_t done = Receive(length + 1).size();
        return done - 1;
    }

private:
    int fd;
    std::string held;
};

int Identify() {
    Child server = StartServer();
    const int port = server.ListeningPort();
    std::vector<double> rates;
    for (int run = 0; run < 5; ++run) {
        Client client(port);
        constexpr int kRounds = 20000;
        const auto t0 = Steady::now();
        for (int i = 0; i < kRounds; ++i) {
            if (client.Ask("*IDN?") != kIdentity) {
                std::fprintf(stderr, "wrong answer\n");
                return 1;
            }
        }
        rates.push_back(kRounds / std::chrono::duration<double>(Steady::now() - t0).count());
        std::printf("run %d: %.0f *IDN? round trips per second\n", run + 1, rates.back());
    }
    server.Terminate();
    server.Wait();
    std::printf("median: %.0f round trips per second (target >= 20000)\n", Median(rates));
    return 0;
}

int Many() {
    Child server = StartServer();
    const int port = server.ListeningPort();
    constexpr int kConnections = 16;
    constexpr int kQueries = 2000;
    for (int run = 0; run < 3; ++run) {
        std::vector<std::vector<double>> latencies(kConnections);
        std::vector<int> wrong(kConnections, 0);
        std::vector<std::thread> threads;
        const auto t0 = Steady::now();
        for (int c = 0; c < kConnections; ++c) {
            threads.emplace_back([&, c] {
                Client client(port);
                for (int i = 0; i < kQueries; ++i) {
                    // Each connection asks something of its own, so a crossed answer shows.
                    const auto sent = Steady::now();
                    const std::string answer =
                        client.Ask("*IDN?;:SYST:ERR:COUN?;*ESE " + std::to_string(c) + ";*ESE?");
                    latencies[c].push_back(
                        std::chrono::duration<double, std::micro>(Steady::now() - sent).count());
                    wrong[c] += answer != kIdentity + ";0;" + std::to_string(c);
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        const double wall = std::chrono::duration<double>(Steady::now() - t0).count();
        std::vector<double> all;
        int wrongAnswers = 0;
        for (int c = 0; c < kConnections; ++c) {
            all.insert(all.end(), latencies[c].begin(), latencies[c].end());
            wrongAnswers += wrong[c];
        }
        std::printf(
            "run %d: %d x %d queries in %.2f s (%.0f per second), %d wrong; latency "
            "median %.0f us, p99 %.0f us, worst %.0f us\n",
            run + 1, kConnections, kQueries, wall, static_cast<double>(all.size()) / wall,
            wrongAnswers, Percentile(all, 0.5), Percentile(all, 0.99), Percentile(all, 1.0));
    }
    server.Terminate();
    server.Wait();
    return 0;
}

int TopRateRun() {
    Child server = StartServer();
    const int port = server.ListeningPort();
    Client client(port);
    const double cpu0 = server.CpuSoFar();
    const auto t0 = Steady::now();
    client.Ask("ROUT:SCAN (@0,1);:SAMP:COUN " + std::to_string(kTopRateSamples) + ";:INIT;*OPC?");
    const double wall = std::chrono::duration<double>(Steady::now() - t0).count();
    const double serverShare = (server.CpuSoFar() - cpu0) / wall * 100.0;
    std::printf("served run 2CH x %d at 31250/s: wall %.2f s, server CPU %.2f %%, held %s\n",
                kTopRateSamples, wall, serverShare, client.Ask("DATA:POIN?").c_str());
    client.Send("FORM REAL,64");
    std::vector<double> rates;
    for (int run = 0; run < 5; ++run) {
        const auto f0 = Steady::now();
        client.Send("FETC?");
        const std::size_t bytes = client.ReceiveBlock();
        const double seconds = std::chrono::duration<double>(Steady::now() - f0).count();
        rates.push_back(static_cast<double>(bytes) / seconds / 1e6);
        std::printf("FETC? REAL,64: %zu bytes in %.3f s = %.0f MB/s\n", bytes, seconds,
                    rates.back());
    }
    std::printf("FETC? median %.0f MB/s (target >= 100); server peak resident %.1f MiB\n",
                Median(rates), static_cast<double>(server.PeakKiB()) / 1024.0);
    server.Terminate();
    server.Wait();

    char folder[] = "/tmp/selkoran-serve-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        return 1;
    }
    const std::string file = std::string(folder) + "/run.csv";
    const auto r0 = Steady::now();
    Child record({BuildProgram("selkoran-cli"), "record", "--device", "sim", "--rate", "31250",
                  "--channel", "2", "--count", std::to_string(kTopRateSamples), "--output", file},
                 false);
    const auto [code, recordCpu] = record.Wait();
    const double recordWall = std::chrono::duration<double>(Steady::now() - r0).count();
    std::remove(file.c_str());
    ::rmdir(folder);
    const double recordShare = recordCpu / recordWall * 100.0;
    std::printf("record of the same run: exit %d, wall %.2f s, CPU %.2f %%\n", code, recordWall,
                recordShare);
    std::printf("served run against record: %.2f %% against %.2f %% (target: at most +1 %%)\n",
                serverShare, recordShare);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "idn") {
        return Identify();
    }
    if (mode == "many") {
        return Many();
    }
    if (mode == "run") {
        return TopRateRun();
    }
    std::fprintf(stderr, "usage: bench_serve idn|many|run\n");
    return 2;
}
