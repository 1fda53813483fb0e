// kibchat-sim: a loopback-only stand-in for the room service, for the demo and the tests.

#include "Options.h"
#include "World.h"

#include <httplib.h>

#ifndef _WIN32
#include <arpa/inet.h>
#include <dirent.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <thread>

namespace {

// One line per request, flushed at once so that tests can read the file while we run.
class RequestLog {
public:
    explicit RequestLog(const std::string& path)
        : file(path.empty() ? nullptr : std::fopen(path.c_str(), "a")) {}
    ~RequestLog() {
        if (file)
            std::fclose(file);
    }
    bool failed(const std::string& path) const { return !path.empty() && !file; }
    long long elapsedMs() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - start)
            .count();
    }
    void write(long long ms, const httplib::Request& req, const std::string& status) {
        if (!file)
            return;
        std::lock_guard<std::mutex> lock(mutex);
        std::fprintf(file, "%lld %s %s %s\n", ms, req.method.c_str(), req.target.c_str(),
                     status.c_str());
        std::fflush(file);
    }

private:
    std::FILE* file;
    std::mutex mutex;
    const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

// Slow replies wait here, so that a stop signal need not wait for them.
class Stopper {
public:
    // True when it ended because we are stopping.
    bool sleepMs(int ms) {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping; });
    }
    void stop() {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
        cv.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable cv;
    bool stopping = false;
};

#ifdef _WIN32
// Windows has no list of a process's sockets to reach the request's one through: `reset`
// faults, and the hang and stall faults that watch it, are refused at start there, and
// stopping does not end idle keep-alive connections.
template <typename Fn> void forEachConnection(int, Fn) {}
constexpr int SHUT_RDWR = SD_BOTH; // the POSIX name, for the one call that never runs here
void resetConnection(const httplib::Request&) {}
bool peerConnected(const httplib::Request&) {
    return false;
}

// Ctrl+C, Ctrl+Break and the console's closing stop the simulator as the signals do.
std::mutex consoleStopMutex;
std::condition_variable consoleStop;
bool consoleStopped = false;

BOOL WINAPI onConsoleEvent(DWORD) {
    std::lock_guard<std::mutex> lock(consoleStopMutex);
    consoleStopped = true;
    consoleStop.notify_all();
    return TRUE;
}

void waitForStop() {
    std::unique_lock<std::mutex> lock(consoleStopMutex);
    consoleStop.wait(lock, [] { return consoleStopped; });
}

void wakeStopWaiter(std::thread&) {
    onConsoleEvent(0);
}
#else
// Calls fn(fd, peerPort) for each connected TCP socket of ours whose local port is `port`.
// cpp-httplib 0.11 gives handlers no socket, so this is how we reach one.
template <typename Fn> void forEachConnection(int port, Fn fn) {
    DIR* dir = opendir("/proc/self/fd");
    if (!dir)
        return;
    while (dirent* entry = readdir(dir)) {
        const int fd = std::atoi(entry->d_name);
        sockaddr_in local{}, peer{};
        socklen_t localLen = sizeof local, peerLen = sizeof peer;
        if (fd > 2 && getsockname(fd, reinterpret_cast<sockaddr*>(&local), &localLen) == 0 &&
            getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLen) == 0 &&
            local.sin_family == AF_INET && ntohs(local.sin_port) == port &&
            !fn(fd, ntohs(peer.sin_port)))
            break;
    }
    closedir(dir);
}

