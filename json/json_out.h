// The one JSON writer: JSON written as it is built, compact into a fixed buffer (no allocation,
// no stdio: safe in a signal handler) or pretty to a file. Compact has no blank at all. Pretty
// puts the root's members, and the items of an array that is a root member, one a line,
// indented by 2 and 4 blanks; deeper objects and arrays stay inline, with ": " and ", ".
// Either way the root ends with a line end. At most 31 levels deep.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

struct JsonOut {
    char *at, *end;  // free part of the buffer
    std::FILE *file; // written to instead, when not null
    bool pretty;
    bool first;      // the next value is the first of its container
    bool cut;        // the buffer was too small: what did not fit, and all after it, is left out
    int depth;       // containers open
    uint32_t arrays; // bit n: the container at depth n is an array
};

JsonOut json_buffer(char *buffer, size_t size);
JsonOut json_file(std::FILE *file);

// `key`: the member's name inside an object; nullptr inside an array and for the root.
void json_object(JsonOut &out, const char *key);
void json_array(JsonOut &out, const char *key);
void json_end(JsonOut &out);
// Escapes '"', '\' and every byte below 0x20 or from 0x7F as \u00XX, bytes from 0x80 taken as
// Latin-1: the output is valid JSON whatever the text holds.
void json_string(JsonOut &out, const char *key, const char *text);
void json_int(JsonOut &out, const char *key, int64_t value);
void json_bool(JsonOut &out, const char *key, bool value);
void json_null(JsonOut &out, const char *key);

// Writes `value` in decimal at `to`, at least `width` (at most 20) digits; returns the end.
char *json_decimal(char *to, uint64_t value, int width);
