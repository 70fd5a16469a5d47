#include "toolkit/foundation/NSJson.h"

#include <gtest/gtest.h>

#include <string>

using NSUI::UIJson;

namespace {

enum class Op { Get, GetInt, GetFloat, Missing, Set, SetInt, SetFloat };

struct Case {
    Op op;
    const char* text;
    const char* key;
    const char* arg;      // value to set (Set)
    const char* expected; // read value, or the text after a write
};

// Texts are written with ' for " to keep the table readable.
std::string q(const char* s)
{
    std::string out = s;
    for (char& c : out)
        if (c == '\'')
            c = '"';
    return out;
}

const Case kCases[] = {
    // Writers: order kept, values always quoted.
    {Op::Set, "", "a", "1", "{'a':'1'}"},
    {Op::Set, "{'a':'1'}", "b", "2", "{'a':'1','b':'2'}"},
    {Op::Set, "{'a':'1','b':'2'}", "a", "x", "{'a':'x','b':'2'}"},
    {Op::SetInt, "", "n", "-3", "{'n':'-3'}"},
    {Op::SetFloat, "", "f", "1.5", "{'f':'1.500000'}"},
    {Op::Set, "{'n': 5,'m':1}", "n", "7", "{'n':'7','m':1}"},
    {Op::Set, "{}", "a", "b", "{'a':'b'}"},
    {Op::Set, "{'a':'1'}x", "b", "2", "{'a':'1'},'b':'2'}"},
    // Writers escape quotes, backslashes and control characters.
    {Op::Set, "", "d", "say 'hi'", "{'d':'say \\'hi\\''}"},
    {Op::Set, "", "p", "C:\\dir\\f.dcm", "{'p':'C:\\\\dir\\\\f.dcm'}"},
    {Op::Set, "", "t", "a\nb\tc\x01", "{'t':'a\\nb\\tc\\u0001'}"},
    {Op::Set, "{'a':'x,y','b':'2'}", "a", "}]", "{'a':'}]','b':'2'}"},
    {Op::Set, "", "k'ey", "v", "{'k\\'ey':'v'}"},

    // Readers: quoted, unquoted (raw, spaces kept), booleans, spaces.
    {Op::Get, "{'a':'1','b':'2'}", "b", nullptr, "2"},
    {Op::Get, "{'n': 5,'m':1}", "n", nullptr, " 5"},
    {Op::GetInt, "{'n': 5,'m':1}", "n", nullptr, "5"},
    {Op::Get, "{'b':true}", "b", nullptr, "true"},
    {Op::GetInt, "{'b':true}", "b", nullptr, "0"},
    {Op::GetFloat, "{'f':'2.25'}", "f", nullptr, "2.25"},
    {Op::Get, "{ 'a' : 'b' }", "a", nullptr, "b"},
    {Op::Missing, "{'a':'b'}", "A", nullptr, nullptr},
    {Op::Get, "{'x':'k','k':'v'}", "k", nullptr, "v"},
    {Op::Missing, "no keys here", "a", nullptr, nullptr},
    {Op::Missing, "", "a", nullptr, nullptr},
    // Lists are skipped whole; nested objects are searched as if flat.
    {Op::Get, "{'l':['p','q'],'k':'v'}", "k", nullptr, "v"},
    {Op::Get, "{'l':[['a'],['k']],'k':'v'}", "k", nullptr, "v"},
    {Op::Get, "{'l':['p','q'],'k':'v'}", "l", nullptr, "p"},
    {Op::Get, "{'l':[1,2]}", "l", nullptr, "[1"},
    {Op::Get, "{'o':{'x':1,'y':2}}", "o", nullptr, "x"},
    {Op::Missing, "{'o':{'x':1,'y':2}}", "x", nullptr, nullptr},
    {Op::Get, "{'o':{'x':1,'y':2}}", "y", nullptr, "2"},
    {Op::Get, "{'a':'1','a':'2'}", "a", nullptr, "1"},
    // Quoted values are string literals: structure characters inside them
    // do not end them, escapes are undone, later keys stay reachable.
    {Op::Get, "{'d':'a,b'}", "d", nullptr, "a,b"},
    {Op::Get, "{'d':'x]y}z','e':'f'}", "e", nullptr, "f"},
    {Op::Get, "{'d':'x]y}z','e':'f'}", "d", nullptr, "x]y}z"},
    {Op::Get, "{'d':'a\\'b','e':'f'}", "d", nullptr, "a'b"},
    {Op::Get, "{'d':'a\\'b','e':'f'}", "e", nullptr, "f"},
    {Op::Get, "{'d':'not: a key','k':1}", "k", nullptr, "1"},
    {Op::Get, "{'l':['a]','b'],'k':'v'}", "k", nullptr, "v"},
    {Op::Get, "{'d':'e','x':'\\'e\\':\\'w\\''}", "x", nullptr, "'e':'w'"},
    {Op::Missing, "{'d':'\\'k\\':\\'w\\''}", "k", nullptr, nullptr},
    {Op::Get, "{'p':'C:\\\\dir\\\\'}", "p", nullptr, "C:\\dir\\"},
    {Op::Get, "{'u':'\\u00e9\\ud83d\\ude00\\/\\n'}", "u", nullptr, "\xc3\xa9\xf0\x9f\x98\x80/\n"},
    {Op::Get, "{'k\\'ey':'v'}", "k'ey", nullptr, "v"},
    {Op::Missing, "{'d':'unterminated}", "d", nullptr, nullptr},
};

} // namespace

