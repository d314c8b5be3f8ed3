#include "sms/ConcatJoiner.h"

#include <algorithm>
#include <map>
#include <tuple>
#include <vector>

namespace pdu {
namespace {

using Key = std::tuple<QString, int, bool, int>; // sender, reference, wide reference, part count

struct Group {
    std::vector<const InboxPart*> parts;
    int lowestIndex = 0;
};

JoinedSms join(const Group& g, int total, bool expired, bool& ready) {
    std::vector<const InboxPart*> bySequence(std::size_t(total), nullptr);
    JoinedSms sms;
    for (const InboxPart* p : g.parts) {
        sms.indices.append(p->index);
        auto& slot = bySequence[std::size_t(p->sequence - 1)];
        if (slot == nullptr || p->index < slot->index)
            slot = p; // a part listed twice: the lower position's copy, both deleted
    }
    std::sort(sms.indices.begin(), sms.indices.end());
    sms.complete = std::none_of(bySequence.begin(), bySequence.end(), [](const InboxPart* p) { return !p; });
    ready = sms.complete || expired;
    for (const InboxPart* p : bySequence) {
        if (p == nullptr) {
            sms.text += kMissingPart;
            continue;
        }
        sms.text += p->text;
        if (sms.sender.isEmpty())
            sms.sender = p->sender;
        if (!sms.sent.isValid())
            sms.sent = p->sent;
    }
    return sms;
}

QDateTime firstSeen(const Group& g) {
    QDateTime first;
    for (const InboxPart* p : g.parts) {
        if (p->firstSeen.isValid() && (!first.isValid() || p->firstSeen < first))
            first = p->firstSeen;
    }
    return first;
}

} // namespace

JoinResult joinParts(const QList<InboxPart>& parts, const QDateTime& now, std::chrono::seconds maxWait) {
    std::map<Key, Group> groups;
    std::vector<std::pair<int, JoinedSms>> ready;
    for (const InboxPart& p : parts) {
        const bool single = !p.concatenated || p.total <= 1 || p.total > 255 || p.sequence < 1 || p.sequence > p.total;
        if (single) {
            ready.push_back({p.index, JoinedSms{p.sender, p.sent, p.text, {p.index}, true}});
            continue;
        }
        Group& g = groups[Key{p.sender, p.reference, p.wideReference, p.total}];
        if (g.parts.empty() || p.index < g.lowestIndex)
            g.lowestIndex = p.index;
        g.parts.push_back(&p);
    }
    JoinResult result;
    for (const auto& [key, g] : groups) {
        const QDateTime seen = firstSeen(g);
        // A part never stamped counts as seen now: it waits its full time from this listing on.
        const bool expired = seen.isValid() && seen.secsTo(now) >= maxWait.count();
        bool isReady = false;
        JoinedSms sms = join(g, std::get<3>(key), expired, isReady);
        if (isReady) {
            ready.push_back({g.lowestIndex, std::move(sms)});
        } else {
            result.waiting += sms.indices;
        }
    }
    std::stable_sort(ready.begin(), ready.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& r : ready)
        result.ready.append(std::move(r.second));
    std::sort(result.waiting.begin(), result.waiting.end());
    return result;
}

} // namespace pdu
