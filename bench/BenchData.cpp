#include "bench/BenchData.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <random>

namespace benchdata {

namespace {

const char* const kPhrases[] = {
    "你好",
    "大家晚上好",
    "这一局打得真漂亮",
    "哈哈哈",
    "666",
    "来了",
    "主播加油",
    "这个装备在哪里买的？",
    "刚才那一波操作太秀了，我反复看了三遍",
    "支持一下",
    "晚安",
    "<b>not bold</b> & stays literal",
    "新来的，请多关照",
    "求背景音乐的名字",
};
const char* const kNames[] = {"小鱼", "阿杰", "夜行者", "Lucky", "糖糖", "北风", "木木", "Tom"};

QString pick(const char* const* list, std::size_t size, std::mt19937& rng) {
    return QString::fromUtf8(list[std::uniform_int_distribution<std::size_t>(0, size - 1)(rng)]);
}

} // namespace

QVector<MsgsInfo> records(int count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    QVector<MsgsInfo> out;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        MsgsInfo m;
        m.username = pick(kNames, std::size(kNames), rng) + QString::number(i % 97);
        m.grade = 1 + static_cast<int>(unit(rng) * unit(rng) * 40);
        const double kind = unit(rng);
        if (i % 20 == 19) {
            m.type = QStringLiteral("enter");
        } else if (kind < 0.75) {
            m.type = QStringLiteral("chat");
            m.content = pick(kPhrases, std::size(kPhrases), rng);
            if (unit(rng) < 0.3) // some lines are long enough to wrap
                m.content += pick(kPhrases, std::size(kPhrases), rng);
        } else {
            m.type = QStringLiteral("gift");
            m.itemType = unit(rng) < 0.4 ? QStringLiteral("flower") : QStringLiteral("car");
            m.itemTitle = m.itemType == QLatin1String("flower") ? QStringLiteral("鲜花")
                                                                : QStringLiteral("跑车");
            m.number = 1 + static_cast<int>(unit(rng) * 9);
            m.moneyCost = m.itemType == QLatin1String("flower") ? 0.0 : 100.0;
        }
        out.append(m);
    }
    return out;
}

QList<ItemInfo> catalogue(int count) {
    QList<ItemInfo> items;
    for (int i = 0; i < count; ++i)
        items.append({QStringLiteral("item%1").arg(i), QStringLiteral("礼物%1").arg(i), i * 0.5});
    return items;
}

QByteArray pollReply(int entries, int catalogueSize, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    QJsonArray msgs;
    for (int i = 0; i < entries; ++i) {
        QJsonObject user{{"username", pick(kNames, std::size(kNames), rng)},
                         {"grade", 1 + static_cast<int>(unit(rng) * 40)}};
        QJsonObject msg{{"user", user}};
        QString type;
        const double kind = unit(rng);
        if (kind < 0.70) {
            type = QStringLiteral("chat");
            msg[QStringLiteral("content")] = pick(kPhrases, std::size(kPhrases), rng);
        } else if (kind < 0.95) {
            type = QStringLiteral("gift");
            // Items anywhere in the catalogue, named as the catalogue names them.
            msg[QStringLiteral("itemType")] =
                QStringLiteral("item%1").arg(static_cast<int>(unit(rng) * catalogueSize));
            msg[QStringLiteral("number")] = 1 + static_cast<int>(unit(rng) * 9);
        } else {
            type = QStringLiteral("enter");
        }
        msgs.append(QJsonObject{{"id", i + 1}, {"type", type}, {"msg", msg}});
    }
    return QJsonDocument(QJsonObject{{"next", 2}, {"from", entries}, {"msgs", msgs}})
        .toJson(QJsonDocument::Compact);
}

} // namespace benchdata
