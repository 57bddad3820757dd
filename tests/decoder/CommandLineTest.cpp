// The decoder's command line and reports, seen from outside: the real
// Pelbrook binary, its standard output byte for byte and its exit code.

#include "TestSupport.h"

using namespace ts;

namespace {

const std::string kUsage =
    "Pelbrook for Dorrik Version 1.17 - reads the LTC of a WAV file's first two seconds and reports it as JSON\n"
    "USAGE: pelbrook <filename> [-c<chan>] [-f<fps>] [-a<LOW|MID|HIGH|SLOPE>] [-s<sample>] [-o<seconds>]\n";

// LTC on the second of two channels, a tone on the first: 25 fps, 10:00:00:00.
std::string stereo()
{
    std::string f = path("stereo25.wav");
    ltcgen(f, {"--fps", "25", "--start", "10:00:00:00", "--seconds", "2.5", "--channels", "2", "--ltc-channel", "1",
               "--tone", "0:1000"});
    return f;
}

std::string silent()
{
    std::string f = path("silent.wav");
    ltcgen(f, {"--level", "0", "--seconds", "2.5"});
    return f;
}

void usageScreen()
{
    RunResult r = pelbrook({});
    CHECK_EQ(r.exitCode, 100);
    CHECK_EQ(r.out, kUsage);
    CHECK(r.err.empty());
}

void reportBytes()
{
    std::string file = stereo();
    RunResult r = pelbrook({file});
    CHECK_EQ(r.exitCode, 0);
    CHECK(r.err.empty());
    const std::string samples = "1728000000";    // 10:00:00:00 starts on sample 0
    CHECK_EQ(r.out, "{\n"
                    "\"AppName\" : \"Corvanta Sync Dorrik Pelbrook\",\n"
                    "\"Version\" : 1.17,\n"
                    "\"Success\" : true,\n"
                    "\"Timecode\" : \"10:00:00:00\",\n"
                    "\"FrameCount\" : 900000,\n"
                    "\"SamplesSinceMidnight\" : " + samples + ",\n"
                    "\"FrameRateFound\" : 25.00,\n"
                    "\"FrameRateBaseFound\" : 25,\n"
                    "\"NTSC\" : false,\n"
                    "\"DropFrame\" : false,\n"
                    "\"ChannelFound\" : 1,\n"
                    "\"ReadingAlgorithm\" : \"LOW\"\n"
                    "}\n");

    // A given rate adds the rate the two frames measure, here agreeing, and nothing else.
    const std::string plain = r.out;
    r = pelbrook({file, "-f25"});
    CHECK_EQ(r.exitCode, 0);
    const std::string measured = "\"FrameRateMeasured\" : 25.00,\n";
    CHECK_EQ(r.out, plain.substr(0, plain.find("\"FrameRateBase")) + measured + plain.substr(plain.find("\"FrameRateBase")));

    std::string nothing = silent();
    r = pelbrook({nothing});
    CHECK_EQ(r.exitCode, 205);
    CHECK_EQ(r.out, errorReport(205, "ltc not found"));
    CHECK(r.err.empty());

    r = pelbrook({path("missing.wav")});
    CHECK_EQ(r.exitCode, 201);
    CHECK_EQ(r.out, errorReport(201, "could not open file for reading"));

    r = pelbrook({nothing, "-c0", "-x"});
    CHECK_EQ(r.out, errorReport(102, "unsupported parameter"));
    r = pelbrook({nothing, "-aFAST"});
    CHECK_EQ(r.out, errorReport(103, "unsupported reading algorithm"));
    r = pelbrook({nothing, "-c5"});
    CHECK_EQ(r.out, errorReport(202, "stated channel number is out of range"));
    r = pelbrook({nothing, "-f50"});
    CHECK_EQ(r.out, errorReport(203, "invalid framerate"));
}

void algorithmOption()
{
    std::string file = stereo();
    EXPECT_SUCCESS({file, "-aMID"}, {{"ReadingAlgorithm", "MID"}});
    EXPECT_SUCCESS({file, "-aHIGHEST"}, {{"ReadingAlgorithm", "HIGH"}});
    EXPECT_SUCCESS({file, "-aLOWER"}, {{"ReadingAlgorithm", "LOW"}});
    EXPECT_SUCCESS({file, "-aMID", "-aSLOPE"}, {{"ReadingAlgorithm", "SLOPE"}});
    EXPECT_ERROR({file, "-alow"}, 103);
    EXPECT_ERROR({file, "-a"}, 103);
    EXPECT_ERROR({file, "-aSLOP"}, 103);
}

void badOptions()
{
    // The scan comes before any file access, and stops at the first bad option.
    std::string missing = path("does-not-exist.wav");
    EXPECT_ERROR({missing, "-x1"}, 102);
    EXPECT_ERROR({missing, "-C1"}, 102);
    EXPECT_ERROR({missing, "-"}, 102);
    EXPECT_ERROR({missing, "-c1", "-f25", "-aMID", "-x"}, 102);
    EXPECT_ERROR({missing, "-x", "-alow"}, 102);
    EXPECT_ERROR({missing, "-alow", "-x"}, 103);
    // Arguments without a leading "-" after the file are ignored.
    EXPECT_ERROR({missing, "extra", "words"}, 201);
    // The first argument is the file, even when it looks like an option.
    ts::expectError({"-c1", "take1.wav"}, 201, __FILE__, __LINE__, workDir);
    ts::expectError({"-q", "take1.wav"}, 102, __FILE__, __LINE__, workDir);
}

void channelOption()
{
    std::string file = stereo();
    std::string nothing = silent();
    EXPECT_SUCCESS({file}, {{"ChannelFound", "1"}});
    EXPECT_SUCCESS({file, "-c1"}, {{"ChannelFound", "1"}});
    EXPECT_SUCCESS({file, "-c-1"}, {{"ChannelFound", "1"}});
    EXPECT_SUCCESS({file, "-c 1"}, {{"ChannelFound", "1"}});
    EXPECT_SUCCESS({file, "-c1junk"}, {{"ChannelFound", "1"}});
    EXPECT_SUCCESS({file, "-c0", "-c1"}, {{"ChannelFound", "1"}});
    // No digits: channel 0, which holds only the tone.
    EXPECT_ERROR({file, "-c"}, 205);
    EXPECT_ERROR({file, "-cx"}, 205);
    EXPECT_ERROR({file, "-c0"}, 205);
    EXPECT_ERROR({file, "-c2"}, 202);
    EXPECT_ERROR({file, "-c32"}, 202);
    EXPECT_ERROR({nothing, "-c1"}, 202);
    EXPECT_ERROR({nothing, "-c0"}, 205);
    // Far beyond 32 bits: a very large channel, or every channel.
    EXPECT_ERROR({file, "-c99999999999999999999999"}, 202);
    EXPECT_ERROR({file, "-c4294967297"}, 202);
    EXPECT_SUCCESS({file, "-c-99999999999999999999999"}, {{"ChannelFound", "1"}});
    EXPECT_SUCCESS({file, "-c-2147483649"}, {{"ChannelFound", "1"}});
}

void rateOption()
{
    std::string file = stereo();
    EXPECT_SUCCESS({file, "-f25"}, {{"FrameRateFound", "25.00"}, {"Timecode", "10:00:00:00"}});
    EXPECT_SUCCESS({file, "-f24.7"}, {{"FrameRateFound", "25.00"}});
    // -f alone, or no number: detect.
    EXPECT_SUCCESS({file, "-f"}, {{"FrameRateFound", "25.00"}});
    EXPECT_SUCCESS({file, "-fabc"}, {{"FrameRateFound", "25.00"}});
    // Decimal only: not hexadecimal 30, not infinity.
    EXPECT_SUCCESS({file, "-f0x1E"}, {{"FrameRateFound", "25.00"}});
    EXPECT_SUCCESS({file, "-finf"}, {{"FrameRateFound", "25.00"}});
    EXPECT_SUCCESS({file, "-fnan"}, {{"FrameRateFound", "25.00"}});
    // Matches no rate: detected, reported as the detected whole number.
    EXPECT_SUCCESS({file, "-f27.3"}, {{"FrameRateFound", "25.00"}, {"NTSC", "false"}});
    // A rate in range that the signal does not have is trusted.
    EXPECT_SUCCESS({file, "-f27"}, {{"FrameRateFound", "27.00"}, {"FrameRateBaseFound", "27"}});
    EXPECT_ERROR({file, "-f50"}, 203);
    EXPECT_ERROR({file, "-f23"}, 203);
    EXPECT_ERROR({file, "-f31"}, 203);
    EXPECT_ERROR({file, "-f1e3"}, 203);
    // Beyond the range of double: very large (203) or very small (detect).
    EXPECT_ERROR({file, "-f1e999"}, 203);
    EXPECT_SUCCESS({file, "-f1e-999"}, {{"FrameRateFound", "25.00"}});
    EXPECT_SUCCESS({file, "-f-25"}, {{"FrameRateFound", "25.00"}});
}

} // namespace

int main(int argc, char** argv)
{
    return runGroups(argc, argv,
                     {{"usage", usageScreen},
                      {"reports", reportBytes},
                      {"algorithm", algorithmOption},
                      {"badoptions", badOptions},
                      {"channel", channelOption},
                      {"rate", rateOption}});
}
