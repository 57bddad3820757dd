// Decoding generated LTC: rates, sample rates, formats, channels, levels,
// signal shapes and the position of the first sample. ltcgen puts the
// --start label on the frame starting at sample 0, so that is the label every
// successful run must report, with SamplesSinceMidnight within one bit period
// of that frame's start on the nominal clock.

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "TestSupport.h"

using namespace ts;

namespace {

struct Rate {
    const char* text;     // ltcgen's --fps
    int nominal;
    bool ntsc;
    const char* found;    // FrameRateFound as printed
};

const Rate k23976 = {"23.976", 24, true, "23.98"};
const Rate k24 = {"24", 24, false, "24.00"};
const Rate k25 = {"25", 25, false, "25.00"};
const Rate k2997 = {"29.97", 30, true, "29.97"};
const Rate k30 = {"30", 30, false, "30.00"};

struct Expect {
    std::string label;       // "HH:MM:SS:FF" or "HH:MM:SS;FF"
    Rate rate = k25;
    int sampleRate = 48000;
    int channel = 0;
    int32_t countShift = 0;  // minus one day when the first sample lies before midnight
};

std::vector<std::string> genArgs(const Expect& e, bool df, std::vector<std::string> extra)
{
    std::vector<std::string> a = {"--fps", e.rate.text, "--rate", std::to_string(e.sampleRate), "--start", e.label,
                                  "--seconds", "2.1"};
    if (df)
        a.push_back("--df");
    a.insert(a.end(), extra.begin(), extra.end());
    return a;
}

// Generates, decodes and checks every member against the label of sample 0.
void decodes(int line, const Expect& e, const std::vector<std::string>& extraGen, const std::vector<std::string>& options)
{
    bool df = e.label[8] == ';';
    std::string file = path("signal.wav");
    ltcgen(file, genArgs(e, df, extraGen));
    std::vector<std::string> args = {file};
    args.insert(args.end(), options.begin(), options.end());
    int32_t count = labelCount(e.label, e.rate.nominal) + e.countShift;
    auto m = expectSuccess(args,
                           {{"Timecode", e.label},
                            {"FrameCount", std::to_string(count)},
                            {"FrameRateFound", e.rate.found},
                            {"FrameRateBaseFound", std::to_string(e.rate.nominal)},
                            {"NTSC", e.rate.ntsc ? "true" : "false"},
                            {"DropFrame", df ? "true" : "false"},
                            {"ChannelFound", std::to_string(e.channel)}},
                           __FILE__, line);
    if (m["Success"] != "true")
        return;
    int64_t expected = samplesOfLabel(e.label, e.rate.nominal, e.sampleRate);
    int64_t got = std::atoll(m["SamplesSinceMidnight"].c_str());
    double bitPeriod = e.sampleRate / (80.0 * e.rate.nominal / (e.rate.ntsc ? 1.001 : 1.0));
    if (!CHECK(std::llabs(got - expected) <= std::llround(std::ceil(bitPeriod))))
        std::printf("    line %d: SamplesSinceMidnight %lld, expected %lld within %.1f\n", line,
                    static_cast<long long>(got), static_cast<long long>(expected), bitPeriod);
}

#define DECODES(...) decodes(__LINE__, __VA_ARGS__)

Expect at(const std::string& label, Rate rate, int sampleRate = 48000)
{
    Expect e;
    e.label = label;
    e.rate = rate;
    e.sampleRate = sampleRate;
    return e;
}

void noTimecode(int line, const std::vector<std::string>& gen, const std::vector<std::string>& options)
{
    std::string file = path("none.wav");
    ltcgen(file, gen);
    std::vector<std::string> args = {file};
    args.insert(args.end(), options.begin(), options.end());
    expectError(args, 205, __FILE__, line);
}

#define NO_TIMECODE(...) noTimecode(__LINE__, __VA_ARGS__)

void ratesAndSampleRates()
{
    for (int sr : {44100, 48000, 96000}) {
        DECODES(at("13:24:35:17", k23976, sr), {}, {});
        DECODES(at("13:24:35:23", k24, sr), {}, {});
        DECODES(at("13:24:35:24", k25, sr), {}, {});
        DECODES(at("13:24:35:28", k2997, sr), {}, {});
        DECODES(at("13:24:35;28", k2997, sr), {}, {});
        DECODES(at("13:24:35:29", k30, sr), {}, {});
    }
    // The same rates given with -f.
    DECODES(at("01:00:00:00", k23976), {}, {"-f23.976"});
    DECODES(at("01:00:00:00", k24), {}, {"-f24"});
    DECODES(at("01:00:00:00", k25), {}, {"-f25"});
    DECODES(at("01:00:00:00", k2997), {}, {"-f29.97"});
    DECODES(at("01:00:00;00", k2997), {}, {"-f29.97"});
    DECODES(at("01:00:00:00", k30), {}, {"-f30"});
}

void formatsAndChannels()
{
    for (const char* format : {"s16", "s24", "s32", "f32", "u8"})
        DECODES(at("20:00:00:10", k25), {"--format", format, "--channels", "2", "--tone", "1:440"}, {});

    Expect stereo = at("07:08:09:10", k30);
    stereo.channel = 1;
    DECODES(stereo, {"--channels", "2", "--ltc-channel", "1", "--tone", "0:1000"}, {});

    Expect eight = at("07:08:09:10", k24);
    eight.channel = 6;
    std::vector<std::string> gen = {"--channels", "8", "--ltc-channel", "6", "--format", "s24"};
    for (const char* tone : {"0:440", "1:1200", "2:2400", "3:997", "4:300", "5:2000", "7:1000"})
        gen.insert(gen.end(), {"--tone", tone});
    DECODES(eight, gen, {});
    DECODES(eight, gen, {"-c6"});
    DECODES(eight, gen, {"-c6", "-f24", "-aSLOPE"});
    std::vector<std::string> full = genArgs(eight, false, gen);
    NO_TIMECODE(full, {"-c7"});
    NO_TIMECODE(full, {"-c0"});
    std::string file = path("eight.wav");
    ltcgen(file, full);
    EXPECT_ERROR({file, "-c8"}, 202);
}

void levelsAndAlgorithms()
{
    Expect e = at("11:11:11:11", k25);
    // Peaks of about 328: above LOW's threshold only.
    DECODES(e, {"--level", "0.01"}, {});
    DECODES(e, {"--level", "0.01"}, {"-aLOW"});
    std::vector<std::string> faint = genArgs(e, false, {"--level", "0.01"});
    NO_TIMECODE(faint, {"-aMID"});
    NO_TIMECODE(faint, {"-aHIGH"});
    NO_TIMECODE(faint, {"-aSLOPE"});
    // Peaks of about 3277: LOW and MID, not HIGH.
    DECODES(e, {"--level", "0.1"}, {"-aMID"});
    NO_TIMECODE(genArgs(e, false, {"--level", "0.1"}), {"-aHIGH"});
    // A strong signal: every algorithm.
    for (const char* a : {"-aLOW", "-aMID", "-aHIGH", "-aSLOPE"}) {
        DECODES(e, {"--level", "0.5"}, {a});
        DECODES(e, {"--level", "0.5", "--invert"}, {a});
        DECODES(e, {"--level", "0.5", "--pulses"}, {a});
        DECODES(e, {"--level", "0.5", "--noise", "1500"}, {a});
    }
    // Level readers ride over an offset and louder noise.
    DECODES(e, {"--level", "0.3", "--dc", "3000"}, {"-aLOW"});
    DECODES(e, {"--level", "0.5", "--noise", "6000"}, {"-aHIGH"});
    NO_TIMECODE(genArgs(e, false, {"--level", "0"}), {});
}

// More lead-ins, dropped minutes and midnights are counted back in "later" and "nearest".
void positionOfFirstSample()
{
    // Starting just before midnight on the drop-frame clock: the first frames read are after it.
    Expect lateDf = at("23:59:59;21", k2997);
    lateDf.countShift = -30 * 86400;
    DECODES(lateDf, {"--lead-in", "0.3"}, {});

    // The two frames read straddle midnight.
    DECODES(at("23:59:59:28", k30), {}, {});
    DECODES(at("23:59:59;28", k2997), {}, {});

    // Running backwards: the sync word is only matched forwards.
    NO_TIMECODE(genArgs(at("10:00:05:00", k25), false, {"--reverse"}), {});
    NO_TIMECODE(genArgs(at("10:00:05:00", k30), false, {"--reverse"}), {"-f30", "-aSLOPE"});
}

void dropFrame()
{
    // The pair read crosses a dropped minute: ...:59;29 then ...:00;02.
    DECODES(at("00:00:59;28", k2997), {}, {});
    DECODES(at("00:00:59;28", k2997), {}, {"-f29.97"});
    DECODES(at("13:36:59;28", k2997, 44100), {}, {});
    // Every tenth minute keeps its first labels.
    DECODES(at("00:09:59;29", k2997), {}, {});
    DECODES(at("00:10:00;00", k2997), {}, {});
    // Non-drop 29.97 crosses the minute without skipping.
    DECODES(at("00:00:59:29", k2997), {}, {});
}

void givenRate()
{
    // Given and matching (absent and -f30 are among the rates). Given but not the signal's: trusted.
    DECODES(at("10:00:00:00", k30), {}, {"-f29.99"});
    std::string file = path("thirty.wav");
    ltcgen(file, genArgs(at("10:00:00:00", k30), false, {}));
    EXPECT_SUCCESS({file, "-f29.97"}, {{"FrameRateFound", "29.97"}, {"NTSC", "true"}, {"Timecode", "10:00:00:00"}});
    EXPECT_SUCCESS({file, "-f27.3"}, {{"FrameRateFound", "30.00"}, {"Timecode", "10:00:00:00"}});
    EXPECT_SUCCESS({file, "-f30.5"}, {{"FrameRateFound", "30.00"}});    // 31 by rounding, matched by nothing
    // A given rate is used, and the report says what the two frames measure.
    EXPECT_SUCCESS({file, "-f24"}, {{"FrameRateFound", "24.00"}, {"NTSC", "false"}, {"FrameRateMeasured", "30.00"}});
    CHECK_EQ(EXPECT_SUCCESS({file, "-f27.3"}).count("FrameRateMeasured"), 0u);
    CHECK_EQ(EXPECT_SUCCESS({file}).count("FrameRateMeasured"), 0u);
    ltcgen(file, genArgs(at("14:30:00:00", k23976), false, {}));
    EXPECT_SUCCESS({file, "-f25"}, {{"Timecode", "14:30:00:00"}, {"FrameRateFound", "25.00"}, {"FrameRateMeasured", "23.98"}});
}

// The first decoded frame starts 1000 samples in (0.52 of a 25 fps frame),
// or 480 samples in (0.30 of a 29.97 fps one): the label is that of the
// nearest frame start, the position that of sample 0 on the nominal clock.
void workedExamples()
{
    std::string f = path("example.wav");
    ltcgen(f, {"--fps", "25", "--start", "10:00:00:00", "--seconds", "2.5", "--offset", "1000"});
    EXPECT_SUCCESS({f}, {{"Timecode", "09:59:59:24"},
                         {"FrameCount", "899999"},
                         {"SamplesSinceMidnight", "1727999000"},
                         {"FrameRateFound", "25.00"},
                         {"FrameRateBaseFound", "25"},
                         {"NTSC", "false"}});
    ltcgen(f, {"--fps", "29.97", "--df", "--start", "01:00:00;02", "--seconds", "2.5", "--offset", "480"});
    const std::map<std::string, std::string> df = {{"Timecode", "01:00:00;02"},
                                                   {"FrameCount", "108002"},
                                                   {"SamplesSinceMidnight", "172802720"},
                                                   {"FrameRateFound", "29.97"},
                                                   {"FrameRateBaseFound", "30"},
                                                   {"NTSC", "true"},
                                                   {"DropFrame", "true"}};
    EXPECT_SUCCESS({f}, df);
    EXPECT_SUCCESS({f, "-f29.97"}, df);
}

// 0.3 s of 24 fps followed by 30 fps: the interval statistics say 29, the
// two frames read (24 fps ones) say 24. The labels were read at 29, so the
// text must be formed at 29 too, or it names some other label.
void mixedRates()
{
    std::string a = path("a.wav"), b = path("b.wav");
    ltcgen(a, {"--fps", "24", "--start", "10:00:00:00", "--seconds", "0.3"});
    ltcgen(b, {"--fps", "30", "--start", "11:00:00:00", "--seconds", "1.9"});
    std::vector<uint8_t> first = readFile(a), second = readFile(b);
    std::vector<uint8_t> data(first.begin() + 44, first.end());
    data.insert(data.end(), second.begin() + 44, second.end());
    std::string mixed = path("mixed.wav");
    writeFile(mixed, riff({chunk("fmt ", fmtPayload(Format())), chunk("data", data)}));
    auto m = EXPECT_SUCCESS({mixed}, {{"Timecode", "10:00:00:00"}});
    int base = std::atoi(m["FrameRateBaseFound"].c_str());
    CHECK_EQ(m["FrameCount"], std::to_string(36000 * base));
}

// SamplesSinceMidnight to the sample: every rate at every sample rate, from
// -40 to 0 dBFS, with the timecode starting on sample 0 or a few samples in
// (the label is still that frame's, the nearest),
// as step edges (ltcgen) and with libltc's rise time (ltcref; its 8-bit
// output carries no usable signal below about -30 dBFS). The truth is
// the nominal position of sample 0: the label's count times the samples of a
// nominal frame, less the offset on the nominal clock. Frames after the first
// start between samples at 23.976, 29.97 and at 44.1 kHz; the generators show
// such an edge from its nearest sample, so the estimate may be off by the
// rounding of the edge, never by more than half a sample.
void exactPosition()
{
    struct Case {
        Rate rate;
        bool df;
    };
    const Case cases[] = {{k23976, false}, {k24, false}, {k25, false}, {k2997, false}, {k2997, true}, {k30, false}};
    const std::string file = path("exact.wav");
    for (const Case& c : cases) {
        for (int sr : {44100, 48000, 96000}) {
            const std::string start = c.df ? "13:24:35;10" : "13:24:35:10";
            const double scale = c.rate.ntsc ? 1000.0 / 1001.0 : 1.0;
            double worst = 0.0;
            auto check = [&](const std::string& what, const std::string& label, double truth) {
                auto m = expectSuccess({file}, {{"Timecode", label}, {"FrameRateFound", c.rate.found}}, __FILE__, __LINE__);
                double error = static_cast<double>(std::atoll(m["SamplesSinceMidnight"].c_str())) - truth;
                worst = std::fabs(error) > std::fabs(worst) ? error : worst;
                if (!CHECK(std::fabs(error) <= 0.5 + 1e-9))
                    std::printf("    %s %s at %d Hz, %s: off by %.3f samples\n", c.rate.text, c.df ? "DF" : "", sr,
                                what.c_str(), error);
            };
            const double onSample0 = static_cast<double>(labelCount(start, c.rate.nominal)) * sr / c.rate.nominal;
            for (const char* level : {"0.01", "0.1", "1.0"}) {
                for (int offset : {0, 3, 11}) {
                    std::vector<std::string> gen = {"--fps", c.rate.text, "--rate", std::to_string(sr), "--start", start,
                                                    "--seconds", "2.1", "--level", level, "--offset", std::to_string(offset)};
                    if (c.df)
                        gen.push_back("--df");
                    ltcgen(file, gen);
                    check(std::string("ltcgen level ") + level + " offset " + std::to_string(offset),
                          start, onSample0 - offset * scale);
                }
            }
            for (const char* volume : {"-30", "-20", "0"}) {
                std::vector<std::string> enc = {"encode", file, "--fps", c.rate.text, "--rate", std::to_string(sr),
                                                "--start", start, "--seconds", "2.1", "--volume", volume};
                if (c.df)
                    enc.push_back("--df");
                ltcref(enc);
                check(std::string("libltc at ") + volume + " dBFS", start, onSample0);
            }
            std::printf("%s%s at %d Hz: largest error %+.3f samples\n", c.rate.text, c.df ? " DF" : "", sr, worst);
        }
    }
}

// Timecode heard only from 2.5 s, 7 s or 45 s on, after silence or noise:
// searched for from the start, or from a sample near it (-s), the report still
// names the file's sample 0, to the sample, across a dropped minute and across
// midnight, and says where the frames were found. A start beyond the data
// reads the last two seconds.
void laterInTheFile()
{
    struct Case {
        Rate rate;
        const char* start;
        double leadIn;
        const char* noise;
        int32_t countShift;
    };
    const Case cases[] = {{k25, "10:00:00:00", 2.5, "0", 0},
                          {k2997, "00:08:59;00", 7.0, "1500", 0},
                          {k23976, "14:30:00:00", 7.0, "0", 0},
                          {k30, "23:59:50:00", 45.0, "1500", -30 * 86400}};
    const std::string file = path("later.wav");
    for (const Case& c : cases) {
        const int sr = 48000;
        const bool df = c.start[8] == ';';
        std::vector<std::string> gen = {"--fps", c.rate.text, "--start", c.start, "--seconds",
                                        std::to_string(c.leadIn + 3.0), "--lead-in", std::to_string(c.leadIn),
                                        "--noise", c.noise};
        if (df)
            gen.push_back("--df");
        ltcgen(file, gen);
        EXPECT_ERROR({file}, 205);
        const int32_t count = labelCount(c.start, c.rate.nominal) + c.countShift;
        const std::string samples = std::to_string(static_cast<int64_t>(labelCount(c.start, c.rate.nominal)) * sr / c.rate.nominal);
        const int64_t at = static_cast<int64_t>(c.leadIn * sr);
        for (int64_t from : {int64_t(0), at - sr / 2, at + 1000, at + 100 * sr}) {
            // Noise crosses LOW's threshold all the time; HIGH rides over it.
            auto m = EXPECT_SUCCESS({file, "-s" + std::to_string(from), c.noise[0] == '0' ? "-aLOW" : "-aHIGH"},
                                    {{"Timecode", c.start},
                                     {"FrameCount", std::to_string(count)},
                                     {"SamplesSinceMidnight", samples},
                                     {"FrameRateFound", c.rate.found}});
            const double foundAt = std::atof(m["FoundAt"].c_str());
            // The file lasts leadIn + 3 s, so the last window starts at leadIn + 1 s.
            const double earliest = std::max(c.leadIn, std::min(static_cast<double>(from) / sr, c.leadIn + 1.0));
            if (!CHECK(foundAt >= earliest && foundAt < earliest + 0.2))
                std::printf("    %s from sample %lld: found at %.3f s\n", c.start, static_cast<long long>(from), foundAt);
        }
    }
}

} // namespace

int main(int argc, char** argv)
{
    return runGroups(argc, argv,
                     {{"rates", ratesAndSampleRates},
                      {"formats", formatsAndChannels},
                      {"levels", levelsAndAlgorithms},
                      {"position", positionOfFirstSample},
                      {"dropframe", dropFrame},
                      {"rateoption", givenRate},
                      {"examples", workedExamples},
                      {"exact", exactPosition},
                      {"later", laterInTheFile},
                      {"mixed", mixedRates}});
}
