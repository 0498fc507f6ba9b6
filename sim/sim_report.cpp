#include "sim/sim_report.h"

#include "sim/sim_module.h"

void sim_report_members(JsonOut &out, bool images_judged) {
    const SimRecord &r = sim_record;
    json_int(out, "buffer_size", r.negotiated);
    json_int(out, "port_reads", r.port_reads);
    json_int(out, "port_writes", r.port_writes);
    if (r.frame_mode)
        json_int(out, "frame_mode", *r.frame_mode);
    else
        json_null(out, "frame_mode");
    json_int(out, "frames", r.frames);
    json_int(out, "frames_after_error", r.frames_after_error);
    json_int(out, "faults_injected", r.faults_injected);
    json_array(out, "pages");
    for (int page = 0; page < 2; ++page) {
        if (!r.pages_seen[page]) continue;
        json_object(out, nullptr);
        json_int(out, "page", page);
        json_int(out, "blocks", r.pages[page].blocks);
        if (images_judged)
            json_bool(out, "matches_image", sim_page_matches_image(page));
        else
            json_null(out, "matches_image");
        json_end(out);
    }
    json_end(out);
    json_array(out, "protocol_errors");
    for (const std::string &e : r.protocol_errors) json_string(out, nullptr, e.c_str());
    json_end(out);
}
