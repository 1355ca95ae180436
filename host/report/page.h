// The frame every small self-contained page of dcs-host shares: the head
// with its title and the common style, and the end. The style a page adds
// comes after the common one.
#pragma once

#include <string>

namespace host {

// "<!DOCTYPE html>..." up to and including <body> and the page's <h1>. The
// title is escaped here.
std::string PageStart(const std::string& title, const std::string& pageStyle = "");
std::string PageEnd();

}  // namespace host
