#include "io/json_parse.h"

namespace kav {

nlohmann::json parseJson(const std::string& text) { return nlohmann::json::parse(text); }

}  // namespace kav
