// ltcgen: writes WAV files carrying linear timecode, for the decoder's tests.
//
//   ltcgen OUT.wav [--rate 48000] [--fps 23.976|24|25|29.97|30] [--df]
//          [--start HH:MM:SS:FF] [--seconds 4] [--channels 1] [--ltc-channel 0]
//          [--format s16|s24|s32|f32|u8] [--level 0.5] [--dc N] [--noise N]
//          [--invert] [--lead-in SECONDS] [--offset SAMPLES] [--reverse] [--pulses]
//          [--tone CH:HZ]... [--extensible] [--bext-time-reference N]
//          [--bext-description TEXT] [--print-first-label]
//
// Timing model. The timecode runs from sample 0: frame k (k = 0, 1, ...) begins
// exactly at time k / fps, and frame 0 carries the --start label, so the first
// sample of the file always lies in the frame labelled --start. An edge shows
// from the sample nearest to its time on (a half sample rounds up, as libltc's do), so an
// edge between two samples is never more than half a sample off its time.
// --offset D (samples, may be fractional) delays the whole timecode by D:
// frame 0 then begins at sample D, and sample 0 lies in the frame before it
// (the level before the first edge is held). Later frames
// count up (down with --reverse) in label order: drop-frame labels skip frames
// 0 and 1 of every minute not divisible by ten, and labels wrap at midnight.
// --lead-in L mutes the timecode for every sample before L seconds; the
// signal after L is exactly what it would have been without the lead-in, so
// the label of sample 0 is still --start (it is just not audible). With
// --reverse the bit stream is the time-reversed one of a tape played
// backwards: frames count down and each frame is sent from bit 79 to bit 0.
//
// Levels: --level is the peak of the timecode as a fraction of full scale;
// --dc and --noise (uniform white noise of that peak, fixed seed) are on the
// signed 16-bit scale and are added to the timecode channel only. Tones from
// --tone are sines at -12 dBFS on other channels; the remaining channels are
// silent. Integer formats clip; f32 does not. --print-first-label prints the
// label of the frame running at sample 0 (";" before the frames with --df).
//
// Exit code 0 on success, 2 with a message on stderr otherwise.

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

enum class SampleFormat { S16, S24, S32, F32, U8 };

struct Tone {
    int channel = 0;
    double hz = 0.0;
};

struct GenOptions {
    std::string outPath;
    long rate = 48000;
    long fpsNum = 25;
    long fpsDen = 1;
    bool dropFrame = false;
    std::string start = "00:00:00:00";
    double seconds = 4.0;
    int channels = 1;
    int ltcChannel = 0;
    SampleFormat format = SampleFormat::S16;
    double level = 0.5;
    double dc = 0.0;
    double noise = 0.0;
    bool invert = false;
    double leadIn = 0.0;
    double offset = 0.0;
    bool reverse = false;
    bool pulses = false;
    std::vector<Tone> tones;
    bool extensible = false;
    bool hasBextReference = false;
    unsigned long long bextReference = 0;
    bool hasBextDescription = false;
    std::string bextDescription;
    bool printFirstLabel = false;
};

// Label arithmetic on the frame index within one day.
struct Clock {
    long nominal = 25;    // frames per labelled second
    long dropped = 0;     // labels skipped per minute (not every tenth)

    long dayLength() const { return nominal * 86400 - 1296 * dropped; }

    long indexOf(int h, int m, int s, int f) const
    {
        long totalMinutes = 60L * h + m;
        long nominalCount = ((totalMinutes * 60) + s) * nominal + f;
        return nominalCount - dropped * (totalMinutes - totalMinutes / 10);
    }

    void labelOf(long index, int& h, int& m, int& s, int& f) const
    {
        long day = dayLength();
        index = ((index % day) + day) % day;
        if (dropped > 0) {
            long perTen = nominal * 600 - 9 * dropped;
            long perMinute = nominal * 60 - dropped;
            long tens = index / perTen;
            long rest = index % perTen;
            index += 9 * dropped * tens;
            if (rest > dropped)
                index += dropped * ((rest - dropped) / perMinute);
        }
        f = static_cast<int>(index % nominal);
        long secs = index / nominal;
        s = static_cast<int>(secs % 60);
        m = static_cast<int>((secs / 60) % 60);
        h = static_cast<int>(secs / 3600);
    }

