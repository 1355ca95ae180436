// The page from a diagnosis built by hand: what a reader must find on it.
#include <gtest/gtest.h>

#include <string>

#include "report/html_report.h"
#include "sample_diagnosis.h"

namespace {

std::string Page(const host::Diagnosis& d) {
    host::PageInput page;
    page.command = "check";
    page.casePath = d.casePath;
    page.diagnosis = &d;
    return host::HtmlPage(page);
}

TEST(HtmlPageTest, EverythingTypedIsEscaped) {
    const std::string html = Page(sample::Diagnosis());
    EXPECT_EQ(html.find(sample::kScriptTag), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;document.title=&#39;ran&#39;&lt;/script&gt;"), std::string::npos);
    EXPECT_NE(html.find("cases/unit &lt;2&gt;.toml"), std::string::npos);
    // Nothing is fetched: the page opens from a mail attachment.
    for (const char* external : {"src=", "href=", "@import", "url("}) {
        EXPECT_EQ(html.find(external), std::string::npos) << external;
    }
}

TEST(HtmlPageTest, ProblemsComeFirstWithTheirReasonAndMessage) {
    const std::string html = Page(sample::Diagnosis());
    const size_t table = html.find("data-table=\"controller\"");
    ASSERT_NE(table, std::string::npos);
    const size_t tic = html.find("TIC-202", table), fic = html.find("FIC-201", table);
    EXPECT_LT(tic, fic) << "the row with a problem comes first";
    const size_t cell = html.find("verdict-problem", table);
    ASSERT_NE(cell, std::string::npos);
    const std::string rest = html.substr(cell, html.find("</td>", cell) - cell);
    EXPECT_NE(rest.find("not-in-catalogue: no such tag in data set 1"), std::string::npos) << rest;
    EXPECT_NE(rest.find("Driver: MARLIXNT: Incorrect data set or unknown SP tag"), std::string::npos) << rest;
    EXPECT_NE(html.find("title=\"AI ReadAI\""), std::string::npos) << "a bound cell tells kind and operation";
    EXPECT_NE(html.find("id=\"only-problems\""), std::string::npos);
}

TEST(HtmlPageTest, LintFindingsQuoteTheirLines) {
    const std::string html = Page(sample::Diagnosis());
    const size_t finding = html.find("carriage-return");
    ASSERT_NE(finding, std::string::npos);
    const std::string quote = html.substr(finding, html.find("</pre>", finding) - finding);
    EXPECT_NE(quote.find("    1 | AI FIC-201.SP"), std::string::npos) << quote;
    EXPECT_NE(quote.find("AI TIC-202<span class=\"ctl\">CR</span>.SP"), std::string::npos) << quote;
    EXPECT_NE(quote.find("    4 | Kavro tags"), std::string::npos) << quote;
    EXPECT_EQ(quote.find("    5 |"), std::string::npos) << "two lines around the finding: " << quote;
}

TEST(HtmlPageTest, SummaryAndMessagesInOrder) {
    const std::string html = Page(sample::Diagnosis());
    EXPECT_NE(html.find("data-figure=\"rows-checked\">4<"), std::string::npos);
    EXPECT_NE(html.find("data-figure=\"rows-with-problems\">1<"), std::string::npos);
    EXPECT_NE(html.find("data-figure=\"lint-errors\">1<"), std::string::npos);
    EXPECT_NE(html.find("data-figure=\"lint-warnings\">1<"), std::string::npos);
    EXPECT_NE(html.find("data-figure=\"configured\">not configured<"), std::string::npos);
    const size_t box = html.find("<b class=\"title\">MARLIXNT</b>");
    EXPECT_LT(box, html.find("Tag list has 2 errors"));
}

}  // namespace
