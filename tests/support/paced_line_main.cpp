// paced-line: a serial line paced at its baud rate between a client and a device, for tests.
// Usage: paced-line FAR_DEVICE NEAR_LINK [--baud B] [--latency MS] [--packet N]
//                   [--pause-before K --pause MS]
// Prints "ready" once NEAR_LINK can be opened; SIGINT or SIGTERM stops it.
#include "paced_line.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::cerr << "usage: paced-line FAR_DEVICE NEAR_LINK [options]\n";
        return 2;
    }
    kalvo::test::PacedLine::Settings settings;
    for (int i = 3; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const int value = std::atoi(argv[i + 1]);
        if (option == "--baud") {
            settings.Baud = value;
        } else if (option == "--latency") {
            settings.LatencyTimerMs = value;
        } else if (option == "--packet") {
            settings.PacketBytes = value;
        } else if (option == "--pause-before") {
            settings.PauseBeforeByte = value;
        } else if (option == "--pause") {
            settings.PauseMs = value;
        } else {
            std::cerr << "paced-line: unknown option " << option << '\n';
            return 2;
        }
    }
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    kalvo::test::PacedLine line(argv[1], settings, argv[2]);
    std::cout << "ready " << line.NearPath() << (line.RealTime() ? " real-time" : "") << std::endl;
    int received = 0;
    sigwait(&signals, &received);
    return 0;
}
