// The trivial program the decoder's whole-process time is measured against:
// it opens the file and reads the header and two seconds of audio, nothing else.
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    FILE* f = std::fopen(argv[1], "rb");
    if (!f)
        return 1;
    std::vector<unsigned char> bytes(static_cast<size_t>(std::atol(argv[2])));
    size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return got == bytes.size() ? 0 : 1;
}
