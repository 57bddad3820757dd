#pragma once

#include <cstdint>
#include <istream>
#include <string>

#include "WavSampleReader.h"

enum class ReadingAlgorithm { LOW = 0, MID = 1, HIGH = 2, SLOPE = 3 };

struct DecoderOptions {
    std::string filePath;
    int32_t channel = -1;          // negative: try every channel
    double frameRate = 0.0;        // 0: detect
    ReadingAlgorithm algorithm = ReadingAlgorithm::LOW;
    // Negative: only the first two seconds are read. Otherwise timecode is
    // searched from this sample on, two seconds at a time, to the end of the
    // data; the result still describes sample 0.
    int64_t startSample = -1;
    // Where the timecode is taken, in seconds after sample 0 (negative:
    // before it): the label names the frame whose start is nearest to it.
    double referenceSeconds = 0.0;
};

struct DecodeResult {
    int64_t samplesSinceMidnight = 0;
    int32_t frameCount = 0;
    char timecode[20] = {};
    double frameRateFound = 0.0;
    double frameRateBaseFound = 0.0;
    bool ntsc = false;
    bool dropFrame = false;
    int32_t channelFound = 0;
    int32_t errorNo = 0;
    // Only when a frame rate was given: the rate the two frames measure (snapped
    // when it matches one, else as measured), so a contradiction can be told.
    bool rateGiven = false;
    double frameRateMeasured = 0.0;
    // Only when searching: seconds from sample 0 to the first frame read.
    bool searched = false;
    double foundAt = 0.0;
};

// Schmitt trigger over one channel of the loaded block.
struct TransitionDetector {
    ReadingAlgorithm algorithm = ReadingAlgorithm::LOW;
    int threshold = 128;
    bool up = false;
    bool down = false;
    int32_t lastChange = 0;
};

enum class CellKind { Half, Full, None };

// Expected cell lengths and acceptance windows for one frame rate, in seconds.
struct BitTiming {
    double halfLow = 0.0, halfHigh = 0.0;
    double fullLow = 0.0, fullHigh = 0.0;
};

// Working values of one decoding run.
struct LtcState {
    TransitionDetector detector;
    BitTiming timing;
    double rate = 0.0;
    bool sync = false;
    int32_t syncPosition = 0;
    double frameStart = 0.0;       // the frame after the sync word, in fractional block samples
    uint8_t frame[10] = {};
};

struct LtcFrame {
    int32_t count = 0;     // nominal frames since midnight named by the label
    bool dropFrame = false;
};

int thresholdOf(ReadingAlgorithm algorithm);
const char* algorithmName(ReadingAlgorithm algorithm);

double nextInterval(TransitionDetector& detector, WavSampleReader& reader);
BitTiming bitTimingFor(double rate);
CellKind classify(const BitTiming& timing, double interval);
bool measureFrameRate(TransitionDetector& detector, WavSampleReader& reader, int& rate);
double snapFrameRate(double x);
bool findSync(LtcState& state, WavSampleReader& reader);
// Where the edge registered at `index` puts the start of its bit cell, to a
// fraction of a sample; halfCell is the half bit cell in samples.
double edgeStart(const WavSampleReader& reader, int32_t index, double halfCell);
bool readFrame(LtcState& state, WavSampleReader& reader, LtcFrame& frame);

// Labels of the day, on the nominal clock and the drop-frame clock.
int dropCountOf(int nominalRate);
bool dropLabelExists(int32_t nominalCount, int nominalRate);
int32_t dropIndexOf(int32_t nominalCount, int nominalRate);
int32_t nominalCountOf(int32_t dropIndex, int nominalRate);
bool consecutive(const LtcFrame& first, const LtcFrame& second, int nominalRate);

void formatTimecode(int32_t count, double rate, bool dropFrame, char (&text)[20]);

// Opens, decodes and closes; false leaves only result.errorNo meaningful.
bool decodeFile(const DecoderOptions& options, DecodeResult& result);
// Decodes from a reader that openWav or openWavStream has opened.
bool decodeOpened(WavSampleReader& reader, const DecoderOptions& options, DecodeResult& result);
