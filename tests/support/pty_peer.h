#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kalvo::test {

// The far end of a pseudo-terminal pair, scripted: each frame that arrives (bytes followed
// by a gap of a few milliseconds) goes to a handler that returns what to send back, chunk by
// chunk, with pauses. The near end's path is what a serial connection opens.
class PtyPeer {
public:
    using Bytes = std::vector<std::uint8_t>;
    struct Chunk {
        Bytes Data;
        int DelayMsBefore = 0;
        // After this chunk the far end goes away, as when a USB adapter is pulled out.
        bool HangUpAfter = false;
    };
    using Handler = std::function<std::vector<Chunk>(const Bytes& frame)>;

    explicit PtyPeer(Handler handler);
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& Path() const { return fPath; }
    std::vector<Bytes> Frames() const;
    // Frames that began to arrive while a reply was still due: two talkers on the line at
    // once, which a bus does not survive.
    int Overlaps() const { return fOverlaps; }
    // Sends bytes to the near end now, outside any script.
    void Send(const Bytes& bytes);
    // Closes the far end now: the near end hangs up.
    void HangUp();

    // An RTU frame: the bytes followed by their CRC, low byte first.
    static Bytes WithCrc(Bytes bytes);

private:
    void Run();
    bool WaitReadable(int timeoutMs) const;
    void CloseMaster();

    Handler fHandler;
    std::mutex fMasterLock;
    int fMaster = -1;
    int fStop = -1;
    std::string fPath;
    mutable std::mutex fMutex;
    std::vector<Bytes> fFrames;
    std::atomic<int> fOverlaps = 0;
    std::thread fThread;
};

} // namespace kalvo::test
