// The tokenizer and the parse of the initialization string into the six
// tag lists, with the host allocator's failures.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue.h"
#include "messages.h"
#include "test_support.h"

namespace {

std::vector<std::string> Tokens(std::string text, int count) {
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    char* cursor = buffer.data();
    std::vector<std::string> tokens;
    for (int i = 0; i < count; ++i) {
        tokens.emplace_back(NextToken(&cursor));
    }
    return tokens;
}

using Strings = std::vector<std::string>;

TEST(NextToken, SeparatorsBlanksAndEnd) {
    EXPECT_EQ(Tokens("a,b;c\nd", 5), (Strings{"a", "b", "c", "d", ""}));
    EXPECT_EQ(Tokens("  \t\r\n  name ,x", 2), (Strings{"name ", "x"})) << "leading blanks go, trailing stay";
    EXPECT_EQ(Tokens("in ner\t\r,", 2), (Strings{"in ner\t\r", ""}));
    EXPECT_EQ(Tokens("a,,b", 3), (Strings{"a", "", "b"})) << "an empty field is an empty token";
    EXPECT_EQ(Tokens("a,  ;b", 3), (Strings{"a", "", "b"}));
    EXPECT_EQ(Tokens("a\n\n\n b", 2), (Strings{"a", "b"})) << "blank lines give no token";
    EXPECT_EQ(Tokens("", 3), (Strings{"", "", ""}));
    EXPECT_EQ(Tokens("last", 3), (Strings{"last", "", ""}));
}

TEST(NextToken, Quotes) {
    EXPECT_EQ(Tokens("\"a,b;c\nd\",next", 2), (Strings{"a,b;c\nd", "next"}));
    EXPECT_EQ(Tokens("'it, is',x", 2), (Strings{"it, is", "x"}));
    EXPECT_EQ(Tokens("\"one\" lost text,two", 2), (Strings{"one", "two"})) << "text after the quote is dropped";
    EXPECT_EQ(Tokens("\"open, to the end", 2), (Strings{"open, to the end", ""}));
    EXPECT_EQ(Tokens("ab\"c,d", 2), (Strings{"ab\"c", "d"})) << "an inner quote is an ordinary character";
    EXPECT_EQ(Tokens("'mixed\",x',y", 2), (Strings{"mixed\",x", "y"}));
    const Strings empty = Tokens("\"\",x", 2);
    EXPECT_FALSE(empty[0].empty()) << "an empty pair of quotes does not end a parse";
    EXPECT_EQ(empty[1], "x");
}

class CatalogueTest : public StandinTest {
protected:
    void TearDown() override {
        FreeTagCatalogue();
        StandinTest::TearDown();
    }

    static std::vector<std::pair<std::string, int32_t>> List(int32_t kind) {
        std::vector<std::pair<std::string, int32_t>> tags;
        const TagList& list = TagListOf(kind);
        for (int32_t i = 0; i < list.Count; ++i) {
            const TagHead* tag = TagAt(list, kind, i);
            tags.emplace_back(tag->Name, tag->DataSet);
        }
        return tags;
    }

