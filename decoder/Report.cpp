#include "Report.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const kAppName = "Corvanta Sync Dorrik Pelbrook";
const char* const kTitle = "Pelbrook for Dorrik";
const double kVersion = 1.17;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool startsWith(const char* text, const char* keyword)
{
    return std::strncmp(text, keyword, std::strlen(keyword)) == 0;
}

void printHead()
{
    std::printf("{\n");
    std::printf("\"AppName\" : \"%s\",\n", kAppName);
    std::printf("\"Version\" : %2.2f,\n", kVersion);
}

const char* word(bool value)
{
    return value ? "true" : "false";
}

// The digits after optional blanks and a sign, saturating at `limit`
// instead of overflowing.
int64_t parseSaturated(const char* p, int64_t limit, bool* negative)
{
    while (isBlank(*p))
        ++p;
    *negative = false;
    if (*p == '+' || *p == '-')
        *negative = *p++ == '-';
    int64_t value = 0;
    for (; isDigit(*p); ++p) {
        const int digit = *p - '0';
        value = value > (limit - digit) / 10 ? limit : value * 10 + digit;
    }
    return value;
}

} // namespace

int32_t parseChannelValue(const char* p)
{
    bool negative = false;
    // A huge value is simply out of range; one beyond INT32_MAX still negates to INT32_MIN.
    const int64_t value = parseSaturated(p, int64_t(INT32_MAX) + 1, &negative);
    if (negative)
        return static_cast<int32_t>(-value);
    return value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value);
}

int64_t parseSampleValue(const char* p)
{
    bool negative = false;
    // Saturates; the reader moves a start beyond the data back to its last block.
    const int64_t value = parseSaturated(p, INT64_MAX, &negative);
    return negative ? 0 : value;
}

double parseDecimalValue(const char* p)
{
    while (isBlank(*p))
        ++p;
    // Only the decimal form is a number here: no "inf", "nan" or hexadecimal.
    const char* start = p;
    if (*p == '+' || *p == '-')
        ++p;
    int digits = 0;
    for (; isDigit(*p); ++p)
        ++digits;
    if (*p == '.') {
        ++p;
        for (; isDigit(*p); ++p)
            ++digits;
    }
    if (digits == 0)
        return 0.0;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        if (*q == '+' || *q == '-')
            ++q;
        if (isDigit(*q)) {
            while (isDigit(*q))
                ++q;
            p = q;
        }
    }
    std::string number(start, static_cast<size_t>(p - start));
    double value = std::strtod(number.c_str(), nullptr);
    // Beyond the range of double: a very large number, not infinity.
    if (value == HUGE_VAL)
        return DBL_MAX;
    if (value == -HUGE_VAL)
        return -DBL_MAX;
    return value;
}

int parseArguments(int argc, const char* const* argv, DecoderOptions& options)
{
    static const struct {
        const char* keyword;
        ReadingAlgorithm algorithm;
    } algorithms[] = {{"LOW", ReadingAlgorithm::LOW},
                      {"MID", ReadingAlgorithm::MID},
                      {"HIGH", ReadingAlgorithm::HIGH},
                      {"SLOPE", ReadingAlgorithm::SLOPE}};

    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] != '-')
            continue;
        const char* value = arg + 2;
        switch (arg[1]) {
        case 'c':
            options.channel = parseChannelValue(value);
            break;
        case 'f':
            options.frameRate = parseDecimalValue(value);
            break;
        case 's':
            options.startSample = parseSampleValue(value);
            break;
        case 'o':
            options.referenceSeconds = parseDecimalValue(value);
            break;
        case 'a': {
            bool known = false;
            for (const auto& a : algorithms) {
                if (startsWith(value, a.keyword)) {
                    options.algorithm = a.algorithm;
                    known = true;
                    break;
                }
            }
            if (!known)
                return 103;
            break;
        }
        default:
            return 102;
        }
    }
    return 0;
}

const char* errorMessage(int errorNo, char (&buffer)[32])
{
    switch (errorNo) {
    case 100: return "insufficient arguments";
    case 101: return "unsupported output format";
    case 102: return "unsupported parameter";
    case 103: return "unsupported reading algorithm";
    case 201: return "could not open file for reading";
    case 202: return "stated channel number is out of range";
    case 203: return "invalid framerate";
    case 204: return "could not initialize sample reader";
    case 205: return "ltc not found";
    default:
        std::snprintf(buffer, sizeof buffer, "unknown error %d", errorNo);
        return buffer;
    }
}

void printUsage()
{
    std::printf("%s Version %2.2f - reads the LTC of a WAV file's first two seconds and reports it as JSON\n",
                kTitle, kVersion);
    std::printf("USAGE: pelbrook <filename> [-c<chan>] [-f<fps>] [-a<LOW|MID|HIGH|SLOPE>] [-s<sample>] [-o<seconds>]\n");
}

void printReport(const DecodeResult& r, ReadingAlgorithm algorithm)
{
    printHead();
    std::printf("\"Success\" : true,\n");
    std::printf("\"Timecode\" : \"%s\",\n", r.timecode);
    std::printf("\"FrameCount\" : %d,\n", r.frameCount);
    std::printf("\"SamplesSinceMidnight\" : %lld,\n", static_cast<long long>(r.samplesSinceMidnight));
    std::printf("\"FrameRateFound\" : %2.2f,\n", r.frameRateFound);
    if (r.rateGiven)
        std::printf("\"FrameRateMeasured\" : %2.2f,\n", r.frameRateMeasured);
    std::printf("\"FrameRateBaseFound\" : %0.0f,\n", r.frameRateBaseFound);
    std::printf("\"NTSC\" : %s,\n", word(r.ntsc));
    std::printf("\"DropFrame\" : %s,\n", word(r.dropFrame));
    std::printf("\"ChannelFound\" : %d,\n", r.channelFound);
    if (r.searched)
        std::printf("\"FoundAt\" : %.3f,\n", r.foundAt);
    std::printf("\"ReadingAlgorithm\" : \"%s\"\n", algorithmName(algorithm));
    std::printf("}\n");
}

void printErrorReport(int errorNo)
{
    char buffer[32];
    printHead();
    std::printf("\"Success\" : false,\n");
    std::printf("\"ErrorNo\" : %d,\n", errorNo);
    std::printf("\"ErrorMsg\" : \"%s\"\n", errorMessage(errorNo, buffer));
    std::printf("}\n");
}

void reportError(int errorNo)
{
    printErrorReport(errorNo);
    std::fflush(stdout);
    std::exit(errorNo);
}
