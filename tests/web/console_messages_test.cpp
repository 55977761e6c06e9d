#include "web/console_messages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(ReadPageMessage, TakesAWatchListOrATagList) {
    auto watch =
        web::ReadPageMessage(R"({"type":"watch","items":["D100","M0-M15"],"interval_ms":250})");
    ASSERT_TRUE(std::holds_alternative<web::PageRequest>(watch));
    const auto& asked = std::get<web::WatchRequest>(std::get<web::PageRequest>(watch));
    EXPECT_EQ(asked.items, (std::vector<std::string>{"D100", "M0-M15"}));
    EXPECT_EQ(asked.interval, std::chrono::milliseconds(250));
    EXPECT_FALSE(asked.tag_list);

    auto list = web::ReadPageMessage(R"({"type":"taglist","text":"Device\nD100\n"})");
    ASSERT_TRUE(std::holds_alternative<web::PageRequest>(list));
    const auto& tags = std::get<web::WatchRequest>(std::get<web::PageRequest>(list));
    EXPECT_EQ(tags.tag_list, "Device\nD100\n");
    EXPECT_EQ(tags.interval, std::chrono::milliseconds(1000));

    auto lookup = web::ReadPageMessage(R"({"type":"lookup","text":"0x1064"})");
    ASSERT_TRUE(std::holds_alternative<web::PageRequest>(lookup));
    EXPECT_EQ(std::get<web::LookupRequest>(std::get<web::PageRequest>(lookup)).text, "0x1064");
}

TEST(ReadPageMessage, RefusesWhatIsNoneOfItsMessages) {
    const struct {
        const char* text;
        const char* why;
    } cases[] = {
        {"", "a message that is no JSON object"},
        {"[1,2]", "a message that is no JSON object"},
        {"{\"type\":", "a message that is no JSON object"},
        {"{}", "a message without a type"},
        {R"({"type":7})", "a message without a type"},
        {R"({"type":"write","items":[]})", "no such message: write"},
        {R"({"type":"watch"})", "a watch message without its items"},
        {R"({"type":"watch","items":"D100"})", "a watch message without its items"},
        {R"({"type":"watch","items":[100]})", "an item that is no text"},
        {R"({"type":"watch","items":[],"interval_ms":"1"})", "interval_ms is no number"},
        {R"({"type":"watch","items":[],"interval_ms":99})",
         "the interval is 0.1 s at least and an hour at most"},
        {R"({"type":"watch","items":[],"interval_ms":3600001})",
         "the interval is 0.1 s at least and an hour at most"},
        {R"({"type":"taglist"})", "a tag list message without its text"},
        {R"({"type":"lookup","text":5})", "a lookup message without its text"},
        {R"({"type":"lookup","text":"1064","numbers":"octal"})",
         "numbers is any, hex, decimal or reference"},
    };
    for (const auto& c : cases) {
        const auto read = web::ReadPageMessage(c.text);
        ASSERT_TRUE(std::holds_alternative<text::Failure>(read)) << c.text;
        EXPECT_EQ(std::get<text::Failure>(read).message, c.why) << c.text;
    }
}

TEST(LookupMessage, AnswersAsTheConverterDoes) {
    const auto d100 = web::LookupMessage("D100");
    EXPECT_NE(d100.find(R"("device":"D100","table":"holding register","address":"1064",)"
                        R"("decimal":4196,"reference":"404197","width":"word","read":[3],)"
                        R"("write":[6,16])"),
              std::string::npos)
        << d100;
    // A bare number read as the converter window writes addresses: hex.
    EXPECT_NE(web::LookupMessage("1064", conversion::BareNumbers::Hex).find(R"("device":"D100")"),
              std::string::npos);
    const auto both = web::LookupMessage("1064");
    EXPECT_NE(both.find("it is D100"), std::string::npos) << both;
    EXPECT_NE(both.find("(Numbers, beside the box)"), std::string::npos) << both;
    const auto nothing = web::LookupMessage("Q5");
    EXPECT_NE(nothing.find(R"("entries":[])"), std::string::npos) << nothing;
    EXPECT_EQ(nothing.find(R"("error":"")"), std::string::npos) << nothing;
}

TEST(AnswerTimesOf, GivesPercentilesOfTheMilliseconds) {
    // 90 answers in 5 ms, 9 in 20 ms, one in 300 ms.
    const auto times = web::AnswerTimesOf({{5, 90}, {20, 9}, {300, 1}});
    EXPECT_EQ(times.count, 100U);
    EXPECT_EQ(times.p50, 5);
    EXPECT_EQ(times.p90, 5);
    EXPECT_EQ(times.p99, 20);
    EXPECT_EQ(times.max, 300);
    EXPECT_EQ(web::AnswerTimesOf({}).count, 0U);
}

TEST(SampleMessage, SendsWhatIsNoNumberAsNull) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(web::SampleMessage({1000, {1.5, std::nan(""), inf, 0}}),
              R"({"type":"sample","t":1000,"values":[1.5,null,null,0.0]})");
}

TEST(WatchMessage, SendsTextThatIsNoUtf8Replaced) {
    web::WatchView view;
    view.items = {"D100\xff"};
    view.interval = std::chrono::milliseconds(1000);
    const auto text = web::WatchMessage(view);
    EXPECT_NE(text.find("D100\xEF\xBF\xBD"), std::string::npos) << text;
}

}  // namespace
