#pragma once
#include <string>

// The JSON summary of what the simulated module saw; `extra_members` ("\"name\": value",
// already indented after the first line) ends the object when given. Without `images_judged`
// every page's "matches_image" is null: the flash is not judged against the module's images.
std::string sim_report_json(const std::string &extra_members = {}, bool images_judged = true);

// The text as a JSON string, quotes and backslashes escaped.
std::string sim_json_string(const std::string &text);
