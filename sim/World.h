#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

// Small deterministic generator (splitmix64): the same seed gives the same stream everywhere.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state(seed) {}
    std::uint64_t next();
    double uniform(); // [0, 1)
    int below(int n) { return static_cast<int>(uniform() * n); }

private:
    std::uint64_t state;
};

// The simulated service: rooms, their chat groups and the gift catalogue. Replies are JSON text.
// Thread-safe: the HTTP server calls it from several threads.
class World {
public:
    World(std::uint64_t seed, double rate, int next);

    // Stable across runs and seeds; 0 for the room that does not exist.
    static int roomIdFor(const std::string& name);

    std::string lookupReply(const std::string& name, bool wrongTypes);
    // Empty when the id is not a positive number.
    std::string joinReply(const std::string& roomIdText, bool wrongTypes);
    // Empty when the group is not one this service hands out.
    std::string pollReply(const std::string& group, long long from, bool wrongTypes);
    std::string catalogueReply(bool wrongTypes) const;

    // Shared seeded draw for fault probabilities.
    double draw();

private:
    enum class Kind { Normal, Offline, Busy, Quiet, Missing };
    struct Room {
        double viewers = 0;
        double baseViewers = 0;
    };
    struct Group {
        std::chrono::steady_clock::time_point start;
        long long head = 0;       // id of the newest message produced so far
        double nextArrival = 0.0; // seconds after start
    };

    static Kind kindOf(int roomId);
    double rateOf(int roomId) const;
    void advance(int roomId, Group& group);

    std::uint64_t seed;
    double rate;
    int next;
    std::mutex mutex;
    Rng shared;
    std::map<int, Room> rooms;
    std::map<int, Group> groups;
};
