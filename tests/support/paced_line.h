#pragma once

#include <atomic>
#include <chrono>
#include <latch>
#include <string>
#include <thread>

namespace kalvo::test {

// A serial line paced at its baud rate between a client and a device: a relay from a new
// pseudo-terminal (the near end, which the client opens) to an existing device (the far end,
// a simulator's port). Each byte is handed over at its line time, keeping the gaps the sender
// makes. Replies (far to near) can pass through an emulated USB adapter that holds bytes until
// its latency timer runs out or its packet fills, and one reply byte can be held back by a
// pause. Relay threads ask for real-time priority where the system grants it.
class PacedLine {
public:
    struct Settings {
        int Baud = 9600;
        int BitsPerByte = 10;     // 8N1
        int LatencyTimerMs = 0;   // 0: no adapter, bytes pass at their line time
        int PacketBytes = 62;     // an FTDI-type adapter's payload per USB packet
        int PauseBeforeByte = -1; // < 0: no pause; else the reply byte the pause comes before
        int PauseMs = 0;          // the pause, inserted once, in the first reply long enough
    };

    // Opens `farDevice`, creates the near end and, when `nearLink` is given, links it there.
    PacedLine(const std::string& farDevice, const Settings& settings,
              const std::string& nearLink = {});
    ~PacedLine();
    PacedLine(const PacedLine&) = delete;
    PacedLine& operator=(const PacedLine&) = delete;

    const std::string& NearPath() const { return fNearPath; }
    std::chrono::nanoseconds ByteTime() const { return fByteTime; }
    // Whether the relay threads run with real-time priority.
    bool RealTime() const { return fRealTime; }

private:
    using Clock = std::chrono::steady_clock;

    void RelayRequests();
    void RelayReplies();
    // Waits until `from` is readable or `deadline`; false at the deadline or on stop.
    bool WaitReadable(int from, Clock::time_point deadline) const;
    int ReadSome(int from, unsigned char* bytes, int capacity) const;
    void Deliver(int to, const unsigned char* bytes, int count, Clock::time_point at) const;
    void SetRealTime();

    Settings fSettings;
    std::chrono::nanoseconds fByteTime;
    int fFar = -1;
    int fNearMaster = -1;
    int fNearSlave = -1;
    int fStop = -1;
    std::string fNearPath;
    std::string fNearLink;
    std::atomic<int> fReplyIndex = 0;
    std::atomic<bool> fPauseDone = false;
    std::atomic<bool> fRealTime = true;
    std::latch fStarted{2};
    std::thread fRequests;
    std::thread fReplies;
};

} // namespace kalvo::test
