#include "case/case_model.h"

namespace host {

std::string Located(const std::string& file, int line, const std::string& message) {
    return line > 0 ? file + ":" + std::to_string(line) + ": " + message : file + ": " + message;
}

std::string Located(const std::string& file, int line, int column, const std::string& message) {
    return column > 0 && line > 0 ? Located(file + ":" + std::to_string(line), column, message)
                                  : Located(file, line, message);
}

const char* TagKindName(TagKind kind) {
    switch (kind) {
    case TagKind::AI: return "AI";
    case TagKind::AO: return "AO";
    case TagKind::DI: return "DI";
    case TagKind::DO: return "DO";
    case TagKind::CALC: return "CALC";
    }
    return "?";
}

bool IsIntegerKind(TagKind kind) { return kind == TagKind::DI || kind == TagKind::DO; }

const char* ActionName(Action action) {
    switch (action) {
    case Action::Start: return "start";
    case Action::Stop: return "stop";
    case Action::TimeZero: return "time_zero";
    case Action::SetTag: return "set_tag";
    }
    return "?";
}

std::string Located(const SourcePos& at, const std::string& message) {
    return Located(at.file, at.line, at.column, message);
}

const SourcePos* WhereGiven(const std::vector<KeySource>& given, const std::string& key) {
    for (const KeySource& k : given) {
        if (k.key == key) return &k.at;
    }
    return nullptr;
}

}  // namespace host
