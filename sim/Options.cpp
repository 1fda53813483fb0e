#include "Options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

// Whole-string integer parse: trailing junk, overflow or a value outside [lo, hi] fail.
bool toInt(const std::string& text, long long lo, long long hi, long long& out) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

bool toDouble(const std::string& text, double lo, double hi, double& out) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v) || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

bool parseKind(const std::string& text, FaultRule& rule) {
    static const struct {
        const char* name;
        RequestKind kind;
    } kinds[] = {{"lookup", RequestKind::Lookup},
                 {"join", RequestKind::Join},
                 {"catalogue", RequestKind::Catalogue},
                 {"poll", RequestKind::Poll}};
    if (text == "all") {
        rule.allKinds = true;
        return true;
    }
    for (const auto& k : kinds) {
        if (text == k.name) {
            rule.kind = k.kind;
            return true;
        }
    }
    return false;
}

bool parseFaultType(const std::string& text, FaultRule& rule) {
    long long n = 0;
    if (text == "reset")
        rule.type = FaultType::Reset;
    else if (text == "empty")
        rule.type = FaultType::Empty;
    else if (text == "invalid")
        rule.type = FaultType::Invalid;
    else if (text == "types")
        rule.type = FaultType::WrongTypes;
    else if (text == "hang")
        rule.type = FaultType::Hang;
    else if (text == "stall")
        rule.type = FaultType::Stall;
    else if (text.rfind("slow:", 0) == 0 && toInt(text.substr(5), 0, 600000, n)) {
        rule.type = FaultType::Slow;
        rule.delayMs = static_cast<int>(n);
    } else if (toInt(text, 400, 599, n)) {
        rule.type = FaultType::Status;
        rule.status = static_cast<int>(n);
    } else
        return false;
    return true;
}

bool parseWhen(const std::string& text, FaultRule& rule) {
    const auto eq = text.find('=');
    if (eq == std::string::npos)
        return false;
    const std::string key = text.substr(0, eq);
    const std::string value = text.substr(eq + 1);
    if (key == "p") {
        rule.when = FaultRule::When::Probability;
        return toDouble(value, 0.0, 1.0, rule.probability);
    }
    if (key == "first" || key == "after") {
        rule.when = key == "first" ? FaultRule::When::First : FaultRule::When::After;
        return toInt(value, 0, 1000000000, rule.count);
    }
    return false;
}

// KIND=FAULT[,first=N|,after=N|,p=P]
bool parseFault(const std::string& text, FaultRule& rule) {
    const auto eq = text.find('=');
    if (eq == std::string::npos || !parseKind(text.substr(0, eq), rule))
        return false;
    const std::string rest = text.substr(eq + 1);
    const auto comma = rest.find(',');
    if (!parseFaultType(rest.substr(0, comma), rule))
        return false;
    return comma == std::string::npos || parseWhen(rest.substr(comma + 1), rule);
}

} // namespace

bool parseOptions(int argc, char** argv, Options& out, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        bool hasValue = false;
        // Both "--opt value" and "--opt=value" are accepted.
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasValue = true;
        }
        if (name == "-h" || name == "--help") {
            out.help = true;
            continue;
        }
        const bool known = name == "--port" || name == "--rate" || name == "--seed" ||
                           name == "--next" || name == "--fault" || name == "--log";
        if (!known) {
            error = "unknown option: " + name;
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= argc) {
                error = "missing value for " + name;
                return false;
            }
            value = argv[++i];
        }
        long long n = 0;
        bool ok = true;
        if (name == "--port") {
            ok = toInt(value, 0, 65535, n);
            out.port = static_cast<int>(n);
        } else if (name == "--rate") {
            ok = toDouble(value, 0.0, 1000.0, out.rate);
        } else if (name == "--seed") {
            errno = 0;
            char* end = nullptr;
            out.seed = std::strtoull(value.c_str(), &end, 10);
            ok = !value.empty() && value[0] != '-' && errno == 0 && *end == '\0';
            out.seedGiven = true;
        } else if (name == "--next") {
            ok = toInt(value, -3600, 3600, n);
            out.next = static_cast<int>(n);
        } else if (name == "--log") {
            ok = !value.empty();
            out.logFile = value;
        } else {
            FaultRule rule;
            ok = parseFault(value, rule);
            out.faults.push_back(rule);
        }
        if (!ok) {
            error = "bad value for " + name + ": " + value;
            return false;
        }
    }
    return true;
}