    bool exists(int m, int s, int f) const { return !(dropped > 0 && s == 0 && f < dropped && m % 10 != 0); }
};

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "ltcgen: %s\n", message.c_str());
    std::exit(2);
}

double parseDouble(const std::string& option, const char* text)
{
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text, &end);
    if (end == text || *end != '\0' || errno != 0 || !std::isfinite(v))
        fail(option + ": not a number: " + text);
    return v;
}

long parseLong(const std::string& option, const char* text)
{
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || errno != 0)
        fail(option + ": not an integer: " + text);
    return v;
}

GenOptions parseArguments(int argc, char** argv)
{
    GenOptions o;
    if (argc < 2 || argv[1][0] == '-')
        fail("usage: ltcgen OUT.wav [options] (see the head of ltcgen.cpp)");
    o.outPath = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc)
                fail(a + " needs a value");
            return argv[++i];
        };
        if (a == "--rate") {
            o.rate = parseLong(a, value());
        } else if (a == "--fps") {
            std::string v = value();
            if (v == "23.976") { o.fpsNum = 24000; o.fpsDen = 1001; }
            else if (v == "24") { o.fpsNum = 24; o.fpsDen = 1; }
            else if (v == "25") { o.fpsNum = 25; o.fpsDen = 1; }
            else if (v == "29.97") { o.fpsNum = 30000; o.fpsDen = 1001; }
            else if (v == "30") { o.fpsNum = 30; o.fpsDen = 1; }
            else fail("--fps must be 23.976, 24, 25, 29.97 or 30");
        } else if (a == "--df") {
            o.dropFrame = true;
        } else if (a == "--start") {
            o.start = value();
        } else if (a == "--seconds") {
            o.seconds = parseDouble(a, value());
        } else if (a == "--channels") {
            o.channels = static_cast<int>(parseLong(a, value()));
        } else if (a == "--ltc-channel") {
            o.ltcChannel = static_cast<int>(parseLong(a, value()));
        } else if (a == "--format") {
            std::string v = value();
            if (v == "s16") o.format = SampleFormat::S16;
            else if (v == "s24") o.format = SampleFormat::S24;
            else if (v == "s32") o.format = SampleFormat::S32;
            else if (v == "f32") o.format = SampleFormat::F32;
            else if (v == "u8") o.format = SampleFormat::U8;
            else fail("--format must be s16, s24, s32, f32 or u8");
        } else if (a == "--level") {
            o.level = parseDouble(a, value());
        } else if (a == "--dc") {
            o.dc = parseDouble(a, value());
        } else if (a == "--noise") {
            o.noise = parseDouble(a, value());
        } else if (a == "--invert") {
            o.invert = true;
        } else if (a == "--lead-in") {
            o.leadIn = parseDouble(a, value());
        } else if (a == "--offset") {
            o.offset = parseDouble(a, value());
        } else if (a == "--reverse") {
            o.reverse = true;
        } else if (a == "--pulses") {
            o.pulses = true;
        } else if (a == "--tone") {
            std::string v = value();
            size_t colon = v.find(':');
            if (colon == std::string::npos)
                fail("--tone needs CH:HZ");
            Tone t;
            t.channel = static_cast<int>(parseLong(a, v.substr(0, colon).c_str()));
            t.hz = parseDouble(a, v.substr(colon + 1).c_str());
            o.tones.push_back(t);
        } else if (a == "--extensible") {
            o.extensible = true;
        } else if (a == "--bext-time-reference") {
            const char* v = value();
            errno = 0;
            char* end = nullptr;
            o.bextReference = std::strtoull(v, &end, 10);
            if (end == v || *end != '\0' || errno != 0 || v[0] == '-')
                fail("--bext-time-reference: not an unsigned integer");
            o.hasBextReference = true;
        } else if (a == "--bext-description") {
            o.bextDescription = value();
            o.hasBextDescription = true;
        } else if (a == "--print-first-label") {
            o.printFirstLabel = true;
        } else {
            fail("unknown option " + a);
        }
    }

    if (o.rate < 1000 || o.rate > 768000)
        fail("--rate must be between 1000 and 768000");
    if (o.dropFrame && o.fpsNum != 30000 && o.fpsNum != 30)
        fail("--df needs --fps 29.97 or 30");
    if (!(o.seconds > 0.0) || o.seconds > 600.0)
        fail("--seconds must be above 0 and at most 600");
    if (o.channels < 1 || o.channels > 64)
        fail("--channels must be 1 to 64");
    if (o.ltcChannel < 0 || o.ltcChannel >= o.channels)
        fail("--ltc-channel must name one of the channels");
    if (o.level < 0.0 || o.leadIn < 0.0 || o.noise < 0.0 || o.offset < 0.0)
        fail("--level, --lead-in, --offset and --noise must not be negative");
    for (const Tone& t : o.tones)
        if (t.channel < 0 || t.channel >= o.channels || t.channel == o.ltcChannel)
            fail("--tone must name a channel other than the timecode channel");
    if (o.bextDescription.size() > 256)
        fail("--bext-description is limited to 256 characters");
    return o;
}

