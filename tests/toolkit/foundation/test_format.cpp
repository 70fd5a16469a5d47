#include "toolkit/foundation/NSFormat.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <thread>

using namespace NSUI;

TEST(Format, FormatStringKeepsTheCapAndNeverCuts)
{
    EXPECT_EQ(formatString("%s-%d-%.2f", "a", 7, 1.5), "a-7-1.50");
    EXPECT_EQ(formatString("%s", std::string(kFormatCapacity, 'x').c_str()).size(), size_t(kFormatCapacity));
    EXPECT_EQ(formatString("%s", std::string(kFormatCapacity + 1, 'x').c_str()), "");
    EXPECT_EQ(formatString("%s%s", std::string(40000, 'x').c_str(), std::string(40000, 'y').c_str()), "");
    // A long text within the cap is formatted whole.
    const std::string mid = formatString("%s|%d", std::string(5000, 'q').c_str(), 42);
    EXPECT_EQ(mid, std::string(5000, 'q') + "|42");
}

TEST(Format, FormatStringFromManyThreads)
{
    // Each thread's texts must stay its own while all format at once.
    std::vector<std::thread> threads;
    std::atomic<int> bad{0};
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t, &bad] {
            for (int i = 0; i < 2000; ++i) {
                const std::string pad(static_cast<size_t>(i % 3 == 0 ? 3000 : 10), static_cast<char>('a' + t));
                const std::string s = formatString("%d:%s:%d", t, pad.c_str(), i);
                if (s != std::to_string(t) + ":" + pad + ":" + std::to_string(i))
                    ++bad;
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(bad.load(), 0);
}

TEST(Format, Numbers)
{
    EXPECT_EQ(intToString(0), "0");
    EXPECT_EQ(intToString(-2147483647 - 1), "-2147483648");
    struct Case { float v; int decimals; const char* want; };
    const Case cases[] = {
        {2.5f, 2, "2.5"},      {3.0f, 2, "3"},   {10.0f, 2, "10"}, {100.25f, 2, "100.25"},
        {0.0f, 4, "0"},        {-0.001f, 2, "-0"}, {2.5f, 0, "2"},  {1234.5f, 0, "1234"},
        {0.12345f, 4, "0.1235"}, {-7.1f, 4, "-7.1"}, {1.0f, -3, "1"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatFloat(c.v, c.decimals), c.want) << c.v << " with " << c.decimals;
}

TEST(Format, Trim)
{
    struct Case { const char* in; const char* left; const char* right; const char* both; };
    const Case cases[] = {
        {" \t\r\nab cd\r\n \t", "ab cd\r\n \t", " \t\r\nab cd", "ab cd"},
        {" \v\f ", "", "", ""},
        {"", "", "", ""},
        {"x", "x", "x", "x"},
        {"\xC2\xA0x\xC2\xA0", "\xC2\xA0x\xC2\xA0", "\xC2\xA0x\xC2\xA0", "\xC2\xA0x\xC2\xA0"},
    };
    for (const Case& c : cases) {
        std::string a = c.in, b = c.in, d = c.in;
        EXPECT_EQ(trimLeft(a), c.left);
        EXPECT_EQ(trimRight(b), c.right);
        EXPECT_EQ(trim(d), c.both);
    }
}

TEST(Format, SplitString)
{
    using V = std::vector<std::string>;
    struct Case { const char* text; const char* sep; V want; };
    const Case cases[] = {
        {"a,b", ",", {"a", "b"}},   {"a,,b", ",", {"a", "", "b"}}, {"a,", ",", {"a", ""}},
        {",a", ",", {"", "a"}},     {"", ",", {""}},                {"abc", ",", {"abc"}},
        {"a::b::", "::", {"a", "b", ""}}, {"a,b", "", {"a,b"}},
    };
    for (const Case& c : cases) {
        V got;
        splitString(c.text, c.sep, got);
        EXPECT_EQ(got, c.want) << "'" << c.text << "' at '" << c.sep << "'";
    }
    V kept{"x"};
    splitString("y", ",", kept);
    EXPECT_EQ(kept, (V{"x", "y"}));
}

TEST(Format, ReplaceAll)
{
    struct Case { const char* text; const char* find; const char* repl; const char* want; };
    const Case cases[] = {
        {"aba", "a", "aa", "aabaa"}, {"a--b--c", "--", "", "abc"}, {"abc", "x", "y", "abc"},
        {"abc", "", "y", "abc"},     {"'a'", "'", "''", "''a''"},
    };
    for (const Case& c : cases) {
        std::string s = c.text;
        EXPECT_EQ(replaceAll(s, c.find, c.repl), c.want);
        EXPECT_EQ(s, c.want);
    }
}

TEST(DateTime, DaysInMonth)
{
    struct Case { int y, m, want; };
    const Case cases[] = {{2000, 2, 29}, {1900, 2, 28}, {2016, 2, 29}, {2017, 2, 28}, {2017, 13, 0},
                          {2017, 0, 0},  {2017, 4, 30}, {2017, 12, 31}, {2017, 1, 31}};
    for (const Case& c : cases)
        EXPECT_EQ(daysInMonth(c.y, c.m), c.want) << c.y << "-" << c.m;
}

TEST(DateTime, ParseAndFormat)
{
    struct Case { const char* text; bool ok; DateTimeFields want; };
    const Case cases[] = {
        {"2017-08-05 09:03:07", true, {2017, 8, 5, 9, 3, 7}},
        {"2017/08/05T09.03.07", true, {2017, 8, 5, 9, 3, 7}},
        {"2017-12-25 13:45:50 and more", true, {2017, 12, 25, 13, 45, 50}},
        {"2017-0x-05 09:03:07", true, {2017, 0, 5, 9, 3, 7}},
        {"2017-08-05 09:03:0", false, {-1, -1, -1, -1, -1, -1}},
        {"", false, {-1, -1, -1, -1, -1, -1}},
    };
    for (const Case& c : cases) {
        DateTimeFields f{-1, -1, -1, -1, -1, -1};
        EXPECT_EQ(parseDateTime(c.text, f), c.ok) << c.text;
        EXPECT_EQ(formatDateTime(f), formatDateTime(c.want)) << c.text;
    }
    EXPECT_EQ(formatDateTime({2017, 8, 5, 9, 3, 7}), "2017-08-05 09:03:07");
    EXPECT_EQ(formatDateTime({2017, 12, 25, 13, 45, 50}), "2017-12-25 13:45:50");
    EXPECT_EQ(formatDateTime({99, 1, 2, 3, 4, 5}), "99-01-02 03:04:05");
}

TEST(DateTime, CurrentTimeIsLocalAndReadsBack)
{
    // Run in a zone far from UTC so that a UTC text would be caught.
    setenv("TZ", "XYZ-5:45", 1);  // 5 h 45 min east of UTC, no zone files needed
    tzset();
    const time_t before = std::time(nullptr);
    const std::string text = getCurrentTimeString();
    const time_t after = std::time(nullptr);
    DateTimeFields f;
    ASSERT_TRUE(parseDateTime(text, f)) << text;
    struct tm t {};
    t.tm_year = f.year - 1900;
    t.tm_mon = f.month - 1;
    t.tm_mday = f.day;
    t.tm_hour = f.hour;
    t.tm_min = f.minute;
    t.tm_sec = f.second;
    t.tm_isdst = -1;
    const time_t back = mktime(&t);
    EXPECT_GE(back, before);
    EXPECT_LE(back, after);
    EXPECT_EQ(formatDateTime(f), text);

    const long stamp = std::atol(getTimestampString().c_str());
    EXPECT_GE(stamp, static_cast<long>(before));
    EXPECT_LE(stamp, static_cast<long>(std::time(nullptr)));
    unsetenv("TZ");
    tzset();
}

TEST(Utf, RoundTrips)
{
    const char* texts[] = {
        "",
        "plain ascii",
        "M\xC3\xBCller, Ren\xC3\xA9",              // Müller, René
        "\xE6\x9D\x8E\xE5\xB0\x8F\xE9\xBE\x99",    // 李小龙
        "\xF0\x9F\x98\x80 face",                   // U+1F600, a surrogate pair
    };
    const std::u16string wide[] = {u"", u"plain ascii", u"M\u00FCller, Ren\u00E9", u"\u674E\u5C0F\u9F99",
                                   u"\U0001F600 face"};
    for (size_t i = 0; i < std::size(texts); ++i) {
        char16_t* w = utf8ToWide(texts[i]);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(std::u16string(w), wide[i]) << texts[i];
        EXPECT_EQ(wideToUtf8(w), texts[i]);
        free(w);
    }
}

TEST(Utf, InvalidInputIsReplacedNotCut)
{
    // A stray continuation byte, and a sequence cut at the end.
    char16_t* w = utf8ToWide("a\x80" "b\xE6\x9D");
    ASSERT_NE(w, nullptr);
    const std::u16string got(w);
    free(w);
    ASSERT_GE(got.size(), 4u);
    EXPECT_EQ(got.substr(0, 3), u"a\uFFFDb");
    EXPECT_EQ(got.back(), u'\uFFFD');

    const char16_t lone[] = {u'x', 0xD800, u'y', 0};
    EXPECT_EQ(wideToUtf8(lone), "x\xEF\xBF\xBDy");
    EXPECT_EQ(wideToUtf8(nullptr), "");
    char16_t* empty = utf8ToWide(nullptr);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty[0], 0);
    free(empty);
}

TEST(Utf, AnsiIsTheLocaleCharset)
{
    // Read before the first conversion, which fixes the character set.
    setenv("LC_ALL", "C.UTF-8", 1);
    EXPECT_EQ(ansiToUtf8("Ren\xC3\xA9"), "Ren\xC3\xA9");
    EXPECT_EQ(ansiToUtf8(""), "");
    EXPECT_EQ(ansiToUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
}

TEST(Matrix, MakeMat4TakesRowsInOrder)
{
    float values[16];
    for (int i = 0; i < 16; ++i)
        values[i] = static_cast<float>(10 * (i / 4 + 1) + (i % 4 + 1));  // 11, 12, ... 44
    const cocos2d::Mat4 m = makeMat4(values);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(m.getElement(r, c), 10.0f * (r + 1) + (c + 1)) << r << "," << c;
    // A stored placement: the translation is the last column.
    const float placement[16] = {1, 0, 0, 5, 0, 1, 0, 6, 0, 0, 1, 7, 0, 0, 0, 1};
    const cocos2d::Mat4 p = makeMat4(placement);
    EXPECT_EQ(p.m[12], 5.0f);
    EXPECT_EQ(p.m[13], 6.0f);
    EXPECT_EQ(p.m[14], 7.0f);
}
