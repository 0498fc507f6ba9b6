#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/identify.h"
#include "protocol/run_state.h"
#include "tests/support/sim_harness.h"

// Shows the records of a reply made of a 3-byte header and `body`.
static int show(const std::vector<uint8_t> &body) {
    std::vector<uint8_t> reply = {0x12, 0x01, static_cast<uint8_t>(body.size())};
    reply.insert(reply.end(), body.begin(), body.end());
    return run_until_exit(
        [&] { identify_show_records(reply.data(), static_cast<uint16_t>(reply.size())); });
}

static std::vector<uint8_t> text_record(uint8_t tag, const std::string &text) {
    std::vector<uint8_t> r(text.size() + 2);
    r[0] = tag;
    r[1] = static_cast<uint8_t>(text.size());
    std::copy(text.begin(), text.end(), r.begin() + 2);
    return r;
}

static std::vector<uint8_t> join(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto &p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(IdentifyRecords, SixRecordsFillRows18To23InTheModulesOrder) {
    vscreen_reset();
    frame_mode = 7;
    EXPECT_EQ(show(join({text_record(1, "1.07"),
                         text_record(2, "12/03/06"),
                         {3, 1, 200},
                         {4, 1, 3},
                         text_record(5, "ZOLVANT"),
                         text_record(6, "51")})),
              -1);
    EXPECT_EQ(vscreen_row(18), " BIOS REVISION: 1.07");
    EXPECT_EQ(vscreen_row(19), " BIOS DATE: 12/03/06");
    EXPECT_EQ(vscreen_row(20), " PAGE NUMBER: 200");
    EXPECT_EQ(vscreen_row(21), " ASIC VERSION: 3");
    EXPECT_EQ(vscreen_row(22), " CUSTOMER: ZOLVANT");
    EXPECT_EQ(vscreen_row(23), " PROCESSOR VERSION: 51");
    EXPECT_EQ(frame_mode, 1);
}

TEST(IdentifyRecords, UnknownTagsTakeNoRowAndTheLastRevisionDecides) {
    vscreen_reset();
    EXPECT_EQ(show(join({text_record(1, "2.00"), text_record(7, "x"), text_record(0, ""),
                         text_record(0xC8, "yy"), text_record(1, "1.05")})),
              -1);
    EXPECT_EQ(vscreen_row(18), " BIOS REVISION: 2.00");
    EXPECT_EQ(vscreen_row(19), " BIOS REVISION: 1.05");
    EXPECT_EQ(vscreen_row(20), "");
    EXPECT_EQ(frame_mode, 0);
}

TEST(IdentifyRecords, RevisionRule) {
    const struct {
        std::string text;
        uint8_t mode;
    } cases[] = {{"1.05", 0}, {"1.00", 0}, {"1.06", 0},
                 {"1x05", 0}, {"1.0", 0},  {std::string("1.0\x80", 4), 0},
                 {"1.07", 1}, {"1.10", 1}, {"2.00", 1},
                 {"1.0A", 1}, {"1", 1},    {"1.", 1},
                 {"", 1}};
    for (const auto &c : cases) {
        vscreen_reset();
        frame_mode = 9;
        show(text_record(1, c.text));
        EXPECT_EQ(frame_mode, c.mode) << "revision '" << c.text << "'";
    }
}

TEST(IdentifyRecords, ValuesStopAtAZeroByteButTheNextRecordStartsAfterTheFullLength) {
    vscreen_reset();
    show(join({{5, 6, 'A', 'B', 0, 'C', 'D', 'E'}, text_record(2, "D")}));
    EXPECT_EQ(vscreen_row(18), " CUSTOMER: AB");
    EXPECT_EQ(vscreen_row(19), " BIOS DATE: D");
}

TEST(IdentifyRecords, NothingOutsideTheReplyIsRead) {
    vscreen_reset();
    frame_mode = 5;
    // A value running past the end is cut; numbers of length 0 show 0; a lone tag ends the list.
    std::vector<uint8_t> reply = {0x12, 0x01, 0x00, 3, 0, 4, 0, 5, 40, 'E', 'N', 'D', 1};
    reply.push_back(0x99); // outside the reply's length
    identify_show_records(reply.data(), 12);
    EXPECT_EQ(vscreen_row(18), " PAGE NUMBER: 0");
    EXPECT_EQ(vscreen_row(19), " ASIC VERSION: 0");
    EXPECT_EQ(vscreen_row(20), " CUSTOMER: END");
    EXPECT_EQ(vscreen_row(21), "");
    EXPECT_EQ(frame_mode, 5);

    vscreen_reset();
    const uint8_t lone_tag[] = {0x12, 0x01, 0x00, 3, 0, 1, 3}; // its length byte is outside
    identify_show_records(lone_tag, 6);
    EXPECT_EQ(vscreen_row(19), "");
    EXPECT_EQ(frame_mode, 5);
}

TEST(IdentifyRecords, ControlBytesFromTheModuleAreShownAsQuestionMarks) {
    vscreen_reset();
    show(text_record(5, std::string("A\x1b[2J\x7f\x9b\xa0Z")));
    EXPECT_EQ(vscreen_row(18), " CUSTOMER: A?[2J??\xa0Z");
}

TEST(IdentifyRecords, WrongProcessorEndsTheRunAfterTheLinesShownSoFar) {
    for (const std::string processor : {"52", "510", "5", ""}) {
        vscreen_reset();
        EXPECT_EQ(show(join({text_record(1, "1.07"), text_record(2, "a"), text_record(5, "b"),
                             text_record(6, processor), text_record(2, "never")})),
                  1);
        EXPECT_EQ(vscreen_row(18), " BIOS REVISION: 1.07");
        EXPECT_EQ(vscreen_row(20), " Wrong processor !!!");
        EXPECT_EQ(vscreen_row(21), "  Contact Zolvant Technical Support");
        EXPECT_EQ(vscreen_row(22), "");
    }
}

TEST(ModuleIdentify, ShortOrEmptyRepliesShowNothing) {
    vscreen_reset();
    frame_mode = 3;
    const uint8_t request[] = {0x12, 0x01, 0x05, 0x80, 0x13, 0x00, 0x00, 0x00, 0x85};
    identify_show_records(request, 3);
    identify_show_records(request, 9); // tag 0x80 with length 0x13 runs past the end
    EXPECT_EQ(vscreen_dump(), "");
    EXPECT_EQ(frame_mode, 3);
}

TEST(ModuleIdentify, SilentModuleFallsBackToMode0AndAtMost128) {
    harness_reset({.silent_identify = true});
    harness_detect();
    frame_mode = 1;
    EXPECT_EQ(run_until_exit([] { module_identify(); }), -1);
    EXPECT_EQ(frame_mode, 0);
    EXPECT_EQ(buffer_size, 128);
    EXPECT_EQ(vscreen_dump(), "");
}

TEST(ModuleIdentify, FailedFallBackResetIsFatal) {
    harness_reset({.silent_identify = true});
    harness_detect();
    sim_config.free_never_from = 1; // FR never comes back after the fall-back's reset
    EXPECT_EQ(run_until_exit([] { module_identify(); }), 1);
    EXPECT_EQ(vscreen_row(20), " Wrong module reset !!!");
    EXPECT_EQ(vscreen_row(21), "  Contact Zolvant Technical Support");
}

TEST(ModuleIdentify, AcceptedModuleShowsItsLines) {
    harness_reset({.bios = "1.05", .customer = "ACME"});
    harness_detect();
    EXPECT_EQ(run_until_exit([] { module_identify(); }), -1);
    EXPECT_EQ(vscreen_row(18), " BIOS REVISION: 1.05");
    EXPECT_EQ(vscreen_row(19), " CUSTOMER: ACME");
    EXPECT_EQ(vscreen_row(20), " PROCESSOR VERSION: 51");
    EXPECT_EQ(frame_mode, 0);
    EXPECT_EQ(buffer_size, 256);
}