long startIndex(const GenOptions& o, const Clock& clock)
{
    int h = 0, m = 0, s = 0, f = 0;
    char sep = 0;
    char tail = 0;
    if (std::sscanf(o.start.c_str(), "%2d:%2d:%2d%c%2d%c", &h, &m, &s, &sep, &f, &tail) != 5
        || (sep != ':' && sep != ';'))
        fail("--start must be HH:MM:SS:FF (or HH:MM:SS;FF with --df)");
    if (sep == ';' && !o.dropFrame)
        fail("--start with ';' needs --df");
    if (h < 0 || h > 23 || m < 0 || m > 59 || s < 0 || s > 59 || f < 0 || f >= clock.nominal)
        fail("--start is not a valid label: " + o.start);
    if (!clock.exists(m, s, f))
        fail("--start names a label that drop frame skips: " + o.start);
    return clock.indexOf(h, m, s, f);
}

std::string labelText(const Clock& clock, long index)
{
    int h, m, s, f;
    clock.labelOf(index, h, m, s, f);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d%c%02d", h, m, s, clock.dropped ? ';' : ':', f);
    return text;
}

void setBits(uint8_t* bits, int first, int count, int value)
{
    for (int i = 0; i < count; ++i)
        bits[first + i] = static_cast<uint8_t>((value >> i) & 1);
}

// The 80 bits of one frame in transmission order.
void frameBits(const Clock& clock, long index, bool df, bool is25, uint8_t* bits)
{
    int h, m, s, f;
    clock.labelOf(index, h, m, s, f);
    std::memset(bits, 0, 80);
    setBits(bits, 0, 4, f % 10);
    setBits(bits, 8, 2, f / 10);
    bits[10] = df ? 1 : 0;
    setBits(bits, 16, 4, s % 10);
    setBits(bits, 24, 3, s / 10);
    setBits(bits, 32, 4, m % 10);
    setBits(bits, 40, 3, m / 10);
    setBits(bits, 48, 4, h % 10);
    setBits(bits, 56, 2, h / 10);
    // User bits carry a changing pattern so that 1s appear all over the frame.
    static const int userStarts[8] = {4, 12, 20, 28, 36, 44, 52, 60};
    for (int g = 0; g < 8; ++g)
        setBits(bits, userStarts[g], 4, static_cast<int>((index + 3 * g) % 16));
    static const uint8_t sync[16] = {0, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1};
    std::memcpy(bits + 64, sync, 16);
    // Polarity correction: an even number of ones keeps every frame starting
    // with the same edge direction.
    int polarityBit = is25 ? 59 : 27;
    bits[polarityBit] = 0;
    int ones = 0;
    for (int i = 0; i < 80; ++i)
        ones += bits[i];
    bits[polarityBit] = static_cast<uint8_t>(ones & 1);
}

struct Writer {
    FILE* file = nullptr;
    bool ok = true;

    void bytes(const void* p, size_t n)
    {
        if (ok && std::fwrite(p, 1, n, file) != n)
            ok = false;
    }
    void u8(unsigned v) { uint8_t b = static_cast<uint8_t>(v); bytes(&b, 1); }
    void u16(unsigned v) { u8(v & 0xFF); u8((v >> 8) & 0xFF); }
    void u32(unsigned long v) { u16(v & 0xFFFF); u16((v >> 16) & 0xFFFF); }
    void tag(const char* t) { bytes(t, 4); }
};

