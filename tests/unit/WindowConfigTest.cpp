// Window configuration strings as text: the forms, their mends, comma text, the "C" writer.

#include "grid/AlertGridsConfig.h"
#include "support/CommaText.h"
#include "support/Exceptions.h"

#include <gtest/gtest.h>

using namespace kestrova;

namespace {

using TEntries = std::vector<TLayoutEntry>;

std::optional<TWindowConfigChange> Parse(const std::string &text)
{
    return ParseWindowConfig(text, 77, 64); // column 0 is 77 wide, the default width 64
}

TEST(WindowConfig, TheFormsAsTheHostGivesThem)
{
    // The default layout: eight columns, direction Down, scheme 2, no panel heights.
    const auto b = Parse("B,8,7,51,2,76,1,40,9,45,3,45,4,176,8,33,6,42,0,2");
    ASSERT_TRUE(b);
    EXPECT_EQ(b->Entries,
        (TEntries { { 7, 51 }, { 2, 76 }, { 1, 40 }, { 9, 45 }, { 3, 45 }, { 4, 176 }, { 8, 33 },
            { 6, 42 } }));
    EXPECT_EQ(b->Direction, 0);
    EXPECT_EQ(b->SchemeName, "LIST_2");
    EXPECT_EQ(b->ViewMode, 1);
    EXPECT_FALSE(b->DescriptionHeight);
    EXPECT_FALSE(b->BacktestHeight);

    // "C": heights, view mode 3 with a groupable key; spaces and quotes are comma text.
    const auto c = Parse(" C , 2,3,60,\"5\",30,2,7,20,31,3,3");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->Entries, (TEntries { { 3, 60 }, { 5, 30 } }));
    EXPECT_EQ(c->Direction, 2);
    EXPECT_EQ(*c->DescriptionHeight, 20);
    EXPECT_EQ(*c->BacktestHeight, 31);
    EXPECT_EQ(std::make_pair(c->ViewMode, c->SortKey), std::make_pair(3, 3));
    // A sort key that cannot group (Description, or no known type) loads as mode 1.
    for (const char *key : { "4", "99", "-1" }) {
        const auto grouped = Parse(std::string("C,1,3,60,0,2,20,31,3,") + key);
        EXPECT_EQ(std::make_pair(grouped->ViewMode, grouped->SortKey), std::make_pair(1, 0));
    }
    // Heights and the mode fall back to 1 when they are not numbers.
    const auto fallback = Parse("C,1,3,60,0,2,x,y,z,0");
    EXPECT_EQ(*fallback->DescriptionHeight, 1);
    EXPECT_EQ(fallback->ViewMode, 1);

    // "A": types and sizes only, odd field count.
    const auto a = Parse("A,3,60");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->Entries, (TEntries { { 3, 60 } }));
    EXPECT_EQ(a->Direction, 0);
    EXPECT_FALSE(a->SchemeName);
    EXPECT_FALSE(Parse("A,3"));
    // Its types keep their low byte: 259 is Symbol, 15 is blank.
    EXPECT_EQ(Parse("A,259,10,15,20")->Entries, (TEntries { { 3, 10 } }));
}

TEST(WindowConfig, WhatChangesNothing)
{
    EXPECT_FALSE(Parse("C,1,3,60,4,2,20,31,1,0")); // direction 4
    EXPECT_FALSE(Parse("C,1,3,60,-1,2"));
    EXPECT_FALSE(Parse("D,1,3,60,0,2"));
    EXPECT_FALSE(Parse(""));
    EXPECT_FALSE(Parse("B"));
}

TEST(WindowConfig, BlankTypesAndEmptyLists)
{
    // Types outside 0..14 are blank; blanks are dropped; nothing left keeps one blank column.
    EXPECT_EQ(Parse("C,3,15,10,3,20,-1,30,0,2")->Entries, (TEntries { { 3, 20 } }));
    EXPECT_EQ(Parse("C,2,0,10,15,20,0,2")->Entries, (TEntries { { 0, 64 } }));
    // N = 0 keeps one blank column as wide as column 0 is now.
    EXPECT_EQ(Parse("C,0,0,2,20,31,1,0")->Entries, (TEntries { { 0, 77 } }));
    EXPECT_EQ(Parse("A")->Entries, (TEntries { { 0, 77 } }));
    // Sizes are at least 1.
    EXPECT_EQ(Parse("C,1,3,0,0,2")->Entries, (TEntries { { 3, 1 } }));
}

TEST(WindowConfig, MalformedAndOutOfRangeValuesAreErrors)
{
    for (const char *text : {
             "C,x,3,60,0,2", // not a number
             "C,1,3,6o,0,2",
             "C,1,3,60,down,2",
             "C,1,3,0x10,0,2",
             "A,3,1e2",
             "C,-1,0,2,20,31", // a negative count
             "C,5,3,60,0,2", // more columns than fields
             "C,2147483647,3,60,0,2", // would overflow 2N + 4
             "C,99999999999,3,60,0,2",
             "C,1,3,32768,0,2", // sizes beyond 32767
             "C,1,3,-5,0,2",
             "A,3,40000",
             "C,1,3,60,0,2,70000,31",
             "C,1,3,60,0,2,20,-2",
         })
        EXPECT_THROW(Parse(text), EConvertError) << text;
    EXPECT_NO_THROW(Parse("C,1,3,32767,0,2,32767,0"));
}

TEST(WindowConfig, WritesTheCurrentForm)
{
    TWindowLayout layout;
    layout.Entries = { { 3, 60 }, { 4, 176 } };
    layout.Direction = 1;
    layout.Scheme = SchemeNumber("LIST_12");
    layout.DescriptionHeight = 20;
    layout.BacktestHeight = 31;
    layout.ViewMode = 3;
    layout.SortKey = 5;
    const std::string text = FormatWindowConfig(layout);
    EXPECT_EQ(text, "C,2,3,60,4,176,1,12,20,31,3,5");
    const auto back = Parse(text);
    EXPECT_EQ(back->Entries, layout.Entries);
    EXPECT_EQ(back->SchemeName, "LIST_12");

    for (const char *name : { "LIST", "LIST_", "LIST_x", "LIST_-3", "LIST_0" })
        EXPECT_EQ(SchemeNumber(name), 0) << name;
    EXPECT_EQ(SchemeNumber("A_7"), 7);
}

TEST(CommaText, SplitsAtCommasOnlyTrimsAndHonoursQuotes)
{
    using TFields = std::vector<std::string>;
    EXPECT_EQ(
        SplitCommaText(" History , Time Frame... "), (TFields { "History", "Time Frame..." }));
    EXPECT_EQ(SplitCommaText("a,,b,"), (TFields { "a", "", "b", "" }));
    EXPECT_EQ(
        SplitCommaText("\"a, b\",\"say \"\"hi\"\"\",c"), (TFields { "a, b", "say \"hi\"", "c" }));
    EXPECT_EQ(SplitCommaText("\"open"), (TFields { "open" }));
    EXPECT_TRUE(SplitCommaText("").empty());
    const TFields fields { "Symbol", "Relative Volume", "a,b", "q\"t", "" };
    EXPECT_EQ(JoinCommaText(fields), "Symbol,\"Relative Volume\",\"a,b\",\"q\"\"t\",");
    EXPECT_EQ(SplitCommaText(JoinCommaText(fields)), fields);
}

} // namespace
