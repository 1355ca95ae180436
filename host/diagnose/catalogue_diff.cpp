#include "diagnose/catalogue_diff.h"

#include <map>
#include <utility>

#include "diagnose/catalogue_parse.h"

namespace host {

namespace {

struct Held {
    uint32_t kinds = 0;
    int32_t count[7] = {};  // entries per kind
    int32_t line = 0;       // of the first entry
};

using Key = std::pair<std::string, int32_t>;  // name, data set: sorts by name first

std::map<Key, Held> HeldTags(const TagInventory& inventory) {
    std::map<Key, Held> held;
    for (const InventoryEntry& e : inventory.entries) {
        if (!e.stored) continue;  // the driver does not keep it: nothing binds to it
        Held& h = held[{e.name, e.dataSet}];
        if (h.kinds == 0) h.line = e.line;
        h.kinds |= 1u << e.kind;
        ++h.count[e.kind];
    }
    return held;
}

std::string KindsText(const Held* h) {
    if (h == nullptr) return "";
    std::string text;
    for (int32_t kind = 1; kind <= 6; ++kind) {
        if (h->count[kind] == 0) continue;
        text += (text.empty() ? "" : ", ") + std::string(KindName(kind));
        if (h->count[kind] > 1) text += " x" + std::to_string(h->count[kind]);
    }
    return text;
}

std::string Kind(int32_t kind) { return kind != 0 ? KindName(kind) : "nothing"; }

// How the uses that take the name change with its kinds; empty when none does.
std::string BindingChange(uint32_t before, uint32_t after) {
    const BindingWinners was = WinnersOf(before);
    const BindingWinners now = WinnersOf(after);
    const struct {
        const char* use;
        int32_t was;
        int32_t now;
    } uses[] = {{"a controller's SP or OP Tag", was.controllerRead, now.controllerRead},
                {"its SP Init, OP Init or Mode Tag", was.controllerWrite, now.controllerWrite},
                {"a PV export", was.pvExport, now.pvExport},
                {"a PV import", was.pvImport, now.pvImport}};
    std::string text;
    for (const auto& u : uses) {
        if (u.was == u.now) continue;
        text += (text.empty() ? "" : "; ") + std::string(u.use) + " now takes " + Kind(u.now) + " (was " + Kind(u.was) +
                ")";
    }
    return text;
}

TagChange Change(const char* change, const Key& key, const Held* before, const Held* after) {
    TagChange c;
    c.change = change;
    c.name = key.first;
    c.dataSet = key.second;
    c.oldKinds = KindsText(before);
    c.newKinds = KindsText(after);
    c.oldLine = before != nullptr ? before->line : 0;
    c.newLine = after != nullptr ? after->line : 0;
    return c;
}

bool SameTag(const TagDiagnosis& a, const TagDiagnosis& b) {
    return a.status == b.status && a.kind == b.kind && a.operation == b.operation && a.code == b.code;
}

}  // namespace

std::vector<TagChange> DiffInventories(const TagInventory& before, const TagInventory& after) {
    const std::map<Key, Held> was = HeldTags(before);
    const std::map<Key, Held> now = HeldTags(after);
    std::vector<TagChange> changes;
    auto w = was.begin();
    auto n = now.begin();
    while (w != was.end() || n != now.end()) {
        if (n == now.end() || (w != was.end() && w->first < n->first)) {
            TagChange c = Change("removed", w->first, &w->second, nullptr);
            c.text = "no longer in the string (" + c.oldKinds + ")";
            changes.push_back(std::move(c));
            ++w;
        } else if (w == was.end() || n->first < w->first) {
            TagChange c = Change("added", n->first, nullptr, &n->second);
            c.text = "new in the string (" + c.newKinds + ")";
            changes.push_back(std::move(c));
            ++n;
        } else {
            const Held& a = w->second;
            const Held& b = n->second;
            if (a.kinds != b.kinds) {
                TagChange c = Change("kind", w->first, &a, &b);
                const std::string binding = BindingChange(a.kinds, b.kinds);
                c.text = c.oldKinds + " -> " + c.newKinds + (binding.empty() ? "" : ": " + binding);
                changes.push_back(std::move(c));
            } else {
                for (int32_t kind = 1; kind <= 6; ++kind) {
                    if (a.count[kind] == b.count[kind]) continue;
                    TagChange c = Change("duplicate", w->first, &a, &b);
                    c.text = std::string("listed ") + std::to_string(b.count[kind]) + " times in the " +
                             KindName(kind) + " list (was " + std::to_string(a.count[kind]) + ")";
                    changes.push_back(std::move(c));
                    break;
                }
            }
            ++w;
            ++n;
        }
    }
    // A name that leaves one data set and arrives in another has moved: one
    // change, not two. Within a name the changes stand by data set.
    std::vector<TagChange> merged;
    for (size_t i = 0; i < changes.size(); ++i) {
        TagChange& c = changes[i];
        if (c.change == "removed" || c.change == "added") {
            const std::string other = c.change == "removed" ? "added" : "removed";
            for (size_t j = i + 1; j < changes.size() && changes[j].name == c.name; ++j) {
                if (changes[j].change != other) continue;
                TagChange& r = c.change == "removed" ? c : changes[j];
                TagChange& a = c.change == "removed" ? changes[j] : c;
                TagChange moved = a;
                moved.change = "data-set";
                moved.oldDataSet = r.dataSet;
                moved.oldKinds = r.oldKinds;
                moved.oldLine = r.oldLine;
                moved.text = "moves from data set " + std::to_string(r.dataSet) + " (" + r.oldKinds + ") to " +
                             std::to_string(a.dataSet) + " (" + a.newKinds + ")";
                changes[j].change.clear();  // taken into the move
                c = std::move(moved);
                break;
            }
        }
        if (!c.change.empty()) merged.push_back(std::move(c));
    }
    return merged;
}

std::vector<RowChange> DiffVerdicts(const Diagnosis& before, const Diagnosis& after) {
    std::vector<RowChange> changes;
    for (size_t r = 0; r < before.rows.size() && r < after.rows.size(); ++r) {
        const RowDiagnosis& a = before.rows[r];
        const RowDiagnosis& b = after.rows[r];
        for (size_t t = 0; t < a.tags.size() && t < b.tags.size(); ++t) {
            if (SameTag(a.tags[t], b.tags[t])) continue;
            changes.push_back(
                {a.table, a.index, a.name, a.line, a.tags[t].field, a.tags[t].text, a.tags[t], b.tags[t]});
        }
    }
    return changes;
}

int ExitStatusOf(const CatalogueDiff& diff) {
    if (diff.withCase) return !diff.rows.empty() || diff.oldConfigured != diff.newConfigured ? 1 : 0;
    return diff.tags.empty() ? 0 : 1;
}

}  // namespace host