const char* helpText() {
    return R"(Usage: kibchat-sim [options]

A stand-in for the live-streaming room service that KibChat talks to. It listens on
127.0.0.1 only and answers plain HTTP GET with JSON:
  /room/getinfo?domain=NAME            room lookup: id, online count, live flag
  /item/getallitems                    gift catalogue
  /chatroom/joinroom?roomId=ID         chat group of a room
  /chatroom/msgs/GROUP/FROM/NEXT       messages after the cursor FROM
  /newest_kiblive/KibLive.rar          a small placeholder download
The first line on stdout is "listening 127.0.0.1:PORT", the second "seed N".

Options:
  --port N       TCP port (default 18080); 0 picks a free port
  --rate R       chat messages per second in an ordinary room (default 3, 0..1000)
  --seed S       seed for repeatable chat, users and count drift (default: random)
  --next N       poll delay in seconds sent in every poll reply (default 2; 0 allowed,
                 -3600..3600)
  --log FILE     append one line per request: "MS METHOD TARGET STATUS", with MS the
                 arrival time in milliseconds since start, TARGET the path and query as
                 received and STATUS the HTTP status, "reset", "hang" or "stall"; flushed
                 per line
  --fault RULE   inject a fault; may be repeated (the first rule that fires applies)
  -h, --help     show this text

Room names (any other name is an ordinary live room; its id is a hash of the name,
the same in every run, whatever the seed):
  offline        not broadcasting (IsBroadcasting false), a few viewers, slow chat
  busy           ten times the message rate (at least 40/s), 50000+ viewers
  quiet          live, a handful of viewers, no messages at all
  missing        does not exist: Id 0 (so is the empty name)

Poll cursor: ids count up from 1 per group. A FROM of 0, below 0 or beyond the newest
message starts afresh with the last 10 messages. At most 1000 messages per reply; the
reply's "from" is the id of the last message sent. Besides "chat" and "gift" about one
entry in twenty has the type "enter" (a viewer came in). The group of room ID is
"grpID". A join with an id that is not a positive number, a poll of any other group and
any other path get HTTP 404.

Fault RULE: KIND=FAULT[,first=N|,after=N|,p=P]
  KIND   lookup | join | catalogue | poll | all
  FAULT  reset     close the connection without a reply (TCP reset)
         NNN       reply with HTTP status NNN (400..599), e.g. 500, and a text body
         empty     HTTP 200 with an empty body
         invalid   HTTP 200 with a truncated, unparsable JSON body
         types     HTTP 200 with valid JSON in which the values the client reads have
                   the wrong JSON type (numbers as strings, strings as numbers, flags as
                   numbers; in polls also entries whose msg or user is no object)
         slow:MS   wait MS milliseconds, then reply normally
         hang      read the request and never answer; the connection stays open
                   until the client closes it
         stall     send the headers and half of the normal body, then nothing more
                   until the client closes the connection
  When   always by default; first=N: the first N requests of that kind;
         after=N: every request of that kind after the first N; p=P: with
         probability P (drawn from the seeded generator)
  Note: Qt 5.15 resends a request once when its connection closes before any byte of
  the reply, so a Qt client sees a reset only when two tries in a row are reset
  (always, or first=N with N >= 2); the log shows both tries.
Examples:
  kibchat-sim --port 0 --seed 1 --log sim.log
  kibchat-sim --rate 20 --next 1 --fault poll=reset,p=0.2 --fault lookup=500,first=3
)";
}
