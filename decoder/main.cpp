#include <cstdio>

int main()
{
    std::printf("USAGE: pelbrook <filename> [-c<chan>] [-f<fps>] [-a<LOW|MID|HIGH|SLOPE>]\n");
    return 100;
}
