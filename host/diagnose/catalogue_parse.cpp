#include "diagnose/catalogue_parse.h"

#include "text/tag_name.h"

#include <algorithm>
#include <cstring>

#include "catalogue.h"

namespace host {

namespace {

// Collects the events of one load. Offsets are taken against the start of
// the driver's buffer, which holds the string exactly as the server gave it.
struct Collector {
    CatalogueParse* parse = nullptr;
    const char* base = nullptr;

    size_t OffsetOf(const char* token) const { return static_cast<size_t>(token - base); }

    void On(const CatalogueEvent& event) {
        switch (event.Kind) {
        case CATALOGUE_EVENT_BEGIN:
            base = event.Token;
            parse->text.assign(event.Token);
            break;
        case CATALOGUE_EVENT_HEADER: parse->headers.push_back({event.Section, OffsetOf(event.Token)}); break;
        case CATALOGUE_EVENT_STRAY:
            parse->strayTokens.push_back(OffsetOf(event.Token));
            parse->strayTexts.emplace_back(event.Token);
            break;
        case CATALOGUE_EVENT_ENTRY: {
            CatalogueEntry entry;
            entry.kind = event.Section;
            entry.name = event.Token;
            entry.stored = event.Stored == 1;
            entry.offset = OffsetOf(event.Token);
            parse->entries.push_back(std::move(entry));
            break;
        }
        case CATALOGUE_EVENT_FIELD: OnField(event); break;
        case CATALOGUE_EVENT_END: parse->endOffset = OffsetOf(event.Token); break;
        default: break;
        }
    }

    void OnField(const CatalogueEvent& event) {
        if (parse->entries.empty()) {
            return;
        }
        CatalogueEntry& entry = parse->entries.back();
        if (event.Field == 1) {
            entry.dataSet = event.DataSet;
            entry.dataSetToken = event.Token;
            entry.dataSetOffset = OffsetOf(event.Token);
            entry.hasDataSet = true;
        }
        if (event.Header != 0) {
            parse->swallowed.push_back({parse->entries.size() - 1, event.Header, event.Field, OffsetOf(event.Token)});
        }
    }
};

void OnCatalogueEvent(void* context, const CatalogueEvent* event) { static_cast<Collector*>(context)->On(*event); }

std::string ExactKey(int32_t dataSet, const std::string& name) {
    std::string key(reinterpret_cast<const char*>(&dataSet), sizeof dataSet);
    key += name;
    return key;
}

bool IsFoldedBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

}  // namespace

std::pair<int32_t, int32_t> CatalogueParse::Position(size_t offset) const {
    if (lineStarts_.empty()) {
        lineStarts_.push_back(0);
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') lineStarts_.push_back(i + 1);
        }
    }
    const auto next = std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset);
    const size_t line = static_cast<size_t>(next - lineStarts_.begin());
    return {static_cast<int32_t>(line), static_cast<int32_t>(offset - lineStarts_[line - 1] + 1)};
}

std::string CatalogueParse::LineAt(size_t offset) const {
    if (offset > text.size()) return {};
    const size_t start = text.rfind('\n', offset == 0 ? 0 : offset - 1);
    const size_t from = offset == 0 || start == std::string::npos ? 0 : start + 1;
    size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(from, end - from);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

CatalogueParse ObserveCatalogueLoad() {
    CatalogueParse parse;
    Collector collector;
    collector.parse = &parse;
    const CatalogueObserver observer = {OnCatalogueEvent, &collector};
    parse.loaded = LoadTagCatalogue(&observer) == 1;
    return parse;
}

CatalogueParse ParseCatalogue() {
    CatalogueParse parse = ObserveCatalogueLoad();
    FreeTagCatalogue();
    return parse;
}

CatalogueIndex::CatalogueIndex(const CatalogueParse& parse, const CodePage& codePage)
    : parse_(parse), codePage_(codePage) {
    exact_.reserve(parse.entries.size());
    byName_.reserve(parse.entries.size());
    folded_.reserve(parse.entries.size());
    for (size_t i = 0; i < parse.entries.size(); ++i) {
        const CatalogueEntry& entry = parse.entries[i];
        if (!entry.stored) continue;  // the driver does not keep it, so nothing can bind to it
        exact_[ExactKey(entry.dataSet, entry.name)].push_back(i);
        byName_[entry.name].push_back(i);
        folded_[Fold(entry.name)].push_back(i);
    }
}

const std::vector<size_t>& CatalogueIndex::Exact(int32_t dataSet, const std::string& name) const {
    const auto found = exact_.find(ExactKey(dataSet, name));
    return found != exact_.end() ? found->second : none_;
}

const std::vector<size_t>& CatalogueIndex::ByName(const std::string& name) const {
    const auto found = byName_.find(name);
    return found != byName_.end() ? found->second : none_;
}

const std::vector<size_t>& CatalogueIndex::Folded(const std::string& name) const {
    const auto found = folded_.find(Fold(name));
    return found != folded_.end() ? found->second : none_;
}

std::string CatalogueIndex::Fold(const std::string& name) const {
    size_t begin = 0;
    size_t end = name.size();
    while (begin < end && IsFoldedBlank(name[begin])) ++begin;
    while (end > begin && IsFoldedBlank(name[end - 1])) --end;
    std::string folded;
    folded.reserve(end - begin);
    for (size_t i = begin; i < end; ++i) {
        if (name[i] == '\r') continue;
        folded += name[i];
    }
    return FoldLetterCase(folded, codePage_);
}

const char* KindName(int32_t kind) {
    static const char* const kNames[] = {"AI", "AO", "DI", "DO", "DCD", "CALC"};
    return kind >= 1 && kind <= 6 ? kNames[kind - 1] : "";
}

}  // namespace host
