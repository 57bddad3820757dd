// ltcref: the second, independent LTC implementation of the tests, built on
// Debian's libltc.
//
//   ltcref encode OUT.wav [--rate 48000] [--fps 23.976|24|25|29.97|30] [--df]
//                 [--start HH:MM:SS:FF] [--seconds 3] [--volume -3 (dBFS)] [--skip N]
//       writes a mono 16-bit WAV whose first frame, labelled --start, begins
//       at sample 0, or N samples before it with --skip (29.97 without --df
//       is non-drop).
//   ltcref decode IN.wav [--channel 0]
//       prints every frame libltc finds, one line each: the label
//       (";" before the frames when the drop-frame flag is set), the sample
//       at which the frame starts, and "reverse" for a backwards frame.
//
// Exit code 0 on success, 2 with a message on stderr otherwise.

#include <ltc.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "ltcref: %s\n", message.c_str());
    std::exit(2);
}

uint32_t le(const uint8_t* p, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

void put(std::vector<uint8_t>& out, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
}

struct Rate {
    double fps;
    LTC_TV_STANDARD standard;
};

Rate rateOf(const std::string& text)
{
    if (text == "23.976") return {24000.0 / 1001.0, LTC_TV_FILM_24};
    if (text == "24") return {24.0, LTC_TV_FILM_24};
    if (text == "25") return {25.0, LTC_TV_625_50};
    if (text == "29.97") return {30000.0 / 1001.0, LTC_TV_525_60};
    if (text == "30") return {30.0, LTC_TV_525_60};
    fail("--fps must be 23.976, 24, 25, 29.97 or 30");
}

int encode(int argc, char** argv)
{
    if (argc < 3)
        fail("encode needs an output file");
    std::string out = argv[2];
    long rate = 48000;
    Rate fps = rateOf("25");
    bool df = false;
    std::string start = "00:00:00:00";
    double seconds = 3.0, volume = -3.0;
    long skip = 0;
    for (int i = 3; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                fail(a + " needs a value");
            return argv[++i];
        };
        if (a == "--rate") rate = std::atol(value().c_str());
        else if (a == "--fps") fps = rateOf(value());
        else if (a == "--df") df = true;
        else if (a == "--start") start = value();
        else if (a == "--seconds") seconds = std::atof(value().c_str());
        else if (a == "--volume") volume = std::atof(value().c_str());
        else if (a == "--skip") skip = std::atol(value().c_str());
        else fail("unknown option " + a);
    }
    int h, m, s, f;
    char sep;
    if (std::sscanf(start.c_str(), "%d:%d:%d%c%d", &h, &m, &s, &sep, &f) != 5)
        fail("--start must be HH:MM:SS:FF");
    if (rate < 1000 || seconds <= 0.0)
        fail("bad --rate or --seconds");

    LTCEncoder* e = ltc_encoder_create(static_cast<double>(rate), fps.fps, fps.standard, 0);
    if (!e)
        fail("cannot create the encoder");
    ltc_encoder_set_volume(e, volume);
    SMPTETimecode tc;
    std::memset(&tc, 0, sizeof tc);
    std::strcpy(tc.timezone, "+0000");
    tc.hours = static_cast<unsigned char>(h);
    tc.mins = static_cast<unsigned char>(m);
    tc.secs = static_cast<unsigned char>(s);
    tc.frame = static_cast<unsigned char>(f);
    ltc_encoder_set_timecode(e, &tc);
    LTCFrame frame;
    ltc_encoder_get_frame(e, &frame);
    frame.dfbit = df ? 1 : 0;    // libltc sets it for every 29.97 signal
    ltc_frame_set_parity(&frame, fps.standard);
    ltc_encoder_set_frame(e, &frame);

    const size_t wanted = static_cast<size_t>(std::llround(seconds * rate));
    std::vector<uint8_t> data;
    size_t written = 0;
    while (written < wanted) {
        ltc_encoder_encode_frame(e);
        ltcsnd_sample_t* buf = nullptr;
        int n = ltc_encoder_get_bufferptr(e, &buf, 1);
        for (; n > 0 && skip > 0; --n, --skip)
            ++buf;
        for (int i = 0; i < n && written < wanted; ++i, ++written) {
            int v = (static_cast<int>(buf[i]) - 128) * 256;
            put(data, static_cast<uint32_t>(static_cast<uint16_t>(static_cast<int16_t>(v))), 2);
        }
        ltc_encoder_inc_timecode(e);
    }
    ltc_encoder_free(e);

    std::vector<uint8_t> file;
    file.insert(file.end(), {'R', 'I', 'F', 'F'});
    put(file, static_cast<uint32_t>(36 + data.size()), 4);
    file.insert(file.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put(file, 16, 4);
    put(file, 1, 2);
    put(file, 1, 2);
    put(file, static_cast<uint32_t>(rate), 4);
    put(file, static_cast<uint32_t>(rate * 2), 4);
    put(file, 2, 2);
    put(file, 16, 2);
    file.insert(file.end(), {'d', 'a', 't', 'a'});
    put(file, static_cast<uint32_t>(data.size()), 4);
    file.insert(file.end(), data.begin(), data.end());
    FILE* fp = std::fopen(out.c_str(), "wb");
    if (!fp || std::fwrite(file.data(), 1, file.size(), fp) != file.size() || std::fclose(fp) != 0)
        fail("cannot write " + out);
    return 0;
}

// Reads the integer PCM, float and extensible files that ltcgen writes.
std::vector<float> readChannel(const std::string& path, int channel, long& rate)
{
    FILE* fp = std::fopen(path.c_str(), "rb");
    if (!fp)
        fail("cannot open " + path);
    std::vector<uint8_t> bytes;
    uint8_t chunk[65536];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, fp)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(fp);
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        fail("not a WAV file");
    int tag = 0, channels = 0, align = 0, bits = 0;
    size_t dataAt = 0, dataSize = 0;
    for (size_t pos = 12; pos + 8 <= bytes.size();) {
        uint32_t size = le(&bytes[pos + 4], 4);
        if (pos + 8 + size > bytes.size())
            size = static_cast<uint32_t>(bytes.size() - pos - 8);
        if (std::memcmp(&bytes[pos], "fmt ", 4) == 0 && size >= 16) {
            const uint8_t* p = &bytes[pos + 8];
            tag = static_cast<int>(le(p, 2));
            channels = static_cast<int>(le(p + 2, 2));
            rate = static_cast<long>(le(p + 4, 4));
            align = static_cast<int>(le(p + 12, 2));
            bits = static_cast<int>(le(p + 14, 2));
            if (tag == 0xFFFE && size >= 40)
                tag = static_cast<int>(le(p + 24, 2));
        } else if (std::memcmp(&bytes[pos], "data", 4) == 0) {
            dataAt = pos + 8;
            dataSize = size;
        }
        pos += 8 + size + (size & 1);
    }
    if (channels == 0 || align == 0 || dataAt == 0 || channel < 0 || channel >= channels)
        fail("no usable format or data chunk, or no such channel");
    const int width = bits / 8;
    std::vector<float> out;
    for (size_t at = dataAt; at + static_cast<size_t>(align) <= dataAt + dataSize; at += static_cast<size_t>(align)) {
        const uint8_t* p = &bytes[at + static_cast<size_t>(channel * width)];
        float v = 0.0f;
        if (tag == 3 && bits == 32) {
            uint32_t b = le(p, 4);
            std::memcpy(&v, &b, 4);
        } else if (tag == 1 && bits == 8) {
            v = (p[0] - 128) / 128.0f;
        } else if (tag == 1 && (bits == 16 || bits == 24 || bits == 32)) {
            uint32_t raw = le(p, width) << (32 - bits);
            v = static_cast<float>(static_cast<int32_t>(raw) / 2147483648.0);
        } else {
            fail("unsupported sample format");
        }
        out.push_back(v);
    }
    return out;
}