    static int32_t Load(const std::string& text) {
        MrxStandin_SetInitString(text.c_str());
        return LoadTagCatalogue(nullptr);
    }
};

using Tags = std::vector<std::pair<std::string, int32_t>>;

const std::string kHeaders = "*AI*\n*AO*\n*DI*\n*DO*\n*DCD*\n*CALC*\n";

TEST_F(CatalogueTest, WorkedExample) {
    ASSERT_EQ(Load("*AI*\nFI101,-,1,0,100\n*DI*\nPUMP1,-,1\n" + std::string(10, ' ')), 1);
    ASSERT_EQ(List(TAG_KIND_AI), (Tags{{"FI101", 1}}));
    const auto* fi = static_cast<const AnalogTag*>(TagListOf(TAG_KIND_AI).Items);
    EXPECT_EQ(+fi->Number1, 0.0);
    EXPECT_EQ(+fi->Number2, 100.0);
    EXPECT_EQ(+fi->Reserved, 0u);
    EXPECT_EQ(List(TAG_KIND_DI), (Tags{{"PUMP1", 1}}));
    for (int32_t kind : {TAG_KIND_AO, TAG_KIND_DO, TAG_KIND_DCD, TAG_KIND_CALC}) {
        EXPECT_NE(TagListOf(kind).Items, nullptr) << "every list exists after a load";
        EXPECT_EQ(TagListOf(kind).Count, 0);
    }
    EXPECT_TRUE(Boxes().empty());
}

TEST_F(CatalogueTest, EveryKindWithItsNumbers) {
    std::string dcd = "*DCD*\nLIC-5";
    for (int i = 0; i < 19; ++i) dcd += "," + std::to_string(i == 0 ? 0 : (i == 1 ? 7 : i));
    ASSERT_EQ(Load("*AO*\nFV-1,x,2,1.5,-2.5e1\n*DO*\nM1,x,3\n*CALC*\nC1,x,4\n" + dcd + "\n"), 1);
    EXPECT_EQ(List(TAG_KIND_AO), (Tags{{"FV-1", 2}}));
    const auto* ao = static_cast<const AnalogTag*>(TagListOf(TAG_KIND_AO).Items);
    EXPECT_EQ(+ao->Number1, 1.5);
    EXPECT_EQ(+ao->Number2, -25.0);
    EXPECT_EQ(List(TAG_KIND_DO), (Tags{{"M1", 3}}));
    EXPECT_EQ(List(TAG_KIND_CALC), (Tags{{"C1", 4}}));
    ASSERT_EQ(List(TAG_KIND_DCD), (Tags{{"LIC-5", 7}}));
    const auto* lic = static_cast<const DcdTag*>(TagListOf(TAG_KIND_DCD).Items);
    for (int i = 0; i < 17; ++i) EXPECT_EQ(+lic->Numbers[i], static_cast<double>(i + 2));
}

TEST_F(CatalogueTest, EmptinessIsJudgedByTheReportedLength) {
    MrxStandin_SetInitString(kHeaders.c_str());
    ASSERT_EQ(kHeaders.size(), 33u);
    EXPECT_EQ(LoadTagCatalogue(nullptr), 0);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].caption, "DCSLoadWarning");
    EXPECT_EQ(Boxes()[0].text, kMsgEmptyInitString);
    EXPECT_EQ(TagListOf(TAG_KIND_AI).Items, nullptr) << "nothing is allocated for an empty string";

    // A complete entry in 33 characters or fewer is still empty; a negative
    // length too.
    User32Standin_Reset();
    MrxStandin_SetInitString("*AI*\nA,-,1,0,1\n");
    EXPECT_EQ(LoadTagCatalogue(nullptr), 0);
    MrxStandin_SetReportedLength(-5);
    EXPECT_EQ(LoadTagCatalogue(nullptr), 0);
    EXPECT_EQ(Boxes().size(), 2u);

    User32Standin_Reset();
    MrxStandin_SetInitString((kHeaders + "X").c_str());
    MrxStandin_ClearReportedLength();
    EXPECT_EQ(LoadTagCatalogue(nullptr), 1) << "34 characters are parsed";
    EXPECT_EQ(List(TAG_KIND_CALC), (Tags{{"X", 0}}));
}

TEST_F(CatalogueTest, ServerWritingLessThanItReportedIsEndedByTheZeroFill) {
    MrxStandin_SetInitString("*DI*\nA,-,1\nB,-,2");
    MrxStandin_SetReportedLength(4000);
    EXPECT_EQ(LoadTagCatalogue(nullptr), 1);
    EXPECT_EQ(List(TAG_KIND_DI), (Tags{{"A", 1}, {"B", 2}}));
}

TEST_F(CatalogueTest, WhitespaceOrLeadingSeparatorGivesEmptyLists) {
    EXPECT_EQ(Load(std::string(40, ' ')), 1);
    EXPECT_EQ(Load(",*AI*\nA,-,1,0,1" + std::string(30, '\n')), 1);
    for (int32_t kind = TAG_KIND_AI; kind <= TAG_KIND_CALC; ++kind) {
        EXPECT_NE(TagListOf(kind).Items, nullptr);
        EXPECT_EQ(TagListOf(kind).Count, 0);
    }
}

