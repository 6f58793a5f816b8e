#pragma once

// The quillet program checks every member's arguments against the member's
// usage line before anything runs: a page load or a transfer must not start
// for a call whose last argument is wrong.

#include <string>
#include <vector>

namespace quillet::cli {

// Why these arguments do not fit the usage line (parameters by name,
// optional ones in brackets, a comment in parentheses), or empty when they
// fit. Numbers must be whole and within their parameter's type (16 bits for
// counts, positions and timeouts), flags True/False/Yes/No/1/0/-1.
std::string checkArguments(const std::string& usage, const std::vector<std::string>& args);

} // namespace quillet::cli
