#include "WavSampleReader.h"

#include <cstdlib>

namespace {

uint16_t le16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t le32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8)
           | (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool seekTo(std::istream& in, uint64_t offset)
{
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset), std::ios::beg);
    return !in.fail();
}

uint64_t readBytes(std::istream& in, void* buffer, uint64_t count)
{
    in.read(static_cast<char*>(buffer), static_cast<std::streamsize>(count));
    return static_cast<uint64_t>(in.gcount());
}

bool learnLength(WavSampleReader& r)
{
    r.in->clear();
    r.in->seekg(0, std::ios::end);
    std::streamoff end = r.in->tellg();
    if (r.in->fail() || end <= 0)
        return false;
    r.fileLength = static_cast<uint64_t>(end);
    return true;
}

// The sub-format GUID of WAVE_FORMAT_EXTENSIBLE after its leading format tag.
const uint8_t kGuidTail[12] = {0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// Decides how samples are read, from the format chunk's first bytes. Anything
// that is not 8/16/24/32-bit integer PCM or 32-bit float is refused, as is a
// frame too small to hold one sample of every channel.
SampleKind sampleKindOf(const WavSampleReader& r, const uint8_t* fmt, uint64_t fmtBytes)
{
    uint32_t tag = r.formatTag;
    if (tag == 0xFFFE) {
        if (fmtBytes < 40 || le16(fmt + 16) < 22)
            return SampleKind::None;
        const uint8_t* guid = fmt + 24;
        for (int i = 0; i < 12; ++i)
            if (guid[4 + i] != kGuidTail[i])
                return SampleKind::None;
        tag = le32(guid);
    }
    SampleKind kind = SampleKind::None;
    if (tag == 1) {
        switch (r.bitsPerSample) {
        case 8: kind = SampleKind::Unsigned8; break;
        case 16: kind = SampleKind::Signed16; break;
        case 24: kind = SampleKind::Signed24; break;
        case 32: kind = SampleKind::Signed32; break;
        default: break;
        }
    } else if (tag == 3 && r.bitsPerSample == 32) {
        kind = SampleKind::Float32;
    }
    if (kind == SampleKind::None)
        return kind;
    uint32_t frameBytes = static_cast<uint32_t>(r.channelCount) * (r.bitsPerSample / 8u);
    if (r.channelCount > 0 && r.blockAlign < frameBytes)
        return SampleKind::None;
    return kind;
}

} // namespace

WavSampleReader::~WavSampleReader()
{
    closeWav(*this);
}

bool openWav(const char* path, WavSampleReader& reader)
{
    reader.file.open(path, std::ios::in | std::ios::binary);
    if (!reader.file.is_open())
        return false;
    if (!openWavStream(reader.file, reader)) {
        closeWav(reader);
        return false;
    }
    return true;
}

bool openWavStream(std::istream& in, WavSampleReader& reader)
{
    reader.in = &in;
    uint8_t head[12];
    if (!seekTo(in, 0) || readBytes(in, head, 12) != 12)
        return false;
    if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
        return false;
    if (!findChunk(reader, "fmt "))
        return false;

    // 16 bytes of the classic header, 40 with the extensible sub-format.
    uint8_t fmt[40] = {};
    uint64_t wanted = reader.chunkSize < sizeof fmt ? reader.chunkSize : sizeof fmt;
    uint64_t got = readBytes(in, fmt, wanted);
    reader.chunkBytesConsumed += got;
    if (got == 0)
        return false;
    reader.formatTag = le16(fmt);
    reader.channelCount = le16(fmt + 2);
    reader.sampleRate = le32(fmt + 4);
    reader.byteRate = le32(fmt + 8);
    reader.blockAlign = le16(fmt + 12);
    reader.bitsPerSample = le16(fmt + 14);
    reader.kind = sampleKindOf(reader, fmt, got);
    return reader.kind != SampleKind::None;
}

bool findChunk(WavSampleReader& r, const char id[4])
{
    if (!r.in || !learnLength(r))
        return false;
    uint64_t offset = 12;
    for (;;) {
        uint8_t header[8];
        if (!seekTo(*r.in, offset) || readBytes(*r.in, header, 8) != 8)
            return false;
        uint64_t size = le32(header + 4);
        if (size == 0)
            return false;
        size += size & 1;
        offset += 8;
        if (std::memcmp(header, id, 4) == 0) {
            r.chunkPosition = offset;
            r.chunkSize = size;
            r.chunkBytesConsumed = 0;
            return true;
        }
        // Every step moves at least 10 bytes forward, so the search ends.
        offset += size;
        if (offset >= r.fileLength)
            return false;
    }
}

bool loadBlock(WavSampleReader& r, int64_t frameCount, int64_t firstFrame)
{
    if (r.channelCount == 0)
        return false;
    if (!findChunk(r, "data"))
        return false;
    r.selectedChannel = 0;
    r.channelOffset = 0;
    r.readPosition = 0;
    r.blockStart = 0;
    r.dataFrames = 0;
    if (frameCount <= 0 || frameCount > INT32_MAX || firstFrame < 0)
        return false;
    uint64_t bytes = static_cast<uint64_t>(frameCount) * r.blockAlign;
    if (bytes == 0 || bytes > UINT32_MAX)
        return false;
    // A header may promise far more than the file holds; find out before allocating.
    if (r.chunkPosition > r.fileLength || r.fileLength - r.chunkPosition < bytes)
        return false;
    uint64_t available = r.chunkSize < r.fileLength - r.chunkPosition ? r.chunkSize : r.fileLength - r.chunkPosition;
    uint64_t lastStart = available < bytes ? 0 : (available - bytes) / r.blockAlign;
    uint64_t start = static_cast<uint64_t>(firstFrame) < lastStart ? static_cast<uint64_t>(firstFrame) : lastStart;
    if (start > 0 && !seekTo(*r.in, r.chunkPosition + start * r.blockAlign))
        return false;
    if (r.block && static_cast<uint64_t>(r.framesLoaded) * r.blockAlign != bytes) {
        std::free(r.block);
        r.block = nullptr;
    }
    r.framesLoaded = 0;
    if (!r.block)
        r.block = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(bytes)));
    if (!r.block)
        return false;
    if (readBytes(*r.in, r.block, bytes) != bytes) {
        std::free(r.block);
        r.block = nullptr;
        return false;
    }
    r.chunkBytesConsumed += start * r.blockAlign + bytes;
    r.framesLoaded = static_cast<int32_t>(frameCount);
    r.blockStart = static_cast<int64_t>(start);
    r.dataFrames = static_cast<int64_t>(available / r.blockAlign);
    return true;
}

void selectChannel(WavSampleReader& r, int32_t channel)
{
    if (!r.in || channel < 0 || channel >= r.channelCount)
        return;
    r.selectedChannel = channel;
    r.channelOffset = static_cast<uint32_t>(r.bitsPerSample / 8u) * static_cast<uint32_t>(channel);
    r.readPosition = 0;
}

void closeWav(WavSampleReader& r)
{
    std::free(r.block);
    r.block = nullptr;
    r.framesLoaded = 0;
    r.readPosition = 0;
    if (r.file.is_open())
        r.file.close();
    r.in = nullptr;
}
