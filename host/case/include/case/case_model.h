// The case as dcs-host runs it, whichever files it was read from: the
// server's initialization string, the tag values the server starts with,
// the general data, the controller and PV rows and a schedule of events by
// step. Field values of the driver's tables are kept by the label they were
// given under; they are matched against the definitions the driver declares
// only once the driver is loaded. Every value keeps the file, line and column
// it came from.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace host {

// A fault in the case file, already worded as "FILE:LINE: what was expected".
class CaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "FILE:LINE: message" (LINE left out when 0).
std::string Located(const std::string& file, int line, const std::string& message);
// "FILE:LINE:COLUMN: message" (COLUMN left out when 0).
std::string Located(const std::string& file, int line, int column, const std::string& message);

// Where a value came from: the file as named (the case file, or the IO list
// a row was read from), its line and its column (0 where unknown).
struct SourcePos {
    std::string file;
    int line = 0;
    int column = 0;
};

// "FILE:LINE:COLUMN: message" for a position.
std::string Located(const SourcePos& at, const std::string& message);

// A host key a row was given, and where its value stands.
struct KeySource {
    std::string key;
    SourcePos at;
};

// Where `key` was given in a row, or null when it was not.
const SourcePos* WhereGiven(const std::vector<KeySource>& given, const std::string& key);

// One value given under a field label of the driver's tables.
struct FieldValue {
    std::string label;
    bool isText = false;  // a string in the file; otherwise an integer
    int64_t integer = 0;
    // Neither: what the file gave instead ("a floating-point number", ...).
    // Kept for the driver's declarations to decide between an unknown key
    // and a value of the wrong type.
    std::string otherType;
    std::string text;
    int line = 0;
    // Given in an IO list rather than the case file: where, and whether the
    // text (a cell has no type of its own) also reads as `integer`.
    std::string file;
    int column = 0;
    bool alsoInteger = false;
    // Where the label stands. An IO list's label is a cell of its header
    // line, which every row shares: a label the driver does not know is
    // one fault there, not one per row.
    SourcePos labelAt;
    bool labelInHeader = false;
};

// Kinds of the server's value store, numbered as the server numbers them.
enum class TagKind : int32_t { AI = 1, AO = 2, DI = 3, DO = 4, CALC = 6 };

const char* TagKindName(TagKind kind);
// Whether the server keeps the kind's values as integers (DI, DO).
bool IsIntegerKind(TagKind kind);

struct TagValue {
    TagKind kind = TagKind::AI;
    int32_t dataSet = 1;
    std::string name;
    double value = 0.0;
    int line = 0;
};

struct ControllerCase {
    std::string name;
    std::vector<FieldValue> fields;
    std::optional<int32_t> opEnabled;  // not given: 1
    std::optional<double> mode;        // not given: the driver's default row
    std::optional<double> sp;
    std::optional<double> op;
    int line = 0;
    SourcePos at;                  // the row's first line in its file
    std::vector<KeySource> given;  // the host keys given, in file order
};

// How a PV export's value moves from step to step.
struct Response {
    bool follows = false;  // false: the value stays constant
    double constant = 0.0;
    int32_t controller = 0;  // index of the controller whose OP drives it
    double gain = 1.0;
    double timeConstant = 1.0;  // in steps, at least 1
    double initial = 0.0;
};

struct PVExportCase {
    std::string name;
    std::vector<FieldValue> fields;
    int32_t active = 1;
    Response response;
    int line = 0;
    SourcePos at;
    std::vector<KeySource> given;
};

struct PVImportCase {
    std::string name;
    std::vector<FieldValue> fields;
    int32_t active = 1;
    int line = 0;
    SourcePos at;
    std::vector<KeySource> given;
};

enum class Action { Start, Stop, TimeZero, SetTag };

const char* ActionName(Action action);

struct Event {
    int32_t step = 1;
    Action action = Action::Start;
    TagValue tag;  // set_tag only
    int line = 0;
};

// A file the case names, and what it is to the case, so that no output of a
// run can replace it.
struct NamedFile {
    std::string use;  // "the initialization string file", ...
    std::string path;
};

// A failure the simulated server answers with ([[fail]]): from the start
// of `step` on (0: from the configuration), the next `times` calls of the
// operation on the tag (any tag when no name is given; any data set) return
// `status` instead of the store's answer; times -1: every call.
struct ServerFailure {
    int32_t step = 0;
    int32_t operation = 0;  // the client's ordinal: 4 ReadAI ... 12 WriteCALC
    std::string name;       // empty: every tag
    int32_t status = 1;
    int32_t times = 1;
    int line = 0;
};

