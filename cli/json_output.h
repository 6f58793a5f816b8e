#pragma once
// The --json form of a listing: one JSON document on standard output.
// Names go out exactly as stored: a name that is not UTF-8 is given for
// show with U+FFFD for each byte that is not, and exactly, byte for byte, in
// hexadecimal under the same key with "_hex" after it.

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>
#include <string_view>

namespace tv::cli {

using Json = nlohmann::ordered_json;

// Whether `text` is UTF-8 through and through.
bool isUtf8(std::string_view text);

// obj[key] = name, with obj[key + "_hex"] as well when it is not UTF-8.
void putName(Json& obj, const std::string& key, const std::string& name);

// The document, indented, and a line end.
void printJson(std::ostream& out, const Json& document);

} // namespace tv::cli
