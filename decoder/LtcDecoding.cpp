#include "LtcDecoding.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

const double kMinimumInterval = 0.0001;
const int32_t kHighestChannel = 31;
const double kLowestRate = 24.0 / 1.001;
const double kHighestRate = 30.0;
const uint16_t kSyncWord = 0x3FFD;

// One bit by the biphase rule: 0, 1, or -1 when the intervals are no bit.
int readBit(LtcState& state, WavSampleReader& reader)
{
    CellKind first = classify(state.timing, nextInterval(state.detector, reader));
    if (first == CellKind::Half)
        return classify(state.timing, nextInterval(state.detector, reader)) == CellKind::Half ? 1 : -1;
    return first == CellKind::Full ? 0 : -1;
}

int32_t dayOf(int nominalRate)
{
    return nominalRate * 86400;
}

int32_t dropDayOf(int nominalRate)
{
    return dayOf(nominalRate) - 1296 * dropCountOf(nominalRate);
}

int32_t wrap(int64_t value, int32_t length)
{
    int64_t r = value % length;
    return static_cast<int32_t>(r < 0 ? r + length : r);
}

void startPass(LtcState& state, WavSampleReader& reader, int32_t channel)
{
    selectChannel(reader, channel);
    state.detector.lastChange = 0;
}

// The label `frames` frames before the first decoded one (after it when
// negative). On the drop-frame clock the step skips the dropped labels, so the
// result is always a real label. A label on the day before the first frame
// read gets a negative count, one on the day after a count beyond the day, as
// without drop frame, so that the day wrap of formatTimecode names it.
int32_t labelBefore(const LtcFrame& first, int32_t frames, int nominalRate)
{
    if (!first.dropFrame)
        return first.count - frames;
    const int64_t index = static_cast<int64_t>(dropIndexOf(first.count, nominalRate)) - frames;
    const int32_t count = nominalCountOf(wrap(index, dropDayOf(nominalRate)), nominalRate);
    if (index < 0)
        return count - dayOf(nominalRate);
    return index >= dropDayOf(nominalRate) ? count + dayOf(nominalRate) : count;
}

int32_t clampFrames(double frames)
{
    return static_cast<int32_t>(std::fmax(-1e9, std::fmin(frames, 1e9)));
}

void computeResult(const LtcState& state, const WavSampleReader& reader, const DecoderOptions& options,
                   const LtcFrame& first, int32_t channel, DecodeResult& result)
{
    const double rate = state.rate;
    const int nominal = static_cast<int>(std::lround(rate));
    const uint32_t sr = reader.sampleRate;

    result.channelFound = channel;
    double twoFrames = static_cast<double>(reader.readPosition - state.syncPosition) / sr;
    double signalRate = 1.0 / (twoFrames * 0.5);
    double measured = snapFrameRate(signalRate);
    double found = rate;
    if (options.frameRate == 0.0) {
        // No match, or a nominal rate other than the one the labels were read
        // with: keep the rate in use, so the text matches the count.
        if (measured != 0.0 && std::lround(measured) == nominal)
            found = measured;
    }
    result.rateGiven = snapFrameRate(options.frameRate) != 0.0;
    result.frameRateMeasured = measured != 0.0 ? measured : signalRate;
    result.frameRateFound = found;
    result.frameRateBaseFound = std::round(found);
    result.ntsc = found != result.frameRateBaseFound;
    result.dropFrame = first.dropFrame;

    // The first frame read starts `start` samples after the file's first
    // sample; whole frames of the signal's rate (the two frames read measure
    // it; else the rate found) lie between the two. A frame edge within half
    // a sample of sample 0 counts as lying on it.
    const double start = static_cast<double>(reader.blockStart) + state.frameStart;
    const double frameLength = sr / (measured != 0.0 ? measured : found);
    const int32_t framesBefore = clampFrames(std::fmax(0.0, std::ceil((start - 0.5) / frameLength)));
    const int32_t runningCount = labelBefore(first, framesBefore, nominal);

    // The label names the frame whose start is nearest to the reference: the
    // frame running there may have begun almost a whole frame earlier, while
    // the nearest one is never more than half a frame away.
    const double reference = options.referenceSeconds * sr;
    result.frameCount = labelBefore(first, clampFrames(std::round((start - reference) / frameLength)), nominal);
    formatTimecode(result.frameCount, found, result.dropFrame, result.timecode);

    // On the nominal clock: the label running at sample 0 times the samples of a
    // nominal frame, plus how far into that frame sample 0 lies (a real frame
    // at 23.976 and 29.97 is 1.001 nominal ones). Rounded to the nearest
    // sample (a half up), so that a file starting on a frame edge gets
    // count * sr / nominal.
    const int64_t labelSamples = static_cast<int64_t>(wrap(runningCount, dayOf(nominal))) * sr;
    const double within = (framesBefore * frameLength - start) * found / nominal;
    const double fraction = static_cast<double>(labelSamples % nominal) / nominal + within;
    int64_t samples = labelSamples / nominal + static_cast<int64_t>(std::floor(fraction + 0.5));
    const int64_t day = static_cast<int64_t>(sr) * 86400;
    result.samplesSinceMidnight = ((samples % day) + day) % day;
    result.searched = options.startSample >= 0;
    result.foundAt = start / sr;
}

