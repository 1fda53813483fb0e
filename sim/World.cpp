#include "World.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kBacklog = 10; // messages a fresh cursor gets at once
constexpr int kMaxPerReply = 1000;
constexpr double kHistorySec = 10.0; // a new group starts with this much chat behind it

std::uint64_t mix(std::uint64_t a, std::uint64_t b) {
    return Rng(a ^ (b * 0x9E3779B97F4A7C15ULL + 0x632BE59BD9B4E019ULL)).next();
}

struct Item {
    const char* name;
    const char* title;
    double cost;
};

// Free items first: gifts pick among them by index ranges below.
const Item kItems[] = {
    {"flower", "鲜花", 0},        {"applause", "掌声", 0},    {"heart", "爱心", 0},
    {"like", "点赞", 0},          {"cola", "可乐", 0},        {"cucumber", "黄瓜", 0},
    {"popcorn", "爆米花", 0},     {"star", "星星", 0},        {"balloon", "气球", 0},
    {"lollipop", "棒棒糖", 0.1},  {"coffee", "咖啡", 0.5},    {"icecream", "冰淇淋", 1},
    {"cake", "蛋糕", 2},          {"beer", "啤酒", 2},        {"rose", "玫瑰", 5},
    {"teddy", "泰迪熊", 6.6},     {"panda", "熊猫", 9.9},     {"kiss", "么么哒", 10},
    {"microphone", "麦克风", 15}, {"perfume", "香水", 20},    {"guitar", "吉他", 30},
    {"fireworks", "烟花", 50},    {"ring", "钻戒", 52},       {"crown", "皇冠", 66},
    {"sportscar", "跑车", 100},   {"unicorn", "独角兽", 199}, {"yacht", "游艇", 500},
    {"plane", "飞机", 888},       {"rocket", "火箭", 1000},   {"castle", "城堡", 1314},
};
constexpr int kItemCount = sizeof(kItems) / sizeof(kItems[0]);
constexpr int kFreeCount = 9;

const char* const kChat[] = {
    "主播好！",
    "666666",
    "哈哈哈哈哈",
    "这波操作可以啊",
    "来了来了",
    "晚上好呀各位",
    "主播唱首歌吧",
    "前排围观",
    "打卡",
    "新人报道，求关注",
    "太厉害了吧",
    "笑死我了",
    "主播今天状态不错",
    "这是什么游戏？",
    "下饭直播间",
    "刚下班，来看看",
    "声音有点小",
    "画面卡了吗？",
    "稳住，我们能赢",
    "老铁们刷起来",
    "这把必吃鸡",
    "主播几点下播？",
    "哇，好看",
    "支持支持",
    "+1",
    "？？？",
    "有没有一起玩的",
    "我又来了",
    "爱了爱了",
    "主播加油！",
    "这个背景音乐叫什么",
    "<3 爱你们",
    "刚才那下太帅了",
    "求主播翻牌",
    "晚安，明天见",
    "第一次来，很有意思",
    "弹幕护体",
    "送花送花",
    "A&B 组合出来了",
    "这操作我给满分",
};
const char* const kAdjectives[] = {"快乐的", "安静的", "会飞的",   "爱吃鱼的", "迷路的", "不睡觉的",
                                   "可爱的", "孤独的", "晒太阳的", "追风的",   "发呆的", "勇敢的"};
const char* const kNouns[] = {"小猫", "企鹅", "胖虎", "土豆", "西瓜", "星星", "蘑菇",  "兔子",
                              "熊猫", "鲸鱼", "小鹿", "少年", "大叔", "奶茶", "路人甲"};
const char* const kNicks[] = {"阿飞",   "小七",     "老王",   "糖豆",      "月半",     "夜猫子",
                              "风铃",   "木子",     "Lucky7", "Tom&Jerry", "阿狸",     "一只鱼",
                              "北极熊", "可乐加冰", "小明",   "<小透明>",  "山有木兮", "南风"};
const char* const kSuffixes[] = {"", "", "", "", "123", "_88", "丶", "灬", "666", "520", "2024"};

template <typename T, std::size_t N> const T& pick(const T (&list)[N], Rng& rng) {
    return list[rng.below(static_cast<int>(N))];
}

QString text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

std::string toText(const QJsonDocument& doc) {
    return doc.toJson(QJsonDocument::Compact).toStdString();
}

// User i of a room: the same name and level every time it speaks.
QJsonObject user(std::uint64_t roomSeed, int index) {
    Rng rng(mix(roomSeed, 0x75736572ULL + static_cast<std::uint64_t>(index)));
    QString name = rng.uniform() < 0.5 ? text(pick(kAdjectives, rng)) + text(pick(kNouns, rng))
                                       : text(pick(kNicks, rng));
    name += text(pick(kSuffixes, rng));
    const double u = rng.uniform();
    const int grade = 1 + static_cast<int>(u * u * 40); // most viewers are low levels
    return QJsonObject{{"username", name}, {"grade", std::min(grade, 40)}};
}

