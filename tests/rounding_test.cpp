// Products and conversions of the running link rounded once, to double, even
// when the host leaves the x87 unit at extended precision (Linux's default,
// and a host may set it). A build whose double arithmetic ran on the x87
// would round such products twice, first to 64 bits of mantissa and then
// to 53, and be one unit in the last place off for the values found below.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "case_builder.h"

// The expected values below are computed by this file's own double
// arithmetic, which must round once for them to mean anything.
static_assert(FLT_EVAL_METHOD == 0, "the tests must be built with SSE2 double arithmetic");

namespace {

#if defined(__i386__) || defined(__x86_64__)
// Sets the x87 precision control to 64-bit mantissas for the life of the
// object, and puts the previous control word back after.
class ExtendedPrecision {
public:
    ExtendedPrecision() {
        __asm__ volatile("fnstcw %0" : "=m"(saved_));
        const uint16_t extended = static_cast<uint16_t>(saved_ | 0x0300u);
        __asm__ volatile("fldcw %0" : : "m"(extended));
    }
    ~ExtendedPrecision() { __asm__ volatile("fldcw %0" : : "m"(saved_)); }
    ExtendedPrecision(const ExtendedPrecision&) = delete;
    ExtendedPrecision& operator=(const ExtendedPrecision&) = delete;

private:
    uint16_t saved_ = 0;
};
#define DCS_HAS_X87 1
#endif

#if defined(DCS_HAS_X87)

using Operation = std::function<double(double)>;

// Values among `candidates` for which the operation, computed in long
// double at extended precision and then narrowed, differs from the
// operation rounded once to double.
std::vector<double> DoubleRounding(const std::vector<double>& candidates, long double (*wide)(long double),
                                   const Operation& once, size_t limit) {
    ExtendedPrecision extended;
    std::vector<double> found;
    for (double x : candidates) {
        volatile long double product = wide(static_cast<long double>(x));
        if (static_cast<double>(product) != once(x)) {
            found.push_back(x);
            if (found.size() == limit) break;
        }
    }
    return found;
}

std::vector<double> Integers() {
    std::vector<double> values;
    for (int32_t i = 1; i < 100000; ++i) values.push_back(i);
    return values;
}

// What an OP read from an analog tag and scaled by 0.01 looks like.
std::vector<double> Percentages() {
    std::vector<double> values;
    for (int32_t i = 1; i < 100000; ++i) values.push_back(i * 0.01);
    return values;
}

// Small imported values, whose sum with 1.0 needs more than 64 bits.
std::vector<double> SmallValues() {
    std::vector<double> values;
    for (int32_t i = 1; i < 100000; ++i) values.push_back(i * 4e-9);
    return values;
}

constexpr size_t kRowsPerCase = 40;

std::string TagName(const char* kind, const char* prefix, size_t i) {
    return std::string(kind) + prefix + std::to_string(i);
}

// `count` tags of each analog kind: AIprefix0, AOprefix0, CALCprefix0, ...
std::string CatalogueOf(const char* prefix, size_t count) {
    std::string text;
    for (const char* kind : {"AI", "AO", "CALC"}) {
        const char* fields = kind[0] == 'C' ? ",-,1\n" : ",-,1,0,100\n";
        text += std::string("*") + kind + "*\n";
        for (size_t i = 0; i < count; ++i) text += TagName(kind, prefix, i) + fields;
    }
    return text;
}

class RoundingTest : public DriverTest {};

TEST_F(RoundingTest, OPReadScaledOnceFromEveryAnalogKind) {
    const std::vector<double> found = DoubleRounding(
        Integers(), [](long double x) { return x * static_cast<long double>(0.01); }, [](double x) { return x * 0.01; },
        kRowsPerCase);
    ASSERT_FALSE(found.empty()) << "no integer OP below 100,000 rounds twice: the search is broken";
    std::string list;
    for (double x : found) list += std::to_string(static_cast<int64_t>(x)) + " ";
    RecordProperty("double_rounding_ops", list);
    std::printf("integer OPs that round twice at extended precision (first %zu): %s\n", found.size(), list.c_str());

    MrxStandin_SetInitString(CatalogueOf("OP", found.size()).c_str());
    const struct {
        const char* kind;
        int32_t mrxKind;
    } kinds[] = {{"AI", MRX_KIND_AI}, {"AO", MRX_KIND_AO}, {"CALC", MRX_KIND_CALC}};
    TestCase c;
    std::vector<std::string> names;
    for (size_t i = 0; i < found.size(); ++i) {
        const auto& k = kinds[i % 3];
        names.push_back(TagName(k.kind, "OP", i));
        MrxStandin_SetDouble(k.mrxKind, 1, names.back().c_str(), found[i]);
    }
    for (const std::string& name : names) c.AddController({1, nullptr, nullptr, name.c_str(), "AIOP0", nullptr});
    ASSERT_EQ(DCSConfigure(&c.d), 1);
    {
        ExtendedPrecision extended;
        ASSERT_EQ(DCSSimulate(&c.d), 1);
    }
    for (size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(+c.Controller(i).OP, found[i] * 0.01) << "OP " << found[i] << " from " << names[i];
    }
}

TEST_F(RoundingTest, WritesAndImportsRoundedOnce) {
    struct Row {
        const char* what;
        std::vector<double> values;
    };
    // 100 has five significant bits, so any double times 100.0 fits the
    // x87's 64-bit mantissa exactly and is rounded only once, to double:
    // the search finds nothing, and the OP Init rows take the percentages
    // that the OP read gives.
    EXPECT_TRUE(DoubleRounding(
                    Percentages(), [](long double x) { return x * 100.0L; }, [](double x) { return x * 100.0; }, 1)
                    .empty());
    std::vector<double> opInits;
    for (int32_t i = 0; i < static_cast<int32_t>(kRowsPerCase); ++i) opInits.push_back((6835 + 2731 * i) * 0.01);
    const std::vector<double> imports = DoubleRounding(
        SmallValues(), [](long double x) { return x + 1.0L; }, [](double x) { return x + 1.0; }, kRowsPerCase);
    ASSERT_FALSE(imports.empty()) << "no imported value rounds twice: the search is broken";
    std::printf("imported values whose sum with 1.0 rounds twice: %zu, first %.17g and %.17g\n", imports.size(),
                imports.front(), imports.back());

    MrxStandin_SetInitString((CatalogueOf("INIT", opInits.size()) + CatalogueOf("PV", imports.size())).c_str());
    TestCase c;
    std::vector<std::string> initTags;
    std::vector<std::string> pvTags;
    for (size_t i = 0; i < opInits.size(); ++i) initTags.push_back(TagName(i % 2 == 0 ? "AI" : "CALC", "INIT", i));
    for (size_t i = 0; i < imports.size(); ++i) pvTags.push_back(TagName("AI", "PV", i));
    for (size_t i = 0; i < opInits.size(); ++i) {
        ControllerSpec row{1, nullptr, nullptr, "AIINIT0", initTags[i].c_str(), nullptr};
        row.opValue = opInits[i];
        c.AddController(row);
    }
    for (size_t i = 0; i < imports.size(); ++i) {
        c.AddPVImport(1, pvTags[i].c_str(), 1);
        MrxStandin_SetDouble(MRX_KIND_AI, 1, pvTags[i].c_str(), imports[i]);
    }
    ASSERT_EQ(DCSConfigure(&c.d), 1);
    {
        ExtendedPrecision extended;
        DCSInitialize(&c.d);
        // Only the imports are of interest in the step: no OP is read.
        for (size_t i = 0; i < opInits.size(); ++i) c.Controller(i).OPEnabled = 0;
        ASSERT_EQ(DCSSimulate(&c.d), 1);
    }
    for (size_t i = 0; i < opInits.size(); ++i) {
        double sent = 0.0;
        const int32_t kind = i % 2 == 0 ? MRX_KIND_AI : MRX_KIND_CALC;
        ASSERT_EQ(MrxStandin_GetDouble(kind, 1, initTags[i].c_str(), &sent), 1);
        EXPECT_EQ(sent, opInits[i] * 100.0) << "OP Init " << opInits[i];
    }
    for (size_t i = 0; i < imports.size(); ++i) {
        EXPECT_EQ(+c.PVImport(i).Value, imports[i] + 1.0) << "import " << imports[i];
    }
}

// Conversions between integers and doubles are exact at any precision:
// DI reads of the extremes, a mode restored to an analog tag, and values
// truncated toward zero for DI tags.
TEST_F(RoundingTest, IntegerConversionsStayExact) {
    MrxStandin_SetInitString("*AI*\nAI.MODE,-,1,0,1\n*DI*\nDI.SP,-,1\nDI.INIT,-,1\nDI.OPINIT,-,1\n*DO*\nDO.OP,-,1\n");
    TestCase c;
    ControllerSpec row{1, "DI.SP", "DI.INIT", "DO.OP", "DI.OPINIT", "AI.MODE"};
    row.modeValue = -2147483648.0;
    row.spValue = 2147483646.9;
    c.AddController(row);
    MrxStandin_SetInt(MRX_KIND_DI, 1, "DI.SP", INT32_MAX);
    MrxStandin_SetInt(MRX_KIND_DO, 1, "DO.OP", INT32_MIN);
    ASSERT_EQ(DCSConfigure(&c.d), 1);
    ExtendedPrecision extended;
    DCSInitialize(&c.d);
    int32_t spInit = 0;
    ASSERT_EQ(MrxStandin_GetInt(MRX_KIND_DI, 1, "DI.INIT", &spInit), 1);
    EXPECT_EQ(spInit, 2147483646);
    DCSStart(&c.d);
    double mode = 0.0;
    ASSERT_EQ(MrxStandin_GetDouble(MRX_KIND_AI, 1, "AI.MODE", &mode), 1);
    EXPECT_EQ(mode, -2147483648.0);
    ASSERT_EQ(DCSSimulate(&c.d), 1);
    EXPECT_EQ(+c.Controller(0).SP, 2147483647.0);
    EXPECT_EQ(+c.Controller(0).OP, -2147483648.0);
}

#endif

}  // namespace