// The passes over the loaded block: true with the result filled; false with
// errorNo 0 when no channel yielded timecode, else the error that ends the run.
bool decodeBlock(LtcState& state, WavSampleReader& reader, const DecoderOptions& options, DecodeResult& result)
{
    result.errorNo = 0;
    int32_t firstChannel = 0;
    int32_t lastChannel = reader.channelCount - 1;
    if (options.channel >= 0) {
        if (options.channel > kHighestChannel || options.channel >= reader.channelCount) {
            result.errorNo = 202;
            return false;
        }
        firstChannel = lastChannel = options.channel;
    }

    for (int32_t ch = firstChannel; ch <= lastChannel; ++ch) {
        double rate = snapFrameRate(options.frameRate);
        state.sync = false;
        state.syncPosition = 0;
        startPass(state, reader, ch);
        if (rate == 0.0) {
            int measured = 0;
            if (!measureFrameRate(state.detector, reader, measured))
                continue;
            rate = measured;
            startPass(state, reader, ch);
        } else if (rate < kLowestRate || rate > kHighestRate) {
            result.errorNo = 203;
            return false;
        }
        state.rate = rate;
        state.timing = bitTimingFor(rate);

        if (!findSync(state, reader))
            continue;
        state.frameStart = edgeStart(reader, state.detector.lastChange, reader.sampleRate / rate / 160.0);
        LtcFrame first, second;
        if (!readFrame(state, reader, first) || !readFrame(state, reader, second))
            continue;
        if (first.dropFrame != second.dropFrame || !consecutive(first, second, static_cast<int>(std::lround(rate))))
            continue;

        computeResult(state, reader, options, first, ch, result);
        closeWav(reader);
        return true;
    }
    return false;
}

bool fail(WavSampleReader& reader, DecodeResult& result, int32_t errorNo)
{
    closeWav(reader);
    result.errorNo = errorNo;
    return false;
}

} // namespace

int thresholdOf(ReadingAlgorithm algorithm)
{
    switch (algorithm) {
    case ReadingAlgorithm::LOW: return 128;
    case ReadingAlgorithm::MID: return 512;
    case ReadingAlgorithm::HIGH: return 4096;
    case ReadingAlgorithm::SLOPE: return 4096;
    }
    return 128;
}

const char* algorithmName(ReadingAlgorithm algorithm)
{
    switch (algorithm) {
    case ReadingAlgorithm::LOW: return "LOW";
    case ReadingAlgorithm::MID: return "MID";
    case ReadingAlgorithm::HIGH: return "HIGH";
    case ReadingAlgorithm::SLOPE: return "SLOPE";
    }
    return "LOW";
}

double nextInterval(TransitionDetector& d, WavSampleReader& r)
{
    const double step = 1.0 / r.sampleRate;
    const int t = d.threshold;
    const bool slope = d.algorithm == ReadingAlgorithm::SLOPE;
    const int32_t end = r.framesLoaded;
    for (int32_t i = r.readPosition; i < end; ++i) {
        int v = sampleAt(r, i);
        if (slope)
            v -= sampleAt(r, i - 1);    // frame -1 reads as 0
        if (v > t) {
            if (!d.up) {
                double dt = (i - d.lastChange) * step;
                if (dt > kMinimumInterval) {
                    d.up = true;
                    d.down = false;
                    d.lastChange = i;
                    r.readPosition = i + 1;
                    return dt;
                }
            }
        } else if (v < -t) {
            if (!d.down) {
                double dt = (i - d.lastChange) * step;
                if (dt > kMinimumInterval) {
                    d.down = true;
                    d.up = false;
                    d.lastChange = i;
                    r.readPosition = i + 1;
                    return dt;
                }
            }
        }
    }
    if (r.readPosition < end)
        r.readPosition = end;
    return 0.0;
}

BitTiming bitTimingFor(double rate)
{
    const double period = 1.0 / rate / 80.0;
    const double half = 1.0 / rate / 160.0;
    BitTiming t;
    t.halfLow = half - half / 2.0;
    t.halfHigh = half + half / 2.0;
    t.fullLow = period - period / 2.0;
    t.fullHigh = period + period / 2.0;
    return t;
}

