#pragma once

#include "LtcDecoding.h"

// Exit code of the usage screen.
const int kUsageExitCode = 100;

// Fills options from every argument, left to right; returns 0, or the error
// number (102, 103) of the first bad option.
int parseArguments(int argc, const char* const* argv, DecoderOptions& options);

// The -c value reader, and that of -f and -o: a leading decimal number, the rest ignored.
int32_t parseChannelValue(const char* text);
double parseDecimalValue(const char* text);
// The -s value: a leading decimal sample number; negative or none is 0.
int64_t parseSampleValue(const char* text);

const char* errorMessage(int errorNo, char (&buffer)[32]);

void printUsage();
void printReport(const DecodeResult& result, ReadingAlgorithm algorithm);
void printErrorReport(int errorNo);

// Prints the error report and ends the process with errorNo as exit code.
[[noreturn]] void reportError(int errorNo);
