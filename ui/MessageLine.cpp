#include "ui/MessageLine.h"

#include "client/MsgsInfo.h"

namespace {

const QColor kBadgeColor(Qt::yellow);
const QColor kNameColor(64, 123, 201);
const QColor kTextColor(Qt::white);
const QColor kPricedItemColor(255, 215, 0);
const QColor kFreeItemColor(Qt::red);

constexpr int kBadgeMinGrade = 11;

void appendBadge(QVector<LinePiece>& pieces, qint32 grade) {
    if (grade >= kBadgeMinGrade)
        pieces.append(
            {QStringLiteral("【LV") + QString::number(grade) + QStringLiteral("】"), kBadgeColor});
}

} // namespace

QVector<LinePiece> composeMessageLine(const MsgsInfo& msg) {
    QVector<LinePiece> pieces;
    if (msg.type == QLatin1String("chat")) {
        appendBadge(pieces, msg.grade);
        pieces.append({msg.username + QLatin1Char(':'), kNameColor});
        pieces.append({msg.content, kTextColor});
        pieces.append({QStringLiteral("\n"), kTextColor});
    } else if (msg.type == QLatin1String("gift")) {
        const QString measure =
            msg.itemType.compare(QLatin1String("flower"), Qt::CaseInsensitive) == 0
                ? QStringLiteral("朵")
                : QStringLiteral("个");
        const QColor itemColor = msg.moneyCost > 0 ? kPricedItemColor : kFreeItemColor;
        appendBadge(pieces, msg.grade);
        pieces.append({msg.username, kNameColor});
        pieces.append({QStringLiteral(" 送出了 "), kTextColor});
        // One placeholder at a time, so a title that itself holds "%2" stays literal.
        pieces.append(
            {QStringLiteral("【%1】 %2%3").arg(msg.itemTitle, QString::number(msg.number), measure),
             itemColor});
        pieces.append({QStringLiteral("\n"), itemColor});
    }
    return pieces;
}
