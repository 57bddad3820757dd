#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <istream>

// How the bytes of one sample become a level on the signed 16-bit scale.
enum class SampleKind { None, Unsigned8, Signed16, Signed24, Signed32, Float32 };

// The first two seconds of a WAV file, handed out one sample at a time.
struct WavSampleReader {
    std::ifstream file;              // owned when opened by path
    std::istream* in = nullptr;      // the stream read from: file, or one the caller owns

    uint16_t formatTag = 0;
    uint16_t channelCount = 0;
    uint32_t sampleRate = 0;
    uint32_t byteRate = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;

    SampleKind kind = SampleKind::None;
    int32_t selectedChannel = 0;
    int32_t framesLoaded = 0;
    int32_t readPosition = 0;
    int64_t blockStart = 0;          // the file's frame number of the block's frame 0
    int64_t dataFrames = 0;          // frames the data holds, as far as the file has them

    uint8_t* block = nullptr;        // framesLoaded * blockAlign bytes, as stored in the file
    uint32_t channelOffset = 0;      // byte offset of the selected channel within a frame

    uint64_t fileLength = 0;
    uint64_t chunkPosition = 0;      // 64-bit: chunk sizes near 4 GiB must not wrap the search
    uint64_t chunkBytesConsumed = 0;
    uint64_t chunkSize = 0;

    WavSampleReader() = default;
    WavSampleReader(const WavSampleReader&) = delete;
    WavSampleReader& operator=(const WavSampleReader&) = delete;
    ~WavSampleReader();
};

// Opens a file by path; false means error 201.
bool openWav(const char* path, WavSampleReader& reader);
// The same on a stream the caller keeps alive until closeWav (used by the fuzzer).
bool openWavStream(std::istream& in, WavSampleReader& reader);

// Finds a chunk from offset 12 on; on success the stream stands at its payload.
bool findChunk(WavSampleReader& reader, const char id[4]);

// Loads frameCount frames from frame firstFrame of the data payload on; false
// means error 204. When fewer than frameCount frames follow firstFrame, the
// block is the last frameCount frames of the data instead. A later call of the
// same length reuses the block's memory.
bool loadBlock(WavSampleReader& reader, int64_t frameCount, int64_t firstFrame = 0);

void selectChannel(WavSampleReader& reader, int32_t channel);

// Frees the block and closes the file; safe to call more than once.
void closeWav(WavSampleReader& reader);

// The selected channel's level in frame `index`; 0 outside the loaded block.
inline int sampleAt(const WavSampleReader& r, int32_t index)
{
    if (index < 0 || index >= r.framesLoaded)
        return 0;
    const uint8_t* p = r.block + static_cast<uint32_t>(index) * r.blockAlign + r.channelOffset;
    switch (r.kind) {
    case SampleKind::Signed16:
        return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
    case SampleKind::Signed24:
        return static_cast<int16_t>(static_cast<uint16_t>(p[1] | (p[2] << 8)));
    case SampleKind::Signed32:
        return static_cast<int16_t>(static_cast<uint16_t>(p[2] | (p[3] << 8)));
    case SampleKind::Unsigned8:
        return (p[0] - 128) * 256;
    case SampleKind::Float32: {
        uint32_t bits = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8)
                        | (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        float v = f * 32768.0f;
        if (v >= 32767.0f)
            return 32767;
        if (v <= -32768.0f)
            return -32768;
        if (!(v == v))
            return 0;    // NaN carries no level
        int whole = static_cast<int>(v);
        return (static_cast<float>(whole) > v) ? whole - 1 : whole;    // floor, as the integer formats do
    }
    case SampleKind::None:
        break;
    }
    return 0;
}