int bytesPerSample(SampleFormat f)
{
    switch (f) {
    case SampleFormat::U8: return 1;
    case SampleFormat::S16: return 2;
    case SampleFormat::S24: return 3;
    case SampleFormat::S32: return 4;
    case SampleFormat::F32: return 4;
    }
    return 2;
}

void putSample(std::vector<uint8_t>& out, SampleFormat format, double x)
{
    auto clampRound = [](double v, double lo, double hi) {
        v = std::nearbyint(v);
        return static_cast<long long>(v < lo ? lo : (v > hi ? hi : v));
    };
    switch (format) {
    case SampleFormat::U8:
        out.push_back(static_cast<uint8_t>(clampRound(x * 128.0 + 128.0, 0, 255)));
        break;
    case SampleFormat::S16: {
        long long v = clampRound(x * 32768.0, -32768, 32767);
        for (int i = 0; i < 2; ++i) out.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
        break;
    }
    case SampleFormat::S24: {
        long long v = clampRound(x * 8388608.0, -8388608, 8388607);
        for (int i = 0; i < 3; ++i) out.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
        break;
    }
    case SampleFormat::S32: {
        long long v = clampRound(x * 2147483648.0, -2147483648.0, 2147483647.0);
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
        break;
    }
    case SampleFormat::F32: {
        float fv = static_cast<float>(x);
        uint32_t bits;
        std::memcpy(&bits, &fv, 4);
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>((bits >> (8 * i)) & 0xFF));
        break;
    }
    }
}

std::vector<uint8_t> render(const GenOptions& o, const Clock& clock, long firstIndex)
{
    const long long frames = std::llround(o.seconds * static_cast<double>(o.rate));
    const long long leadInFrames = std::llround(o.leadIn * static_cast<double>(o.rate));
    const bool is25 = (o.fpsNum == 25);
    const double pi = 3.14159265358979323846;
    const double toneAmplitude = std::pow(10.0, -12.0 / 20.0);
    const double pulseTau = 40e-6;
    // Half cell j spans [j, j + 1) * den / (160 * num) seconds.
    const long long halfNum = 160LL * o.fpsNum;
    const long long halfDen = static_cast<long long>(o.fpsDen) * o.rate;

    std::vector<uint8_t> data;
    data.reserve(static_cast<size_t>(frames) * o.channels * bytesPerSample(o.format));

    uint8_t bits[80];
    long long bitsFrame = -1;
    long long halfCell = -1;       // last half cell whose starting edge was applied
    double level = -1.0;           // before the first edge
    double lastEdgeTime = -1.0;
    uint32_t noiseState = 0x12345678u;

    for (long long n = 0; n < frames; ++n) {
        long long target = static_cast<long long>(
            std::ceil((static_cast<double>(n) + 0.5 - o.offset) * static_cast<double>(halfNum) / halfDen)) - 1;
        while (halfCell < target) {
            ++halfCell;
            long long cell = halfCell / 2;
            long long frame = cell / 80;
            if (frame != bitsFrame) {
                long index = o.reverse ? firstIndex - static_cast<long>(frame) : firstIndex + static_cast<long>(frame);
                frameBits(clock, index, o.dropFrame, is25, bits);
                bitsFrame = frame;
            }
            int bitNo = static_cast<int>(cell % 80);
            int bit = bits[o.reverse ? 79 - bitNo : bitNo];
            if (halfCell % 2 == 0 || bit) {
                level = -level;
                lastEdgeTime = static_cast<double>(halfCell) * o.fpsDen / (160.0 * o.fpsNum) + o.offset / o.rate;
            }
        }
        double t = static_cast<double>(n) / o.rate;
        double ltc = 0.0;
        if (n >= leadInFrames) {
            ltc = o.pulses ? level * std::exp(-(t - lastEdgeTime) / pulseTau) : level;
            ltc *= o.level * (o.invert ? -1.0 : 1.0);
        }
        noiseState = noiseState * 1664525u + 1013904223u;
        double noise = o.noise * ((noiseState >> 8) / 8388608.0 - 1.0);
        for (int ch = 0; ch < o.channels; ++ch) {
            double x = 0.0;
            if (ch == o.ltcChannel) {
                x = ltc + (o.dc + noise) / 32768.0;
            } else {
                for (const Tone& tone : o.tones)
                    if (tone.channel == ch)
                        x += toneAmplitude * std::sin(2.0 * pi * tone.hz * t);
            }
            putSample(data, o.format, x);
        }
    }
    return data;
}