int decode(int argc, char** argv)
{
    if (argc < 3)
        fail("decode needs an input file");
    int channel = 0;
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--channel") == 0 && i + 1 < argc)
            channel = std::atoi(argv[++i]);
        else
            fail(std::string("unknown option ") + argv[i]);
    }
    long rate = 0;
    std::vector<float> samples = readChannel(argv[2], channel, rate);
    LTCDecoder* d = ltc_decoder_create(static_cast<int>(rate / 25), 64);
    if (!d)
        fail("cannot create the decoder");
    LTCFrameExt frame;
    const size_t step = 1024;
    for (size_t at = 0; at < samples.size(); at += step) {
        size_t n = samples.size() - at < step ? samples.size() - at : step;
        ltc_decoder_write_float(d, samples.data() + at, n, static_cast<ltc_off_t>(at));
        while (ltc_decoder_read(d, &frame)) {
            SMPTETimecode t;
            ltc_frame_to_time(&t, &frame.ltc, 0);
            std::printf("%02d:%02d:%02d%c%02d %lld%s\n", t.hours, t.mins, t.secs, frame.ltc.dfbit ? ';' : ':', t.frame,
                        static_cast<long long>(frame.off_start), frame.reverse ? " reverse" : "");
        }
    }
    ltc_decoder_free(d);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && std::strcmp(argv[1], "encode") == 0)
        return encode(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "decode") == 0)
        return decode(argc, argv);
    fail("usage: ltcref encode OUT.wav [options] | ltcref decode IN.wav [--channel N]");
}