CellKind classify(const BitTiming& t, double x)
{
    if (t.halfLow < x && x < t.halfHigh)
        return CellKind::Half;
    if (t.fullLow < x && x < t.fullHigh)
        return CellKind::Full;
    return CellKind::None;
}

bool measureFrameRate(TransitionDetector& detector, WavSampleReader& reader, int& rate)
{
    nextInterval(detector, reader);
    nextInterval(detector, reader);
    double longSum = 0.0, shortSum = 0.0;
    int64_t longCount = 0, shortCount = 0;
    while (reader.readPosition < reader.framesLoaded) {
        double x = nextInterval(detector, reader);
        if (0.000333 < x && x < 0.000666) {
            longSum += x;
            ++longCount;
        } else if (0.000133 < x && x < 0.000333) {
            shortSum += x;
            ++shortCount;
        }
    }
    if (shortCount == 0 || longCount == 0)
        return false;
    double meanShort = shortSum / shortCount;
    double meanLong = longSum / longCount;
    if (!(std::fabs(meanShort - meanLong / 2.0) < 0.00005 && meanShort > 0.0002 && meanLong < 0.00055))
        return false;
    rate = static_cast<int>(std::lround(((1.0 / (160.0 * meanShort)) + (1.0 / (80.0 * meanLong))) / 2.0));
    return true;
}

double snapFrameRate(double x)
{
    double r = std::round(x);
    if (r == 25.0)
        return 25.0;
    if (std::fabs(x - r) < r / 1500.0)
        return r;
    double n = r / 1.001;
    if (std::fabs(x - n) < n / 1500.0)
        return n;
    return 0.0;
}

double edgeStart(const WavSampleReader& reader, int32_t index, double halfCell)
{
    // Within a third of a half cell of where the change was registered, the
    // edge is the steepest step (SLOPE may register the fall of a pulse just
    // after it). Its middle is where the signal passes half-way between the
    // lowest and highest level around it, found between the two samples on
    // either side of that level. A step shows whole on the first sample
    // after its middle, and that is where a cell that starts on a sample
    // starts; an edge with a rise time is centred on its start, which is
    // likewise half a sample after the middle between its samples.
    int32_t span = static_cast<int32_t>(halfCell / 3.0);
    if (span < 1)
        span = 1;
    int steepest = 0;
    int low = sampleAt(reader, index), high = low;
    for (int32_t j = index - span; j <= index + span; ++j) {
        int v = sampleAt(reader, j);
        low = v < low ? v : low;
        high = v > high ? v : high;
        int step = sampleAt(reader, j + 1) - v;
        if (j < index + span && std::abs(step) > std::abs(steepest))
            steepest = step;
    }
    const double middle = (low + high) / 2.0;
    const int sign = steepest >= 0 ? 1 : -1;
    for (int32_t j = index - span; j < index + span; ++j) {
        double a = sign * sampleAt(reader, j);
        double b = sign * sampleAt(reader, j + 1);
        if (a <= sign * middle && b > sign * middle)
            return j + (sign * middle - a) / (b - a) + 0.5;
    }
    return index;
}

bool findSync(LtcState& state, WavSampleReader& reader)
{
    // Alignment: up to the first full cell; a half cell takes its partner along.
    for (;;) {
        if (reader.readPosition >= reader.framesLoaded) {
            state.sync = false;
            return false;
        }
        CellKind kind = classify(state.timing, nextInterval(state.detector, reader));
        if (kind == CellKind::Full)
            break;
        if (kind == CellKind::Half)
            nextInterval(state.detector, reader);
    }
    uint16_t shift = 0;
    for (;;) {
        if (reader.readPosition >= reader.framesLoaded) {
            state.sync = false;
            return false;
        }
        int bit = readBit(state, reader);
        if (bit < 0) {
            shift = 0;
            continue;
        }
        shift = static_cast<uint16_t>((shift << 1) | bit);
        if (shift == kSyncWord) {
            state.syncPosition = reader.readPosition;
            state.sync = true;
            return true;
        }
    }
}

