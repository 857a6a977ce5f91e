// libFuzzer target: any bytes through DecodeFrame and the checks, in every mode.
#include "modbus_serial/brindel_error.h"
#include "modbus_serial/frame_codec.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kalvo;
    for (TTransmissionMode mode : {tmRTU, tmASCII}) {
        for (TConnectionMode connection : {cmClient, cmServer, cmMonitor}) {
            const FrameCodec codec(mode, connection);
            TModbusBuffer buffer(FrameGeometry::TransactionCapacity(mode));
            try {
                if (codec.DecodeFrame(data, static_cast<int>(size), buffer)) {
                    std::uint8_t raw[513];
                    codec.EncodeFrame(buffer, raw, FrameGeometry::InterimCapacity(mode));
                }
            } catch (const EBrindelError&) {
                // Oversized frames are refused with an error; that is the expected outcome.
            }
        }
    }
    return 0;
}