TEST_F(CatalogueTest, TokensBeforeTheFirstHeaderAreReportedOneByOne) {
    ASSERT_EQ(Load("junk;more\n*AI*\r\nA,-,1,0,1\n*DI*\nD,-,1\n" + std::string(20, ' ')), 1);
    // "*AI*\r" is no header, so it and the five fields after it are stray
    // tokens too: eight boxes in all.
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 8u);
    for (const Box& box : boxes) {
        EXPECT_EQ(box.text, "Unknown tag type 0 encountered when initializing tag lists");
        EXPECT_EQ(box.caption, "KVMRXNT Error");
    }
    EXPECT_EQ(List(TAG_KIND_AI), Tags{});
    EXPECT_EQ(List(TAG_KIND_DI), (Tags{{"D", 1}}));
}

TEST_F(CatalogueTest, ShortEntrySwallowsTheNextHeader) {
    ASSERT_EQ(Load("*DI*\nA,-\n*AI*\nB,-,5\nC,-,6,1,2\n" + std::string(10, ' ')), 1);
    // A takes "*AI*" as its data set (0); B and C stay in the DI list, and
    // C's surplus numbers make an entry "1" whose data set is missing.
    EXPECT_EQ(List(TAG_KIND_DI), (Tags{{"A", 0}, {"B", 5}, {"C", 6}, {"1", 0}}));
    EXPECT_EQ(List(TAG_KIND_AI), Tags{});
}

TEST_F(CatalogueTest, NamesKeepInnerAndTrailingBlanksAndQuotedSeparators) {
    ASSERT_EQ(Load("*CALC*\n   spaced name ,-,1\n\"q,u;o\nted\"junk,-,2\n'x',-,3\n" + std::string(10, ' ')), 1);
    EXPECT_EQ(List(TAG_KIND_CALC), (Tags{{"spaced name ", 1}, {"q,u;o\nted", 2}, {"x", 3}}));
}

TEST_F(CatalogueTest, DataSetConversions) {
    ASSERT_EQ(Load("*DO*\nA,-,010\nB,-,0x10\nC,-,12abc\nD,-,none\nE,-, -7\nF,-,99999999999\nG,-,-99999999999\n"
                   "H,-,0X1f\n"),
              1);
    EXPECT_EQ(
        List(TAG_KIND_DO),
        (Tags{{"A", 8}, {"B", 16}, {"C", 12}, {"D", 0}, {"E", -7}, {"F", INT32_MAX}, {"G", INT32_MIN}, {"H", 31}}));
}

TEST_F(CatalogueTest, EmptyNameFieldEndsTheParseButATrailingCommaDoesNot) {
    ASSERT_EQ(Load("*DI*\nA,-,1,\nB,-,2\n,C,-,3\n*AI*\nX,-,1,0,1\n"), 1);
    EXPECT_EQ(List(TAG_KIND_DI), (Tags{{"A", 1}, {"B", 2}}));
    EXPECT_EQ(List(TAG_KIND_AI), Tags{});
}

TEST_F(CatalogueTest, RepeatedSectionsAndDuplicatesAllStay) {
    ASSERT_EQ(Load("*DI*\nA,-,1\n*AI*\nA,-,1,0,1\n*DI*\nA,-,1\nB,-,1\n" + std::string(10, ' ')), 1);
    EXPECT_EQ(List(TAG_KIND_DI), (Tags{{"A", 1}, {"A", 1}, {"B", 1}}));
    EXPECT_EQ(List(TAG_KIND_AI), (Tags{{"A", 1}}));
}

TEST_F(CatalogueTest, SecondLoadAppendsAndLoadAfterFreeStartsAgain) {
    const std::string text = "*DI*\nA,-,1\nB,-,2\n" + std::string(20, ' ');
    ASSERT_EQ(Load(text), 1);
    ASSERT_EQ(Load(text), 1);
    EXPECT_EQ(List(TAG_KIND_DI), (Tags{{"A", 1}, {"B", 2}, {"A", 1}, {"B", 2}}));
    FreeTagCatalogue();
    for (const TagList& list : TagCatalogue) {
        EXPECT_EQ(list.Items, nullptr);
        EXPECT_EQ(list.Count, 0);
    }
    FreeTagCatalogue();  // on null lists: nothing
    ASSERT_EQ(Load(text), 1);
    EXPECT_EQ(List(TAG_KIND_DI), (Tags{{"A", 1}, {"B", 2}}));
}

