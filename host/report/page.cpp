#include "report/page_shell.h"

#include "report/markup.h"

namespace host {

std::string PageStart(const std::string& title, const std::string& pageStyle) {
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" + Escape(title) +
           "</title>\n<style>"
           "body{font:14px/1.4 system-ui,sans-serif;margin:1.5em auto;max-width:1200px;padding:0 1em;color:#222}"
           "h1{font-size:1.4em}h2{font-size:1.15em;border-bottom:1px solid #ccc;margin-top:1.6em}"
           "table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:.25em .5em;text-align:left;"
           "vertical-align:top}th{background:#f2f2f2}.name{font-family:monospace}" +
           pageStyle + "</style></head>\n<body>\n<h1>" + Escape(title) + "</h1>\n";
}

std::string PageEnd() { return "</body></html>\n"; }

}  // namespace host
