// Fuzzes the WAV reader and the whole decoding behind decodeFile. The first
// byte chooses the options (algorithm, channel, frame rate); the rest is the
// file. Besides the sanitizers, every result must be one the report can carry.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "LtcDecoding.h"

namespace {

const double kRates[8] = {0.0, 25.0, 29.97, 24.0, 30.0, 23.976, 27.3, 50.0};

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    DecoderOptions options;
    options.algorithm = static_cast<ReadingAlgorithm>(data[0] & 3);
    options.channel = static_cast<int32_t>((data[0] >> 2) & 7) - 1;
    options.frameRate = kRates[data[0] >> 5];

    std::istringstream in(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    WavSampleReader reader;
    DecodeResult result;
    bool ok = false;
    if (openWavStream(in, reader)) {
        ok = decodeOpened(reader, options, result);
    } else {
        result.errorNo = 201;
    }
    if (!ok) {
        require(result.errorNo >= 201 && result.errorNo <= 205);
        return 0;
    }
    require(result.errorNo == 0);
    require(std::strlen(result.timecode) == 11);
    // Measured rates stay within about 20 to 32 frames per second.
    require(result.frameRateFound >= 15.0 && result.frameRateFound <= 40.0);
    require(result.samplesSinceMidnight >= 0);
    require(result.samplesSinceMidnight < static_cast<int64_t>(reader.sampleRate) * 86400);
    require(result.channelFound >= 0 && result.channelFound <= 31);
    int nominal = static_cast<int>(result.frameRateBaseFound);
    require(result.frameCount > -nominal * 86400 && result.frameCount < nominal * 86400);
    return 0;
}
