#pragma once
// JSON text parsed into a tree, in a file of its own so that the fuzz build can instrument
// the parser apart from the code that reads the tree (io/CMakeLists.txt).
#include <string>

#include <nlohmann/json.hpp>

namespace kav {

// Throws nlohmann::json::parse_error when the text is not one JSON value.
nlohmann::json parseJson(const std::string& text);

}  // namespace kav
