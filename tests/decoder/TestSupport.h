#pragma once

// Small harness for the decoder's tests: checks, child processes, temporary
// files and WAV byte building. Each test program holds named groups; CTest
// runs every group as its own test.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace ts {

extern int failures;
extern std::string binDir;     // where Pelbrook, ltcgen and ltcref are
extern std::string workDir;    // fresh temporary folder of this run

void reportFailure(const char* file, int line, const std::string& what);

template <typename A, typename B>
bool checkEqual(const A& a, const B& b, const char* aText, const char* bText, const char* file, int line)
{
    if (a == b)
        return true;
    std::ostringstream s;
    s << aText << " == " << bText << "\n    got:      " << a << "\n    expected: " << b;
    reportFailure(file, line, s.str());
    return false;
}

#define CHECK(cond) \
    ((cond) ? true : (ts::reportFailure(__FILE__, __LINE__, "CHECK(" #cond ")"), false))
#define CHECK_EQ(a, b) ts::checkEqual((a), (b), #a, #b, __FILE__, __LINE__)

struct RunResult {
    int exitCode = -1;     // -1: killed by a signal or by the time limit
    bool timedOut = false;
    std::string out;
    std::string err;
};

// Runs a program without a shell; cwd empty means the current folder.
RunResult run(const std::string& program, const std::vector<std::string>& args, const std::string& cwd = "",
              int timeoutSeconds = 20);

RunResult pelbrook(const std::vector<std::string>& args, const std::string& cwd = "");

// Runs ltcgen and stops the test program with a message if it fails.
void ltcgen(const std::string& out, const std::vector<std::string>& args);
void ltcref(const std::vector<std::string>& args, std::string* output = nullptr);

std::string path(const std::string& name);    // inside workDir
void writeFile(const std::string& file, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> readFile(const std::string& file);

// The members of a report, values without quotes and commas.
std::map<std::string, std::string> members(const std::string& report);

// The whole error report, byte for byte as the decoder prints it.
std::string errorReport(int errorNo, const std::string& message);

// Runs Pelbrook and checks that it succeeded with the given members.
// Returns the members; on failure they are reported with the arguments.
std::map<std::string, std::string> expectSuccess(const std::vector<std::string>& args,
                                                 const std::map<std::string, std::string>& expected,
                                                 const char* file, int line);
void expectError(const std::vector<std::string>& args, int errorNo, const char* file, int line,
                 const std::string& cwd = "");
// Variadic, so that braced lists with commas pass through.
#define EXPECT_SUCCESS(...) ts::expectSuccessAt(__FILE__, __LINE__, __VA_ARGS__)
#define EXPECT_ERROR(...) ts::expectErrorAt(__FILE__, __LINE__, __VA_ARGS__)

// Little-endian WAV building.
struct Bytes {
    std::vector<uint8_t> v;
    Bytes& u16(unsigned x);
    Bytes& u32(uint32_t x);
    Bytes& tag(const char* t);
    Bytes& raw(const std::vector<uint8_t>& b);
    Bytes& fill(size_t n, uint8_t value = 0);
};

struct Format {
    unsigned tag = 1, channels = 1;
    uint32_t rate = 48000;
    unsigned blockAlign = 2, bits = 16;
};

std::vector<uint8_t> fmtPayload(const Format& f);
Bytes chunk(const char* id, const std::vector<uint8_t>& payload);
// RIFF/WAVE around the given chunks, in order.
std::vector<uint8_t> riff(const std::vector<Bytes>& chunks);

// Label arithmetic for expectations: nominal frames since midnight of a label.
int32_t labelCount(const std::string& label, int nominalRate);
int64_t samplesOfLabel(const std::string& label, int nominalRate, int sampleRate);

using Group = std::function<void()>;
int runGroups(int argc, char** argv, const std::map<std::string, Group>& groups);

} // namespace ts

namespace ts {

inline std::map<std::string, std::string> expectSuccessAt(const char* file, int line, const std::vector<std::string>& args,
                                                          const std::map<std::string, std::string>& expected = {})
{
    return expectSuccess(args, expected, file, line);
}

inline void expectErrorAt(const char* file, int line, const std::vector<std::string>& args, int errorNo)
{
    expectError(args, errorNo, file, line);
}

} // namespace ts
