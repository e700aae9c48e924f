// HtmlExport: export --html, one HTML file that plays a movie in any browser: the browser player page
// (web/, built with the core as WebAssembly) with the movie stream inside it, fetching nothing.
#pragma once
#include <string>

// Writes out from the movie (an .exe) at path. Returns the tool's exit status.
int ExportHtml(const std::string& path, const std::string& out);
