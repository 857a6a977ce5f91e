// kalvo-sim: a simulated KALVO module for development and tests.
#include "fixed_image.h"
#include "meter_model.h"
#include "modbus_serial/virtual_ports.h"
#include "open_file_limit.h"
#include "sim_options.h"
#include "sim_rtu_server.h"
#include "sim_tcp_server.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <iostream>
#include <kalvo_version.h>
#include <memory>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <thread>
#include <unistd.h>

using namespace kalvo::sim;

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// SIGINT and SIGTERM become readable data on a descriptor the server polls.
int StopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    return signalfd(-1, &signals, SFD_CLOEXEC);
}

// The k-th module's registers: the fixed image, or a meter model of its own.
std::unique_ptr<RegisterSource> Source(const SimOptions& options, std::uint32_t k = 0) {
    if (!options.FixedFile.empty()) {
        return std::make_unique<FixedImage>(options.FixedFile);
    }
    MeterModel::Settings meter = options.Meter;
    meter.Serial += k;
    return std::make_unique<MeterModel>(meter, std::chrono::system_clock::now());
}

// Serves RTU requests through the engine's message queue until a stop signal arrives.
void ServeRtu(const SimOptions& options, int stop) {
    kalvo::ManualMessageQueue queue;
    const std::string link =
        options.RtuLink.empty() ? kalvo::VirtualPortFolder() + "/kalvo-sim" : options.RtuLink;
    std::vector<std::unique_ptr<RegisterSource>> sources;
    std::vector<SimRtuServer::Unit> units;
    std::string addresses;
    for (const std::uint8_t address : options.RtuAddresses) {
        sources.push_back(Source(options, static_cast<std::uint32_t>(units.size())));
        units.push_back({address, sources.back().get()});
        addresses += (addresses.empty() ? "" : ",") + std::to_string(address);
    }
    SimRtuServer server(link, units, options.Faults, queue);
    std::cout << "kalvo-sim: Modbus RTU on " << server.DevicePath() << " (" << server.Link()
              << "), server address" << (units.size() > 1 ? "es " : " ") << addresses << std::endl;
    // The stop signal reaches the queue as a message of its own, so the loop only wakes for
    // work. `done` releases the watcher when the loop ends otherwise.
    const int done = eventfd(0, EFD_CLOEXEC);
    std::atomic<bool> stopped = false;
    std::thread watcher([&queue, &stopped, stop, done] {
        pollfd fds[2] = {{stop, POLLIN, 0}, {done, POLLIN, 0}};
        while (poll(fds, 2, -1) < 0 && errno == EINTR) {
        }
        stopped = true;
        queue.Post([] {});
    });
    while (!stopped) {
        queue.WaitAndPump();
        if (server.HangUpDue()) {
            std::cout << "kalvo-sim: the port goes away" << std::endl;
            break;
        }
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(done, &one, sizeof one);
    watcher.join();
    close(done);
}

} // namespace

int main(int argc, char* argv[]) {
    SimOptions options;
    try {
        options = SimOptions::Parse(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& error) {
        std::cerr << "kalvo-sim: " << error.what() << "\n\n" << SimOptions::Usage();
        return kExitUsage;
    }
    if (options.Version) {
        std::cout << "kalvo-sim " KALVO_VERSION "\n";
        return 0;
    }
    if (options.Help) {
        std::cout << SimOptions::Usage();
        return 0;
    }
    try {
        const int stop = StopSignals();
        if (options.Rtu) {
            ServeRtu(options, stop);
            close(stop);
            return 0;
        }
        const std::unique_ptr<RegisterSource> source = Source(options);
        kalvo::tools::RaiseOpenFileLimit();
        SimTcpServer server(options.Address, options.Port, *source, options.Faults);
        std::cout << "kalvo-sim: Modbus/TCP on " << options.Address << ':' << server.Port()
                  << (options.FixedFile.empty() ? " (simulated meter)" : " (fixed image)")
                  << std::endl;
        server.Run(stop);
        close(stop);
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "kalvo-sim: " << error.what() << '\n';
        return kExitFailure;
    }
}
