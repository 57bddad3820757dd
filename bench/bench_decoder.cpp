// Decoder benchmark on a two-second 48 kHz stereo 24-bit LTC file:
// decodeFile per algorithm with the rate given and detected, one channel
// pass, the whole Pelbrook process against a program that only reads the
// same bytes, peak memory, and libltc's decoder on the same file as the peer.

#include <ltc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "LtcDecoding.h"

namespace {

std::atomic<long> allocations{0};

using Clock = std::chrono::steady_clock;

double microseconds(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

template <typename F>
double medianMicros(int runs, F&& f)
{
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        auto start = Clock::now();
        f();
        t.push_back(microseconds(Clock::now() - start));
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

struct Process {
    int exitCode = -1;
    double micros = 0;
    long maxRssKiB = 0;
};

Process runQuiet(const std::vector<std::string>& argv)
{
    Process p;
    std::fflush(stdout);    // or the child inherits and repeats what is buffered
    auto start = Clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        FILE* null = std::freopen("/dev/null", "w", stdout);
        (void)null;
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    p.micros = microseconds(Clock::now() - start);
    p.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    p.maxRssKiB = usage.ru_maxrss;
    return p;
}

Process medianProcess(int runs, const std::vector<std::string>& argv)
{
    std::vector<Process> all;
    for (int i = 0; i < runs; ++i)
        all.push_back(runQuiet(argv));
    std::sort(all.begin(), all.end(), [](const Process& a, const Process& b) { return a.micros < b.micros; });
    Process m = all[all.size() / 2];
    for (const Process& p : all)
        m.maxRssKiB = std::max(m.maxRssKiB, p.maxRssKiB);
    return m;
}

std::string binDir()
{
    char buffer[4096];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return ".";
    buffer[n] = '\0';
    return std::filesystem::path(buffer).parent_path().string();
}

const char* verdict(bool ok)
{
    return ok ? "met" : "MISSED";
}

// libltc reading channel 0 of the 24-bit stereo file: samples to float, then decode.
int libltcDecode(const std::vector<uint8_t>& file, size_t dataAt, size_t frames, std::vector<float>& scratch)
{
    LTCDecoder* d = ltc_decoder_create(48000 / 25, 64);    // room for every frame of 2 s
    scratch.resize(frames);
    const uint8_t* p = file.data() + dataAt;
    for (size_t i = 0; i < frames; ++i, p += 6) {
        int32_t v = static_cast<int32_t>((static_cast<uint32_t>(p[0]) << 8) | (static_cast<uint32_t>(p[1]) << 16)
                                         | (static_cast<uint32_t>(p[2]) << 24));
        scratch[i] = static_cast<float>(v / 2147483648.0);
    }
    ltc_decoder_write_float(d, scratch.data(), frames, 0);
    LTCFrameExt frame;
    int count = 0;
    while (ltc_decoder_read(d, &frame))
        ++count;
    ltc_decoder_free(d);
    return count;
}

} // namespace

void* operator new(size_t size)
{
    ++allocations;
    void* p = std::malloc(size ? size : 1);
    if (!p)
        std::abort();
    return p;
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, size_t) noexcept
{
    std::free(p);
}

int main()
{
    const std::string bin = binDir();
    char pattern[] = "/tmp/pelbrook-bench-XXXXXX";
    if (!mkdtemp(pattern))
        return 2;
    const std::string dir = pattern;
    const std::string wav = dir + "/bench.wav";
    std::string gen = bin + "/ltcgen '" + wav +
                      "' --rate 48000 --fps 25 --start 10:00:00:00 --seconds 2 --channels 2 --ltc-channel 0 "
                      "--tone 1:1000 --format s24";
    if (std::system(gen.c_str()) != 0) {
        std::printf("cannot run ltcgen from %s\n", bin.c_str());
        return 2;
    }
    const uintmax_t fileBytes = std::filesystem::file_size(wav);
    const size_t frames = 96000;
    const size_t blockBytes = frames * 6;

    std::printf("file: 2 s, 48000 Hz, 2 channels, 24-bit (%zu bytes of audio, %ju bytes on disk)\n\n", blockBytes,
                fileBytes);

    // decodeFile, the whole in-process decode including open and load.
    std::printf("%-28s %12s %12s\n", "decodeFile (median of 50)", "-f25 (us)", "detected (us)");
    const ReadingAlgorithm algorithms[] = {ReadingAlgorithm::LOW, ReadingAlgorithm::MID, ReadingAlgorithm::HIGH,
                                           ReadingAlgorithm::SLOPE};
    bool allDecoded = true;
    for (ReadingAlgorithm a : algorithms) {
        double t[2];
        for (int detected = 0; detected < 2; ++detected) {
            DecoderOptions o;
            o.filePath = wav;
            o.algorithm = a;
            o.frameRate = detected ? 0.0 : 25.0;
            t[detected] = medianMicros(50, [&] {
                DecodeResult r;
                if (!decodeFile(o, r) || std::strcmp(r.timecode, "10:00:00:00") != 0)
                    allDecoded = false;
            });
        }
        std::printf("%-28s %12.1f %12.1f\n", algorithmName(a), t[0], t[1]);
    }
    std::printf("all runs decoded 10:00:00:00: %s\n\n", allDecoded ? "yes" : "NO");

    // One channel pass: every frame of the block through nextInterval.
    WavSampleReader reader;
    if (!openWav(wav.c_str(), reader) || !loadBlock(reader, frames)) {
        std::printf("cannot load the file\n");
        return 2;
    }
    std::printf("%-28s %12s %12s %12s\n", "one channel pass", "median (us)", "ns/frame", "allocations");
    double worstPass = 0;
    for (ReadingAlgorithm a : algorithms) {
        TransitionDetector d;
        d.algorithm = a;
        d.threshold = thresholdOf(a);
        long allocated = 0;
        double t = medianMicros(200, [&] {
            long before = allocations.load();
            selectChannel(reader, 0);
            d.lastChange = 0;
            while (nextInterval(d, reader) != 0.0) {
            }
            allocated += allocations.load() - before;
        });
        worstPass = std::max(worstPass, t);
        std::printf("%-28s %12.1f %12.2f %12ld\n", algorithmName(a), t, t * 1000.0 / frames, allocated);
    }
    std::printf("target: at most 1000 us per pass: %s (worst %.1f us)\n\n", verdict(worstPass <= 1000.0), worstPass);
    closeWav(reader);

    // The whole process against a program that only reads the same bytes.
    const std::string pelbrook = bin + "/Pelbrook";
    const std::string baseline = bin + "/readfile_baseline";
    Process warm = runQuiet({pelbrook, wav});
    runQuiet({baseline, wav, std::to_string(fileBytes)});
    Process dec = medianProcess(40, {pelbrook, wav});
    Process dec4 = medianProcess(40, {pelbrook, wav, "-aSLOPE", "-c1"});
    Process base = medianProcess(40, {baseline, wav, std::to_string(fileBytes)});
    std::printf("%-34s %12s %14s\n", "whole process (median of 40)", "time (us)", "peak RSS (KiB)");
    std::printf("%-34s %12.0f %14ld   exit %d\n", "Pelbrook FILE", dec.micros, dec.maxRssKiB, warm.exitCode);
    std::printf("%-34s %12.0f %14ld   exit %d\n", "Pelbrook FILE -aSLOPE -c1 (205)", dec4.micros, dec4.maxRssKiB,
                dec4.exitCode);
    std::printf("%-34s %12.0f %14ld\n", "open and read the same bytes", base.micros, base.maxRssKiB);
    double ratio = dec.micros / base.micros;
    std::printf("target: within 2x of the reader: %s (%.2fx)\n", verdict(ratio <= 2.0), ratio);
    long limitKiB = static_cast<long>(blockBytes / 1024) + 4096;
    std::printf("target: peak memory at most block + 4 MiB = %ld KiB: %s (%ld KiB; the reader alone %ld KiB)\n\n",
                limitKiB, verdict(dec.maxRssKiB <= limitKiB), dec.maxRssKiB, base.maxRssKiB);

    // The peer: libltc's decoder on the same channel of the same bytes.
    std::FILE* f = std::fopen(wav.c_str(), "rb");
    std::vector<uint8_t> bytes(fileBytes);
    size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    size_t dataAt = got - blockBytes;    // ltcgen writes the data chunk last
    std::vector<float> scratch;
    int decoded = 0;
    double peer = medianMicros(50, [&] { decoded = libltcDecode(bytes, dataAt, frames, scratch); });
    DecoderOptions o;
    o.filePath = wav;
    double ours = medianMicros(50, [&] {
        DecodeResult r;
        decodeFile(o, r);
    });
    std::printf("%-34s %12s\n", "peer on the same file (median of 50)", "time (us)");
    std::printf("%-34s %12.1f   %d frames over 2 s\n", "libltc: convert and decode 2 s", peer, decoded);
    std::printf("%-34s %12.1f   first two frames after sync, rate detected\n", "Pelbrook decodeFile (LOW)", ours);

    std::filesystem::remove_all(dir);
    return 0;
}
