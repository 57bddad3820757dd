#include "TestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

namespace ts {

int failures = 0;
std::string binDir;
std::string workDir;

void reportFailure(const char* file, int line, const std::string& what)
{
    ++failures;
    std::cout << file << ":" << line << ": FAILED " << what << std::endl;
}

namespace {

std::string slurp(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string joined(const std::vector<std::string>& args)
{
    std::string s;
    for (const std::string& a : args)
        s += " '" + a + "'";
    return s;
}

} // namespace

RunResult run(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
              int timeoutSeconds)
{
    static int serial = 0;
    std::string outFile = path("run" + std::to_string(++serial) + ".out");
    std::string errFile = outFile + ".err";
    RunResult r;
    pid_t pid = fork();
    if (pid == 0) {
        int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0)
            _exit(127);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0)
            _exit(127);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            r.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (!r.timedOut && WIFEXITED(status))
        r.exitCode = WEXITSTATUS(status);
    r.out = slurp(outFile);
    r.err = slurp(errFile);
    std::remove(outFile.c_str());
    std::remove(errFile.c_str());
    return r;
}

RunResult pelbrook(const std::vector<std::string>& args, const std::string& cwd)
{
    return run(binDir + "/Pelbrook", args, cwd);
}

void ltcgen(const std::string& out, const std::vector<std::string>& args)
{
    std::vector<std::string> all{out};
    all.insert(all.end(), args.begin(), args.end());
    RunResult r = run(binDir + "/ltcgen", all);
    if (r.exitCode != 0) {
        std::cout << "ltcgen" << joined(all) << " failed: " << r.err << std::endl;
        std::exit(1);
    }
}

void ltcref(const std::vector<std::string>& args, std::string* output)
{
    RunResult r = run(binDir + "/ltcref", args);
    if (r.exitCode != 0) {
        std::cout << "ltcref" << joined(args) << " failed: " << r.err << std::endl;
        std::exit(1);
    }
    if (output)
        *output = r.out;
}

std::string path(const std::string& name)
{
    return workDir + "/" + name;
}

void writeFile(const std::string& file, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> readFile(const std::string& file)
{
    std::string s = slurp(file);
    return std::vector<uint8_t>(s.begin(), s.end());
}

std::map<std::string, std::string> members(const std::string& report)
{
    std::map<std::string, std::string> m;
    std::istringstream in(report);
    std::string line;
    while (std::getline(in, line)) {
        size_t sep = line.find(" : ");
        if (line.size() < 2 || line[0] != '"' || sep == std::string::npos)
            continue;
        std::string key = line.substr(1, sep - 2);
        std::string value = line.substr(sep + 3);
        if (!value.empty() && value.back() == ',')
            value.pop_back();
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        m[key] = value;
    }
    return m;
}

std::string errorReport(int errorNo, const std::string& message)
{
    return "{\n\"AppName\" : \"Corvanta Sync Dorrik Pelbrook\",\n\"Version\" : 1.17,\n\"Success\" : false,\n"
           "\"ErrorNo\" : " + std::to_string(errorNo) + ",\n\"ErrorMsg\" : \"" + message + "\"\n}\n";
}

std::map<std::string, std::string> expectSuccess(const std::vector<std::string>& args,
                                                 const std::map<std::string, std::string>& expected,
                                                 const char* file, int line)
{
    RunResult r = pelbrook(args);
    std::map<std::string, std::string> m = members(r.out);
    bool ok = r.exitCode == 0 && r.err.empty() && m["Success"] == "true";
    for (const auto& e : expected)
        ok = ok && m[e.first] == e.second;
    if (!ok) {
        std::ostringstream s;
        s << "Pelbrook" << joined(args) << " exit " << r.exitCode << "\n    expected:";
        for (const auto& e : expected)
            s << " " << e.first << "=" << e.second;
        s << "\n    got:\n" << r.out << r.err;
        reportFailure(file, line, s.str());
    }
    return m;
}

void expectError(const std::vector<std::string>& args, int errorNo, const char* file, int line, const std::string& cwd)
{
    RunResult r = pelbrook(args, cwd);
    std::map<std::string, std::string> m = members(r.out);
    if (r.exitCode != errorNo || !r.err.empty() || m["ErrorNo"] != std::to_string(errorNo)) {
        std::ostringstream s;
        s << "Pelbrook" << joined(args) << " expected error " << errorNo << ", exit " << r.exitCode << "\n"
          << r.out << r.err;
        reportFailure(file, line, s.str());
    }
}

Bytes& Bytes::u16(unsigned x)
{
    v.push_back(static_cast<uint8_t>(x & 0xFF));
    v.push_back(static_cast<uint8_t>((x >> 8) & 0xFF));
    return *this;
}

Bytes& Bytes::u32(uint32_t x)
{
    u16(x & 0xFFFF);
    return u16(x >> 16);
}

Bytes& Bytes::tag(const char* t)
{
    v.insert(v.end(), t, t + 4);
    return *this;
}

Bytes& Bytes::raw(const std::vector<uint8_t>& b)
{
    v.insert(v.end(), b.begin(), b.end());
    return *this;
}

Bytes& Bytes::fill(size_t n, uint8_t value)
{
    v.insert(v.end(), n, value);
    return *this;
}

std::vector<uint8_t> fmtPayload(const Format& f)
{
    Bytes b;
    b.u16(f.tag).u16(f.channels).u32(f.rate).u32(f.rate * f.blockAlign).u16(f.blockAlign).u16(f.bits);
    return b.v;
}

Bytes chunk(const char* id, const std::vector<uint8_t>& payload)
{
    Bytes b;
    b.tag(id).u32(static_cast<uint32_t>(payload.size())).raw(payload);
    if (payload.size() & 1)
        b.fill(1);
    return b;
}

std::vector<uint8_t> riff(const std::vector<Bytes>& chunks)
{
    Bytes body;
    body.tag("WAVE");
    for (const Bytes& c : chunks)
        body.raw(c.v);
    Bytes file;
    file.tag("RIFF").u32(static_cast<uint32_t>(body.v.size())).raw(body.v);
    return file.v;
}

int32_t labelCount(const std::string& label, int nominalRate)
{
    int h = std::atoi(label.substr(0, 2).c_str());
    int m = std::atoi(label.substr(3, 2).c_str());
    int s = std::atoi(label.substr(6, 2).c_str());
    int f = std::atoi(label.substr(9, 2).c_str());
    return ((h * 60 + m) * 60 + s) * nominalRate + f;
}

int64_t samplesOfLabel(const std::string& label, int nominalRate, int sampleRate)
{
    return static_cast<int64_t>(labelCount(label, nominalRate)) * sampleRate / nominalRate;
}

int runGroups(int argc, char** argv, const std::map<std::string, Group>& groups)
{
    if (argc < 3 || !groups.count(argv[2])) {
        std::cout << "usage: " << argv[0] << " BIN_DIR GROUP; groups:";
        for (const auto& g : groups)
            std::cout << " " << g.first;
        std::cout << std::endl;
        return 2;
    }
    binDir = argv[1];
    char pattern[] = "/tmp/pelbrook-test-XXXXXX";
    if (!mkdtemp(pattern)) {
        std::cout << "cannot create a temporary folder" << std::endl;
        return 2;
    }
    workDir = pattern;
    groups.at(argv[2])();
    std::error_code ignored;
    std::filesystem::remove_all(workDir, ignored);
    if (failures != 0) {
        std::cout << failures << " check(s) failed" << std::endl;
        return 1;
    }
    std::cout << "all checks passed" << std::endl;
    return 0;
}

} // namespace ts
