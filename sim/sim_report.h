#pragma once
#include "json/json_out.h"

// What the simulated module saw, as members of the report object the caller opened. Without
// `images_judged` every page's "matches_image" is null: the flash is not judged against the
// module's images.
void sim_report_members(JsonOut &out, bool images_judged);