int giftNumber(bool flower, Rng& rng) {
    static const int big[] = {10, 66, 99, 520};
    if (rng.uniform() < 0.08)
        return pick(big, rng);
    return flower ? 1 + rng.below(5) : 1;
}

// Message `id` of a room depends only on the seed, the room and the id.
QJsonObject message(std::uint64_t roomSeed, long long id, int userCount) {
    Rng rng(mix(roomSeed, static_cast<std::uint64_t>(id)));
    const double u = rng.uniform();
    const int userIndex = static_cast<int>(u * u * userCount); // a few viewers talk a lot
    QJsonObject msg{{"user", user(roomSeed, userIndex)}};
    const double kindDraw = rng.uniform();
    QString type;
    if (kindDraw < 0.70) {
        type = "chat";
        msg["content"] = text(pick(kChat, rng));
    } else if (kindDraw < 0.95) {
        type = "gift";
        const double g = rng.uniform();
        int item = 0; // flower
        if (g >= 0.55 && g < 0.75)
            item = 1 + rng.below(kFreeCount - 1);
        else if (g >= 0.75) {
            const double c = rng.uniform(); // cheap items far more often than dear ones
            item = kFreeCount + static_cast<int>(c * c * (kItemCount - kFreeCount));
        }
        msg["itemType"] = text(kItems[item].name);
        msg["number"] = giftNumber(item == 0, rng);
    } else {
        type = "enter";
    }
    return QJsonObject{{"id", static_cast<double>(id)}, {"type", type}, {"msg", msg}};
}

// Every value the client reads has the wrong type; some entries also break the containers.
QJsonArray wrongTypeEntries() {
    const QJsonObject badUser{{"username", 12345}, {"grade", "12"}};
    return QJsonArray{
        QJsonObject{{"type", "chat"}, {"msg", QJsonObject{{"content", 42}, {"user", badUser}}}},
        QJsonObject{
            {"type", "gift"},
            {"msg", QJsonObject{{"itemType", 7},
                                {"number", "3"},
                                {"user", QJsonObject{{"username", true}, {"grade", 12.5}}}}}},
        QJsonObject{{"type", 1}, {"msg", QJsonObject{{"user", badUser}}}},
        QJsonObject{{"type", "chat"}, {"msg", "主播好"}},
        QJsonObject{{"type", "chat"}, {"msg", QJsonObject{{"content", false}, {"user", "路人"}}}},
        QJsonValue(17),
    };
}

} // namespace