TEST_F(CatalogueTest, AListStopsAtItsCapacityWithOneMessage) {
    std::string text = "*DI*\n";
    for (int i = 0; i < kTagListCapacity + 5; ++i) text += "D" + std::to_string(i) + ",-,1\n";
    text += "*CALC*\nLAST,-,9\n*DI*\nMORE,-,1\n";
    ASSERT_EQ(Load(text), 1);
    EXPECT_EQ(TagListOf(TAG_KIND_DI).Count, kTagListCapacity);
    EXPECT_EQ(List(TAG_KIND_CALC), (Tags{{"LAST", 9}})) << "the entries past the limit stay aligned";
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "KVMRXNT Error");
    EXPECT_EQ(boxes[0].text,
              "Too many DI tags in the initialization string from Marlix.\n"
              "Only the first 32767 DI tags can be used; the rest are ignored");
}

// Fail the Nth allocation of a load, or every one from the Nth on, for
// N = 1, 2, ... until a load runs without a failure: no crash, no leak, no
// lost block, only whole records in the lists, and one box per parse when
// tags were dropped for lack of memory.
TEST_F(CatalogueTest, EveryAllocationFailureOfALoad) {
    const std::string text = "*AI*\nA1,-,1,0,1\nA2,-,1,0,1\n*DI*\nD1,-,1\n*CALC*\nC1,-,1\n";
    for (const int32_t sticky : {0, 1}) {
        for (int64_t n = 1;; ++n) {
            SCOPED_TRACE("failing allocation " + std::to_string(n) + (sticky != 0 ? " and every one after" : ""));
            IFaceStandin_Reset();
            User32Standin_Reset();
            IFaceStandin_FailAllocation(n, sticky);
            const int32_t result = Load(text);
            const bool failed = IFaceStandin_FailedAllocations() != 0;
            IFaceStandin_FailAllocation(0, 0);
            size_t stored = 0;
            for (int32_t kind = TAG_KIND_AI; kind <= TAG_KIND_CALC; ++kind) {
                for (const auto& tag : List(kind)) {
                    EXPECT_FALSE(tag.first.empty());
                    ++stored;
                }
            }
            if (n == 1) {
                EXPECT_EQ(result, 0) << "no buffer: the catalogue is not loaded";
                EXPECT_EQ(BoxTexts(), (Strings{kMsgInitStringAlloc}));
            } else {
                EXPECT_EQ(result, 1);
                EXPECT_EQ(BoxTexts(), stored < 4 ? Strings{kMsgTagsDropped} : Strings{})
                    << "dropped tags are told once per parse, and only then";
            }
            if (!failed) {
                EXPECT_EQ(stored, 4u);
                break;
            }
            if (sticky == 0) {
                EXPECT_GE(stored, n == 1 ? 0u : 3u) << "one failure loses at most one entry";
            }
            FreeTagCatalogue();
            ASSERT_LT(n, 100);
        }
        FreeTagCatalogue();
    }
}

TEST_F(CatalogueTest, FailingInitialBlockIsMadeUpOnTheNextLoad) {
    IFaceStandin_FailAllocation(2, 0);  // the buffer, then the AI list's block
    ASSERT_EQ(Load("*DI*\nD1,-,1\n" + std::string(30, ' ')), 1);
    EXPECT_EQ(TagListOf(TAG_KIND_AI).Items, nullptr);
    EXPECT_NE(TagListOf(TAG_KIND_DI).Items, nullptr);
    ASSERT_EQ(Load("*AI*\nA,-,1,0,1\n" + std::string(30, ' ')), 1);
    EXPECT_EQ(List(TAG_KIND_AI), (Tags{{"A", 1}}));
    EXPECT_EQ(List(TAG_KIND_DI), (Tags{{"D1", 1}})) << "an existing list keeps its block";
}

}  // namespace
