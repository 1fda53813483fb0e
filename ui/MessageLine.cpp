#include "ui/MessageLine.h"

#include "client/MsgsInfo.h"

#include <algorithm>

namespace {

const QColor kBadgeColor(Qt::yellow);
const QColor kNameColor(64, 123, 201);
const QColor kTextColor(Qt::white);
const QColor kPricedItemColor(255, 215, 0);
const QColor kFreeItemColor(Qt::red);

constexpr int kBadgeMinGrade = 11;

constexpr char16_t kFirstStrongIsolate = 0x2068;
constexpr char16_t kPopDirectionalIsolate = 0x2069;

// Characters that can move text outside their own run: right-to-left letters and numbers
// (they decide how neutrals next to them go) and the explicit direction controls.
bool movesNeighbours(uint c) {
    switch (QChar::direction(c)) {
    case QChar::DirR:
    case QChar::DirAL:
    case QChar::DirAN:
    case QChar::DirLRE:
    case QChar::DirRLE:
    case QChar::DirLRO:
    case QChar::DirRLO:
    case QChar::DirPDF:
    case QChar::DirLRI:
    case QChar::DirRLI:
    case QChar::DirFSI:
    case QChar::DirPDI:
        return true;
    default:
        return false;
    }
}

} // namespace

QString isolatedText(const QString& text) {
    const QVector<uint> chars = text.toUcs4();
    if (std::none_of(chars.cbegin(), chars.cend(), movesNeighbours))
        return text; // left as it is: ordinary lines do not change at all
    // Each paragraph of it in an isolate of its own (a paragraph break ends every isolate).
    // Inside, a closing isolate without its opening one is dropped, as it would close ours,
    // and the ones left open are closed, as ours would close them instead; our closing one
    // then ends every embedding and override opened inside.
    QString out;
    out.reserve(text.size() + 2);
    out += QChar(kFirstStrongIsolate);
    int open = 0;
    for (const uint c : chars) {
        const QChar::Direction direction = QChar::direction(c);
        if (direction == QChar::DirPDI) {
            if (open == 0)
                continue;
            --open;
        } else if (direction == QChar::DirLRI || direction == QChar::DirRLI ||
                   direction == QChar::DirFSI) {
            ++open;
        } else if (direction == QChar::DirB) {
            out += QString(open + 1, QChar(kPopDirectionalIsolate));
            out += QString::fromUcs4(&c, 1);
            out += QChar(kFirstStrongIsolate);
            open = 0;
            continue;
        }
        out += QString::fromUcs4(&c, 1);
    }
    out += QString(open + 1, QChar(kPopDirectionalIsolate));
    return out;
}

namespace {

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
        pieces.append({isolatedText(msg.username) + QLatin1Char(':'), kNameColor});
        pieces.append({isolatedText(msg.content), kTextColor});
        pieces.append({QStringLiteral("\n"), kTextColor});
    } else if (msg.type == QLatin1String("gift")) {
        const QString measure =
            msg.itemType.compare(QLatin1String("flower"), Qt::CaseInsensitive) == 0
                ? QStringLiteral("朵")
                : QStringLiteral("个");
        const QColor itemColor = msg.moneyCost > 0 ? kPricedItemColor : kFreeItemColor;
        appendBadge(pieces, msg.grade);
        pieces.append({isolatedText(msg.username), kNameColor});
        pieces.append({QStringLiteral(" 送出了 "), kTextColor});
        // One placeholder at a time, so a title that itself holds "%2" stays literal.
        pieces.append({QStringLiteral("【%1】 %2%3")
                           .arg(isolatedText(msg.itemTitle), QString::number(msg.number), measure),
                       itemColor});
        pieces.append({QStringLiteral("\n"), itemColor});
    }
    return pieces;
}
