// Pieces of the decoder that the reports do not show directly: the
// transition detector on hand-made blocks, rate snapping and measurement,
// the drop-frame clock, the text of a count and the option value readers.

#include <cfloat>
#include <cmath>
#include <cstring>
#include <sstream>

#include "LtcDecoding.h"
#include "Report.h"
#include "TestSupport.h"

using namespace ts;

namespace {

// 16-bit channels at 48 kHz; each channel given as a list of levels.
struct Block {
    std::istringstream stream;
    WavSampleReader reader;

    explicit Block(const std::vector<std::vector<int>>& channels)
    {
        size_t frames = 96000;
        Bytes data;
        for (size_t i = 0; i < frames; ++i)
            for (const auto& ch : channels)
                data.u16(static_cast<uint16_t>(static_cast<int16_t>(i < ch.size() ? ch[i] : ch.back())));
        Format f;
        f.channels = static_cast<unsigned>(channels.size());
        f.blockAlign = 2 * f.channels;
        std::vector<uint8_t> file = riff({chunk("fmt ", fmtPayload(f)), chunk("data", data.v)});
        stream.str(std::string(file.begin(), file.end()));
        bool ok = openWavStream(stream, reader) && loadBlock(reader, 96000);
        CHECK(ok);
    }
};

std::vector<int> levels(std::initializer_list<std::pair<int, int>> runs)
{
    std::vector<int> v;
    for (const auto& r : runs)
        v.insert(v.end(), static_cast<size_t>(r.first), r.second);
    return v;
}

void startPass(TransitionDetector& d, WavSampleReader& r, int channel)
{
    selectChannel(r, channel);
    d.lastChange = 0;
}

void detectorGuard()
{
    // Up from the start, down at 50, a 2-frame spike at 52, up at 60, down
    // at 80, up again from 82: the last is held back until 100 us have passed.
    Block b({levels({{50, 1000}, {2, -1000}, {2, 1000}, {6, -1000}, {20, 1000}, {2, -1000}, {1000, 1000}})});
    TransitionDetector d;
    startPass(d, b.reader, 0);
    const int32_t at[] = {5, 50, 60, 80, 85};
    int32_t previous = 0;
    for (int32_t i : at) {
        double x = nextInterval(d, b.reader);
        CHECK(std::fabs(x - (i - previous) / 48000.0) < 1e-12);
        CHECK_EQ(b.reader.readPosition, i + 1);
        CHECK_EQ(d.lastChange, i);
        previous = i;
    }
    CHECK_EQ(nextInterval(d, b.reader), 0.0);
    CHECK_EQ(b.reader.readPosition, 96000);
    CHECK_EQ(nextInterval(d, b.reader), 0.0);

    // Exactly 100 us is not more than 100 us: at 10 kHz a change needs two frames.
    {
        Bytes data;
        for (int i = 0; i < 20000; ++i)
            data.u16(static_cast<uint16_t>(static_cast<int16_t>(i % 2 ? -1000 : 1000)));
        for (int i = 0; i < 20; ++i)
            data.u16(1000);
        Format f;
        f.rate = 10000;
        std::vector<uint8_t> file = riff({chunk("fmt ", fmtPayload(f)), chunk("data", data.v)});
        std::istringstream in(std::string(file.begin(), file.end()));
        WavSampleReader r;
        CHECK(openWavStream(in, r) && loadBlock(r, 20000));
        TransitionDetector fast;
        startPass(fast, r, 0);
        CHECK_EQ(nextInterval(fast, r), 2 / 10000.0);    // up at frame 2, not 1
        CHECK(std::fabs(nextInterval(fast, r) - 3 / 10000.0) < 1e-12);    // down at frame 5
    }

    // Thresholds are strict: +-128 itself is no change for LOW.
    Block edge({levels({{100, 128}, {100, -128}, {100, 129}})});
    TransitionDetector low;
    startPass(low, edge.reader, 0);
    CHECK(std::fabs(nextInterval(low, edge.reader) - 200 / 48000.0) < 1e-12);
    CHECK_EQ(nextInterval(low, edge.reader), 0.0);
}

void detectorSlope()
{
    TransitionDetector d;
    d.algorithm = ReadingAlgorithm::SLOPE;
    d.threshold = thresholdOf(ReadingAlgorithm::SLOPE);
    // A full-scale step is a rise of 65535, not a wrapped 16-bit difference.
    Block full({levels({{20, -32768}, {20, 32767}, {20, -32768}})});
    startPass(d, full.reader, 0);
    CHECK(std::fabs(nextInterval(d, full.reader) - 20 / 48000.0) < 1e-12);
    CHECK(d.up);
    CHECK(std::fabs(nextInterval(d, full.reader) - 20 / 48000.0) < 1e-12);
    CHECK(d.down);
    // A slow ramp of 1000 per frame is no edge, however far it goes.
    std::vector<int> ramp;
    for (int i = 0; i < 60; ++i)
        ramp.push_back(-30000 + 1000 * i);
    Block slow({ramp});
    TransitionDetector s;
    s.algorithm = ReadingAlgorithm::SLOPE;
    s.threshold = 4096;
    startPass(s, slow.reader, 0);
    CHECK_EQ(nextInterval(s, slow.reader), 0.0);
    // -20000 to +20000 between two frames.
    Block jump({levels({{30, -20000}, {30, 20000}})});
    startPass(s, jump.reader, 0);
    CHECK(std::fabs(nextInterval(s, jump.reader) - 30 / 48000.0) < 1e-12);
}

void sideFlagsSurvivePasses()
{
    // Channel 0 ends high; channel 1 starts high and falls at frame 30.
    Block b({levels({{10, -1000}, {10, 1000}}), levels({{30, 1000}, {10, -1000}})});
    TransitionDetector d;
    startPass(d, b.reader, 0);
    while (nextInterval(d, b.reader) != 0.0) {
    }
    CHECK(d.up);
    startPass(d, b.reader, 1);
    CHECK(std::fabs(nextInterval(d, b.reader) - 30 / 48000.0) < 1e-12);
    CHECK(d.down && !d.up);
}

void rates()
{
    struct {
        double in, out;
    } snaps[] = {{24.5, 25}, {25.49, 25}, {25, 25}, {29.99, 30}, {30, 30}, {24, 24}, {27, 27},
                 {29.97, 30 / 1.001}, {23.976, 24 / 1.001}, {23.98, 24 / 1.001}, {29.95, 0}, {27.3, 0},
                 {0, 0}, {-25, 0}, {-29.97, 0}, {NAN, 0}, {INFINITY, 0}, {DBL_MAX, DBL_MAX}};
    for (const auto& s : snaps)
        CHECK_EQ(snapFrameRate(s.in), s.out);

    // Measured from ltcgen signals; a block of 0 bits has no half cells.
    struct {
        const char* fps;
        int rate;
    } measured[] = {{"25", 25}, {"29.97", 30}, {"24", 24}, {"23.976", 24}, {"30", 30}};
    for (const auto& m : measured) {
        std::string f = path("rate.wav");
        ltcgen(f, {"--fps", m.fps, "--seconds", "2.1"});
        WavSampleReader r;
        CHECK(openWav(f.c_str(), r));
        CHECK(loadBlock(r, 96000));
        TransitionDetector d;
        startPass(d, r, 0);
        int rate = 0;
        CHECK(measureFrameRate(d, r, rate));
        CHECK_EQ(rate, m.rate);
    }
    std::vector<int> zeros;
    for (int i = 0; i < 96000; ++i)
        zeros.push_back((i / 24) % 2 ? 8000 : -8000);    // 500 us cells: 0 bits at 25 fps
    Block b({zeros});
    TransitionDetector d;
    startPass(d, b.reader, 0);
    int rate = 0;
    CHECK(!measureFrameRate(d, b.reader, rate));
}

void dropFrameClock()
{
    // Every real label of the day maps to the next drop-frame index and back.
    int32_t expectedIndex = 0;
    for (int32_t c = 0; c < 30 * 86400; ++c) {
        if (!dropLabelExists(c, 30))
            continue;
        if (dropIndexOf(c, 30) != expectedIndex || nominalCountOf(expectedIndex, 30) != c) {
            CHECK_EQ(dropIndexOf(c, 30), expectedIndex);
            CHECK_EQ(nominalCountOf(expectedIndex, 30), c);
            break;
        }
        ++expectedIndex;
    }
    CHECK_EQ(expectedIndex, 2589408);
    CHECK(!dropLabelExists(labelCount("00:01:00:00", 30), 30));
    CHECK(!dropLabelExists(labelCount("00:01:00:01", 30), 30));
    CHECK(dropLabelExists(labelCount("00:01:00:02", 30), 30));
    CHECK(dropLabelExists(labelCount("00:10:00:00", 30), 30));

    auto pair = [](const char* a, const char* b, bool df) {
        LtcFrame x, y;
        x.count = labelCount(a, 30);
        y.count = labelCount(b, 30);
        x.dropFrame = y.dropFrame = df;
        return consecutive(x, y, 30);
    };
    CHECK(pair("00:00:59:29", "00:01:00:02", true));
    CHECK(!pair("00:00:59:29", "00:01:00:00", true));
    CHECK(!pair("00:01:00:00", "00:01:00:01", true));     // labels that do not exist
    CHECK(pair("00:09:59:29", "00:10:00:00", true));
    CHECK(!pair("00:09:59:29", "00:10:00:02", true));
    CHECK(pair("23:59:59:29", "00:00:00:00", true));
    CHECK(pair("23:59:59:29", "00:00:00:00", false));
    CHECK(pair("00:00:59:29", "00:01:00:00", false));
    CHECK(!pair("00:00:59:29", "00:01:00:02", false));
    CHECK(!pair("10:00:00:05", "10:00:00:05", false));
    CHECK(!pair("10:00:00:05", "10:00:00:04", false));
}

void timecodeText()
{
    char t[20];
    formatTimecode(-5, 30, false, t);
    CHECK_EQ(std::string(t), "23:59:59:25");
    formatTimecode(0, 25, false, t);
    CHECK_EQ(std::string(t), "00:00:00:00");
    formatTimecode(899999, 25, false, t);
    CHECK_EQ(std::string(t), "09:59:59:24");
    formatTimecode(108002, 30 / 1.001, true, t);
    CHECK_EQ(std::string(t), "01:00:00;02");
    formatTimecode(30 * 86400 + 31, 30, false, t);
    CHECK_EQ(std::string(t), "00:00:01:01");
    formatTimecode(INT32_MIN, 24, false, t);
    CHECK_EQ(std::strlen(t), 11u);
    formatTimecode(100, 0.0, false, t);    // no division by zero
    CHECK_EQ(std::strlen(t), 11u);
}

void optionValues()
{
    CHECK_EQ(parseChannelValue(" +12x"), 12);
    CHECK_EQ(parseChannelValue("-"), 0);
    CHECK_EQ(parseChannelValue(""), 0);
    CHECK_EQ(parseChannelValue("\t-3"), -3);
    CHECK_EQ(parseChannelValue("2147483647"), INT32_MAX);
    CHECK_EQ(parseChannelValue("2147483648"), INT32_MAX);
    CHECK_EQ(parseChannelValue("-2147483649"), INT32_MIN);
    CHECK_EQ(parseChannelValue("0x10"), 0);
    CHECK_EQ(parseDecimalValue("1.5e1x"), 15.0);
    CHECK_EQ(parseDecimalValue("25e"), 25.0);
    CHECK_EQ(parseDecimalValue("25e+"), 25.0);
    CHECK_EQ(parseDecimalValue(".5"), 0.5);
    CHECK_EQ(parseDecimalValue("29."), 29.0);
    CHECK_EQ(parseDecimalValue("."), 0.0);
    CHECK_EQ(parseDecimalValue("e5"), 0.0);
    CHECK_EQ(parseDecimalValue("  -2.5E-1"), -0.25);
    CHECK_EQ(parseDecimalValue("1e400"), DBL_MAX);
    CHECK_EQ(parseDecimalValue("-1e400"), -DBL_MAX);
    CHECK_EQ(parseDecimalValue("infinity"), 0.0);
    CHECK_EQ(parseDecimalValue("0x1E"), 0.0);

    char buffer[32];
    CHECK_EQ(std::string(errorMessage(999, buffer)), "unknown error 999");
    CHECK_EQ(std::string(errorMessage(-2147483647 - 1, buffer)), "unknown error -2147483648");
    CHECK_EQ(std::string(errorMessage(205, buffer)), "ltc not found");
}

} // namespace

int main(int argc, char** argv)
{
    return runGroups(argc, argv,
                     {{"guard", detectorGuard},
                      {"slope", detectorSlope},
                      {"sideflags", sideFlagsSurvivePasses},
                      {"rates", rates},
                      {"dropclock", dropFrameClock},
                      {"text", timecodeText},
                      {"values", optionValues}});
}