TEST(FlatJson, RulesTable)
{
    int row = 0;
    for (const Case& c : kCases) {
        ++row;
        std::string text = q(c.text);
        const std::string key = q(c.key);
        SCOPED_TRACE("row " + std::to_string(row) + ": " + text + " key " + key);
        switch (c.op) {
        case Op::Get: EXPECT_EQ(UIJson::getJsonString(text, key), q(c.expected)); break;
        case Op::GetInt: EXPECT_EQ(UIJson::getJsonInt(text, key, -99), std::stoi(c.expected)); break;
        case Op::GetFloat: EXPECT_FLOAT_EQ(UIJson::getJsonFloat(text, key, -99.f), std::stof(c.expected)); break;
        case Op::Missing:
            EXPECT_EQ(UIJson::getJsonString(text, key), "");
            EXPECT_EQ(UIJson::getJsonStringWithDefault(text, key, "dflt"), "dflt");
            EXPECT_EQ(UIJson::getJsonInt(text, key, 7), 7);
            EXPECT_FLOAT_EQ(UIJson::getJsonFloat(text, key, 2.5f), 2.5f);
            break;
        case Op::Set: UIJson::setJsonString(text, key, q(c.arg)); EXPECT_EQ(text, q(c.expected)); break;
        case Op::SetInt: UIJson::setJsonInt(text, key, std::stoi(c.arg)); EXPECT_EQ(text, q(c.expected)); break;
        case Op::SetFloat: UIJson::setJsonFloat(text, key, std::stod(c.arg)); EXPECT_EQ(text, q(c.expected)); break;
        }
    }
}

// Whatever a writer stores, every reader gets back unchanged, and the keys
// around it stay intact.
TEST(FlatJson, HostileValuesRoundTrip)
{
    const std::string values[] = {
        "O'Brien\"; DROP TABLE x;--",
        "a,b]c}d{e[f:g",
        "\"",
        "\\",
        "\\\"",
        "line1\r\nline2\t\x1f",
        "/home/user/My \"Studies\"/CT, head [2]/",
        "{\"nested\":\"json\",\"k\":[1,2]}",
        "Müller^Jürgen 宮本",
        "",
        "   ",
    };
    for (const std::string& v : values) {
        SCOPED_TRACE(v);
        std::string text;
        UIJson::setJsonString(text, "before", "1");
        UIJson::setJsonString(text, "v", v);
        UIJson::setJsonString(text, "k", "last");
        EXPECT_EQ(UIJson::getJsonString(text, "v"), v);
        EXPECT_EQ(UIJson::getJsonString(text, "before"), "1");
        EXPECT_EQ(UIJson::getJsonString(text, "k"), "last");
        // Rewriting in place keeps the neighbours as well.
        UIJson::setJsonString(text, "v", v + v);
        EXPECT_EQ(UIJson::getJsonString(text, "v"), v + v);
        EXPECT_EQ(UIJson::getJsonString(text, "k"), "last");
        // The value is also a hostile key.
        UIJson::setJsonString(text, v, "x");
        EXPECT_EQ(UIJson::getJsonString(text, v), "x");
        EXPECT_EQ(UIJson::getJsonString(text, "k"), "last");
    }
}

TEST(FlatJson, FindGivesValueBounds)
{
    const std::string text = q("{'a': 12 ,'b':'x'}");
    size_t s = 0, e = 0;
    ASSERT_TRUE(UIJson::findJsonValue(text, "a", s, e));
    EXPECT_EQ(text.substr(s + 1, e - s - 1), " 12 ");
    ASSERT_TRUE(UIJson::findJsonValue(text, "b", s, e));
    EXPECT_EQ(text[s], '"');
    EXPECT_EQ(text[e], '"');
    EXPECT_EQ(text.substr(s + 1, e - s - 1), "x");
    EXPECT_FALSE(UIJson::findJsonValue(text, "c", s, e));
}