// Swaps the request's socket for an unconnected one: the last close of the real socket, with
// zero linger, sends a reset, and the library's attempt to answer then fails on the stand-in.
void resetConnection(const httplib::Request& req) {
    forEachConnection(req.local_port, [&](int fd, int peerPort) {
        if (peerPort != req.remote_port)
            return true;
        const linger hard{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        const int standIn = socket(AF_INET, SOCK_STREAM, 0);
        if (standIn >= 0) {
            dup2(standIn, fd);
            close(standIn);
        }
        return false;
    });
}

// True while the client still holds the request's connection open.
bool peerConnected(const httplib::Request& req) {
    bool connected = false;
    forEachConnection(req.local_port, [&](int fd, int peerPort) {
        if (peerPort != req.remote_port)
            return true;
        char byte;
        const ssize_t n = recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        connected = n > 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
        return false;
    });
    return connected;
}
#endif

// Holds a request's thread while its client waits on it, so that a client that gives up frees
// it; bounded, so that a client that never gives up cannot hold the pool for good.
void holdWhileConnected(const httplib::Request& req, Stopper& stopper) {
    constexpr int kStepMs = 100;
    constexpr int kMaxHoldMs = 600000;
    for (int held = 0; held < kMaxHoldMs && peerConnected(req); held += kStepMs)
        if (stopper.sleepMs(kStepMs))
            return;
}

class Service {
public:
    Service(const Options& options, World& world, RequestLog& log)
        : options(options), world(world), log(log), seen(options.faults.size(), 0) {}

    void install(httplib::Server& http);
    Stopper stopper;

private:
    // A handler's normal answer; `wrongTypes` asks for the variant with mistyped values.
    using Reply = std::function<std::string(bool wrongTypes)>;

    const FaultRule* pickFault(RequestKind kind);
    void serve(RequestKind kind, const httplib::Request& req, httplib::Response& res,
               const Reply& reply);

    const Options& options;
    World& world;
    RequestLog& log;
    std::mutex faultMutex;
    std::vector<long long> seen; // requests of its kind seen by each rule
};

// Every rule counts the request; the first rule that fires wins.
const FaultRule* Service::pickFault(RequestKind kind) {
    if (kind == RequestKind::Other)
        return nullptr;
    std::lock_guard<std::mutex> lock(faultMutex);
    const FaultRule* chosen = nullptr;
    for (std::size_t i = 0; i < options.faults.size(); ++i) {
        const FaultRule& rule = options.faults[i];
        if (!rule.allKinds && rule.kind != kind)
            continue;
        const long long n = ++seen[i];
        bool fires = true;
        switch (rule.when) {
        case FaultRule::When::Always:
            break;
        case FaultRule::When::First:
            fires = n <= rule.count;
            break;
        case FaultRule::When::After:
            fires = n > rule.count;
            break;
        case FaultRule::When::Probability:
            fires = world.draw() < rule.probability;
            break;
        }
        if (fires && !chosen)
            chosen = &rule;
    }
    return chosen;
}

void Service::serve(RequestKind kind, const httplib::Request& req, httplib::Response& res,
                    const Reply& reply) {
    const long long arrival = log.elapsedMs();
    const FaultRule* fault = pickFault(kind);
    const char* json = "application/json; charset=utf-8";
    std::string body;
    if (!fault || fault->type == FaultType::Slow) {
        if (fault)
            stopper.sleepMs(fault->delayMs);
        body = reply(false);
    } else if (fault->type == FaultType::Reset) {
        resetConnection(req);
        log.write(arrival, req, "reset");
        return;
    } else if (fault->type == FaultType::Hang) {
        log.write(arrival, req, "hang");
        holdWhileConnected(req, stopper);
        resetConnection(req); // still no answer, even after the hold
        return;
    } else if (fault->type == FaultType::Stall) {
        log.write(arrival, req, "stall");
        auto whole = std::make_shared<std::string>(reply(false));
        res.set_content_provider(
            whole->size(), json,
            [this, whole, &req](size_t offset, size_t, httplib::DataSink& sink) {
                if (offset == 0)
                    sink.write(whole->data(), whole->size() / 2);
                holdWhileConnected(req, stopper);
                return false; // the rest never comes
            });
        return;
    } else if (fault->type == FaultType::Status) {
        res.status = fault->status;
        res.set_content("simulated failure\n", "text/plain");
        log.write(arrival, req, std::to_string(res.status));
        return;
    } else if (fault->type == FaultType::Empty) {
        res.set_content("", json);
        log.write(arrival, req, "200");
        return;
    } else if (fault->type == FaultType::Invalid) {
        body = reply(false);
        body.resize(body.size() / 2); // a cut document never parses
    } else {
        body = reply(true);
    }
    // An empty normal answer means the request named nothing we know.
    if (body.empty()) {
        res.status = 404;
        body = R"({"error":"not found"})";
    }
    res.set_content(body, json);
    log.write(arrival, req, std::to_string(res.status == -1 ? 200 : res.status));
}

void Service::install(httplib::Server& http) {
    http.Get("/room/getinfo", [this](const httplib::Request& req, httplib::Response& res) {
        const std::string name = req.get_param_value("domain");
        serve(RequestKind::Lookup, req, res,
              [&](bool bad) { return world.lookupReply(name, bad); });
    });
    http.Get("/item/getallitems", [this](const httplib::Request& req, httplib::Response& res) {
        serve(RequestKind::Catalogue, req, res,
              [&](bool bad) { return world.catalogueReply(bad); });
    });
    http.Get("/chatroom/joinroom", [this](const httplib::Request& req, httplib::Response& res) {
        const std::string id = req.get_param_value("roomId");
        serve(RequestKind::Join, req, res, [&](bool bad) { return world.joinReply(id, bad); });
    });
    // The library has already percent-decoded the path, so the group is plain text here.
    http.Get(R"(/chatroom/msgs/([^/]+)/(-?[0-9]{1,18})/(-?[0-9]{1,18}))",
             [this](const httplib::Request& req, httplib::Response& res) {
                 const std::string group = req.matches[1];
                 const long long from = std::atoll(req.matches.str(2).c_str());
                 serve(RequestKind::Poll, req, res,
                       [&](bool bad) { return world.pollReply(group, from, bad); });
             });
    http.Get("/newest_kiblive/KibLive.rar",
             [this](const httplib::Request& req, httplib::Response& res) {
                 const long long arrival = log.elapsedMs();
                 res.set_header("Content-Disposition", "attachment; filename=\"KibLive.rar\"");
                 res.set_content("KibChat simulator: placeholder for the newest client download.\n",
                                 "application/octet-stream");
                 log.write(arrival, req, "200");
             });
    // Everything else is a 404, logged like the rest.
    const auto notFound = [this](const httplib::Request& req, httplib::Response& res) {
        serve(RequestKind::Other, req, res, [](bool) { return std::string(); });
    };
    http.Get(".*", notFound);
    http.Post(".*", notFound);
    http.Put(".*", notFound);
    http.Delete(".*", notFound);
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "kibchat-sim: %s (see --help)\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(helpText(), stdout);
        return 0;
    }
    if (!options.seedGiven)
        options.seed = (std::uint64_t(std::random_device{}()) << 32) ^ std::random_device{}();

    RequestLog log(options.logFile);
    if (log.failed(options.logFile)) {
        std::fprintf(stderr, "kibchat-sim: cannot open log file %s\n", options.logFile.c_str());
        return 1;
    }

#ifdef _WIN32
    for (const FaultRule& rule : options.faults)
        if (rule.type == FaultType::Reset || rule.type == FaultType::Hang ||
            rule.type == FaultType::Stall) {
            std::fprintf(stderr, "kibchat-sim: reset, hang and stall faults need Linux\n");
            return 2;
        }
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    // Block the stop signals in every thread (the pool inherits this) and take them in one
    // watcher thread, where stopping the server is safe. SIGUSR1 only wakes the watcher.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);
    const auto waitForStop = [&signals] {
        int sig = 0;
        sigwait(&signals, &sig);
    };
    const auto wakeStopWaiter = [](std::thread& waiter) {
        pthread_kill(waiter.native_handle(), SIGUSR1);
    };
#endif

    World world(options.seed, options.rate, options.next);
    Service service(options, world, log);
    httplib::Server http;
    http.new_task_queue = [] { return new httplib::ThreadPool(16); };
    http.set_tcp_nodelay(true); // headers and body go out in two writes; no Nagle stall
    // The library's default adds SO_REUSEPORT, which would let a second copy share our port.
    http.set_socket_options([](socket_t sock) {
        const int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes), sizeof yes);
    });
    service.install(http);

    int port = options.port;
    if (port == 0)
        port = http.bind_to_any_port("127.0.0.1");
    else if (!http.bind_to_port("127.0.0.1", port))
        port = -1;
    if (port <= 0) {
        std::fprintf(stderr, "kibchat-sim: cannot listen on 127.0.0.1:%d\n", options.port);
        return 1;
    }
    std::printf("listening 127.0.0.1:%d\nseed %llu\n", port,
                static_cast<unsigned long long>(options.seed));
    std::fflush(stdout);

    std::atomic<bool> listenDone{false};
    std::thread watcher([&] {
        waitForStop();
        service.stopper.stop();
        // stop() is a no-op until the accept loop runs. Idle keep-alive connections would hold
        // the pool for seconds, so end them too until the server is down.
        bool stopped = false;
        while (!listenDone) {
            if (!stopped && http.is_running()) {
                http.stop();
                stopped = true;
            }
            forEachConnection(port, [](int fd, int) {
                shutdown(fd, SHUT_RDWR);
                return true;
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const bool ok = http.listen_after_bind();
    listenDone = true;
    wakeStopWaiter(watcher);
    watcher.join();
    return ok ? 0 : 1;
}