std::uint64_t Rng::next() {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double Rng::uniform() {
    return static_cast<double>(next() >> 11) * 0x1.0p-53;
}

World::World(std::uint64_t seed, double rate, int next)
    : seed(seed), rate(rate), next(next), shared(mix(seed, 0x66617574ULL)) {}

int World::roomIdFor(const std::string& name) {
    if (name.empty() || name == "missing")
        return 0;
    std::uint32_t h = 2166136261u; // FNV-1a over the UTF-8 bytes
    for (const unsigned char c : name)
        h = (h ^ c) * 16777619u;
    return 100000 + static_cast<int>(h % 2000000000u);
}

World::Kind World::kindOf(int roomId) {
    static const int offline = roomIdFor("offline");
    static const int busy = roomIdFor("busy");
    static const int quiet = roomIdFor("quiet");
    if (roomId <= 0)
        return Kind::Missing;
    if (roomId == offline)
        return Kind::Offline;
    if (roomId == busy)
        return Kind::Busy;
    return roomId == quiet ? Kind::Quiet : Kind::Normal;
}

double World::rateOf(int roomId) const {
    switch (kindOf(roomId)) {
    case Kind::Busy:
        return std::max(40.0, rate * 10);
    case Kind::Offline:
        return rate / 5;
    case Kind::Quiet:
    case Kind::Missing:
        return 0.0;
    case Kind::Normal:
        break;
    }
    return rate;
}

double World::draw() {
    std::lock_guard<std::mutex> lock(mutex);
    return shared.uniform();
}

std::string World::lookupReply(const std::string& name, bool wrongTypes) {
    const int id = roomIdFor(name);
    const Kind kind = kindOf(id);
    std::lock_guard<std::mutex> lock(mutex);
    auto [it, fresh] = rooms.try_emplace(id);
    Room& room = it->second;
    if (fresh) {
        Rng rng(mix(seed, static_cast<std::uint64_t>(id)));
        const double u = rng.uniform();
        room.baseViewers = kind == Kind::Busy      ? 50000 + u * 100000
                           : kind == Kind::Offline ? 2 + u * 20
                           : kind == Kind::Quiet   ? 1 + u * 5
                           : kind == Kind::Missing ? 0
                                                   : 100 + u * u * 5000;
        room.viewers = room.baseViewers;
    } else {
        // Mean-reverting random walk: counts move a few per cent between refreshes.
        const double u1 = std::max(shared.uniform(), 1e-12), u2 = shared.uniform();
        const double gauss = std::sqrt(-2 * std::log(u1)) * std::cos(6.283185307179586 * u2);
        room.viewers += room.viewers * 0.02 * gauss + (room.baseViewers - room.viewers) * 0.1;
        room.viewers = std::max(0.0, room.viewers);
    }
    const int count = static_cast<int>(std::lround(room.viewers));
    const bool live = kind != Kind::Offline && kind != Kind::Missing;
    const QString qname = QString::fromStdString(name);
    QJsonObject base{{"Id", id}, {"Domain", qname}, {"Name", qname + text("的直播间")}};
    if (wrongTypes) {
        base["Id"] = QString::number(id);
        return toText(QJsonDocument(QJsonObject{{"BaseRoomInfo", base},
                                                {"OnlineCount", QString::number(count)},
                                                {"IsBroadcasting", live ? 1 : 0}}));
    }
    return toText(QJsonDocument(
        QJsonObject{{"BaseRoomInfo", base}, {"OnlineCount", count}, {"IsBroadcasting", live}}));
}

std::string World::joinReply(const std::string& roomIdText, bool wrongTypes) {
    const long long id = std::atoll(roomIdText.c_str());
    if (id <= 0 || id > 2147483647 || std::to_string(id) != roomIdText)
        return {};
    const QString group = QString("grp%1").arg(id);
    if (wrongTypes)
        return toText(QJsonDocument(QJsonObject{{"group", static_cast<double>(id)}}));
    return toText(
        QJsonDocument(QJsonObject{{"group", group}, {"roomId", static_cast<double>(id)}}));
}

void World::advance(int roomId, Group& group) {
    const double roomRate = rateOf(roomId);
    if (roomRate <= 0)
        return;
    const double now =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - group.start).count();
    // Poisson arrivals; each gap is drawn from the message's own stream, so ids stay repeatable.
    while (group.nextArrival <= now) {
        ++group.head;
        const std::uint64_t gapSeed = mix(seed, static_cast<std::uint64_t>(roomId)) ^ 0x67617073ULL;
        Rng rng(mix(gapSeed, static_cast<std::uint64_t>(group.head)));
        group.nextArrival += -std::log(1.0 - rng.uniform()) / roomRate;
    }
}

std::string World::pollReply(const std::string& groupName, long long from, bool wrongTypes) {
    if (groupName.rfind("grp", 0) != 0)
        return {};
    const std::string idText = groupName.substr(3);
    const long long roomId = std::atoll(idText.c_str());
    if (roomId <= 0 || roomId > 2147483647 || std::to_string(roomId) != idText)
        return {};
    if (wrongTypes) {
        return toText(QJsonDocument(QJsonObject{{"next", QString::number(next)},
                                                {"from", QString::number(from)},
                                                {"msgs", wrongTypeEntries()}}));
    }

    const int id = static_cast<int>(roomId);
    long long first = 0, last = 0;
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto [it, fresh] = groups.try_emplace(id);
        Group& group = it->second;
        if (fresh)
            group.start = std::chrono::steady_clock::now() -
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(kHistorySec));
        advance(id, group);
        // A cursor we never handed out (fresh client, other room, restart) starts afresh.
        first = (from <= 0 || from > group.head) ? std::max(0LL, group.head - kBacklog) : from;
        last = std::min(group.head, first + kMaxPerReply);
    }
    const std::uint64_t roomSeed = mix(seed, static_cast<std::uint64_t>(id));
    const int users = kindOf(id) == Kind::Busy ? 400 : 60;
    QJsonArray msgs;
    for (long long k = first + 1; k <= last; ++k)
        msgs.append(message(roomSeed, k, users));
    return toText(QJsonDocument(
        QJsonObject{{"next", next}, {"from", static_cast<double>(last)}, {"msgs", msgs}}));
}

std::string World::catalogueReply(bool wrongTypes) const {
    QJsonArray items;
    if (wrongTypes) {
        items.append(QJsonObject{{"name", 1}, {"title", false}, {"moneyCost", "10"}});
        items.append(
            QJsonObject{{"name", QJsonArray{"flower"}}, {"title", 2}, {"moneyCost", true}});
        items.append(QJsonValue(42));
        items.append(QJsonValue("flower"));
        return toText(QJsonDocument(items));
    }
    for (int i = 0; i < kItemCount; ++i) {
        items.append(QJsonObject{{"id", i + 1},
                                 {"name", text(kItems[i].name)},
                                 {"title", text(kItems[i].title)},
                                 {"moneyCost", kItems[i].cost}});
    }
    return toText(QJsonDocument(items));
}
