// Two independent encoders and two decoders must agree: ltcgen's signals
// read by libltc, libltc's signals read by Pelbrook, and Pelbrook's reports
// on both encoders' signals of the same timecode, wherever the frames start.

#include <cmath>
#include <cstdlib>

#include "TestSupport.h"

using namespace ts;

namespace {

struct Config {
    const char* fps;
    int nominal;
    bool df;
    const char* found;
    int sampleRate;
    const char* start;
};

const Config kConfigs[] = {
    {"23.976", 24, false, "23.98", 48000, "10:00:00:00"},
    {"24", 24, false, "24.00", 44100, "01:59:59:22"},
    {"25", 25, false, "25.00", 48000, "23:59:59:23"},
    {"25", 25, false, "25.00", 96000, "12:34:56:07"},
    {"29.97", 30, false, "29.97", 48000, "00:00:59:28"},
    {"29.97", 30, true, "29.97", 48000, "00:00:59;28"},
    {"29.97", 30, true, "29.97", 44100, "00:09:59;28"},
    {"30", 30, false, "30.00", 48000, "17:00:00:00"},
};

// The label after `label`, with drop-frame skipping and the day wrap.
std::string nextLabel(const std::string& label, int nominal)
{
    if (label.size() != 11)
        return "not a label: " + label;
    bool df = label[8] == ';';
    int h = std::atoi(label.substr(0, 2).c_str()), m = std::atoi(label.substr(3, 2).c_str());
    int s = std::atoi(label.substr(6, 2).c_str()), f = std::atoi(label.substr(9, 2).c_str());
    if (++f == nominal) {
        f = 0;
        if (++s == 60) {
            s = 0;
            if (++m == 60) {
                m = 0;
                h = (h + 1) % 24;
            }
            if (df && m % 10 != 0)
                f = 2;
        }
    }
    char text[48];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d%c%02d", h, m, s, df ? ';' : ':', f);
    return text;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        out.push_back(text.substr(at, end - at));
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return out;
}

std::vector<std::string> genArgs(const Config& c)
{
    std::vector<std::string> a = {"--fps", c.fps, "--rate", std::to_string(c.sampleRate), "--start", c.start,
                                  "--seconds", "2.1"};
    if (c.df)
        a.push_back("--df");
    return a;
}

void libltcReadsLtcgen()
{
    for (const Config& c : kConfigs) {
        for (const char* format : {"s16", "s24", "f32", "u8"}) {
            std::string file = path("ours.wav");
            std::vector<std::string> args = genArgs(c);
            args.insert(args.end(), {"--format", format});
            ltcgen(file, args);
            std::string out;
            ltcref({"decode", file}, &out);
            std::vector<std::string> frames = lines(out);
            if (!CHECK(frames.size() >= 50)) {
                std::printf("    %s at %d Hz, %s: %zu frames\n", c.fps, c.sampleRate, format, frames.size());
                continue;
            }
            // Frame 0 carries the start label and begins at sample 0.
            std::string expected = c.start;
            for (size_t i = 0; i < frames.size(); ++i) {
                if (!CHECK_EQ(frames[i].substr(0, 11), expected))
                    break;
                expected = nextLabel(expected, c.nominal);
            }
            long long firstStart = std::atoll(frames[0].substr(12).c_str());
            CHECK(std::llabs(firstStart) <= 10);
        }
    }
    // Backwards: libltc sees the frames counting down, flagged as reverse.
    std::string file = path("reverse.wav");
    ltcgen(file, {"--fps", "25", "--start", "10:00:00:10", "--seconds", "1", "--reverse"});
    std::string out;
    ltcref({"decode", file}, &out);
    std::vector<std::string> frames = lines(out);
    CHECK(frames.size() >= 20);
    if (frames.size() >= 2) {
        CHECK_EQ(frames[0].substr(0, 11), std::string("10:00:00:10"));
        CHECK_EQ(frames[1].substr(0, 11), std::string("10:00:00:09"));
        CHECK(frames[1].find("reverse") != std::string::npos);
    }
}

void pelbrookReadsBoth()
{
    for (const Config& c : kConfigs) {
        std::string ours = path("ours.wav");
        std::string theirs = path("theirs.wav");
        ltcgen(ours, genArgs(c));
        std::vector<std::string> enc = {"encode", theirs, "--fps", c.fps, "--rate", std::to_string(c.sampleRate),
                                        "--start", c.start, "--seconds", "2.1"};
        if (c.df)
            enc.push_back("--df");
        ltcref(enc);

        const std::map<std::string, std::string> expected = {
            {"Timecode", c.start},
            {"FrameCount", std::to_string(labelCount(c.start, c.nominal))},
            {"FrameRateFound", c.found},
            {"DropFrame", c.df ? "true" : "false"}};
        for (const char* algorithm : {"-aLOW", "-aMID", "-aHIGH", "-aSLOPE"}) {
            auto a = EXPECT_SUCCESS({ours, algorithm}, expected);
            auto b = EXPECT_SUCCESS({theirs, algorithm}, expected);
            long long pa = std::atoll(a["SamplesSinceMidnight"].c_str());
            long long pb = std::atoll(b["SamplesSinceMidnight"].c_str());
            // Same sample grid, edges placed by two encoders: at most a couple of samples apart.
            if (!CHECK(std::llabs(pa - pb) <= 3))
                std::printf("    %s %s at %d Hz: %lld vs %lld\n", c.start, algorithm, c.sampleRate, pa, pb);
        }
    }
}

// Frames starting 0.1, 0.45, 0.55 and 0.9 frames after sample 0, from both
// encoders: the label named is that of the frame whose start libltc finds
// nearest to sample 0 (the one before the first frame libltc decodes, when
// that starts more than half a frame in), or nearest to the reference of -o.
void nearestFrame()
{
    struct Case {
        const char* fps;
        int nominal;
        double frame;         // samples at 48 kHz
        const char* before;
        const char* start;
    };
    // The label before the start, where libltc's encoder begins (at a dropped
    // minute, across midnight).
    const Case cases[] = {{"24", 24, 2000.0, "09:59:59:23", "10:00:00:00"},
                          {"25", 25, 1920.0, "23:59:59:24", "00:00:00:00"},
                          {"29.97", 30, 1601.6, "00:00:59;29", "00:01:00;02"}};
    const std::string ours = path("ours.wav"), theirs = path("theirs.wav");
    for (const Case& c : cases) {
        auto args = [&](std::vector<std::string> a) {
            a.insert(a.end(), {"--fps", c.fps, "--seconds", "2.2"});
            if (c.start[8] == ';')
                a.push_back("--df");
            return a;
        };
        for (double f : {0.1, 0.45, 0.55, 0.9}) {
            ltcgen(ours, args({"--start", c.start, "--offset", std::to_string(f * c.frame)}));
            ltcref(args({"encode", theirs, "--start", c.before, "--skip", std::to_string(std::lround((1.0 - f) * c.frame))}));
            for (const std::string& file : {ours, theirs}) {
                std::string out;
                ltcref({"decode", file}, &out);
                const std::vector<std::string> frames = lines(out);
                if (!CHECK(frames.size() >= 2))
                    continue;
                const std::string first = frames[0].substr(0, 11), second = frames[1].substr(0, 11);
                const double at = std::atof(frames[0].substr(12).c_str());
                // libltc reads the frame the generator put there (its estimate
                // of a start near the beginning of the file may be off by 1 %).
                if (!CHECK(first == c.start && std::fabs(at / c.frame - f) < 0.02))
                    std::printf("    %s at %.2f: libltc reads %s\n", c.start, f, frames[0].c_str());
                const std::string label = EXPECT_SUCCESS({file})["Timecode"];
                CHECK_EQ(at / c.frame > 0.5 ? nextLabel(label, c.nominal) : label, first);
                // A reference 1.4 frames after that frame's start names the next
                // one; 0.6 frames before it, the one before.
                EXPECT_SUCCESS({file, "-o" + std::to_string((at + 1.4 * c.frame) / 48000)}, {{"Timecode", second}});
                const std::string back = EXPECT_SUCCESS({file, "-o" + std::to_string((at - 0.6 * c.frame) / 48000)})["Timecode"];
                CHECK_EQ(nextLabel(back, c.nominal), first);
            }
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    return runGroups(argc, argv, {{"libltc_reads_ltcgen", libltcReadsLtcgen}, {"pelbrook_reads_both", pelbrookReadsBoth}, {"nearest", nearestFrame}});
}
