// Writes the page of the hand-built diagnosis for the browser test:
// html_page_sample FILE
#include <cstdio>
#include <exception>

#include "report/html_report.h"
#include "sample_diagnosis.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: html_page_sample FILE\n");
        return 2;
    }
    const host::Diagnosis diagnosis = sample::Diagnosis();
    host::PageInput page;
    page.command = "check";
    page.casePath = diagnosis.casePath;
    page.driverPath = "libmrxnt.so";
    page.driverVersion = "1.0.0";
    page.diagnosis = &diagnosis;
    try {
        host::WriteHtmlPage(argv[1], page);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "html_page_sample: %s\n", e.what());
        return 2;
    }
    return 0;
}