// When an expectation is looked at: right after the entry point of that
// name, at the end of a step (one, or every one).
enum class ExpectWhen { Configure, Initialize, Start, Stop, TimeZero, Reset, Step, EveryStep };

// What an expectation looks at.
enum class ExpectSubject {
    Tag,         // a tag's value as the simulated server holds it
    Controller,  // a controller row's SP, OP or Mode, as the simulator sees it
    PVImport,    // a PV import row's value
    Configured,  // whether DCSConfigure configured the link (1) or not (0)
    Boxes,       // how many message boxes the moment raised (matching the title and text, when given)
    Flag,        // the Enabled or Running flag tag, as the server holds it
    Reference,   // every curve of the run, against a CSV an earlier `run --csv` wrote
};

// An [[expect]] table: a value the case holds its link to at a moment of
// the run. The expected value is `value` (within the larger of `tolerance`
// and `relTolerance` times its size) or the range `min` to `max`.
struct Expectation {
    std::string name;  // for the report; empty: it is described by what it looks at
    ExpectWhen when = ExpectWhen::Step;
    int32_t step = 0;  // ExpectWhen::Step
    ExpectSubject subject = ExpectSubject::Configured;
    TagValue tag;          // Tag: kind, data set and name (in the simulator's code page once encoded)
    std::string tagText;   // Tag: the name as the case file gives it, for the reports
    std::string row;       // Controller, PVImport: the row's name as given; empty when given by index
    int64_t index = 0;     // the row's index, resolved by the validation pass
    std::string field;     // Controller: "SP", "OP" or "Mode"; Flag: "Enabled" or "Running"
    std::string boxTitle;  // Boxes: globs the box's title and text must match; empty: any
    std::string boxText;
    std::optional<double> value;
    double tolerance = 0.0;
    double relTolerance = 0.0;
    std::optional<double> min;
    std::optional<double> max;
    std::string reference;      // Reference: the CSV, resolved against the case file's folder
    std::string referenceText;  // and as the case file gives it, for the reports
    int32_t timeTolerance = 0;  // Reference: the reference's steps this many either side count too
    SourcePos at;               // the table's first line
    SourcePos whatAt;           // where the tag or row is named
};

struct CaseWarning {
    int line = 0;
    std::string text;  // "FILE:LINE:COLUMN: warning: ..."
    SourcePos at;
};

struct Case {
    std::string file;  // the case file as named
    // The simulator's code page: the driver and the tag server see every
    // text of the case in it (code_page, or --code-page), and the reports
    // decode what they hold through it.
    int codePage = 1252;
    int codePageLine = 0;
    std::string initStringPath;  // resolved against the case file's folder
    int initStringLine = 0;
    std::vector<NamedFile> namedFiles;
    // Values the host takes but the driver will read otherwise than the
    // user may think, in file order.
    std::vector<CaseWarning> warnings;
    // Unknown keys, each worded "FILE:LINE:COLUMN: ...": the reading goes
    // on, and RefuseUnknownKeys names them all together with the labels the
    // driver does not declare, once the case is filled in.
    std::vector<std::string> unknownKeys;
    std::optional<int32_t> steps;
    std::vector<TagValue> tags;
    std::vector<FieldValue> general;
    int generalLine = 0;
    std::vector<ControllerCase> controllers;
    std::vector<PVExportCase> pvExports;
    std::vector<PVImportCase> pvImports;
    std::vector<Event> events;              // ordered by step, file order within a step
    std::vector<ServerFailure> failures;    // in file order
    std::vector<Expectation> expectations;  // in file order
    // The IO lists the case names, in the order their rows are appended
    // (controllers first, so that a PV export of a list may follow any
    // controller); read by the loader, not by the TOML reader.
    struct IoList {
        std::string key;   // "controllers", "pv_exports" or "pv_imports"
        std::string path;  // resolved against the case file's folder
        SourcePos at;      // where the case names it
    };
    std::vector<IoList> ioLists;
};

// Tag names and other texts longer than this many bytes are refused: the
// driver's text cells hold 63 bytes and a terminator.
constexpr size_t kMaxTextLength = 63;

// The most steps a run takes: the table and CSV stream and the chart thins,
// so this bounds the run's time, not its memory.
constexpr int32_t kMaxSteps = 10000000;

}  // namespace host
