#include "diagnose/row_proposals.h"

#include <map>
#include <stdexcept>

#include "binding.h"
#include "binding_rules.h"
#include "diagnose/catalogue_parse.h"

namespace host {

namespace {

std::string Trim(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return "";
    return text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

const struct {
    MapColumn column;
    const char* name;
} kColumns[] = {{MapColumn::SP, "SP Tag"},
                {MapColumn::SPInit, "SP Init Tag"},
                {MapColumn::OP, "OP Tag"},
                {MapColumn::OPInit, "OP Init Tag"},
                {MapColumn::Mode, "Mode Tag"},
                {MapColumn::PV, "PV Tag"},
                {MapColumn::PVExport, "PV Export Tag"},
                {MapColumn::PVImport, "PV Import Tag"}};

bool IsController(MapColumn column) { return column <= MapColumn::Mode; }

std::string KindsText(uint32_t kinds) {
    std::string text;
    for (int32_t kind = 1; kind <= 6; ++kind) {
        if ((kinds >> kind & 1u) != 0) text += (text.empty() ? "" : ", ") + std::string(KindName(kind));
    }
    return text;
}

// The kind the column's binding takes when `kinds` hold the name; 0 none.
int32_t KindFor(MapColumn column, uint32_t kinds) {
    const BindingWinners w = WinnersOf(kinds);
    switch (column) {
    case MapColumn::SP:
    case MapColumn::OP: return w.controllerRead;
    case MapColumn::SPInit:
    case MapColumn::OPInit:
    case MapColumn::Mode: return w.controllerWrite;
    case MapColumn::PVExport: return w.pvExport;
    case MapColumn::PVImport: return w.pvImport;
    case MapColumn::PV: return w.pvExport != 0 ? w.pvExport : w.pvImport;
    }
    return 0;
}

struct Match {
    uint32_t entry;
    size_t convention;
};

struct Base {
    int32_t dataSet;
    std::string name;
    std::vector<Match> matches;  // in entry order, then convention order
};

}  // namespace

bool IsReadControllerColumn(MapColumn column) {
    const auto col = static_cast<int32_t>(column);
    if (col < CTRL_COL_SP || col > CTRL_COL_MODE) return false;
    const TagColumnRule* rule = TagColumnRuleOf(TAG_TABLE_CTRL, col);
    return rule != nullptr && rule->Use == TAG_USE_READ;
}

bool ServerKeepsValue(int32_t kind) { return kind != TAG_KIND_DCD && kind != TAG_KIND_NONE; }

const char* ColumnLabel(MapColumn column) {
    for (const auto& c : kColumns) {
        if (c.column == column) return c.column >= MapColumn::PV ? "PV Tag" : c.name;
    }
    return "";
}

std::vector<Convention> ParseConventions(const std::string& text, const std::string& file) {
    std::vector<Convention> conventions;
    int32_t line = 0;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string raw = Trim(text.substr(start, end - start));
        start = end + 1;
        ++line;
        if (raw.empty() || raw[0] == '#') continue;
        const std::string at = file + ":" + std::to_string(line) + ": ";
        const size_t equals = raw.find('=');
        if (equals == std::string::npos) throw std::runtime_error(at + "expected COLUMN = PATTERN");
        const std::string name = Trim(raw.substr(0, equals));
        Convention c;
        c.line = line;
        c.pattern = Trim(raw.substr(equals + 1));
        bool known = false;
        for (const auto& column : kColumns) {
            if (name == column.name) {
                c.column = column.column;
                known = true;
            }
        }
        if (!known) {
            throw std::runtime_error(at + "unknown column \"" + name +
                                     "\"; expected SP Tag, SP Init Tag, OP Tag, OP Init Tag, Mode Tag, PV Tag, PV "
                                     "Export Tag or PV Import Tag");
        }
        const size_t base = c.pattern.find("{base}");
        if (base == std::string::npos || c.pattern.find("{base}", base + 1) != std::string::npos) {
            throw std::runtime_error(at + "expected the pattern to hold {base} once, not \"" + c.pattern + "\"");
        }
        c.prefix = c.pattern.substr(0, base);
        c.suffix = c.pattern.substr(base + 6);
        conventions.push_back(std::move(c));
    }
    if (conventions.empty()) throw std::runtime_error(file + ": expected at least one convention");
    return conventions;
}

Proposals Propose(const TagInventory& inventory, const std::vector<Convention>& conventions,
                  const std::vector<bool>& named) {
    Proposals out;
    std::map<std::pair<int32_t, std::string>, size_t> baseIndex;
    std::vector<Base> bases;
    for (uint32_t i = 0; i < inventory.entries.size(); ++i) {
        const InventoryEntry& e = inventory.entries[i];
        // One look per data set and name: a repeated entry is the same tag.
        if (!e.stored || inventory.GroupOf(e).first != i) continue;
        bool matched = false;
        for (size_t c = 0; c < conventions.size(); ++c) {
            const Convention& v = conventions[c];
            if (e.name.size() <= v.prefix.size() + v.suffix.size() ||
                e.name.compare(0, v.prefix.size(), v.prefix) != 0 ||
                e.name.compare(e.name.size() - v.suffix.size(), v.suffix.size(), v.suffix) != 0) {
                continue;
            }
            const std::string base = e.name.substr(v.prefix.size(), e.name.size() - v.prefix.size() - v.suffix.size());
            const auto found = baseIndex.emplace(std::make_pair(e.dataSet, base), bases.size());
            if (found.second) bases.push_back({e.dataSet, base, {}});
            bases[found.first->second].matches.push_back({i, c});
            matched = true;
        }
        if (!matched) out.unmatched.push_back(i);
    }
    auto isNamed = [&](uint32_t entry) { return !named.empty() && named[entry]; };
    for (const Base& base : bases) {
        ControllerProposal ctrl;
        ctrl.base = base.name;
        ctrl.dataSet = base.dataSet;
        bool anyController = false;
        for (int32_t col = 1; col <= 5; ++col) {
            const auto column = static_cast<MapColumn>(col);
            ProposedTag& tag = ctrl.tags[col - 1];
            size_t best = conventions.size();
            for (const Match& m : base.matches) {
                if (conventions[m.convention].column != column) continue;
                anyController = true;
                const InventoryEntry& e = inventory.entries[m.entry];
                const int32_t kind = KindFor(column, inventory.GroupOf(e).kinds);
                if (kind == 0) {
                    if (tag.name.empty())
                        tag.why = "\"" + e.name + "\" is " + KindsText(inventory.GroupOf(e).kinds) + ", which the " +
                                  ColumnLabel(column) + " cannot take";
                    continue;
                }
                if (m.convention >= best) continue;
                best = m.convention;
                tag = {e.name, m.entry, kind, conventions[m.convention].pattern, ""};
            }
        }
        if (anyController) {
            // A row lacking a text the configuration requires would stop it.
            std::string missing;
            for (int32_t col = 1; col <= 5; ++col) {
                const TagColumnRule* rule = TagColumnRuleOf(TAG_TABLE_CTRL, col);
                if (rule != nullptr && rule->RequiredMessage != nullptr && ctrl.tags[col - 1].name.empty()) {
                    missing +=
                        (missing.empty() ? "" : " and no ") + std::string(ColumnLabel(static_cast<MapColumn>(col)));
                }
            }
            ctrl.proposed = missing.empty();
            if (!ctrl.proposed) {
                ctrl.why = "no " + missing + ", which a controller needs";
            } else if (isNamed(ctrl.tags[2].entry)) {
                ctrl.proposed = false;
                ctrl.why = "the case has it already (its OP Tag is named there)";
                ++out.skippedByCase;
            }
            out.controllers.push_back(std::move(ctrl));
        }
        for (const Match& m : base.matches) {
            const MapColumn column = conventions[m.convention].column;
            if (IsController(column)) continue;
            const InventoryEntry& e = inventory.entries[m.entry];
            const uint32_t kinds = inventory.GroupOf(e).kinds;
            PVProposal pv;
            pv.base = base.name;
            pv.dataSet = base.dataSet;
            pv.isExport = column == MapColumn::PVExport || (column == MapColumn::PV && WinnersOf(kinds).pvExport != 0);
            const int32_t kind = KindFor(pv.isExport ? MapColumn::PVExport : MapColumn::PVImport, kinds);
            pv.tag = {e.name, m.entry, kind, conventions[m.convention].pattern, ""};
            if (kind == 0) {
                pv.proposed = false;
                pv.why = "\"" + e.name + "\" is " + KindsText(kinds) + ", which a PV export cannot take";
            } else if (isNamed(m.entry)) {
                pv.proposed = false;
                pv.why = "the case has it already";
                ++out.skippedByCase;
            }
            out.pvRows.push_back(std::move(pv));
        }
    }
    return out;
}

}  // namespace host
