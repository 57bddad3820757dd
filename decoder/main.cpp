#include "Report.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        printUsage();
        return kUsageExitCode;
    }
    DecoderOptions options;
    options.filePath = argv[1];
    int error = parseArguments(argc, argv, options);
    if (error != 0)
        reportError(error);

    DecodeResult result;
    if (!decodeFile(options, result))
        reportError(result.errorNo);
    printReport(result, options.algorithm);
    return 0;
}
