#include "json/json_out.h"

namespace {

constexpr char HEX[] = "0123456789abcdef";
const char *const LINE[] = {"\n", "\n  ", "\n    "}; // by depth

void put(JsonOut &o, const char *text) {
    if (o.file) {
        std::fputs(text, o.file);
        return;
    }
    for (; *text && !o.cut; ++text) {
        if (o.at == o.end)
            o.cut = true;
        else
            *o.at++ = *text;
    }
}

void put_string(JsonOut &o, const char *text) {
    put(o, "\"");
    for (; *text; ++text) {
        const auto c = static_cast<unsigned char>(*text);
        const char escaped[] = {'\\', *text, 0};
        const char coded[] = {'\\', 'u', '0', '0', HEX[c >> 4], HEX[c & 15], 0};
        put(o, c == '"' || c == '\\' ? escaped : c < 0x20 || c >= 0x7F ? coded : escaped + 1);
    }
    put(o, "\"");
}

// Whether the open container puts its values one a line.
bool in_lines(const JsonOut &o) {
    return o.file && (o.depth == 1 || (o.depth == 2 && o.arrays & 4));
}

void start(JsonOut &o, const char *key) {
    if (!o.first) put(o, o.file && !in_lines(o) ? ", " : ",");
    if (in_lines(o)) put(o, LINE[o.depth]);
    o.first = false;
    if (!key) return;
    put_string(o, key);
    put(o, o.file ? ": " : ":");
}

void open(JsonOut &o, const char *key, bool array) {
    start(o, key);
    put(o, array ? "[" : "{");
    ++o.depth;
    o.arrays = array ? o.arrays | 1u << o.depth : o.arrays & ~(1u << o.depth);
    o.first = true;
}

} // namespace

JsonOut json_buffer(char *at, char *end) {
    return {.at = at, .end = end};
}

JsonOut json_file(std::FILE *file) {
    return {.file = file};
}

void json_object(JsonOut &out, const char *key) {
    open(out, key, false);
}

void json_array(JsonOut &out, const char *key) {
    open(out, key, true);
}

void json_end(JsonOut &out) {
    if (in_lines(out)) put(out, LINE[out.depth - 1]);
    put(out, out.arrays >> out.depth & 1 ? "]" : "}");
    out.first = false;
    if (--out.depth == 0) put(out, "\n");
}

void json_string(JsonOut &out, const char *key, const char *text) {
    start(out, key);
    put_string(out, text);
}

void json_int(JsonOut &out, const char *key, int64_t value) {
    start(out, key);
    char text[24] = "-";
    const auto magnitude = static_cast<uint64_t>(value);
    *json_decimal(text + (value < 0), value < 0 ? 0 - magnitude : magnitude, 1) = '\0';
    put(out, text);
}

void json_bool(JsonOut &out, const char *key, bool value) {
    start(out, key);
    put(out, value ? "true" : "false");
}

void json_null(JsonOut &out, const char *key) {
    start(out, key);
    put(out, "null");
}

char *json_decimal(char *to, uint64_t value, int width) {
    char digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value || n < width);
    while (n) *to++ = digits[--n];
    return to;
}
