// SPDX-License-Identifier: GPL-3.0-or-later
// Figures of selkoran-cli monitor, as separate processes on the simulated board in process,
// publishing to a mosquitto this program starts on 127.0.0.1 (a free port, its own
// configuration) and stops by its process id.
//   bench_monitor cpu [seconds] [runs]  two channels at 31250/s for `seconds` (default 20):
//                                       `record` of the same run, `monitor` with 1 s intervals
//                                       printing only, and the same publishing to the broker:
//                                       CPU (user + system) over wall time, in turns
//   bench_monitor queue [seconds]       the monitor publishing 2 x 2000 messages a second with
//                                       the broker stopped after 2 s: resident memory every 5 s
//                                       for `seconds` (default 60) while the queue fills and
//                                       stays full

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;

std::string CliProgram() {
    return std::string(SELKORAN_BUILD_DIR) + "/selkoran-cli";
}

std::filesystem::path Folder() {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("selkoran-bench-monitor-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    return folder;
}

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

// A child process with its standard output sent to /dev/null, and its standard error too
// unless `errorFile` names a file for it.
pid_t StartChild(const std::vector<std::string>& arguments, const std::string& errorFile = {}) {
    std::vector<char*> argv;
    for (const std::string& a : arguments) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int quiet = ::open("/dev/null", O_WRONLY);
        ::dup2(quiet, STDOUT_FILENO);
        ::dup2(errorFile.empty() ? quiet : ::creat(errorFile.c_str(), 0600), STDERR_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

struct ChildUsage {
    int exitCode = -1;
    double wall = 0.0;
    double cpu = 0.0;  // user + system
};

ChildUsage WaitChild(pid_t pid, Steady::time_point started) {
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
    };
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1,
            std::chrono::duration<double>(Steady::now() - started).count(),
            seconds(usage.ru_utime) + seconds(usage.ru_stime)};
}

long ResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmRSS:")) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

// mosquitto on 127.0.0.1 for as long as the object lives (or until Stop).
class Broker {
public:
    explicit Broker(const std::filesystem::path& folder) : port(FreePort()) {
        const std::string config = (folder / "mosquitto.conf").string();
        std::ofstream(config) << "listener " << port << " 127.0.0.1\nallow_anonymous true\n"
                              << "user " << (std::getenv("USER") ? std::getenv("USER") : "root")
                              << '\n';
        pid = StartChild({"mosquitto", "-c", config});
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    ~Broker() { Stop(); }
    Broker(const Broker&) = delete;
    Broker& operator=(const Broker&) = delete;

    void Stop() {
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
            pid = -1;
        }
    }
    std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(port) + "/bench"; }

private:
    int port;
    pid_t pid = -1;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

int Cpu(int seconds, int runs) {
    const std::filesystem::path folder = Folder();
    const Broker broker(folder);
    const std::string duration = std::to_string(seconds) + "s";
    const std::vector<std::string> monitor = {CliProgram(), "monitor", "--device",   "sim",
                                              "--rate",     "31250",   "--channel",  "2",
                                              "--interval", "1s",      "--duration", duration};
    struct Variant {
        const char* name;
        std::vector<std::string> arguments;
        std::vector<double> shares;
    };
    std::vector<Variant> variants = {
        {"record to CSV",
         {CliProgram(), "record", "--device", "sim", "--rate", "31250", "--channel", "2",
          "--duration", duration, "--output", (folder / "rec.csv").string(), "--force"},
         {}},
        {"monitor, 1 s intervals, printed", monitor, {}},
        {"monitor, 1 s intervals, MQTT", monitor, {}}};
    variants[2].arguments.insert(variants[2].arguments.end(), {"--mqtt", broker.Url()});
    for (int run = 0; run < runs; ++run) {
        for (Variant& variant : variants) {
            const auto started = Steady::now();
            const ChildUsage usage = WaitChild(StartChild(variant.arguments), started);
            const double share = 100.0 * usage.cpu / usage.wall;
            variant.shares.push_back(share);
            std::printf("run %d, %s: exit %d, wall %.2f s, CPU %.3f s = %.3f %% of a core\n",
                        run + 1, variant.name, usage.exitCode, usage.wall, usage.cpu, share);
            std::fflush(stdout);
        }
    }
    std::printf("\n| 2CH at 31250/s, %d s | CPU share (median of %d) | runs |\n|---|---|---|\n",
                seconds, runs);
    for (const Variant& variant : variants) {
        std::string each;
        for (const double share : variant.shares) {
            each += (each.empty() ? "" : " / ") + std::to_string(share).substr(0, 5);
        }
        std::printf("| %s | %.3f %% | %s |\n", variant.name, Median(variant.shares), each.c_str());
    }
    std::printf("monitor with MQTT - record: %+.3f %% of a core\n",
                Median(variants[2].shares) - Median(variants[0].shares));
    std::filesystem::remove_all(folder);
    return 0;
}

int Queue(int seconds) {
    const std::filesystem::path folder = Folder();
    Broker broker(folder);
    const auto started = Steady::now();
    const std::string errors = (folder / "monitor.err").string();
    const pid_t monitor =
        StartChild({CliProgram(), "monitor", "--device", "sim", "--rate", "31250", "--channel", "2",
                    "--interval", "0.0005s", "--mqtt", broker.Url()},
                   errors);
    std::this_thread::sleep_for(std::chrono::seconds(2));
    broker.Stop();
    std::printf("broker stopped after 2 s; the monitor queues 2 x 1953 messages a second\n");
    for (int t = 5; t <= seconds; t += 5) {
        std::this_thread::sleep_until(started + std::chrono::seconds(t));
        std::printf("t = %3d s: resident %ld KiB\n", t, ResidentKiB(monitor));
        std::fflush(stdout);
    }
    ::kill(monitor, SIGTERM);
    const ChildUsage usage = WaitChild(monitor, started);
    std::printf("monitor ended with exit code %d after %.1f s\n", usage.exitCode, usage.wall);
    // Its last lines: the last drop, the end, the messages left undelivered.
    std::ifstream in(errors);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    for (std::size_t i = lines.size() > 3 ? lines.size() - 3 : 0; i < lines.size(); ++i) {
        std::printf("  %s\n", lines[i].c_str());
    }
    std::printf("  (%zu lines on standard error)\n", lines.size());
    std::filesystem::remove_all(folder);
    return usage.exitCode == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "cpu") {
        return Cpu(argc > 2 ? std::atoi(argv[2]) : 20, argc > 3 ? std::atoi(argv[3]) : 3);
    }
    if (mode == "queue") {
        return Queue(argc > 2 ? std::atoi(argv[2]) : 60);
    }
    std::fprintf(stderr, "usage: bench_monitor cpu [seconds] [runs] | queue [seconds]\n");
    return 2;
}
