#include "modbus_tcp/tcp_frame_codec.h"

#include <gtest/gtest.h>
#include <vector>

namespace kalvo {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Is = TcpFrameCodec::Scan::Is;
using Fit = TcpFrameCodec::Fit;

TModBusResponseBuffer ReadRequest(std::uint16_t transaction, std::uint8_t unit,
                                  std::uint16_t count) {
    TModBusResponseBuffer request;
    TcpFrameCodec::Build({transaction, unit, 0x03, 0, count, {}}, request);
    return request;
}

TModBusResponseBuffer Reply(const Bytes& bytes) {
    TModBusResponseBuffer reply;
    std::copy(bytes.begin(), bytes.end(), reply.Bytes.begin());
    return reply;
}

// A stream is taken frame by frame by the length field: other transactions and protocols are
// skipped whole, a part waits for the bytes that would tell more, a length outside 2..254
// says the stream is out of step.
TEST(TcpFrameCodecTest, FindsTheReplyWholeInAStream) {
    const TModBusResponseBuffer request = ReadRequest(7, 255, 1);
    const Bytes other{0, 6, 0, 0, 0, 5, 255, 3, 2, 0, 1};
    const Bytes protocol{0, 7, 0, 1, 0, 5, 255, 3, 2, 0, 1};
    const Bytes reply{0, 7, 0, 0, 0, 5, 255, 3, 2, 0x12, 0x34};
    struct Case {
        const char* name;
        Bytes stream;
        Is state;
        std::size_t skipped;
        std::size_t sizeOrNeeded;
    };
    Bytes skipTwo = other;
    skipTwo.insert(skipTwo.end(), protocol.begin(), protocol.end());
    skipTwo.insert(skipTwo.end(), reply.begin(), reply.end());
    const Case cases[] = {
        {"empty", {}, Is::Wanting, 0, 6},
        {"a header's part", {0, 7, 0}, Is::Wanting, 0, 6},
        {"a frame's part", Bytes(reply.begin(), reply.begin() + 8), Is::Wanting, 0, 11},
        {"the reply", reply, Is::Reply, 0, 11},
        {"after another transaction and protocol", skipTwo, Is::Reply, 22, 11},
        {"another transaction only", other, Is::Wanting, 11, 6},
        {"length 1", {0, 7, 0, 0, 0, 1, 255}, Is::BadLength, 0, 0},
        {"length 255", {0, 7, 0, 0, 0, 255, 255}, Is::BadLength, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TcpFrameCodec::Scan scan = TcpFrameCodec::Find(c.stream, request);
        EXPECT_EQ(scan.State, c.state);
        EXPECT_EQ(scan.Skipped, c.skipped);
        if (c.state == Is::Reply) {
            EXPECT_EQ(scan.Size, c.sizeOrNeeded);
        } else if (c.state == Is::Wanting) {
            EXPECT_EQ(scan.Needed, c.sizeOrNeeded);
        }
    }
    Bytes partial = skipTwo;
    partial.resize(skipTwo.size() - 1);
    EXPECT_EQ(TcpFrameCodec::WholeFrames(skipTwo), 33U);
    EXPECT_EQ(TcpFrameCodec::WholeFrames(partial), 22U);
    EXPECT_EQ(TcpFrameCodec::WholeFrames(Bytes{0, 7, 0, 0, 0, 1, 255}), 0U);
}

// A module asked as the direct unit may answer as its own unit; a unit asked by number, a
// device behind a gateway, must be the one that answers.
TEST(TcpFrameCodecTest, JudgesTheUnitFunctionAndLength) {
    struct Case {
        const char* name;
        std::uint8_t askedUnit;
        Bytes reply;
        Fit fit;
    };
    const Case cases[] = {
        {"direct unit, same", 255, {0, 1, 0, 0, 0, 5, 255, 3, 2, 0, 1}, Fit::Good},
        {"direct unit, module's own", 255, {0, 1, 0, 0, 0, 5, 1, 3, 2, 0, 1}, Fit::Good},
        {"unit 7, answered by 7", 7, {0, 1, 0, 0, 0, 5, 7, 3, 2, 0, 1}, Fit::Good},
        {"unit 7, answered by 8", 7, {0, 1, 0, 0, 0, 5, 8, 3, 2, 0, 1}, Fit::Mismatch},
        {"exception", 255, {0, 1, 0, 0, 0, 3, 255, 0x83, 2}, Fit::Exception},
        {"exception too long", 255, {0, 1, 0, 0, 0, 4, 255, 0x83, 2, 0}, Fit::Mismatch},
        {"another function", 255, {0, 1, 0, 0, 0, 5, 255, 4, 2, 0, 1}, Fit::Mismatch},
        {"short", 255, {0, 1, 0, 0, 0, 3, 255, 3, 0}, Fit::Mismatch},
        {"byte count off", 255, {0, 1, 0, 0, 0, 5, 255, 3, 4, 0, 1}, Fit::Mismatch},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TcpFrameCodec::Judge(ReadRequest(1, c.askedUnit, 1), Reply(c.reply)), c.fit);
    }
}

} // namespace
} // namespace kalvo
