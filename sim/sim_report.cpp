#include "sim/sim_report.h"

#include "sim/sim_module.h"

std::string sim_json_string(const std::string &text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string sim_report_json(const std::string &extra_members, bool images_judged) {
    const SimRecord &r = sim_record;
    std::string json = "{\n";
    json += "  \"buffer_size\": " + std::to_string(r.negotiated) + ",\n";
    json += "  \"port_reads\": " + std::to_string(r.port_reads) + ",\n";
    json += "  \"port_writes\": " + std::to_string(r.port_writes) + ",\n";
    json += "  \"frame_mode\": " + (r.frame_mode ? std::to_string(*r.frame_mode) : "null") + ",\n";
    json += "  \"frames\": " + std::to_string(r.frames) + ",\n";
    json += "  \"frames_after_error\": " + std::to_string(r.frames_after_error) + ",\n";
    json += "  \"faults_injected\": " + std::to_string(r.faults_injected) + ",\n";
    json += "  \"pages\": [";
    const char *separator = "";
    for (int page = 0; page < 2; ++page) {
        if (!r.pages_seen[page]) continue;
        json += separator;
        const char *matches = !images_judged                 ? "null"
                              : sim_page_matches_image(page) ? "true"
                                                             : "false";
        json += "\n    {\"page\": " + std::to_string(page) +
                ", \"blocks\": " + std::to_string(r.pages[page].blocks) +
                ", \"matches_image\": " + matches + "}";
        separator = ",";
    }
    json += "\n  ],\n  \"protocol_errors\": [";
    separator = "";
    for (const std::string &e : r.protocol_errors) {
        json += separator;
        json += "\n    " + sim_json_string(e);
        separator = ",";
    }
    json += "\n  ]";
    if (!extra_members.empty()) json += ",\n  " + extra_members;
    return json + "\n}\n";
}
