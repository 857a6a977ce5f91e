// kalvo-sim: a simulated KALVO module for development and tests.
#include "fixed_image.h"
#include "meter_model.h"
#include "sim_options.h"
#include "sim_tcp_server.h"

#include <csignal>
#include <iostream>
#include <memory>
#include <sys/signalfd.h>
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

std::unique_ptr<RegisterSource> Source(const SimOptions& options) {
    if (!options.FixedFile.empty()) {
        return std::make_unique<FixedImage>(options.FixedFile);
    }
    return std::make_unique<MeterModel>(options.Meter, std::chrono::system_clock::now());
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
    if (options.Help) {
        std::cout << SimOptions::Usage();
        return 0;
    }
    try {
        const int stop = StopSignals();
        const std::unique_ptr<RegisterSource> source = Source(options);
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
