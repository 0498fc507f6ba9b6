#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>

#include "json/json_out.h"

namespace {

// Root {"a", "list" of an object and a string, "empty" list, "o" with a list inside}.
void document(JsonOut &o) {
    json_object(o, nullptr);
    json_int(o, "a", 1);
    json_array(o, "list");
    json_object(o, nullptr);
    json_int(o, "x", INT64_MIN);
    json_bool(o, "y", true);
    json_end(o);
    json_string(o, nullptr, "s");
    json_end(o);
    json_array(o, "empty");
    json_end(o);
    json_object(o, "o");
    json_null(o, "n");
    json_array(o, "l");
    json_int(o, nullptr, 0);
    json_bool(o, nullptr, false);
    json_end(o);
    json_end(o);
    json_end(o);
}

const std::string COMPACT = "{\"a\":1,\"list\":[{\"x\":-9223372036854775808,\"y\":true},\"s\"],"
                            "\"empty\":[],\"o\":{\"n\":null,\"l\":[0,false]}}\n";

TEST(Json, EscapesQuoteBackslashAndEveryControlByte) {
    const struct {
        const char *text, *json;
    } rows[] = {
        {"\x01", "\"\\u0001\""},
        {"\x1f", "\"\\u001f\""},
        {" ~", "\" ~\""},
        {"\x7f", "\"\\u007f\""},
        {"\x80\xe9", "\"\\u0080\\u00e9\""},
        {"a\"b", "\"a\\\"b\""},
        {"\\", "\"\\\\\""},
    };
    for (const auto &row : rows) {
        char buffer[32];
        JsonOut o = json_buffer(buffer, std::end(buffer));
        json_string(o, nullptr, row.text);
        EXPECT_EQ(std::string(buffer, o.at), row.json) << row.text;
    }
}

TEST(Json, CompactIntoABufferIsCutWhenItDoesNotFit) {
    for (size_t size = 0; size <= COMPACT.size() + 1; ++size) {
        char buffer[128];
        std::fill(buffer, buffer + sizeof buffer, '#');
        JsonOut o = json_buffer(buffer, buffer + size);
        document(o);
        const size_t written = std::min(size, COMPACT.size());
        EXPECT_EQ(o.cut, size < COMPACT.size()) << size;
        EXPECT_EQ(std::string(buffer, o.at), COMPACT.substr(0, written));
        EXPECT_EQ(buffer[written], '#');
    }
}

TEST(Json, PrettyToAFile) {
    std::FILE *file = std::tmpfile();
    JsonOut o = json_file(file);
    document(o);
    std::rewind(file);
    char text[256];
    text[std::fread(text, 1, sizeof text - 1, file)] = '\0';
    std::fclose(file);
    EXPECT_STREQ(text, "{\n  \"a\": 1,\n  \"list\": [\n    {\"x\": -9223372036854775808, \"y\": "
                       "true},\n    \"s\"\n  ],\n  \"empty\": [\n  ],\n  \"o\": {\"n\": null, "
                       "\"l\": [0, false]}\n}\n");
}

} // namespace