bool readFrame(LtcState& state, WavSampleReader& reader, LtcFrame& frame)
{
    if (!state.sync)
        return false;
    uint8_t* b = state.frame;
    for (int i = 0; i < 10; ++i)
        b[i] = 0;
    for (int k = 0; k < 80; ++k) {
        int bit = readBit(state, reader);
        if (bit < 0) {
            state.sync = false;
            return false;
        }
        b[k / 8] = static_cast<uint8_t>(b[k / 8] | (bit << (k % 8)));
    }
    int frames = (b[0] & 0x0F) + 10 * (b[1] & 0x03);
    int seconds = (b[2] & 0x0F) + 10 * (b[3] & 0x07);
    int minutes = (b[4] & 0x0F) + 10 * (b[5] & 0x07);
    int hours = (b[6] & 0x0F) + 10 * (b[7] & 0x03);
    int nominal = static_cast<int>(std::lround(state.rate));
    if (!(frames < nominal && seconds <= 59 && minutes <= 59 && hours <= 23 && b[8] == 0xFC && b[9] == 0xBF))
        return false;
    frame.dropFrame = (b[1] & 0x04) != 0;
    frame.count = frames + nominal * (seconds + 60 * (minutes + 60 * hours));
    return true;
}

int dropCountOf(int nominalRate)
{
    return static_cast<int>(std::lround(nominalRate * 0.066666));
}

bool dropLabelExists(int32_t count, int nominalRate)
{
    int32_t frames = count % nominalRate;
    int32_t seconds = (count / nominalRate) % 60;
    int32_t minutes = (count / (nominalRate * 60)) % 60;
    return !(seconds == 0 && frames < dropCountOf(nominalRate) && minutes % 10 != 0);
}

int32_t dropIndexOf(int32_t count, int nominalRate)
{
    int32_t totalMinutes = count / (nominalRate * 60);
    return count - dropCountOf(nominalRate) * (totalMinutes - totalMinutes / 10);
}

int32_t nominalCountOf(int32_t index, int nominalRate)
{
    const int32_t drop = dropCountOf(nominalRate);
    const int32_t perMinute = nominalRate * 60 - drop;
    const int32_t perTen = nominalRate * 600 - 9 * drop;
    int32_t tens = index / perTen;
    int32_t rest = index % perTen;
    int32_t count = index + 9 * drop * tens;
    if (rest > drop)
        count += drop * ((rest - drop) / perMinute);
    return count;
}

bool consecutive(const LtcFrame& first, const LtcFrame& second, int nominalRate)
{
    if (first.dropFrame) {
        if (!dropLabelExists(first.count, nominalRate) || !dropLabelExists(second.count, nominalRate))
            return false;
        int32_t next = wrap(static_cast<int64_t>(dropIndexOf(first.count, nominalRate)) + 1, dropDayOf(nominalRate));
        return dropIndexOf(second.count, nominalRate) == next;
    }
    // A recording across midnight goes from the last label of the day to 00:00:00:00.
    return second.count == wrap(static_cast<int64_t>(first.count) + 1, dayOf(nominalRate));
}

void formatTimecode(int32_t count, double rate, bool dropFrame, char (&text)[20])
{
    long nominal = std::lround(rate);
    if (nominal < 1)
        nominal = 1;    // callers never pass a rate of 0; no division by it either way
    const int64_t day = static_cast<int64_t>(nominal) * 86400;
    int64_t d = count % day;
    if (d < 0)
        d += day;
    int64_t s = d / nominal;
    int hours = static_cast<int>(s / 3600);
    int minutes = static_cast<int>((s / 60) % 60);
    int seconds = static_cast<int>(s % 60);
    int frames = static_cast<int>(d % nominal);
    std::snprintf(text, sizeof text, dropFrame ? "%02d:%02d:%02d;%02d" : "%02d:%02d:%02d:%02d", hours, minutes,
                  seconds, frames);
}

bool decodeFile(const DecoderOptions& options, DecodeResult& result)
{
    WavSampleReader reader;
    if (!openWav(options.filePath.c_str(), reader)) {
        result.errorNo = 201;
        return false;
    }
    return decodeOpened(reader, options, result);
}

bool decodeOpened(WavSampleReader& reader, const DecoderOptions& options, DecodeResult& result)
{
    LtcState state;
    state.detector.algorithm = options.algorithm;
    state.detector.threshold = thresholdOf(options.algorithm);

    const int64_t window = 2 * static_cast<int64_t>(reader.sampleRate);
    const bool search = options.startSample >= 0;
    // Windows overlap by half a second, so timecode that starts near the end
    // of one has the frames it needs in the next.
    const int64_t step = window - reader.sampleRate / 2;
    int64_t from = search ? options.startSample : 0;
    for (;;) {
        if (!loadBlock(reader, window, from))
            return fail(reader, result, 204);
        if (decodeBlock(state, reader, options, result))
            return true;
        if (result.errorNo != 0)
            return fail(reader, result, result.errorNo);
        if (!search || reader.blockStart + window >= reader.dataFrames)
            return fail(reader, result, 205);
        from = reader.blockStart + step;
    }
}
