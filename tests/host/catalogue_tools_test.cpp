// The catalogue tools against the driver's own parse and checker: each note
// of tags, each kind of change of diff, each convention of map on small
// strings; export and read back for every example case, and the map of the
// plant's string checked.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "case/expectations.h"
#include "case/io_list_writer.h"
#include "check_support.h"
#include "commands/catalogue_commands.h"
#include "commands/commands.h"
#include "diagnose/catalogue_diff.h"
#include "diagnose/check_case.h"
#include "diagnose/row_proposals.h"
#include "report/diff_report.h"
#include "report/json_report.h"
#include "report/tags_report.h"
#include "text/code_page.h"

namespace {

namespace fs = std::filesystem;

const std::string kPadding = "*DO*\nPADDING_SO_THE_STRING_IS_NOT_EMPTY,-,99\n";

host::TagInventory Inventory(const std::string& text) {
    MrxStandin_Reset();
    User32Standin_SetEcho(0);
    MrxStandin_SetInitString(text.c_str());
    return host::TakeInventory("test.mrx");
}

// The note codes of the first entry with this name, space-separated.
std::string NotesOfName(const host::TagInventory& inv, const std::string& name) {
    for (size_t i = 0; i < inv.entries.size(); ++i) {
        if (inv.entries[i].name != name) continue;
        std::string codes;
        for (const host::TagNote& note : host::NotesOf(inv, i)) codes += (codes.empty() ? "" : " ") + note.code;
        return codes;
    }
    return "(no such entry)";
}

TEST(Tags, EachNote) {
    const struct {
        const char* what;
        std::string text;
        const char* name;
        const char* notes;
    } cases[] = {
        {"plain", "*AI*\nA,-,1,0,1\n" + kPadding, "A", ""},
        {"duplicate in the list", "*AI*\nA,-,1,0,1\nA,-,1,0,1\n" + kPadding, "A", "duplicate"},
        {"another data set is no duplicate", "*AI*\nA,-,1,0,1\nA,-,2,0,1\n" + kPadding, "A", ""},
        {"other list", "*AI*\nA,-,1,0,1\n*CALC*\nA,-,1\n" + kPadding, "A", "other-lists"},
        {"header taken", "*AI*\nA,-,1,0\n*AO*\nB,-,1,0,1\n" + kPadding, "A", "header-taken"},
        {"runs on", "*DI*\nA,-\n1\n" + kPadding, "A", "runs-on"},
        {"quoted line feed is no run-on", "*DI*\n\"A\nB\",-,1\n" + kPadding, "A\nB", ""},
        {"cut short", kPadding + "*AI*\nA,-,1", "A", "cut-short"},
    };
    for (const auto& c : cases) {
        const host::TagInventory inv = Inventory(c.text);
        EXPECT_EQ(NotesOfName(inv, c.name), c.notes) << c.what;
    }
    // An entry the full list did not keep (a load of 32,768 tags is the
    // driver's own test; under the sanitizers it takes half a minute).
    host::TagInventory full = Inventory("*DI*\nD,-,1\n" + kPadding);
    full.entries[0].stored = false;
    EXPECT_EQ(NotesOfName(full, "D"), "list-full");

    // Which list wins, as the note words it.
    const host::TagInventory inv = Inventory("*AI*\nA,-,1,0,1\n*AO*\nA,-,1,0,1\n*CALC*\nA,-,1\n" + kPadding);
    const std::string text = host::NotesOf(inv, 0).at(0).text;
    EXPECT_NE(text.find("SP or OP Tag takes CALC"), std::string::npos) << text;
    EXPECT_NE(text.find("a PV export takes AI, a PV import AI"), std::string::npos) << text;

    // A name repeated thirty times: the note names ten places and counts the rest.
    std::string repeated = "*AI*\n";
    for (int i = 0; i < 30; ++i) repeated += "R,-,1,0,1\n";
    const host::TagInventory many = Inventory(repeated + kPadding);
    EXPECT_EQ(
        host::NotesOf(many, 0).at(0).text,
        "also in the AI list on line 3, line 4, line 5, line 6, line 7, line 8, line 9, line 10, line 11, line 12 "
        "and 19 more places");
}

TEST(Tags, NamesAndJsonStayReadable) {
    // Names are shown as their code page reads them; what reads as nothing
    // visible (controls, a no-break space, an undefined byte) is escaped.
    const struct {
        int codePage;
        std::string name;
        std::string shown;
    } visible[] = {
        {1252, "A \r\t\x01\xE9\"\\", "\"A \\r\\t\\x01\xC3\xA9\\\"\\\\\""},
        {1252, "\x8C\x81\xA0", "\"\xC5\x92\\x81\\xA0\""},
        {1250, "\x8C\xA3", "\"\xC5\x9A\xC5\x81\""},
    };
    for (const auto& v : visible) {
        EXPECT_EQ(host::VisibleName(v.name, *host::CodePage::Find(v.codePage)), v.shown) << v.codePage;
    }
    host::TagInventory inv = Inventory("*AI*\n\"BAD \xE9\",-,1,0,1\n\xC3\xA9,-,1,0,1\n" + kPadding);
    host::TagListing listing;
    listing.inventory = &inv;
    listing.picked = {0, 1};
    std::ostringstream json;
    host::WriteTagsJson(json, listing);
    const nlohmann::json parsed = nlohmann::json::parse(json.str());  // valid whatever the bytes
    // The names are bytes of the inventory's code page (1252 unless told).
    EXPECT_EQ(parsed["code_page"], 1252);
    EXPECT_EQ(parsed["tags"][0]["name"], "BAD \xC3\xA9");
    EXPECT_EQ(parsed["tags"][1]["name"], "\xC3\x83\xC2\xA9");
    inv.codePage = *host::CodePage::Find(1250);
    std::ostringstream text;
    host::WriteTagsText(text, listing);
    EXPECT_NE(text.str().find("\"BAD \xC3\xA9\""), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("\"\xC4\x82\xC2\xA9\""), std::string::npos) << text.str();  // 1250: C3 is Ă
}

TEST(Tags, JsonIsLaidOutAsTheWholeDocumentDumped) {
    // Written an entry at a time, yet byte for byte what dumping the whole
    // document gives, as every other JSON output is: no entry, one, and
    // entries with notes and a control character.
    host::TagInventory inv = Inventory("*AI*\nA,-,1,0,1\nA,-,1,0,1\n*DI*\n\"B\x01\",-,2,0,1\n" + kPadding);
    for (const std::vector<uint32_t>& picked : {std::vector<uint32_t>{}, {0}, {0, 1, 2, 3}}) {
        host::TagListing listing;
        listing.inventory = &inv;
        listing.picked = picked;
        listing.unusedBy = picked.size() == 1 ? "case <1>.toml" : "";
        std::ostringstream json;
        host::WriteTagsJson(json, listing);
        EXPECT_EQ(json.str(), nlohmann::ordered_json::parse(json.str()).dump(2) + "\n") << picked.size();
    }
    EXPECT_NE(host::NotesOf(inv, 0).size(), 0u) << "the layout of notes goes untested";
}

TEST(Diff, EachKindOfChange) {
    const std::string base = "*AI*\nA,-,1,0,1\nB,-,1,0,1\nC,-,1,0,1\nD,-,1,0,1\n" + kPadding;
    const struct {
        const char* what;
        std::string after;
        const char* change;  // of the one change expected
        const char* name;
    } cases[] = {
        {"added", base + "*AI*\nE,-,1,0,1\n", "added", "E"},
        {"removed", "*AI*\nA,-,1,0,1\nB,-,1,0,1\nC,-,1,0,1\n" + kPadding, "removed", "D"},
        {"data set", "*AI*\nA,-,2,0,1\nB,-,1,0,1\nC,-,1,0,1\nD,-,1,0,1\n" + kPadding, "data-set", "A"},
        {"kind", "*AI*\nA,-,1,0,1\nB,-,1,0,1\nC,-,1,0,1\n*AO*\nD,-,1,0,1\n" + kPadding, "kind", "D"},
        {"duplicate", base + "*AI*\nB,-,1,0,1\n", "duplicate", "B"},
        {"order only: no change", "*AI*\nD,-,1,0,1\nC,-,1,0,1\nB,-,1,0,1\nA,-,1,0,1\n" + kPadding, "", ""},
    };
    for (const auto& c : cases) {
        const std::vector<host::TagChange> changes = host::DiffInventories(Inventory(base), Inventory(c.after));
        if (c.change[0] == '\0') {
            EXPECT_TRUE(changes.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(changes.size(), 1u) << c.what;
        EXPECT_EQ(changes[0].change, c.change) << c.what;
        EXPECT_EQ(changes[0].name, c.name) << c.what;
    }
    // A second list that takes over a binding says which use changes.
    const auto changes = host::DiffInventories(Inventory(base), Inventory(base + "*CALC*\nA,-,1\n"));
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_NE(changes[0].text.find("SP or OP Tag now takes CALC (was AI)"), std::string::npos) << changes[0].text;
    EXPECT_EQ(changes[0].text.find("PV export now"), std::string::npos) << "the first list still wins for PV rows";
}

TEST(Diff, VerdictsOfACase) {
    host::Case c;
    c.controllers.push_back(checktest::Controller(1, {"SP", "", "OP", "OPI", "MODE"}));
    c.pvExports.push_back(checktest::PVRow<host::PVExportCase>(1, "PV"));
    const std::string before =
        "*AI*\nSP,-,1,0,1\nOPI,-,1,0,1\nPV,-,1,0,1\n*AO*\nOP,-,1,0,1\n*DI*\nMODE,-,1\n" + kPadding;
    const std::string after = "*AI*\nSP,-,1,0,1\nOPI,-,1,0,1\nPV,-,2,0,1\n*AO*\nOP,-,1,0,1\nMODE,-,1,0,1\n" + kPadding;
    // Values for the reads, so that only the strings decide the verdicts.
    const std::vector<std::pair<int32_t, std::pair<int32_t, std::string>>> values = {{MRX_KIND_AI, {1, "SP"}},
                                                                                     {MRX_KIND_AO, {1, "OP"}}};
    const std::vector<host::RowChange> rows =
        host::DiffVerdicts(checktest::Check(c, before, values), checktest::Check(c, after, values));
    std::set<std::string> changed;
    for (const host::RowChange& r : rows) changed.insert(r.table + " " + r.field + " " + r.after.code);
    EXPECT_EQ(changed,
              (std::set<std::string>{"controller Mode Tag kind-not-allowed", "pv_export PV Tag other-data-set"}));
    EXPECT_TRUE(host::DiffVerdicts(checktest::Check(c, before), checktest::Check(c, before)).empty());
}

// The proposal of each column for a base, as "SP=name ...", and the PV rows.
std::string Proposed(const host::Proposals& p) {
    std::string out;
    for (const host::ControllerProposal& c : p.controllers) {
        out += "ctrl " + c.base + (c.proposed ? "" : "(no)") + ":";
        for (const host::ProposedTag& t : c.tags) out += " " + (t.name.empty() ? "-" : t.name);
        out += "; ";
    }
    for (const host::PVProposal& v : p.pvRows) {
        out += std::string(v.isExport ? "export " : "import ") + v.tag.name + (v.proposed ? "" : "(no)") + "; ";
    }
    return out;
}

TEST(Map, EachConvention) {
    const std::vector<host::Convention> standard = host::ParseConventions(host::DefaultConventions(), "default");
    const struct {
        const char* what;
        std::string text;
        std::string conventions;  // empty: the default ones
        const char* proposed;
    } cases[] = {
        {"every column", "*AI*\nF.SP,-,1,0,1\nF.SPINIT,-,1,0,1\nF.OP,-,1,0,1\nF.OPINIT,-,1,0,1\n*DI*\nF.MODE,-,1\n", "",
         "ctrl F: F.SP F.SPINIT F.OP F.OPINIT F.MODE; "},
        {"SP_INIT spelling", "*AI*\nF.SP_INIT,-,1,0,1\nF.OP,-,1,0,1\nF.OPINIT,-,1,0,1\n", "",
         "ctrl F: - F.SP_INIT F.OP F.OPINIT -; "},
        {"the first pattern wins", "*AI*\nF.SP_INIT,-,1,0,1\nF.SPINIT,-,1,0,1\nF.OP,-,1,0,1\nF.OPINIT,-,1,0,1\n", "",
         "ctrl F: - F.SPINIT F.OP F.OPINIT -; "},
        {"a written column takes no AO", "*AO*\nF.OP,-,1,0,1\nF.OPINIT,-,1,0,1\n", "", "ctrl F(no): - - F.OP - -; "},
        {"no OP Init: no row", "*AI*\nF.SP,-,1,0,1\nF.OP,-,1,0,1\n", "", "ctrl F(no): F.SP - F.OP - -; "},
        {"PV of a writable kind", "*CALC*\nT.PV,-,1\n", "", "export T.PV; "},
        {"PV of a read-only kind", "*AO*\nT.PV,-,1,0,1\n", "", "import T.PV; "},
        {"PV Export Tag only", "*AO*\nT.PV,-,1,0,1\n", "PV Export Tag = {base}.PV", "export T.PV(no); "},
        {"PV Import Tag", "*AI*\nT.MV,-,1,0,1\n", "PV Import Tag = {base}.MV", "import T.MV; "},
        {"prefix patterns", "*AI*\nSP_F,-,1,0,1\nOP_F,-,1,0,1\nOPI_F,-,1,0,1\n",
         "SP Tag = SP_{base}\nOP Tag = OP_{base}\nOP Init Tag = OPI_{base}", "ctrl F: SP_F - OP_F OPI_F -; "},
        {"data sets apart", "*AI*\nF.OP,-,1,0,1\nF.OPINIT,-,2,0,1\n", "",
         "ctrl F(no): - - F.OP - -; ctrl F(no): - - - F.OPINIT -; "},
        {"letter case counts", "*AI*\nF.op,-,1,0,1\n", "", ""},
    };
    for (const auto& c : cases) {
        const std::vector<host::Convention> conventions =
            c.conventions.empty() ? standard : host::ParseConventions(c.conventions, "test");
        const host::Proposals p = host::Propose(Inventory(c.text + kPadding), conventions, {});
        EXPECT_EQ(Proposed(p), c.proposed) << c.what;
    }
    EXPECT_THROW(host::ParseConventions("SP Tag = {base}.SP.{base}", "x"), std::runtime_error);
    EXPECT_THROW(host::ParseConventions("Set Point = {base}.SP", "x"), std::runtime_error);
}

// The check's JSON without what names the files and lines.
nlohmann::json CheckJson(const host::Case& c) {
    checktest::ClearFlagBindings();
    nlohmann::json json = nlohmann::json::parse(host::JsonReport(host::DiagnoseQuietly(checktest::TheDriver(), c)));
    json.erase("case");
    json.erase("init_string");
    for (auto& row : json["rows"]) row.erase("line");
    return json;
}

// What a case holds for the driver and the run, whichever file it came from.
std::string Dump(const host::Case& c) {
    std::ostringstream out;
    // By label: the TOML reader hands keys over sorted, a list in its columns' order.
    auto fields = [&](const std::vector<host::FieldValue>& values) {
        std::set<std::string> sorted;
        for (const host::FieldValue& f : values)
            sorted.insert(f.label + "=" + (f.isText ? f.text : std::to_string(f.integer)));
        for (const std::string& f : sorted) out << " " << f;
    };
    out << "steps " << (c.steps ? *c.steps : -1) << "\n";
    for (const host::TagValue& t : c.tags)
        out << "tag " << static_cast<int>(t.kind) << " " << t.dataSet << " " << t.name << " " << t.value << "\n";
    out << "general";
    fields(c.general);
    for (const host::ControllerCase& r : c.controllers) {
        out << "\nctrl " << r.name << " " << (r.opEnabled ? *r.opEnabled : -9) << " " << (r.mode ? *r.mode : -9) << " "
            << (r.sp ? *r.sp : -9) << " " << (r.op ? *r.op : -9);
        fields(r.fields);
    }
    for (const host::PVExportCase& r : c.pvExports) {
        const host::Response& x = r.response;
        out << "\npvx " << r.name << " " << r.active << " " << x.follows << " " << x.constant << " " << x.controller
            << " " << x.gain << " " << x.timeConstant << " " << x.initial;
        fields(r.fields);
    }
    for (const host::PVImportCase& r : c.pvImports) {
        out << "\npvi " << r.name << " " << r.active;
        fields(r.fields);
    }
    for (const host::Event& e : c.events)
        out << "\nevent " << e.step << " " << static_cast<int>(e.action) << " " << e.tag.name << " " << e.tag.value;
    out << "\ncode page " << c.codePage;
    for (const host::ServerFailure& f : c.failures)
        out << "\nfail " << f.step << " " << f.operation << " " << f.name << " " << f.status << " " << f.times;
    for (const host::Expectation& e : c.expectations) {
        // A reference run is named from wherever the case is written: the same file is what counts.
        const std::string subject = e.subject == host::ExpectSubject::Reference
                                        ? fs::weakly_canonical(e.reference).string()
                                        : host::SubjectText(e);
        out << "\nexpect " << e.name << ": " << subject << " " << host::MomentText(e) << " " << host::ExpectedText(e)
            << " " << e.index;
    }
    return out.str();
}

TEST(Export, EveryExampleReadsBackTheSame) {
    const fs::path out = fs::temp_directory_path() / ("dcs_export_test_" + std::to_string(::getpid()));
    std::vector<fs::path> cases;
    for (const auto& entry : fs::directory_iterator(DCS_EXAMPLES_DIR)) {
        const fs::path toml = entry.path() / (entry.path().filename().string() + ".toml");
        if (fs::exists(toml)) cases.push_back(toml);
    }
    // What no example holds: a code page of its own and the server's failures.
    const fs::path unit = fs::path(DCS_EXAMPLES_DIR) / "unit";
    const fs::path odd = out / "odd" / "odd.toml";
    fs::create_directories(odd.parent_path());
    fs::copy_file(unit / "unit.mrx", odd.parent_path() / "unit.mrx");
    {
        std::ifstream in(unit / "unit.toml");
        std::ofstream(odd) << "code_page = 1250\n"
                           << in.rdbuf()
                           << "\n[[fail]]\nop = \"ReadAO\"\nname = \"FIC-1.OP\"\nstep = 3\nstatus = 5\ntimes = 2\n"
                              "\n[[fail]]\nop = \"WriteAI\"\ntimes = -1\n";
    }
    cases.push_back(odd);
    for (const fs::path& toml : cases) {
        const fs::path entry = toml.parent_path();
        for (const char* separator : {",", ";"}) {
            const host::Case original = host::ParseCaseFile(toml.string());
            host::ExportOptions options;
            options.casePath = toml.string();
            options.outDir = (out / entry.filename() / (separator[0] == ',' ? "comma" : "semicolon")).string();
            options.separator = separator[0];
            options.decimalMark = separator[0] == ';' ? ',' : '.';
            options.driverPath = DCS_DRIVER_PATH;
            ASSERT_EQ(host::ExportCommand(options), 0) << toml;
            const host::Case back = host::ParseCaseFile((fs::path(options.outDir) / toml.filename()).string());
            EXPECT_EQ(Dump(back), Dump(original)) << toml << " " << separator;
            EXPECT_EQ(CheckJson(back), CheckJson(original)) << toml << " " << separator;
        }
    }
    EXPECT_NE(Dump(host::ParseCaseFile(odd.string())).find("fail 3 "), std::string::npos) << "the test holds a failure";
    fs::remove_all(out);
}

TEST(Tags, UnusedByTheRowsDataSetAndName) {
    const host::TagInventory inv =
        Inventory("*AI*\nA,-,1,0,1\nA,-,2,0,1\nB,-,1,0,1\nFLAG,-,1,0,1\n*CALC*\nB,-,1\nP,-,3\n" + kPadding);
    host::Case c;
    c.general.push_back(checktest::Text("Enabled Flag", "FLAG"));  // an AI flag: named all the same
    c.controllers.push_back(checktest::Controller(2, {"", "", "A", "B", ""}));
    c.pvImports.push_back(checktest::PVRow<host::PVImportCase>(3, "P"));
    host::Link link(checktest::TheDriver());
    link.Load();
    link.Fill(c);
    const std::vector<bool> named = host::NamedByRows(inv, link.Data());
    link.Destroy();
    std::string unused;
    for (size_t i = 0; i < inv.entries.size(); ++i) {
        if (!named[i]) unused += inv.entries[i].name + std::to_string(inv.entries[i].dataSet) + " ";
    }
    // A in data set 2 is named; B is named only in data set 2, where no B is.
    EXPECT_EQ(unused, "A1 B1 B1 PADDING_SO_THE_STRING_IS_NOT_EMPTY99 ");
}

TEST(Diff, ReportsStayValidWhateverTheNames) {
    host::CatalogueDiff diff;
    diff.oldPath = "old.mrx";
    diff.newPath = "new \xE9.mrx";
    diff.tags = host::DiffInventories(Inventory("*AI*\nOLD\xE9,-,1,0,1\n" + kPadding),
                                      Inventory("*AI*\n<NEW>\x01,-,1,0,1\n" + kPadding));
    ASSERT_EQ(diff.tags.size(), 2u);
    EXPECT_TRUE(nlohmann::json::accept(host::DiffJson(diff)));
    const std::string page = host::DiffHtml(diff);
    // Valid UTF-8, the name as code page 1252 reads it.
    EXPECT_TRUE(host::IsUtf8(page));
    EXPECT_NE(page.find("OLD\xC3\xA9"), std::string::npos);
    EXPECT_EQ(page.find("<NEW>"), std::string::npos);
    EXPECT_NE(page.find("&lt;NEW&gt;\\x01"), std::string::npos);
    EXPECT_EQ(host::ExitStatusOf(diff), 1);
    diff.withCase = true;  // with a case only its verdicts count
    EXPECT_EQ(host::ExitStatusOf(diff), 0);
}

TEST(Export, TextsASpreadsheetWouldMangleReadBack) {
    const fs::path dir = fs::temp_directory_path() / ("dcs_export_texts_" + std::to_string(::getpid()));
    fs::create_directories(dir / "in");
    std::ofstream(dir / "in" / "t.mrx") << "*AI*\nA,-,1,0,1\n" << kPadding;
    std::ofstream(dir / "in" / "t.toml")
        << "init_string = \"t.mrx\"\n"
           "[[controller]]\nname = \"a, \\\"quoted\\\"; name\"\n\"OP Tag\" = \" lead;trail \"\n"
           "\"OP Init Tag\" = \"two\\nlines\"\n\"SP Tag\" = \"caf\u00e9\"\nSP = 0.1\nOP = 1e-300\nMode = -2.5\n"
           "[[pv_export]]\n\"PV Tag\" = \"\\\"X\"\nfollows = 0\ngain = 0.35000000000000003\ntime_constant = 3\n"
           "[[pv_import]]\n\"PV Tag\" = \"0x10\"\nMapping = 1\nActive = 0\n";
    const host::Case original = host::ParseCaseFile((dir / "in" / "t.toml").string());
    for (const char* separator : {",", ";"}) {
        host::ExportOptions options;
        options.casePath = (dir / "in" / "t.toml").string();
        options.outDir = (dir / (separator[0] == ',' ? "comma" : "semicolon")).string();
        options.separator = separator[0];
        options.decimalMark = separator[0] == ';' ? ',' : '.';
        ASSERT_EQ(host::ExportCommand(options), 0);
        const host::Case back = host::ParseCaseFile((fs::path(options.outDir) / "t.toml").string());
        EXPECT_EQ(Dump(back), Dump(original)) << separator;
    }
    fs::remove_all(dir);
}

TEST(Export, RefusesWhatAListCannotHold) {
    host::ControllerCase row;
    row.fields.push_back(checktest::Text("OP Tag", "A\rB"));
    const host::CodePage page = *host::CodePage::Find(host::kDefaultCodePage);
    EXPECT_THROW(host::ControllerList({row}, page, host::ListFormat{}), host::ListError);
    EXPECT_THROW(host::CheckListFormat(host::ListFormat{',', ',', true}), host::ListError);
    // A text the reader would split or unquote is quoted.
    row.fields[0] = checktest::Text("OP Tag", "\"A\", B;C");
    EXPECT_NE(host::ControllerList({row}, page, host::ListFormat{';', ',', false}).find("\"\"\"A\"\", B;C\""),
              std::string::npos);
}

TEST(Map, ThePlantsProposalsCheckClean) {
    const fs::path out = fs::temp_directory_path() / ("dcs_map_test_" + std::to_string(::getpid()));
    host::MapOptions options;
    options.source = std::string(DCS_EXAMPLES_DIR) + "/plant/plant.mrx";
    options.outDir = out.string();
    options.driverPath = DCS_DRIVER_PATH;
    checktest::ClearFlagBindings();
    ASSERT_EQ(host::MapCommand(options), 0);
    const host::Case proposed = host::ParseCaseFile((out / "map.toml").string());
    EXPECT_EQ(proposed.controllers.size(), 2u);  // FIC-101, TIC-102; LIC-103 has no .OP
    EXPECT_EQ(proposed.pvExports.size(), 7u);
    EXPECT_EQ(proposed.pvImports.size(), 1u);  // PDI-109.PV is AO: read, not written
    checktest::ClearFlagBindings();
    const host::Diagnosis d = host::DiagnoseQuietly(checktest::TheDriver(), proposed);
    EXPECT_TRUE(d.configured);
    EXPECT_EQ(d.RowsWithProblems(), 0);
    EXPECT_EQ(host::ExitStatusOf(d), 0);
    // With the plant's own case, it has everything the conventions find.
    options.casePath = std::string(DCS_EXAMPLES_DIR) + "/plant/plant.toml";
    ASSERT_EQ(host::MapCommand(options), 0);
    const host::Case rest = host::ParseCaseFile((out / "map.toml").string());
    EXPECT_EQ(rest.controllers.size() + rest.pvExports.size() + rest.pvImports.size(), 0u);
    fs::remove_all(out);
}

}  // namespace
