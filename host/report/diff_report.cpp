#include "report/diff_report.h"

#include <nlohmann/json.hpp>
#include <sstream>

#include "page.h"

namespace host {

namespace {

std::string VerdictText(const TagDiagnosis& tag) {
    std::string text = VerdictName(tag.status);
    if (!tag.kind.empty()) text += " " + tag.kind;
    if (!tag.operation.empty()) text += " " + tag.operation;
    if (!tag.code.empty()) text += " [" + tag.code + "]";
    return text;
}

std::string RowHeading(const RowChange& row) {
    std::string heading = row.table == "general" ? std::string("general") : row.table + " " + std::to_string(row.index);
    if (!row.row.empty() && row.table != "general") heading += " (" + row.row + ")";
    return heading;
}

// Text for the page: bytes that are no printable ASCII shown as \xNN, so the
// page is valid UTF-8 whatever the server's names hold.
std::string Ascii(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7F) {
            out += ch;
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string Configured(bool configured) { return configured ? "configures" : "does NOT configure"; }

nlohmann::json VerdictJson(const TagDiagnosis& tag) {
    auto orNull = [](const std::string& s) { return s.empty() ? nlohmann::json(nullptr) : nlohmann::json(s); };
    return {{"status", VerdictName(tag.status)},
            {"kind", orNull(tag.kind)},
            {"operation", orNull(tag.operation)},
            {"code", orNull(tag.code)},
            {"reason", tag.reason}};
}

}  // namespace

std::string DiffText(const CatalogueDiff& diff) {
    std::ostringstream out;
    out << "diff " << diff.oldPath << " -> " << diff.newPath << ": " << diff.tags.size() << " tag change(s)";
    if (diff.withCase) out << "; " << diff.rows.size() << " verdict(s) of " << diff.casePath << " change";
    out << "\n";
    for (const TagChange& c : diff.tags) {
        out << "  " << c.change << " " << VisibleName(c.name, diff.codePage) << " data set " << c.dataSet << " (";
        if (c.oldLine != 0) out << "old line " << c.oldLine << (c.newLine != 0 ? ", " : "");
        if (c.newLine != 0) out << "new line " << c.newLine;
        out << "): " << c.text << "\n";
    }
    if (!diff.withCase) return out.str();
    if (diff.oldConfigured != diff.newConfigured) {
        out << "the case " << Configured(diff.oldConfigured) << " with the old string and "
            << Configured(diff.newConfigured) << " with the new one\n";
    }
    for (const RowChange& r : diff.rows) {
        out << "  " << RowHeading(r);
        if (r.line > 0) out << ", case line " << r.line;
        out << ": " << r.field << " " << VisibleText(r.text) << ": " << VerdictText(r.before) << " -> "
            << VerdictText(r.after) << "\n";
        if (r.after.status == Verdict::Problem) out << "      now: " << r.after.reason << "\n";
    }
    if (diff.rows.empty()) out << "no verdict of the case changes\n";
    return out.str();
}

std::string DiffJson(const CatalogueDiff& diff) {
    using nlohmann::json;
    json tags = json::array();
    for (const TagChange& c : diff.tags) {
        tags.push_back({{"change", c.change},
                        {"name", diff.codePage.Decode(c.name)},
                        {"data_set", c.dataSet},
                        {"old_data_set", c.change == "data-set" ? json(c.oldDataSet) : json(nullptr)},
                        {"old_kinds", c.oldKinds},
                        {"new_kinds", c.newKinds},
                        {"old_line", c.oldLine},
                        {"new_line", c.newLine},
                        {"text", c.text}});
    }
    json out = {{"format", "dcs-host-diff"}, {"version", 2}, {"old", diff.oldPath},
                {"new", diff.newPath},       {"tags", tags}, {"code_page", diff.codePage.Number()}};
    out["case"] = diff.withCase ? json(diff.casePath) : json(nullptr);
    if (diff.withCase) {
        json rows = json::array();
        for (const RowChange& r : diff.rows) {
            rows.push_back({{"table", r.table},
                            {"index", r.index},
                            {"name", r.row},
                            {"line", r.line},
                            {"field", r.field},
                            {"text", r.text},
                            {"before", VerdictJson(r.before)},
                            {"after", VerdictJson(r.after)}});
        }
        out["old_configured"] = diff.oldConfigured;
        out["new_configured"] = diff.newConfigured;
        out["rows"] = rows;
    }
    // Tag names are the server's bytes: what is not UTF-8 is replaced, not refused.
    return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string DiffHtml(const CatalogueDiff& diff) {
    std::ostringstream out;
    const std::string title = "dcs-host diff: " + diff.oldPath + " -> " + diff.newPath;
    out << PageStart(Ascii(title)) << "<h1>" << Escape(Ascii(title)) << "</h1>\n<p>" << diff.tags.size()
        << " tag change(s)";
    if (diff.withCase)
        out << "; " << diff.rows.size() << " verdict(s) of " << Escape(Ascii(diff.casePath)) << " change";
    out << ".</p>\n<h2>Tags</h2>\n<table id=\"tags\"><tr><th>change</th><th>name</th><th>data set</th><th>old line</th>"
        << "<th>new line</th><th>what</th></tr>\n";
    for (const TagChange& c : diff.tags) {
        out << "<tr class=\"" << c.change << "\"><td>" << c.change << "</td><td class=\"name\">"
            << Escape(VisibleName(c.name, diff.codePage)) << "</td><td>" << c.dataSet << "</td><td>"
            << (c.oldLine != 0 ? std::to_string(c.oldLine) : "") << "</td><td>"
            << (c.newLine != 0 ? std::to_string(c.newLine) : "") << "</td><td>" << Escape(Ascii(c.text))
            << "</td></tr>\n";
    }
    out << "</table>\n";
    if (diff.withCase) {
        out << "<h2>Verdicts of the case</h2>\n<p>With the old string the case " << Configured(diff.oldConfigured)
            << "; with the new one it " << Configured(diff.newConfigured) << ".</p>\n"
            << "<table id=\"rows\"><tr><th>row</th><th>case line</th><th>field</th><th>text</th><th>old</th>"
            << "<th>new</th><th>why</th></tr>\n";
        for (const RowChange& r : diff.rows) {
            out << "<tr" << (r.after.status == Verdict::Problem ? " class=\"worse\"" : "") << "><td>"
                << Escape(Ascii(RowHeading(r))) << "</td><td>" << r.line << "</td><td>" << Escape(Ascii(r.field))
                << "</td><td class=\"name\">" << Escape(VisibleText(r.text)) << "</td><td>"
                << Escape(VerdictText(r.before)) << "</td><td>" << Escape(VerdictText(r.after)) << "</td><td>"
                << Escape(Ascii(r.after.reason)) << "</td></tr>\n";
        }
        out << "</table>\n";
    }
    out << PageEnd();
    return out.str();
}

}  // namespace host
