#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The request kinds that faults can target; Other covers the download and unknown paths.
enum class RequestKind { Lookup, Join, Catalogue, Poll, Other };

enum class FaultType { Reset, Status, Empty, Invalid, WrongTypes, Slow, Hang, Stall };

// One --fault option: what goes wrong, for which requests, and how often.
struct FaultRule {
    bool allKinds = false;
    RequestKind kind = RequestKind::Lookup;
    FaultType type = FaultType::Status;
    int status = 500; // FaultType::Status
    int delayMs = 0;  // FaultType::Slow
    enum class When { Always, First, After, Probability } when = When::Always;
    long long count = 0;
    double probability = 1.0;
};

struct Options {
    int port = 18080;
    double rate = 3.0; // messages per second in an ordinary room
    std::uint64_t seed = 0;
    bool seedGiven = false;
    int next = 2; // poll delay in seconds sent back to the client
    std::string logFile;
    std::vector<FaultRule> faults;
    bool help = false;
};

// Fills `out` from the command line; on a bad option returns false with a message in `error`.
bool parseOptions(int argc, char** argv, Options& out, std::string& error);

const char* helpText();