bool writeWav(const GenOptions& o, const std::vector<uint8_t>& data)
{
    const bool isFloat = o.format == SampleFormat::F32;
    const int bps = bytesPerSample(o.format);
    const unsigned blockAlign = static_cast<unsigned>(o.channels * bps);
    const bool hasBext = o.hasBextReference || o.hasBextDescription;
    const unsigned long fmtSize = o.extensible ? 40 : (isFloat ? 18 : 16);
    const bool hasFact = isFloat;
    const unsigned long dataSize = static_cast<unsigned long>(data.size());
    const unsigned long bextSize = 602;

    unsigned long riffSize = 4 + 8 + fmtSize + 8 + dataSize + (dataSize & 1);
    if (hasBext)
        riffSize += 8 + bextSize;
    if (hasFact)
        riffSize += 8 + 4;

    Writer w;
    w.file = std::fopen(o.outPath.c_str(), "wb");
    if (!w.file)
        return false;
    w.tag("RIFF");
    w.u32(riffSize);
    w.tag("WAVE");

    if (hasBext) {
        w.tag("bext");
        w.u32(bextSize);
        char fixed[256 + 32 + 32 + 10 + 8] = {};
        std::memcpy(fixed, o.bextDescription.data(), o.bextDescription.size());
        w.bytes(fixed, sizeof fixed);
        w.u32(static_cast<unsigned long>(o.bextReference & 0xFFFFFFFFull));
        w.u32(static_cast<unsigned long>(o.bextReference >> 32));
        w.u16(1);                                   // version
        char rest[64 + 10 + 180] = {};              // UMID, loudness, reserved
        w.bytes(rest, sizeof rest);
    }

    w.tag("fmt ");
    w.u32(fmtSize);
    w.u16(o.extensible ? 0xFFFE : (isFloat ? 3 : 1));
    w.u16(static_cast<unsigned>(o.channels));
    w.u32(static_cast<unsigned long>(o.rate));
    w.u32(static_cast<unsigned long>(o.rate) * blockAlign);
    w.u16(blockAlign);
    w.u16(static_cast<unsigned>(bps * 8));
    if (o.extensible) {
        w.u16(22);
        w.u16(static_cast<unsigned>(bps * 8));      // valid bits
        w.u32(o.channels <= 18 ? (1ul << o.channels) - 1 : 0);
        w.u16(isFloat ? 3 : 1);                     // sub-format GUID, first two bytes
        static const uint8_t guidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        w.bytes(guidTail, sizeof guidTail);
    } else if (isFloat) {
        w.u16(0);
    }

    if (hasFact) {
        w.tag("fact");
        w.u32(4);
        w.u32(dataSize / blockAlign);
    }

    w.tag("data");
    w.u32(dataSize);
    w.bytes(data.data(), data.size());
    if (dataSize & 1)
        w.u8(0);
    bool closed = std::fclose(w.file) == 0;
    return w.ok && closed;
}

} // namespace

int main(int argc, char** argv)
{
    GenOptions o = parseArguments(argc, argv);
    Clock clock;
    clock.nominal = (o.fpsNum + o.fpsDen / 2) / o.fpsDen;
    clock.dropped = o.dropFrame ? 2 : 0;
    long firstIndex = startIndex(o, clock);

    std::vector<uint8_t> data = render(o, clock, firstIndex);
    if (!writeWav(o, data))
        fail("cannot write " + o.outPath);
    if (o.printFirstLabel) {
        long before = static_cast<long>(std::ceil(o.offset * o.fpsNum / (static_cast<double>(o.rate) * o.fpsDen)));
        std::printf("%s\n", labelText(clock, o.reverse ? firstIndex + before : firstIndex - before).c_str());
    }
    return 0;
}
