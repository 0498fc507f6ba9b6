// The one JSON writer, writing as it goes: compact (no blank at all) into a fixed buffer, with
// neither allocation nor stdio so that a signal handler may use it, or pretty to a file: the
// root's members, and the items of an array that is a root member, one a line indented by 2
// and 4 blanks, deeper values inline after ": " and ", ". The root ends with a line end.
#pragma once
#include <cstdint>
#include <cstdio>

struct JsonOut {
    char *at = nullptr, *end = nullptr; // free part of the buffer
    std::FILE *file = nullptr;          // pretty to it, when not null
    bool first = true;                  // the next value is its container's first
    bool cut = false;                   // the buffer was too small: the rest is left out
    int depth = 0;                      // containers open, at most 31
    uint32_t arrays = 0;                // bit n: the container at depth n is an array
};

JsonOut json_buffer(char *at, char *end);
JsonOut json_file(std::FILE *file);
// `key`: the member's name inside an object; nullptr inside an array and for the root.
void json_object(JsonOut &out, const char *key);
void json_array(JsonOut &out, const char *key);
void json_end(JsonOut &out);
// '"', '\' and the bytes below 0x20 or from 0x7F escaped, these as \u00XX (Latin-1): valid
// JSON whatever the text holds.
void json_string(JsonOut &out, const char *key, const char *text);
void json_int(JsonOut &out, const char *key, int64_t value);
void json_bool(JsonOut &out, const char *key, bool value);
void json_null(JsonOut &out, const char *key);
// `value` in decimal at `to`, at least `width` digits (up to 20); returns the end.
char *json_decimal(char *to, uint64_t value, int width);
