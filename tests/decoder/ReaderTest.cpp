// The WAV reader: chunk search, block loading and sample formats. Whole
// files go through the real binary; sample values are read through the
// library on files built in memory.

#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "TestSupport.h"
#include "WavSampleReader.h"

using namespace ts;

namespace {

// The data payload of an ltcgen file (mono s16 unless args say otherwise).
std::vector<uint8_t> ltcPayload(const std::vector<std::string>& args)
{
    std::string f = path("payload.wav");
    ltcgen(f, args);
    std::vector<uint8_t> b = readFile(f);
    for (size_t pos = 12; pos + 8 <= b.size();) {
        uint32_t size = b[pos + 4] | (b[pos + 5] << 8) | (b[pos + 6] << 16) | (static_cast<uint32_t>(b[pos + 7]) << 24);
        if (std::memcmp(&b[pos], "data", 4) == 0)
            return std::vector<uint8_t>(b.begin() + static_cast<long>(pos + 8), b.begin() + static_cast<long>(pos + 8 + size));
        pos += 8 + size + (size & 1);
    }
    return {};
}

std::string write(const std::string& name, const std::vector<uint8_t>& bytes)
{
    std::string f = path(name);
    writeFile(f, bytes);
    return f;
}

Bytes rawChunk(const char* id, uint32_t declaredSize, const std::vector<uint8_t>& payload)
{
    Bytes b;
    b.tag(id).u32(declaredSize).raw(payload);
    return b;
}

const std::map<std::string, std::string> kTen = {{"Timecode", "10:00:00:00"}};

void chunkSearch()
{
    std::vector<uint8_t> ltc = ltcPayload({"--fps", "25", "--start", "10:00:00:00", "--seconds", "2.2"});
    Format mono;
    Bytes fmt = chunk("fmt ", fmtPayload(mono));
    Bytes data = chunk("data", ltc);

    EXPECT_SUCCESS({write("plain.wav", riff({fmt, data}))}, kTen);
    EXPECT_SUCCESS({write("fmt-last.wav", riff({data, fmt}))}, kTen);
    EXPECT_SUCCESS({write("odd.wav", riff({chunk("LIST", {1, 2, 3}), fmt, chunk("junk", {9}), data}))}, kTen);
    // An extended fmt payload is read only as far as it matters.
    std::vector<uint8_t> longFmt = fmtPayload(mono);
    longFmt.insert(longFmt.end(), {0, 0});
    EXPECT_SUCCESS({write("fmt18.wav", riff({chunk("fmt ", longFmt), data}))}, kTen);

    // An empty chunk ends the search.
    EXPECT_ERROR({write("empty-before-fmt.wav", riff({chunk("junk", {}), fmt, data}))}, 201);
    EXPECT_ERROR({write("empty-before-data.wav", riff({fmt, chunk("junk", {}), data}))}, 204);
    EXPECT_ERROR({write("empty-fmt.wav", riff({chunk("fmt ", {}), data}))}, 201);

    // Sizes near 4 GiB: skipping them must move beyond the file, never wrap
    // back onto the same chunk.
    for (uint32_t size : {0xFFFFFFF8u, 0xFFFFFFF7u, 0xFFFFFFF4u, 0xFFFFFFFFu}) {
        RunResult r = pelbrook({write("huge-before-data.wav", riff({fmt, rawChunk("junk", size, {}), data}))});
        CHECK(!r.timedOut);
        CHECK_EQ(r.exitCode, 204);
        r = pelbrook({write("huge-before-fmt.wav", riff({rawChunk("junk", size, {}), fmt, data}))});
        CHECK(!r.timedOut);
        CHECK_EQ(r.exitCode, 201);
    }
    // A data size left as a placeholder by a streaming writer is still found.
    EXPECT_SUCCESS({write("data-ffffffff.wav", riff({fmt, rawChunk("data", 0xFFFFFFFFu, ltc)}))}, kTen);
    EXPECT_SUCCESS({write("data-small.wav", riff({fmt, rawChunk("data", 2, ltc)}))}, kTen);

    EXPECT_ERROR({write("no-fmt.wav", riff({data}))}, 201);
    EXPECT_ERROR({write("no-data.wav", riff({fmt, chunk("LIST", ltc)}))}, 204);
    std::vector<uint8_t> notRiff = riff({fmt, data});
    notRiff[0] = 'R', notRiff[1] = 'I', notRiff[2] = 'F', notRiff[3] = 'X';
    EXPECT_ERROR({write("rifx.wav", notRiff)}, 201);
    std::vector<uint8_t> notWave = riff({fmt, data});
    notWave[8] = 'A', notWave[9] = 'V', notWave[10] = 'I', notWave[11] = ' ';
    EXPECT_ERROR({write("avi.wav", notWave)}, 201);
    EXPECT_ERROR({write("empty.wav", {})}, 201);
    EXPECT_ERROR({write("head-only.wav", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'})}, 201);
    EXPECT_ERROR({write("cut-header.wav", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16})}, 201);
    EXPECT_ERROR({path("no-such-file.wav")}, 201);
    EXPECT_ERROR({workDir}, 201);
}

void blockLength()
{
    Format mono;
    Bytes fmt = chunk("fmt ", fmtPayload(mono));
    // Exactly two seconds running to the end of the file load; one frame less does not.
    std::vector<uint8_t> ltc = ltcPayload({"--fps", "25", "--start", "10:00:00:00", "--seconds", "2"});
    CHECK_EQ(ltc.size(), 192000u);
    EXPECT_SUCCESS({write("two-seconds.wav", riff({fmt, chunk("data", ltc)}))}, kTen);
    ltc.resize(ltc.size() - 2);
    EXPECT_ERROR({write("one-frame-short.wav", riff({fmt, chunk("data", ltc)}))}, 204);

    auto withFormat = [](const Format& f, size_t dataBytes) {
        Bytes data;
        data.tag("data").u32(static_cast<uint32_t>(dataBytes)).fill(dataBytes);
        return riff({chunk("fmt ", fmtPayload(f)), data});
    };
    Format f = mono;
    f.channels = 0;
    EXPECT_ERROR({write("no-channels.wav", withFormat(f, 200000))}, 204);
    f = mono;
    f.rate = 0;
    EXPECT_ERROR({write("rate-0.wav", withFormat(f, 200000))}, 204);
    // Two seconds of frames beyond the signed 32-bit count.
    for (uint32_t rate : {0x40000000u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu}) {
        f = mono;
        f.rate = rate;
        EXPECT_ERROR({write("rate-huge.wav", withFormat(f, 4096))}, 204);
    }
    // Frames times block align beyond 32 bits.
    f = mono;
    f.rate = 0x3FFFFFFF;
    f.blockAlign = 4;
    EXPECT_ERROR({write("bytes-huge.wav", withFormat(f, 4096))}, 204);
    // The same with files that are really that large (sparse, so nothing is
    // written): the limits themselves refuse them, before any allocation.
    auto sparse = [&](const Format& f, uintmax_t length) {
        std::string name = write("sparse.wav", withFormat(f, 16));
        std::error_code ec;
        std::filesystem::resize_file(name, length, ec);
        CHECK(!ec);
        RunResult r = pelbrook({name});
        CHECK(!r.timedOut);
        CHECK_EQ(r.exitCode, 204);
        std::filesystem::remove(name, ec);
    };
    f = mono;
    f.rate = 0x40000000;
    f.blockAlign = 1;
    f.bits = 8;
    sparse(f, (uintmax_t(1) << 31) + 4096);
    f = mono;
    f.rate = 0x3FFFFFFF;
    f.blockAlign = 4;
    f.bits = 16;
    f.channels = 2;
    sparse(f, (uintmax_t(9) << 30));
    // Promises nearly 4 GiB in a tiny file: refused without trying to load it.
    f = mono;
    f.rate = 30000;
    f.channels = 1;
    f.blockAlign = 65535;
    EXPECT_ERROR({write("align-huge.wav", withFormat(f, 4096))}, 204);
}

void sampleFormats()
{
    const std::vector<std::string> base = {"--fps", "30", "--start", "01:02:03:04", "--seconds", "2.2"};
    const std::map<std::string, std::string> expected = {{"Timecode", "01:02:03:04"}, {"FrameRateFound", "30.00"}};
    for (const char* format : {"s16", "s24", "s32", "f32", "u8"}) {
        for (bool extensible : {false, true}) {
            std::vector<std::string> args = base;
            args.insert(args.end(), {"--format", format});
            if (extensible)
                args.push_back("--extensible");
            std::string f = path(std::string(format) + (extensible ? "-ext.wav" : ".wav"));
            ltcgen(f, args);
            EXPECT_SUCCESS({f}, expected);
        }
    }
    // Padding after the samples of a frame is skipped by the stride.
    std::vector<uint8_t> ltc = ltcPayload(base);
    std::vector<uint8_t> padded;
    for (size_t i = 0; i + 1 < ltc.size(); i += 2)
        padded.insert(padded.end(), {ltc[i], ltc[i + 1], 0x55, 0x55});
    Format wide;
    wide.blockAlign = 4;
    EXPECT_SUCCESS({write("padded.wav", riff({chunk("fmt ", fmtPayload(wide)), chunk("data", padded)}))}, expected);

    // Headers whose samples would not fit their frame, or formats not read.
    auto refused = [&](const Format& f, const char* name) {
        EXPECT_ERROR({write(name, riff({chunk("fmt ", fmtPayload(f)), chunk("data", ltc)}))}, 201);
    };
    Format f;
    f.channels = 2;
    f.blockAlign = 2;
    refused(f, "align-small.wav");
    f = Format();
    f.blockAlign = 0;
    refused(f, "align-zero.wav");
    f = Format();
    f.bits = 24;
    f.blockAlign = 2;
    refused(f, "align-24.wav");
    for (unsigned bits : {0u, 4u, 12u, 20u, 40u, 64u}) {
        f = Format();
        f.bits = bits;
        f.blockAlign = 8;
        refused(f, "bits.wav");
    }
    f = Format();
    f.tag = 3;
    f.bits = 64;
    f.blockAlign = 8;
    refused(f, "double.wav");
    f = Format();
    f.tag = 3;
    f.bits = 16;
    refused(f, "float16.wav");
    for (unsigned tag : {0u, 2u, 6u, 7u, 0x55u}) {
        f = Format();
        f.tag = tag;
        refused(f, "tag.wav");
    }
    // Old 14-byte header without bits per sample.
    std::vector<uint8_t> shortFmt = fmtPayload(Format());
    shortFmt.resize(14);
    EXPECT_ERROR({write("fmt14.wav", riff({chunk("fmt ", shortFmt), chunk("data", ltc)}))}, 201);

    // Extensible: the sub-format decides; anything unknown or cut short is refused.
    auto extensible = [](unsigned subFormat, unsigned cbSize, size_t keep) {
        Format f;
        f.tag = 0xFFFE;
        Bytes b;
        b.raw(fmtPayload(f)).u16(cbSize).u16(16).u32(4).u16(subFormat);
        b.raw({0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
        b.v.resize(keep);
        return b.v;
    };
    EXPECT_SUCCESS({write("ext-pcm.wav", riff({chunk("fmt ", extensible(1, 22, 40)), chunk("data", ltc)}))}, expected);
    EXPECT_ERROR({write("ext-alaw.wav", riff({chunk("fmt ", extensible(6, 22, 40)), chunk("data", ltc)}))}, 201);
    EXPECT_ERROR({write("ext-float16.wav", riff({chunk("fmt ", extensible(3, 22, 40)), chunk("data", ltc)}))}, 201);
    EXPECT_ERROR({write("ext-cb0.wav", riff({chunk("fmt ", extensible(1, 0, 40)), chunk("data", ltc)}))}, 201);
    EXPECT_ERROR({write("ext-short.wav", riff({chunk("fmt ", extensible(1, 22, 18)), chunk("data", ltc)}))}, 201);
    std::vector<uint8_t> badGuid = extensible(1, 22, 40);
    badGuid[39] ^= 0xFF;
    EXPECT_ERROR({write("ext-guid.wav", riff({chunk("fmt ", badGuid), chunk("data", ltc)}))}, 201);
}

// A reader over an in-memory file of two seconds at a tiny rate.
struct MemoryWav {
    std::istringstream stream;
    WavSampleReader reader;
    bool loaded = false;

    MemoryWav(const Format& f, const std::vector<uint8_t>& frames, const std::vector<uint8_t>& fmtTail = {})
    {
        std::vector<uint8_t> fmt = fmtPayload(f);
        fmt.insert(fmt.end(), fmtTail.begin(), fmtTail.end());
        std::vector<uint8_t> file = riff({chunk("fmt ", fmt), chunk("data", frames)});
        stream.str(std::string(file.begin(), file.end()));
        loaded = openWavStream(stream, reader) && loadBlock(reader, 2 * static_cast<int64_t>(reader.sampleRate));
    }
};

std::vector<uint8_t> floats(const std::vector<float>& values)
{
    std::vector<uint8_t> b(values.size() * 4);
    std::memcpy(b.data(), values.data(), b.size());
    return b;
}

void sampleValues()
{
    Format f;
    f.rate = 1;
    f.bits = 24;
    f.blockAlign = 3;
    {
        MemoryWav w(f, {0x12, 0x34, 0x56, 0xFF, 0xFF, 0xFF});
        CHECK(w.loaded);
        CHECK_EQ(sampleAt(w.reader, 0), 22068);
        CHECK_EQ(sampleAt(w.reader, 1), -1);
        CHECK_EQ(sampleAt(w.reader, 2), 0);     // outside the block
        CHECK_EQ(sampleAt(w.reader, -1), 0);
    }
    f.bits = 16;
    f.blockAlign = 2;
    {
        MemoryWav w(f, {0xFF, 0x7F, 0x00, 0x80});
        CHECK_EQ(sampleAt(w.reader, 0), 32767);
        CHECK_EQ(sampleAt(w.reader, 1), -32768);
    }
    f.bits = 32;
    f.blockAlign = 4;
    {
        MemoryWav w(f, {0x11, 0x22, 0x33, 0x44, 0xFF, 0xFF, 0x00, 0x80});
        CHECK_EQ(sampleAt(w.reader, 0), 0x4433);
        CHECK_EQ(sampleAt(w.reader, 1), -32768);
    }
    f.bits = 8;
    f.blockAlign = 1;
    {
        MemoryWav w(f, {0x00, 0xFF});
        CHECK_EQ(sampleAt(w.reader, 0), -32768);
        CHECK_EQ(sampleAt(w.reader, 1), 32512);
    }
    f.tag = 3;
    f.bits = 32;
    f.blockAlign = 4;
    f.rate = 4;
    {
        MemoryWav w(f, floats({1.0f, -1.0f, 0.5f, 2.0f, -7.5f, std::nanf(""), -0.00001f, 0.25f}));
        CHECK(w.loaded);
        const int expected[] = {32767, -32768, 16384, 32767, -32768, 0, -1, 8192};
        for (int i = 0; i < 8; ++i)
            CHECK_EQ(sampleAt(w.reader, i), expected[i]);
    }
    // Channel 2 of four 16-bit channels starts 4 bytes into each frame.
    f = Format();
    f.rate = 1;
    f.channels = 4;
    f.blockAlign = 8;
    {
        MemoryWav w(f, {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 0});
        selectChannel(w.reader, 2);
        CHECK_EQ(sampleAt(w.reader, 0), 3);
        CHECK_EQ(sampleAt(w.reader, 1), 7);
        w.reader.readPosition = 1;
        selectChannel(w.reader, 4);              // not in the file: nothing changes
        CHECK_EQ(w.reader.selectedChannel, 2);
        CHECK_EQ(w.reader.readPosition, 1);
        selectChannel(w.reader, 3);
        CHECK_EQ(sampleAt(w.reader, 1), 8);
        CHECK_EQ(w.reader.readPosition, 0);
    }
    // Two seconds of 16-bit stereo at 48 kHz: 96000 frames of 4 bytes.
    f = Format();
    f.channels = 2;
    f.blockAlign = 4;
    {
        MemoryWav w(f, std::vector<uint8_t>(400000, 0));
        CHECK(w.loaded);
        CHECK_EQ(w.reader.framesLoaded, 96000);
        CHECK_EQ(w.reader.chunkBytesConsumed, 384000u);
    }
}

} // namespace

int main(int argc, char** argv)
{
    return runGroups(argc, argv,
                     {{"chunks", chunkSearch},
                      {"length", blockLength},
                      {"formats", sampleFormats},
                      {"samples", sampleValues}});
}
